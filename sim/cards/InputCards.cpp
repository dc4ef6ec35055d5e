// The digital and analogue input cards: HEJ520, SIV520 and NVO310. Names,
// switches and (HEJ520) channel assignments.
#include <array>
#include <string_view>

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
constexpr std::uint8_t kHejDefaultRate = 1;  // 48 kHz
constexpr std::array<std::string_view, Hej::kInputCount> kHejNames = {"Input 1", "Input 2",
                                                                      "Input 3"};

void FillHej520(std::span<std::uint8_t> image) {
  for (std::size_t i = 0; i < kHejNames.size(); ++i)
    PutName(image, Hej::NameOffset(i), kHejNames[i]);
  platform::PutU16(image, Hej::kAssign1, 0);  // Front Left
  platform::PutU16(image, Hej::kAssign2, 1);  // Front Right
  image[Hej::kDisable] = 0;
  image[Hej::kCd] = 0;
  image[Hej::kRate] = kHejDefaultRate;
}

constexpr std::size_t kHejAssigns[] = {Hej::kAssign1, Hej::kAssign2, kIgnoredWord, kIgnoredWord};

bool ApplyHej520(const pu::Request& request, std::span<std::uint8_t> image) {
  if (request.header.code != pu::Code(pu::UnitCommand::kLiveValues2)) return false;
  return PutLiveWords(request.data, kHejAssigns, image);
}

constexpr std::uint16_t kSivLength = Siv::kEnd;
constexpr std::array<std::string_view, Siv::kInputCount> kSivNames = {
    "Input 1", "Input 2", "Input 3", "Input 4", "Input 5", "Input 6", "Input 7", "Input 8"};

void FillSiv520(std::span<std::uint8_t> image) {
  for (std::size_t i = 0; i < kSivNames.size(); ++i)
    PutName(image, Siv::NameOffset(i), kSivNames[i]);
  image[Siv::kDisable] = 0;
  image[Siv::kCd] = 0;
}

constexpr std::uint16_t kNvoLength = Nvo::kEnd + 1;
constexpr std::array<std::string_view, Nvo::kInputCount> kNvoNames = {
    "Stereo 1", "Stereo 2", "Stereo 3", "Stereo 4", "MC 5.1", "Stereo 5", "MC 7.1"};

void FillNvo310(std::span<std::uint8_t> image) {
  for (std::size_t i = 0; i < kNvoNames.size(); ++i)
    PutName(image, Nvo::NameOffset(i), kNvoNames[i]);
  image[Nvo::kDisable] = 0;
  image[Nvo::kFlags] = Nvo::kGroupStereo;  // high-pass off
}

}  // namespace

const CardModel kHej520 = {kHejLength, FillHej520, ApplyHej520};
const CardModel kSiv520 = {kSivLength, FillSiv520, nullptr};
const CardModel kNvo310 = {kNvoLength, FillNvo310, nullptr};

}  // namespace sim::cards
