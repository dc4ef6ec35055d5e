// A tap on volume + as the view makes it (UnitState over the real UnitLink and
// its reader thread) until the status record that confirms the new volume has
// reached the user-interface side, against the simulated unit's stream server
// in this process. Judged as a ratio to a bare round trip on the same socket
// in the same run: a status request and its record over the same path. The
// polling timers are not run: the remote's fixed periods are left out.
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <vector>

#include "platform/Bluetooth.h"
#include "platform/Bytes.h"
#include "platform/Clock.h"
#include "platform/MessageTarget.h"
#include "protocol/remote/RemoteProtocol.h"
#include "protocol/remote/StatusRecord.h"
#include "remote/link/RemoteMessages.h"
#include "remote/link/UnitLink.h"
#include "remote/link/UnitState.h"
#include "sim/RemoteStreamServer.h"
#include "sim/Scenario.h"
#include "sim/SimUnit.h"

namespace {

namespace rl = protocol::remote;
using Steady = std::chrono::steady_clock;

constexpr int kRounds = 2000;
constexpr auto kAnswerLimit = std::chrono::seconds(2);

// The handheld's stack reduced to one thing: a connection is a socket pair
// whose other end the simulated unit serves.
class InProcessBluetooth final : public platform::Bluetooth {
 public:
  explicit InProcessBluetooth(sim::RemoteStreamServer& server) : server_(server) {}
  std::string BackendName() const override { return "in-process"; }
  bool Inquiry(const std::function<bool(const platform::BtDeviceInfo&)>&,
               std::string& error) override {
    error = "no inquiry here";
    return false;
  }
  int Connect(const platform::BtAddress&, std::string_view service, int,
              std::string& error) override {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
      error = "socketpair failed";
      return -1;
    }
    server_.Serve(platform::UniqueFd(pair[0]), std::string(service));
    return pair[1];
  }
  bool GetRadioMode(platform::RadioMode& mode) override {
    mode = platform::RadioMode::kConnectable;
    return true;
  }
  bool SetRadioMode(platform::RadioMode) override { return true; }

 private:
  sim::RemoteStreamServer& server_;
};

// The user-interface side: takes the reader's messages, hands them to the unit
// model as the view does, and reports each status record that arrives.
class UiSide {
 public:
  UiSide(platform::QueueTarget& queue, remote::link::UnitState& state)
      : queue_(queue), state_(state) {}

  // Handles messages until `done` says a status record is the one waited for;
  // false when none came in time.
  template <typename Done>
  bool UntilStatus(Done done) {
    const auto end = Steady::now() + kAnswerLimit;
    while (Steady::now() < end) {
      auto message = queue_.Take(std::chrono::duration_cast<std::chrono::milliseconds>(
          std::max(end - Steady::now(), Steady::duration::zero())));
      if (!message) break;
      state_.HandleLinkMessage(*message);
      const auto status = StatusIn(*message);
      if (status && done(*status)) return true;
    }
    return false;
  }

 private:
  static std::optional<rl::StatusRecord> StatusIn(const platform::Message& m) {
    if (m.id != remote::link::kWmLinkData || m.bytes.size() < rl::kFrameOverhead) {
      return std::nullopt;
    }
    const auto code = platform::GetU16(m.bytes, rl::kOffCommand) & ~rl::kRequestBit;
    if (code != rl::kRecStatus) return std::nullopt;
    return rl::StatusRecord::Decode(
        std::span(m.bytes).subspan(rl::kHeaderSize, m.bytes.size() - rl::kFrameOverhead));
  }

  platform::QueueTarget& queue_;
  remote::link::UnitState& state_;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  platform::SystemClock clock;
  sim::SimUnit unit(sim::DefaultScenario(), clock);
  sim::RemoteStreamServer server(unit);
  InProcessBluetooth bluetooth(server);
  remote::link::UnitLink link(bluetooth, clock);
  remote::link::UnitState state(link, clock);
  platform::QueueTarget queue;
  UiSide ui(queue, state);

  link.SetUnit(*platform::BtAddress::Parse("00:50:C2:00:04:D2"), "bench",
               std::string(rl::kServiceHardware));
  link.SetEnabled(true);
  if (!link.Start(&queue, false)) {
    std::printf("the link's reader could not start\n");
    return 1;
  }
  const auto connectEnd = Steady::now() + kAnswerLimit;
  while (!link.IsConnected() && Steady::now() < connectEnd) queue.WaitForMessage(10);
  link.SendBare(rl::kReqStatus);
  if (!ui.UntilStatus([](const rl::StatusRecord&) { return true; })) {
    std::printf("the simulated unit did not answer\n");
    return 1;
  }

  std::vector<double> taps, roundTrips;
  for (int i = 0; i < kRounds; ++i) {
    // A bare round trip: a status request and its record.
    auto start = Steady::now();
    link.SendBare(rl::kReqStatus);
    if (!ui.UntilStatus([](const rl::StatusRecord&) { return true; })) {
      std::printf("round trip %d unanswered\n", i);
      return 1;
    }
    roundTrips.push_back(std::chrono::duration<double, std::micro>(Steady::now() - start).count());

    // A tap on volume +, down again near the top so that every tap changes it.
    const auto& s = state.Status();
    const bool up = s.volume + 2 * s.volumeStep <= s.volumeMax;
    start = Steady::now();
    up ? state.VolumeUp() : state.SetVolume(s.volumeMin);
    const std::int16_t wanted = state.Status().volume;
    if (!ui.UntilStatus([&](const rl::StatusRecord& r) { return r.volume == wanted; })) {
      std::printf("tap %d unconfirmed\n", i);
      return 1;
    }
    if (up)
      taps.push_back(std::chrono::duration<double, std::micro>(Steady::now() - start).count());
  }
  link.Close();
  server.Stop();

  const double tap = Median(taps), roundTrip = Median(roundTrips);
  std::printf("tap on volume + to its confirming record: %.1f us (median of %zu)\n", tap,
              taps.size());
  std::printf("bare round trip on the same socket:       %.1f us (median of %zu)\n", roundTrip,
              roundTrips.size());
  std::printf("ratio: %.3f (target <= 1.5)\n", tap / roundTrip);
  return 0;
}
