#pragma once

#include <functional>

#include "tools/mrxctl/Context.h"

namespace CLI {
class App;
}

namespace tools::mrxctl {

// Adds "handheld deploy [--handheld DIR] [--wait SECONDS]" to `app`: copies the
// carried remote, its installer and their files to the handheld's storage
// card and starts the installer there, showing the worker's progress and texts.
void AddHandheldCommand(CLI::App& app, Context& ctx, std::function<int()>& action);

}  // namespace tools::mrxctl
