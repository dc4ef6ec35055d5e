#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "protocol/unit/CardDownloadBegin.h"
#include "protocol/unit/ProcessorRecord.h"

namespace sim::cards {

using ProcessorBytes = std::array<std::uint8_t, protocol::unit::ProcessorRecord::kSize>;

// Processor record `index` (0 left, 1 right) of a fresh QVO520 card.
ProcessorBytes DefaultProcessorRecord(int index);

// The processor runs what a finished card download sent: date and version
// from its begin record, labelled "update".
void TakeDownloadedSoftware(const protocol::unit::CardDownloadBegin& begin, ProcessorBytes& record);

// One processor's download as the card takes it: the begin record, then
// blocks into the processor's program memory, then the end, which accepts the
// new software only when what arrived sums to the announced checksum. A block
// sent twice to the same address counts once.
class CardDownload {
 public:
  // The processor's program memory, where every block must land.
  static constexpr std::uint32_t kMemoryStart = 0x10000;
  static constexpr std::uint32_t kMemoryEnd = 0x20000;

  void Begin(const protocol::unit::CardDownloadBegin& begin);
  bool Active() const { return active_; }
  // False for a block outside the program memory or without a download.
  bool TakeBlock(std::uint32_t address, std::span<const std::uint8_t> data);
  // Ends the download; true when the image is whole and the processor
  // now runs it (the record then reports the new version and date).
  bool End(ProcessorBytes& record);
  // Bytes received since the begin, each address once.
  std::uint32_t Received() const { return received_; }

 private:
  protocol::unit::CardDownloadBegin begin_;
  bool active_ = false;
  std::vector<std::uint8_t> memory_;
  std::vector<bool> written_;
  std::uint32_t received_ = 0;
};

}  // namespace sim::cards
