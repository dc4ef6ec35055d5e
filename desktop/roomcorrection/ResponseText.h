#pragma once

#include <string>

#include "desktop/roomcorrection/CFilterDesign.h"

namespace desktop::roomcorrection {

// The equaliser response of `design` as measurement tools import it: one
// "frequency<TAB>dB" line per grid point, ascending, with a decimal point
// whatever the user's locale.
std::string ResponseText(const CFilterDesign& design);

}  // namespace desktop::roomcorrection
