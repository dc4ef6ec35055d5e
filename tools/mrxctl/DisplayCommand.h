#pragma once

#include <functional>

#include "tools/mrxctl/Context.h"

namespace CLI {
class App;
}

namespace tools::mrxctl {

// Adds "display screenshot FILE", "display get" and "display set NAME VALUE"
// to `app`. A parsed leaf sets `action`, which talks to the context's unit
// and prints in JSON with --json.
void AddDisplayCommand(CLI::App& app, Context& ctx, std::function<int()>& action);

}  // namespace tools::mrxctl
