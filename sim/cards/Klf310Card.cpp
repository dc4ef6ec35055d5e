// The KLF310 room-correction card: network identity and sixteen channel records.
#include <algorithm>
#include <array>
#include <string_view>

#include "protocol/unit/Klf310Image.h"
#include "protocol/unit/TableEntry.h"
#include "protocol/unit/UnitCommand.h"
#include "sim/ImageFields.h"
#include "sim/cards/Cards.h"
#include "sim/cards/Klf310Versions.h"

namespace sim::cards {

namespace {

namespace pu = protocol::unit;
using Img = pu::Klf310Image;
using Ch = pu::Klf310Channel;

constexpr std::uint16_t kLength = Img::kEnd;
constexpr std::array<std::uint8_t, Img::kMacSize> kDefaultMac = {0x02, 0x4D, 0x52,
                                                                 0x58, 0x03, 0x10};
// The factory address of a card in process. mrx520-sim gives every card one of
// its own instead (the scenario's ip=, else a free loopback address picked at
// start, KlfAddresses.h), so simulators never meet on the card's ports.
constexpr std::array<std::uint8_t, Img::kAddressSize> kDefaultIp = {127, 0, 0, 77};
constexpr std::array<std::uint8_t, Img::kAddressSize> kDefaultSubnet = {255, 0, 0, 0};
constexpr std::uint16_t kDefaultChannels = 6;  // the page's minimum
constexpr std::uint32_t kDefaultFraction = 3;  // 1/3 octave
constexpr float kDefaultStartHz = 20.0F;
constexpr float kDefaultStopHz = 500.0F;
constexpr float kDefaultDelayMs = 0.0F;
constexpr std::array<std::string_view, Img::kChannelCount> kDefaultNames = {
    "Front Left",  "Front Right",  "Rear Left",   "Rear Right",   "Centre",      "Subwoofer",
    "Mid Left",    "Mid Right",    "Zone 1 Left", "Zone 1 Right", "Zone 2 Left", "Zone 2 Right",
    "Zone 3 Left", "Zone 3 Right", "Zone 4 Left", "Zone 4 Right"};

void Fill(std::span<std::uint8_t> image) {
  std::copy(kDefaultMac.begin(), kDefaultMac.end(), image.begin() + Img::kMac);
  std::copy(kDefaultIp.begin(), kDefaultIp.end(), image.begin() + Img::kIp);
  std::copy(kDefaultSubnet.begin(), kDefaultSubnet.end(), image.begin() + Img::kSubnet);
  for (std::size_t i = 0; i < Img::kChannelCount; ++i) {
    const std::size_t ch = Img::ChannelOffset(i);
    std::uint32_t flags = (kDefaultFraction << Ch::kFractionShift) |
                          (static_cast<std::uint32_t>(i) << Ch::kIndexShift);
    if (i < kDefaultChannels) flags |= Ch::kInUseBit | Ch::kActiveBit;
    platform::PutU32(image, ch + Ch::kFlags, flags);
    PutFloat(image, ch + Ch::kStart, kDefaultStartHz);
    PutFloat(image, ch + Ch::kStop, kDefaultStopHz);
    PutFloat(image, ch + Ch::kDelay, kDefaultDelayMs);
    PutName(image, ch + Ch::kName, kDefaultNames[i], Ch::kNameSize);
  }
  platform::PutU16(image, Img::kConfig, kDefaultChannels | Img::kAdvancedBit);
}

// Command 175: a live channel change; the record's last two name bytes are
// not carried and stay as stored.
bool ApplyLive(const pu::Request& request, std::span<std::uint8_t> image) {
  if (request.header.code != pu::Code(pu::UnitCommand::kWriteTableEntry)) return false;
  const std::size_t channel = request.header.arg1;
  const auto carried = pu::TableEntry::CarriedEntry(request.data);
  if (channel >= Img::kChannelCount || carried.empty()) return false;
  const std::size_t at = Img::ChannelOffset(channel);
  if (!Fits(image, at, carried.size())) return false;
  std::copy(carried.begin(), carried.end(), image.begin() + static_cast<std::ptrdiff_t>(at));
  return true;
}

}  // namespace

const CardModel kKlf310 = {kLength, Fill, ApplyLive};

}  // namespace sim::cards
