#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "platform/Bluetooth.h"

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
int RunRemote(const RemoteRequest& request, bool json, std::ostream& out, std::ostream& err);

}  // namespace tools::mrxctl
