#pragma once

#include <string>

#include "protocol/unit/DisplayRow.h"

namespace sim {

// What the front display shows, as far as the picture needs it.
struct DisplayContent {
  std::string line1;  // e.g. "MRX520"
  std::string line2;  // e.g. the source name
  std::string line3;  // e.g. "-30.0 dB"
  int peakLeft = 0;   // percent of each channel's meter that is lit
  int peakRight = 0;
  int hour = 0;
  int minute = 0;
  bool powerOn = true;
};

// Row `row` (0-127) of the display picture in a 5 x 7 font, as command 17
// replies it; rows outside the display are empty.
protocol::unit::DisplayRow::Bytes RenderDisplayRow(const DisplayContent& content, int row);

}  // namespace sim
