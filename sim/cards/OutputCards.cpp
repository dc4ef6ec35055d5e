// The converter and drive cards with levels or a LED: TWR310i, YOR310, JOV520.
#include "protocol/unit/Jov520Image.h"
#include "protocol/unit/Twr310iImage.h"
#include "protocol/unit/UnitCommand.h"
#include "protocol/unit/Yor310Image.h"
#include "sim/ImageFields.h"
#include "sim/cards/Cards.h"

namespace sim::cards {

namespace {

namespace pu = protocol::unit;
using Twr = pu::Twr310iImage;
using Yor = pu::Yor310Image;
using Jov = pu::Jov520Image;

constexpr std::uint16_t kTwrLength = Twr::kEnd;

void FillTwr310i(std::span<std::uint8_t> image) {
  PutDefaults(image, Twr::kFields);
}

constexpr const pu::FieldRow* kTwrLevels[] = {&Twr::kLevel1Field, &Twr::kLevel2Field, nullptr,
                                              nullptr};
constexpr const pu::FieldRow* kTwrAssigns[] = {&Twr::kAssign1Field, &Twr::kAssign2Field, nullptr,
                                               nullptr};

bool ApplyTwr310i(const pu::Request& request, std::span<std::uint8_t> image) {
  switch (static_cast<pu::UnitCommand>(request.header.code)) {
    case pu::UnitCommand::kLiveValues:
      return PutLiveFields(request.data, kTwrLevels, image);
    case pu::UnitCommand::kLiveValues2:
      return PutLiveFields(request.data, kTwrAssigns, image);
    default:
      return false;
  }
}

constexpr std::uint16_t kYorLength = Yor::kEnd;

void FillYor310(std::span<std::uint8_t> image) {
  PutDefaults(image, Yor::kFields);
}

constexpr const pu::FieldRow* kYorOffsets[] = {&Yor::kOffset1Field, &Yor::kOffset2Field, nullptr,
                                               nullptr};

bool ApplyYor310(const pu::Request& request, std::span<std::uint8_t> image) {
  if (request.header.code != pu::Code(pu::UnitCommand::kLiveValues)) return false;
  return PutLiveFields(request.data, kYorOffsets, image);
}

constexpr std::uint16_t kJovLength = Jov::kEnd;

void FillJov520(std::span<std::uint8_t> image) {
  PutDefaults(image, Jov::kFields);
}

bool ApplyJov520(const pu::Request& request, std::span<std::uint8_t> image) {
  if (request.header.code != pu::Code(pu::UnitCommand::kJovValue)) return false;
  if (!Jov::kLedBrightnessField.InRange(request.header.arg2)) return false;
  PutNumber(image, Jov::kLedBrightnessField, request.header.arg2);
  return true;
}

}  // namespace

const CardModel kTwr310i = {kTwrLength, FillTwr310i, ApplyTwr310i};
const CardModel kYor310 = {kYorLength, FillYor310, ApplyYor310};
const CardModel kJov520 = {kJovLength, FillJov520, ApplyJov520};

}  // namespace sim::cards
