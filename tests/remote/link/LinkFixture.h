#pragma once

#include <gtest/gtest.h>

#include "../../support/SimProcess.h"
#include "platform/Clock.h"
#include "platform/MessageTarget.h"
#include "platform/SimBluetooth.h"
#include "protocol/remote/RemoteProtocol.h"
#include "remote/link/UnitLink.h"
#include "remote/link/UnitState.h"

namespace remote::link {

// The remote's side as the view runs it: a link, the unit model on this
// (the "user-interface") thread, and the messages between them.
struct RemoteSide {
  explicit RemoteSide(const std::filesystem::path& bluetoothDir)
      : bluetooth(bluetoothDir),
        link(bluetooth, platform::DefaultClock()),
        state(link, platform::DefaultClock()) {
    state.SetView(&view);
  }

  void Connect(const platform::BtAddress& address) {
    link.SetUnit(address, "Unit", std::string(protocol::remote::kServiceHardware));
    link.SetEnabled(true);
    state.StartPolling();
    ASSERT_TRUE(link.Start(&window, false));
  }
  // Runs the user-interface thread's work until `done` holds or `limit` passes.
  template <typename Condition>
  bool PumpUntil(Condition done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    return testing_support::WaitFor(
        [&] {
          window.Drain([&](const platform::Message& m) { state.HandleLinkMessage(m); });
          state.Tick();
          view.Drain([](const platform::Message&) {});
          return done();
        },
        limit);
  }
  bool Complete() { return state.HaveInfo() && state.HaveStatus() && state.ListComplete(); }

  platform::SimBluetooth bluetooth;
  // Outlive the link, whose reader posts to them until it is closed.
  platform::QueueTarget window;
  platform::QueueTarget view;
  UnitLink link;
  UnitState state;
};

}  // namespace remote::link
