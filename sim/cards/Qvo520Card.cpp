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

constexpr std::size_t kLevels[] = {Img::kLevel1, Img::kLevel2, Img::kLevel3, Img::kLevel4};
constexpr std::size_t kAssigns[] = {Img::kAssign1, Img::kAssign2, Img::kAssign3, Img::kAssign4};
constexpr std::size_t kMode[] = {Img::kMode};

bool ApplyLive(const pu::Request& request, std::span<std::uint8_t> image) {
  switch (static_cast<pu::UnitCommand>(request.header.code)) {
    case pu::UnitCommand::kLiveValues:
      return PutLiveWords(request.data, kLevels, image);
    case pu::UnitCommand::kLiveValues2:
      return PutLiveWords(request.data, kAssigns, image);
    case pu::UnitCommand::kLiveValue:
      return PutLiveWords(request.data, kMode, image);
    default:
      return false;
  }
}

}  // namespace

const CardModel kQvo520 = {kLength, Fill, ApplyLive};

}  // namespace sim::cards
