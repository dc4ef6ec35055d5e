#pragma once

#include <array>
#include <cstdint>

#include "protocol/unit/CardDownloadBegin.h"
#include "protocol/unit/ProcessorRecord.h"

namespace sim::cards {

using ProcessorBytes = std::array<std::uint8_t, protocol::unit::ProcessorRecord::kSize>;

// Processor record `index` (0 left, 1 right) of a fresh QVO520 card.
ProcessorBytes DefaultProcessorRecord(int index);

// The processor runs what a finished card download sent: date and version
// from its begin record, labelled "update".
void TakeDownloadedSoftware(const protocol::unit::CardDownloadBegin& begin, ProcessorBytes& record);

}  // namespace sim::cards
