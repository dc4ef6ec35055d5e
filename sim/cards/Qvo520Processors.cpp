#include "sim/cards/Qvo520Processors.h"

#include "protocol/unit/ModelNames.h"

namespace sim::cards {

namespace {

namespace pu = protocol::unit;

constexpr auto kModelZel520 = static_cast<std::uint8_t>(pu::model::kZel520);
constexpr auto kComponentDsp = static_cast<std::uint8_t>(pu::component::kDsp);
constexpr auto kComponentPfc = static_cast<std::uint8_t>(pu::component::kPfc);

struct Board {
  std::uint8_t year;  // - 2000
  std::uint8_t month;
  std::uint8_t day;
  std::uint32_t serial;
};
constexpr std::array<Board, 2> kBoards = {{{8, 9, 15, 1201}, {8, 9, 15, 1202}}};

}  // namespace

ProcessorBytes DefaultProcessorRecord(int index) {
  const Board& board = kBoards[index == 0 ? 0 : 1];
  pu::ProcessorRecord r;
  r.model = kModelZel520;
  r.component = kComponentDsp;
  // Factory software, older than the DSP package the desktop carries, so an update is offered.
  r.date = {14, 3, 2008};
  r.major = 2;
  r.minor = 5;
  r.secondComponent = kComponentPfc;
  r.secondDate = {5, 11, 2007};
  r.secondMajor = 1;
  r.secondMinor = 2;
  r.board.written = 1;
  r.board.deliveryYear = board.year;
  r.board.deliveryMonth = board.month;
  r.board.deliveryDay = board.day;
  r.board.serial = board.serial;
  return r.Encode();
}

void TakeDownloadedSoftware(const pu::CardDownloadBegin& begin, ProcessorBytes& record) {
  pu::ProcessorRecord r = pu::ProcessorRecord::Decode(record);
  r.date = {begin.day, begin.month, begin.year >= 2000 ? begin.year : 2000 + begin.year};
  r.update = true;
  r.major = begin.versionMajor;
  r.minor = begin.versionMinor;
  record = r.Encode();
}

}  // namespace sim::cards

namespace sim::cards {

void CardDownload::Begin(const pu::CardDownloadBegin& begin) {
  begin_ = begin;
  active_ = true;
  memory_.assign(kMemoryEnd - kMemoryStart, 0);
  written_.assign(kMemoryEnd - kMemoryStart, false);
  received_ = 0;
}

bool CardDownload::TakeBlock(std::uint32_t address, std::span<const std::uint8_t> data) {
  if (!active_ || address < kMemoryStart || address > kMemoryEnd ||
      data.size() > kMemoryEnd - address) {
    return false;
  }
  const std::size_t at = address - kMemoryStart;
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (!written_[at + i]) ++received_;
    written_[at + i] = true;
    memory_[at + i] = data[i];
  }
  return true;
}

bool CardDownload::End(ProcessorBytes& record) {
  if (!active_) return false;
  active_ = false;
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < memory_.size(); ++i) {
    if (written_[i]) sum += memory_[i];
  }
  const bool whole = received_ != 0 && sum == begin_.checksum;
  memory_.clear();
  written_.clear();
  if (!whole) return false;
  TakeDownloadedSoftware(begin_, record);
  return true;
}

}  // namespace sim::cards
