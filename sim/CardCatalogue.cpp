#include <algorithm>

#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/SettingsImage.h"
#include "sim/CardModel.h"
#include "sim/cards/Cards.h"

namespace sim {

namespace {

namespace type = protocol::unit::type;

struct Row {
  std::uint8_t type;
  const CardModel* model;
};
// An explicit list: every type the simulator can put in a slot.
const Row kRows[] = {
    {kMainUnitType, &cards::kMainUnit}, {type::kQVI520, &cards::kQvi520},
    {type::kQVO520, &cards::kQvo520},   {type::kQVO520b, &cards::kQvo520},
    {type::kHEJ520, &cards::kHej520},   {type::kSIV520, &cards::kSiv520},
    {type::kTWR310i, &cards::kTwr310i}, {type::kNVO310, &cards::kNvo310},
    {type::kBUZ310, &cards::kBuz310},   {type::kJOV520, &cards::kJov520},
    {type::kYOR310, &cards::kYor310},   {type::kKLF310, &cards::kKlf310},
    {type::kFront26, &cards::kFront26},
};

// Size announced by a module whose layout the simulator does not know.
constexpr std::uint16_t kUnknownTypeLength = 64;

}  // namespace

const CardModel* FindCardModel(std::uint8_t type) {
  for (const Row& row : kRows) {
    if (row.type == type) return row.model;
  }
  return nullptr;
}

std::uint16_t DefaultSettingsLength(std::uint8_t type) {
  const CardModel* model = FindCardModel(type);
  return model != nullptr ? model->settingsLength : kUnknownTypeLength;
}

std::vector<std::uint8_t> DefaultSettings(std::uint8_t type) {
  std::vector<std::uint8_t> image(DefaultSettingsLength(type), 0);
  const CardModel* model = FindCardModel(type);
  if (model != nullptr && model->fillDefaults != nullptr) model->fillDefaults(image);
  std::fill_n(image.begin(), std::min(image.size(), protocol::unit::SettingsImage::kIdentitySize),
              0);
  return image;
}

bool ApplyLiveValue(std::uint8_t type, std::span<const std::uint8_t> frame,
                    std::span<std::uint8_t> image) {
  protocol::unit::Request request;
  if (protocol::unit::DecodeRequest(frame, request) != protocol::unit::ParseResult::kComplete) {
    return false;
  }
  const CardModel* model = FindCardModel(type);
  return model != nullptr && model->applyLive != nullptr && model->applyLive(request, image);
}

}  // namespace sim
