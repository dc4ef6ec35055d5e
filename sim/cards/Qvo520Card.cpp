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
constexpr std::uint16_t kDefaultMode = 1;  // stereo
constexpr std::int16_t kDefaultLevel = 0;  // 0.0 dB
// Front Left, Front Right, Rear Left, Rear Right of the channel list.
constexpr std::array<std::uint16_t, 4> kDefaultAssigns = {0, 1, 2, 3};

void Fill(std::span<std::uint8_t> image) {
  PutName(image, Img::kName, "Output");
  for (std::size_t i = 0; i < Img::kLevels.size(); ++i) {
    PutI16(image, Img::kLevels[i], kDefaultLevel);
    platform::PutU16(image, Img::kAssigns[i], kDefaultAssigns[i]);
  }
  platform::PutU16(image, Img::kMode, kDefaultMode);
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
