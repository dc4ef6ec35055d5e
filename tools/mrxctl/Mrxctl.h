#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "desktop/unitlink/CTiroUSB.h"
#include "platform/Clock.h"

namespace tools::mrxctl {

// Exit codes, sysexits style.
inline constexpr int kExitOk = 0;
inline constexpr int kExitDiffers = 1;  // 'diff': the two sides differ
inline constexpr int kExitUsage = 64;
inline constexpr int kExitDataError = 65;
inline constexpr int kExitUnavailable = 69;
inline constexpr int kExitSoftware = 70;
inline constexpr int kExitIoError = 74;
inline constexpr int kExitNoPermission = 77;

// Runs one mrxctl command line (without the program name) against the unit
// behind `usb`, writing results to `out` and messages to `err`. Updates wait on
// `clock`; `terminal` draws their progress bar in place.
int Run(const std::vector<std::string>& args, desktop::unitlink::CTiroUSB& usb, std::ostream& out,
        std::ostream& err, platform::Clock& clock = platform::DefaultClock(),
        bool terminal = false);

}  // namespace tools::mrxctl
