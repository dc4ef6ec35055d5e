// The digital and analogue input cards: HEJ520, SIV520 and NVO310. Names,
// switches and (HEJ520) channel assignments.
#include "protocol/unit/Hej520Image.h"
#include "protocol/unit/Nvo310Image.h"
#include "protocol/unit/Siv520Image.h"
#include "protocol/unit/UnitCommand.h"
#include "sim/ImageFields.h"
#include "sim/cards/Cards.h"

namespace sim::cards {

namespace {

namespace pu = protocol::unit;
using Hej = pu::Hej520Image;
using Siv = pu::Siv520Image;
using Nvo = pu::Nvo310Image;

constexpr std::uint16_t kHejLength = Hej::kEnd + 1;

void FillHej520(std::span<std::uint8_t> image) {
  PutDefaults(image, Hej::kFields);
}

constexpr const pu::FieldRow* kHejAssigns[] = {&Hej::kAssign1Field, &Hej::kAssign2Field, nullptr,
                                               nullptr};

bool ApplyHej520(const pu::Request& request, std::span<std::uint8_t> image) {
  if (request.header.code != pu::Code(pu::UnitCommand::kLiveValues2)) return false;
  return PutLiveFields(request.data, kHejAssigns, image);
}

constexpr std::uint16_t kSivLength = Siv::kEnd;

void FillSiv520(std::span<std::uint8_t> image) {
  PutDefaults(image, Siv::kFields);
}

constexpr std::uint16_t kNvoLength = Nvo::kEnd + 1;

void FillNvo310(std::span<std::uint8_t> image) {
  PutDefaults(image, Nvo::kFields);
}

}  // namespace

const CardModel kHej520 = {kHejLength, FillHej520, ApplyHej520};
const CardModel kSiv520 = {kSivLength, FillSiv520, nullptr};
const CardModel kNvo310 = {kNvoLength, FillNvo310, nullptr};

}  // namespace sim::cards
