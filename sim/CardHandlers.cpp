// Card records and live values.
#include <algorithm>

#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/ProcessorRecord.h"
#include "protocol/unit/Qvo520Image.h"
#include "protocol/unit/TableEntry.h"
#include "sim/CardModel.h"
#include "sim/UsbHandlers.h"

namespace sim {

namespace pu = protocol::unit;

namespace {

bool IsOutputCard(const ModuleState& m) {
  return m.setup.type == pu::type::kQVO520 || m.setup.type == pu::type::kQVO520b;
}

}  // namespace

namespace handlers {

bool ReadProcessorRecord(Exchange& x) {
  const std::size_t index = x.request.header.arg2;
  if (index >= pu::Qvo520Image::kProcessorCount || !IsOutputCard(*x.module)) return false;
  const auto& record = x.module->processors[index];
  std::copy(record.begin(), record.end(), x.reply.begin() + pu::ReplyHeader::kData);
  x.reply[pu::ReplyHeader::kCount] = pu::ProcessorRecord::kSize;
  return true;
}

bool WriteBankRecord(Exchange& x) {
  const std::size_t index = x.request.header.arg2;
  const auto data = x.request.data;
  if (index >= pu::Qvo520Image::kProcessorCount || data.size() != pu::BoardIdentity::kSize) {
    return false;
  }
  std::copy(data.begin(), data.end(),
            x.module->processors[index].begin() + pu::ProcessorRecord::kBoardIdentity);
  x.changed = true;
  return true;
}

// The table entry as the card keeps it: the carried bytes, the rest zero.
bool WriteTableEntry(Exchange& x) {
  const std::size_t index = x.request.header.arg1;
  const auto data = x.request.data;
  if (x.module->setup.type != pu::type::kKLF310 || index >= pu::TableEntry::kEntryCount ||
      data.size() < pu::TableEntry::kEntry) {
    return false;
  }
  // A frame carries at most 56 bytes after the word; the entry holds 48.
  auto& entry = x.module->table[index];
  entry.fill(0);
  const std::size_t n = std::min(data.size() - pu::TableEntry::kEntry, entry.size());
  std::copy_n(data.begin() + pu::TableEntry::kEntry, n, entry.begin());
  x.changed = true;
  return true;
}

// A card that does not take a live value ignores it; the exchange succeeds.
bool LiveValue(Exchange& x) {
  const CardModel* model = FindCardModel(x.module->setup.type);
  if (model != nullptr && model->applyLive != nullptr) {
    model->applyLive(x.request, x.module->working);
  }
  return true;
}

}  // namespace handlers

}  // namespace sim
