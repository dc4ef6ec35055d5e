#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tools::mrxctl {

// "mrxctl remote ...": the handheld remote's link, for scripts. `args` follow
// the word "remote". The Bluetooth stack comes from WAVRIX_BLUETOOTH, the
// known units from the handheld tree ($WAVRIX_HANDHELD).
int RunRemote(const std::vector<std::string>& args, bool json, std::ostream& out,
              std::ostream& err);

}  // namespace tools::mrxctl
