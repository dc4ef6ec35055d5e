#pragma once

#include <functional>
#include <ostream>

#include "desktop/unitlink/CTiroUSB.h"

namespace CLI {
class App;
}

namespace tools::mrxctl {

// Adds "display screenshot FILE", "display get" and "display set NAME VALUE"
// to `app`. A parsed leaf sets `action`, which talks to the unit behind `usb`
// and prints in JSON when `json` is set by then.
void AddDisplayCommand(CLI::App& app, desktop::unitlink::CTiroUSB& usb, const bool& json,
                       std::ostream& out, std::ostream& err, std::function<int()>& action);

}  // namespace tools::mrxctl
