#include "sim/RemoteLiveValues.h"

#include <algorithm>
#include <array>

#include "platform/Bytes.h"
#include "protocol/remote/RemoteProtocol.h"
#include "protocol/unit/Frame.h"
#include "protocol/unit/LiveRecords.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/PhonoImage.h"
#include "protocol/unit/UnitCommand.h"
#include "sim/CardModel.h"

namespace sim {

namespace {

namespace pu = protocol::unit;
namespace rl = protocol::remote;

// The remote's value as the desktop's command would carry it.
bool AsUnitCommand(std::uint8_t type, pu::UnitCommand command, std::uint8_t arg2,
                   std::span<const std::uint8_t> data, std::span<std::uint8_t> image) {
  std::array<std::uint8_t, pu::kFrameSize> frame{};
  pu::RequestHeader header;
  header.code = pu::Code(command);
  header.arg2 = arg2;
  const std::size_t size = pu::EncodeRequest(header, data, frame);
  return ApplyLiveValue(type, std::span(frame).first(size), image);
}

}  // namespace

bool ApplyRemoteLiveValue(std::uint8_t type, std::uint8_t code,
                          std::span<const std::uint8_t> payload, std::span<std::uint8_t> image) {
  switch (code) {
    case rl::kCmdLiveValue66: {  // u16 slot, four u16 levels
      if (payload.size() < 10) return false;
      const auto words =
          pu::LiveWords::EncodeFour(platform::GetU16(payload, 2), platform::GetU16(payload, 4),
                                    platform::GetU16(payload, 6), platform::GetU16(payload, 8));
      return AsUnitCommand(type, pu::UnitCommand::kLiveValues, 0, words, image);
    }
    case rl::kCmdLiveValue69: {  // u16 slot and selector, u16 four 4-bit channel numbers
      if (payload.size() < 4) return false;
      const std::uint16_t v = platform::GetU16(payload, 2);
      const auto words = pu::LiveWords::EncodeFour(
          static_cast<std::uint16_t>(v & 0xF), static_cast<std::uint16_t>((v >> 4) & 0xF),
          static_cast<std::uint16_t>((v >> 8) & 0xF), static_cast<std::uint16_t>((v >> 12) & 0xF));
      return AsUnitCommand(type, pu::UnitCommand::kLiveValues2, 0, words, image);
    }
    case rl::kCmdLiveValue67:  // u8 slot, gain, second value
      if (payload.size() < 3) return false;
      return AsUnitCommand(type, pu::UnitCommand::kLiveEqualizerGain, payload[1], {}, image);
    case rl::kCmdLiveValue56:  // u8 slot, selected curve
      if (payload.size() < 2 || (type != pu::type::kQVI520 && type != pu::type::kBUZ310) ||
          payload[1] >= pu::PhonoImage::kSlotCount ||
          image.size() <= pu::PhonoImage::kSelectedCurve) {
        return false;
      }
      image[pu::PhonoImage::kSelectedCurve] = payload[1];
      return true;
    case rl::kCmdLiveValue70:  // u16 slot/control, u16 value
      if (payload.size() < 4) return false;
      return AsUnitCommand(
          type, pu::UnitCommand::kJovValue,
          static_cast<std::uint8_t>(std::min<std::uint16_t>(platform::GetU16(payload, 2), 255)), {},
          image);
    default:
      return false;
  }
}

}  // namespace sim
