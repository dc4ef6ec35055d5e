#pragma once

#include <cstddef>
#include <cstdint>

namespace protocol::unit {

// The phono equaliser cards (QVI520 and BUZ310): card name, gain, eight curve slots.
struct PhonoImage {
  static constexpr std::size_t kName = 8;
  static constexpr std::size_t kGain = 24;           // u8, tenths of a dB, 0-120
  static constexpr std::size_t kSelectedCurve = 25;  // u8, slot 0-7
  static constexpr std::size_t kFirstSlot = 26;
  static constexpr std::size_t kSlotCount = 8;
  static constexpr std::size_t kFlags = 234;  // bit 0: 1 Hz high-pass filter on
  static constexpr std::uint8_t kHighPassBit = 0x01;
  static constexpr std::size_t kEnd = kFlags + 1;
  static constexpr std::uint8_t kMaxGain = 120;

  static constexpr std::size_t SlotOffset(std::size_t k);
};

// One 26-byte curve slot of a phono image.
struct PhonoCurveSlot {
  static constexpr std::size_t kSize = 26;
  static constexpr std::size_t kWord = 0;  // u16: bit 0 in use, bits 1-7 curve number
  static constexpr std::uint16_t kInUse = 1u << 0;
  static constexpr unsigned kCurveShift = 1;
  static constexpr unsigned kCurveMask = 0x7F;
  static constexpr std::size_t kT1 = 2;  // u16 microseconds: bass, low-pass
  static constexpr std::size_t kT2 = 4;  // mid range
  static constexpr std::size_t kT3 = 6;  // high range, low-pass
  static constexpr std::size_t kT4 = 8;  // lower bass, high-pass
  static constexpr std::size_t kTimeCount = 4;
  static constexpr std::size_t kName = 10;
  static constexpr std::size_t kNameSize = 16;
  static constexpr std::uint16_t kMaxTime = 16383;

  static constexpr std::size_t TimeOffset(std::size_t i) { return kT1 + 2 * i; }
};

constexpr std::size_t PhonoImage::SlotOffset(std::size_t k) {
  return kFirstSlot + PhonoCurveSlot::kSize * k;
}

}  // namespace protocol::unit
