#pragma once

#include <functional>
#include <ostream>

#include "desktop/unitlink/CTiroUSB.h"

namespace CLI {
class App;
}

namespace tools::mrxctl {

// Adds "phono curve ADDRESS [--response FILE]" to `app`: the selected curve of
// a phono card, its time constants and corner frequencies and its response,
// in JSON when `json` is set by the time the parsed leaf's `action` runs.
void AddPhonoCommand(CLI::App& app, desktop::unitlink::CTiroUSB& usb, const bool& json,
                     std::ostream& out, std::ostream& err, std::function<int()>& action);

}  // namespace tools::mrxctl
