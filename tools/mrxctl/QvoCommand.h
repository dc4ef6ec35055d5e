#pragma once

#include <functional>
#include <ostream>

#include "desktop/unitlink/CTiroUSB.h"
#include "platform/Clock.h"

namespace CLI {
class App;
}

namespace tools::mrxctl {

// Adds "qvo info ADDRESS" and "qvo update ADDRESS left|right" to `app`: the
// QVO520 card's two signal processors, their software and boards, and the
// download of the carried software into one of them. A parsed leaf sets
// `action`; `terminal` draws the progress bar in place.
void AddQvoCommand(CLI::App& app, desktop::unitlink::CTiroUSB& usb, platform::Clock& clock,
                   const bool& json, bool terminal, std::ostream& out, std::ostream& err,
                   std::function<int()>& action);

}  // namespace tools::mrxctl
