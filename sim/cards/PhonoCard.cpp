// The phono equaliser cards, QVI520 and BUZ310: gain and eight curve slots.
#include <array>
#include <optional>
#include <string_view>

#include "protocol/unit/LiveRecords.h"
#include "protocol/unit/PhonoImage.h"
#include "protocol/unit/UnitCommand.h"
#include "sim/ImageFields.h"
#include "sim/cards/Cards.h"

namespace sim::cards {

namespace {

namespace pu = protocol::unit;
using Img = pu::PhonoImage;
using Slot = pu::PhonoCurveSlot;

constexpr std::uint16_t kLength = Img::kEnd + 1;
// A new card: the table's defaults, its model's name and the classic curves,
// one per slot, curve number = slot.
void Fill(std::span<std::uint8_t> image, std::string_view cardName) {
  PutDefaults(image, Img::kFields);
  PutName(image, Img::kName, cardName);
  for (std::size_t k = 0; k < Img::kSlotCount; ++k) {
    const std::size_t slot = Img::SlotOffset(k);
    const auto word = static_cast<std::uint16_t>((k << Slot::kCurveShift) | Slot::kInUse);
    platform::PutU16(image, slot + Slot::kWord, word);
    for (std::size_t i = 0; i < Slot::kTimeCount; ++i) {
      platform::PutU16(image, slot + Slot::TimeOffset(i), pu::kPhonoClassicCurves[k].t[i]);
    }
    PutName(image, slot + Slot::kName, pu::kPhonoClassicCurves[k].name, Slot::kNameSize);
  }
}
void FillQvi520(std::span<std::uint8_t> image) {
  Fill(image, "Phono Input");
}
void FillBuz310(std::span<std::uint8_t> image) {
  Fill(image, "Phono");
}

// Command 160: the card plays the curve it is sent, so the slot holding that curve
// number takes the time constants; a fresh selection also becomes the selected slot.
// The currently selected slot wins when several slots share a number. False
// for a time constant out of range: nothing is taken.
bool ApplyCurve(const pu::EqualizerCurveRecord& curve, std::span<std::uint8_t> image) {
  auto matches = [&](std::size_t slot) {
    const std::uint16_t word = platform::GetU16(image, Img::SlotOffset(slot) + Slot::kWord);
    return (word & Slot::kInUse) != 0 &&
           ((word >> Slot::kCurveShift) & Slot::kCurveMask) == curve.curve;
  };
  std::optional<std::size_t> target;
  const std::size_t selected = image[Img::kSelectedCurve];
  if (selected < Img::kSlotCount && matches(selected)) {
    target = selected;
  } else {
    for (std::size_t k = 0; k < Img::kSlotCount && !target; ++k) {
      if (matches(k)) target = k;
    }
  }
  for (std::size_t i = 0; i < Slot::kTimeCount; ++i) {
    if (!Img::kTimeFields[i].InRange(curve.times[i])) return false;
  }
  if (!target) return true;  // a curve the card does not hold: nothing to store
  if (curve.selected) image[Img::kSelectedCurve] = static_cast<std::uint8_t>(*target);
  for (std::size_t i = 0; i < Slot::kTimeCount; ++i) {
    platform::PutU16(image, Img::SlotOffset(*target) + Slot::TimeOffset(i), curve.times[i]);
  }
  return true;
}

bool ApplyLive(const pu::Request& request, std::span<std::uint8_t> image) {
  switch (static_cast<pu::UnitCommand>(request.header.code)) {
    case pu::UnitCommand::kLiveEqualizerGain:
      if (!Img::kGainField.InRange(request.header.arg2)) return false;
      PutNumber(image, Img::kGainField, request.header.arg2);
      return true;
    case pu::UnitCommand::kEqualizerCurve:
      if (request.data.size() < pu::EqualizerCurveRecord::kSize || !Fits(image, Img::kEnd, 0)) {
        return false;
      }
      return ApplyCurve(pu::EqualizerCurveRecord::Decode(request.data), image);
    default:
      return false;
  }
}

}  // namespace

const CardModel kQvi520 = {kLength, FillQvi520, ApplyLive};
const CardModel kBuz310 = {kLength, FillBuz310, ApplyLive};

}  // namespace sim::cards
