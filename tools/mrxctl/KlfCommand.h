#pragma once

#include <functional>
#include <ostream>

#include "desktop/unitlink/CTiroUSB.h"
#include "platform/Clock.h"

namespace CLI {
class App;
}

namespace tools::mrxctl {

// Adds "klf info", "klf curve get|put|import" and "klf update" to `app`: the
// KLF310 card's network identity over USB, its curves and its software over
// TCP. A parsed leaf sets `action`; JSON output when `json` is set by then.
void AddKlfCommand(CLI::App& app, desktop::unitlink::CTiroUSB& usb, const bool& json,
                   std::ostream& out, std::ostream& err, platform::Clock& clock, bool terminal,
                   std::function<int()>& action);

}  // namespace tools::mrxctl
