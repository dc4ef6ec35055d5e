#include "protocol/klf/CurveBin.h"

#include <algorithm>
#include <cmath>

#include "protocol/klf/TextNumbers.h"

namespace protocol::klf {

namespace {
constexpr std::uint32_t kLevelMask = 0x3FF;
constexpr std::uint32_t kPhaseMask = 0xFFF;
constexpr int kRoom2Shift = 10;
constexpr int kRoom3Shift = 20;
constexpr int kPhaseShift = 8;
constexpr int kRoom4Shift = 20;

void PutWord(std::uint8_t* out, std::uint32_t w) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(w >> (8 * i));
}

std::uint32_t GetWord(const std::uint8_t* in) {
  return static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
         static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24;
}
}  // namespace

std::array<std::uint8_t, CurveBin::kSize> CurveBin::Encode() const {
  const std::uint32_t w0 = (roomLevel[0] & kLevelMask) |
                           (roomLevel[1] & kLevelMask) << kRoom2Shift |
                           (roomLevel[2] & kLevelMask) << kRoom3Shift;
  const std::uint32_t w1 = static_cast<std::uint8_t>(amplitude) |
                           (static_cast<std::uint32_t>(phase) & kPhaseMask) << kPhaseShift |
                           (roomLevel[3] & kLevelMask) << kRoom4Shift;
  std::array<std::uint8_t, kSize> out{};
  PutWord(out.data(), w0);
  PutWord(out.data() + 4, w1);
  return out;
}

CurveBin CurveBin::Decode(std::span<const std::uint8_t> bytes) {
  CurveBin bin;
  if (bytes.size() < kSize) return bin;
  const std::uint32_t w0 = GetWord(bytes.data());
  const std::uint32_t w1 = GetWord(bytes.data() + 4);
  bin.roomLevel[0] = static_cast<std::uint16_t>(w0 & kLevelMask);
  bin.roomLevel[1] = static_cast<std::uint16_t>(w0 >> kRoom2Shift & kLevelMask);
  bin.roomLevel[2] = static_cast<std::uint16_t>(w0 >> kRoom3Shift & kLevelMask);
  bin.roomLevel[3] = static_cast<std::uint16_t>(w1 >> kRoom4Shift & kLevelMask);
  bin.amplitude = static_cast<std::int8_t>(w1 & 0xFF);
  // Sign-extend the 12-bit phase.
  const auto rawPhase = static_cast<int>(w1 >> kPhaseShift & kPhaseMask);
  bin.phase = static_cast<std::int16_t>(rawPhase >= 2048 ? rawPhase - 4096 : rawPhase);
  return bin;
}

std::uint16_t CurveBin::LevelCode(double db) {
  const double scaled = (db + 90.0) * 10.0;
  if (!(scaled > 0)) return 0;  // NaN too
  if (scaled >= kMaxLevelCode) return kMaxLevelCode;
  return static_cast<std::uint16_t>(std::max(0L, TruncScaled(scaled)));
}

double CurveBin::LevelDb(std::uint16_t code) {
  return code / 10.0 - 90.0;
}

}  // namespace protocol::klf
