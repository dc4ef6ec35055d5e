#pragma once

#include <functional>

#include "tools/mrxctl/Context.h"

namespace CLI {
class App;
}

namespace tools::mrxctl {

// Adds "qvo info ADDRESS" and "qvo update ADDRESS left|right" to `app`: the
// QVO520 card's two signal processors, their software and boards, and the
// download of the carried software into one of them. A parsed leaf sets
// `action`.
void AddQvoCommand(CLI::App& app, Context& ctx, std::function<int()>& action);

}  // namespace tools::mrxctl
