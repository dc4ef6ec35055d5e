#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/Bluetooth.h"
#include "tools/mrxctl/Context.h"

namespace CLI {
class App;
}

namespace tools::mrxctl {

// What "mrxctl remote ..." was asked to do, as the command line gave it.
struct RemoteRequest {
  enum class Action { kList, kStatus, kPower, kVolume, kMute, kSource };
  static constexpr int kDefaultTimeoutMs = 5000;

  Action action = Action::kStatus;
  bool on = false;       // power, mute
  int volumeTenths = 0;  // volume, tenths of a dB
  std::string source;    // source, by its name
  std::optional<platform::BtAddress> address;
  int timeoutMs = kDefaultTimeoutMs;
};

// "mrxctl remote ...": the handheld remote's link, for scripts. The Bluetooth
// stack comes from WAVRIX_BLUETOOTH, the known units from the handheld tree
// ($WAVRIX_HANDHELD).
int RunRemote(const RemoteRequest& request, Context& ctx);

// Adds "remote list|status|power|mute|volume|source" to `app`; a parsed leaf
// sets `action`.
void AddRemoteCommand(CLI::App& app, Context& ctx, std::function<int()>& action);

// Decimal decibels ("-30", "-30.5", "+2.25") as tenths, digits past the tenths
// dropped (truncated toward 0 dB, as the unit's step is); none for anything
// else, hex, exponents, "inf" and "nan" included.
std::optional<int> DecibelTenths(const std::string& text);

}  // namespace tools::mrxctl
