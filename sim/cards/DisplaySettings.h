#pragma once

#include "protocol/unit/DisplayLevels.h"

namespace sim::cards {

// The eight display and indicator settings of a fresh unit, in reply order.
protocol::unit::DisplayLevels DefaultDisplayLevels();

}  // namespace sim::cards
