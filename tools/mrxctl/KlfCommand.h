#pragma once

#include <functional>

#include "tools/mrxctl/Context.h"

namespace CLI {
class App;
}

namespace tools::mrxctl {

// Adds "klf info", "klf curve get|put|import" and "klf update" to `app`: the
// KLF310 card's network identity over USB, its curves and its software over
// TCP. A parsed leaf sets `action`.
void AddKlfCommand(CLI::App& app, Context& ctx, std::function<int()>& action);

}  // namespace tools::mrxctl
