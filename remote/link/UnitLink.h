#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/Bluetooth.h"
#include "platform/Clock.h"
#include "platform/MessageTarget.h"
#include "remote/link/RemoteLink.h"

namespace remote::link {

// The remote's link to one unit: the serial stream and its reader thread.
// The reader connects while the link is enabled and has an address, hands
// every good frame (or, in raw mode, every chunk of bytes) to the window as a
// kWmLinkData message that owns its bytes, and tries again when the stream
// breaks: at once after a connection that worked, after a growing pause when
// the unit drops the link right after accepting it (ReconnectPause). The
// reader waits on one poll loop whose wake-up Close, SetEnabled and SetUnit
// send, so none of them can be missed. Sends come from the user-interface thread.
class UnitLink final : public RemoteLink {
 public:
  // Switches the radio on (discoverable) when it is off; the destructor puts
  // the mode back.
  UnitLink(platform::Bluetooth& bluetooth, platform::Clock& clock);
  ~UnitLink() override;
  UnitLink(const UnitLink&) = delete;
  UnitLink& operator=(const UnitLink&) = delete;

  // Makes a reader thread; throws std::system_error when the system cannot,
  // as std::thread does. Tests put in one that fails.
  using ThreadMaker = std::function<std::thread(std::function<void()>)>;
  void SetThreadMaker(ThreadMaker maker) { makeThread_ = std::move(maker); }

  // Which unit: its address, and the labels of the current unit. The service
  // name also picks the unit's service where the stack offers several.
  void SetUnit(const platform::BtAddress& address, std::string friendlyName,
               std::string serviceName);
  platform::BtAddress Address() const;
  std::string FriendlyName() const;
  std::string ServiceName() const;

  // Whether the reader may connect; a disabled reader waits without working.
  void SetEnabled(bool enabled);
  bool Enabled() const;

  // Starts a new reader thread delivering to `window`; any earlier one is
  // closed. False when the thread cannot be made: the link stays down.
  bool Start(platform::MessageTarget* window, bool raw);
  // Ends the reader: the stream is closed, a connect in progress abandoned,
  // and the window receives nothing more from it. Never waits for a connect
  // attempt.
  void Close();

  bool Send(std::uint16_t command, std::span<const std::uint8_t> payload) override;
  // Bytes as they are (raw mode); an empty text sends nothing and fails.
  bool SendRaw(std::span<const std::uint8_t> bytes);
  bool SendRaw(std::string_view text);
  bool IsOpen() const override;
  // A stream is connected right now.
  bool IsConnected() const;
  // How many connections the current reader has made (tests and tools wait on it).
  unsigned Connections() const;

 private:
  struct Session;
  void Run(const std::shared_ptr<Session>& session);
  void Receive(Session& session, int fd);
  bool SendBytes(std::span<const std::uint8_t> bytes);
  void WakeReader();
  void ReapFinished();

  platform::Bluetooth& bluetooth_;
  platform::Clock& clock_;
  bool restoreRadio_ = false;
  platform::RadioMode savedRadio_ = platform::RadioMode::kDiscoverable;

  ThreadMaker makeThread_;

  mutable std::mutex mutex_;
  platform::BtAddress address_;
  std::string friendlyName_;
  std::string serviceName_;
  bool enabled_ = false;
  std::shared_ptr<Session> session_;
  // Readers of closed sessions, joined once they have ended.
  std::vector<std::pair<std::shared_ptr<Session>, std::thread>> readers_;
};

}  // namespace remote::link
