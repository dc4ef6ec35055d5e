#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "protocol/unit/FieldRow.h"

namespace protocol::unit {

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

// The phono equaliser cards (QVI520 and BUZ310): card name, gain, eight curve slots.
struct PhonoLayout {
  using Slot = PhonoCurveSlot;
  static constexpr std::size_t kName = 8;
  static constexpr std::size_t kGain = 24;           // u8, tenths of a dB, 0-120
  static constexpr std::size_t kSelectedCurve = 25;  // u8, slot 0-7
  static constexpr std::size_t kFirstSlot = 26;
  static constexpr std::size_t kSlotCount = 8;
  static constexpr std::size_t kFlags = 234;  // bit 0: 1 Hz high-pass filter on
  static constexpr std::uint8_t kHighPassBit = 0x01;
  static constexpr std::size_t kEnd = kFlags + 1;

  static constexpr std::size_t SlotOffset(std::size_t k) { return kFirstSlot + Slot::kSize * k; }
};

// Time constant `t` of every slot: 0 (not used) to 16383 µs.
constexpr FieldRow PhonoTimeField(std::string_view name, std::size_t t) {
  using L = PhonoLayout;
  return Repeated(NumberField(name, L::SlotOffset(0) + L::Slot::TimeOffset(t), FieldKind::kU16, 0,
                              L::Slot::kMaxTime, 0, "µs"),
                  L::kSlotCount, L::Slot::kSize);
}

struct PhonoImage : PhonoLayout {
  // The card's name is its model's (the simulated cards put it in).
  static constexpr FieldRow kNameField = NameField("name", kName, "");
  // 0.0 to 12.0 dB, 10.0 dB on a new card.
  static constexpr FieldRow kGainField = {.name = "gain",
                                          .offset = kGain,
                                          .kind = FieldKind::kU8,
                                          .size = 1,
                                          .tenths = true,
                                          .unit = "dB",
                                          .min = 0,
                                          .max = 120,
                                          .defaultValue = 100};
  static constexpr FieldRow kSelectedField =
      NumberField("selected curve slot", kSelectedCurve, FieldKind::kU8, 0, kSlotCount - 1, 0);
  static constexpr std::array<FieldRow, Slot::kTimeCount> kTimeFields = {
      PhonoTimeField("slot # T1", 0), PhonoTimeField("slot # T2", 1),
      PhonoTimeField("slot # T3", 2), PhonoTimeField("slot # T4", 3)};
  static constexpr FieldRow kFields[] = {
      kNameField,
      kGainField,
      kSelectedField,
      Repeated(BitsField("slot # in use", SlotOffset(0) + Slot::kWord, FieldKind::kU16,
                         Slot::kInUse, kNoYes, 1),
               kSlotCount, Slot::kSize),
      Repeated(BitsField("slot # curve number", SlotOffset(0) + Slot::kWord, FieldKind::kU16,
                         Slot::kCurveMask << Slot::kCurveShift, {}, 0),
               kSlotCount, Slot::kSize),
      kTimeFields[0],
      kTimeFields[1],
      kTimeFields[2],
      kTimeFields[3],
      Repeated({.name = "slot # name",
                .offset = SlotOffset(0) + Slot::kName,
                .kind = FieldKind::kText,
                .size = Slot::kNameSize},
               kSlotCount, Slot::kSize),
      BitsField("high-pass filter", kFlags, FieldKind::kU8, kHighPassBit, kOffOn, 0),
  };
};

// The classic replay curves a new card holds, one per slot, curve number =
// slot; the desktop offers the same list to choose from.
struct PhonoClassicCurve {
  std::string_view name;
  std::array<std::uint16_t, PhonoCurveSlot::kTimeCount> t;  // bass, mid, high, lower bass
};
inline constexpr std::array<PhonoClassicCurve, PhonoImage::kSlotCount> kPhonoClassicCurves = {{
    {"RIAA (IEC)", {3180, 318, 75, 7950}},
    {"RIAA", {3180, 318, 75, 0}},
    {"TELDEC", {3180, 318, 50, 0}},
    {"AES", {0, 398, 64, 0}},
    {"Columbia LP M33", {1590, 318, 100, 0}},
    {"NAB", {0, 318, 100, 0}},
    {"NARTB", {2720, 318, 100, 0}},
    {"London M33&M45", {1590, 318, 57, 0}},
}};

}  // namespace protocol::unit
