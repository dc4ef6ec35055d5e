#pragma once

#include <cstdint>
#include <string_view>

#include "platform/MessageTarget.h"
#include "platform/Prompt.h"
#include "remote/link/DeviceStore.h"
#include "remote/link/RemoteMessages.h"
#include "remote/link/UnitLink.h"
#include "remote/link/UnitState.h"

namespace remote::link {

inline constexpr std::string_view kFatalTitle = "Fatal";
inline constexpr std::string_view kNoReaderText = "Unable to create the serial read thread!";

// The view's connection control: connect, disconnect, choose a unit, and the
// rebuild of the link after the handheld wakes. Runs on the user-interface
// thread; the link's frames and the notifications go to `view`.
class LinkControl {
 public:
  LinkControl(UnitLink& link, UnitState& state, DeviceStore& store, platform::MessageTarget& view,
              platform::Prompt& prompt);

  // Gives the link the recorded default unit and connects; false when none
  // is recorded (the view then opens the inquiry).
  bool ConnectDefault();
  // Enables the link, starts the polling and a reader. When the reader cannot
  // be made the user is told ("Fatal") and the link stays down: false.
  bool Connect();
  // Stops the polling, disables and closes the link, resets the unit state.
  void Disconnect();
  // The unit becomes the link's, the default and a known unit (saved), and is
  // connected in place of the current one.
  void ChooseUnit(const DeviceEntry& unit);
  // kWmPowerResumed: a link that was connected is dropped and built again, so
  // a stream the suspend broke does not linger. True when the message was one
  // of these.
  bool HandlePowerMessage(const platform::Message& message);
  // The user wants a connection (Connect succeeded, no Disconnect since).
  bool Connected() const { return connected_; }

 private:
  void Refresh();

  UnitLink& link_;
  UnitState& state_;
  DeviceStore& store_;
  platform::MessageTarget& view_;
  platform::Prompt& prompt_;
  bool connected_ = false;
};

}  // namespace remote::link
