// The QVO520 output card: levels, channel assignments and the operating mode.
// Its processor records live with the processor model (Qvo520Processors).
#include <array>

#include "protocol/unit/LiveRecords.h"
#include "protocol/unit/Qvo520Image.h"
#include "protocol/unit/UnitCommand.h"
#include "sim/ImageFields.h"
#include "sim/cards/Cards.h"

namespace sim::cards {

namespace {

namespace pu = protocol::unit;
using Img = pu::Qvo520Image;

constexpr std::uint16_t kLength = Img::kEnd + 2;
void Fill(std::span<std::uint8_t> image) {
  PutDefaults(image, Img::kFields);
}

constexpr const pu::FieldRow* kLevels[] = {&Img::kLevelFields[0], &Img::kLevelFields[1],
                                           &Img::kLevelFields[2], &Img::kLevelFields[3]};
constexpr const pu::FieldRow* kAssigns[] = {&Img::kAssignFields[0], &Img::kAssignFields[1],
                                            &Img::kAssignFields[2], &Img::kAssignFields[3]};
constexpr const pu::FieldRow* kMode[] = {&Img::kModeField};

bool ApplyLive(const pu::Request& request, std::span<std::uint8_t> image) {
  switch (static_cast<pu::UnitCommand>(request.header.code)) {
    case pu::UnitCommand::kLiveValues:
      return PutLiveFields(request.data, kLevels, image);
    case pu::UnitCommand::kLiveValues2:
      return PutLiveFields(request.data, kAssigns, image);
    case pu::UnitCommand::kLiveValue:
      return PutLiveFields(request.data, kMode, image);
    default:
      return false;
  }
}

}  // namespace

const CardModel kQvo520 = {kLength, Fill, ApplyLive};

}  // namespace sim::cards
