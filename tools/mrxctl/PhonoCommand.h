#pragma once

#include <functional>

#include "tools/mrxctl/Context.h"

namespace CLI {
class App;
}

namespace tools::mrxctl {

// Adds "phono curve ADDRESS [--response FILE]" to `app`: the selected curve of
// a phono card, its time constants and corner frequencies and its response,
// in JSON with --json. A parsed leaf sets `action`.
void AddPhonoCommand(CLI::App& app, Context& ctx, std::function<int()>& action);

}  // namespace tools::mrxctl
