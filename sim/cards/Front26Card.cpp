// The Front26 display keeps no settings image: its eight settings live in the
// main unit and are read with command 33 (see DisplaySettings).
#include "sim/cards/Cards.h"

namespace sim::cards {

const CardModel kFront26 = {0, nullptr, nullptr};

}  // namespace sim::cards
