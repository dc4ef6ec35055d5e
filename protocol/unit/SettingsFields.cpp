#include "protocol/unit/SettingsFields.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <map>

#include "platform/Bytes.h"
#include "protocol/unit/Hej520Image.h"
#include "protocol/unit/IdentityRecord.h"
#include "protocol/unit/Jov520Image.h"
#include "protocol/unit/Klf310Image.h"
#include "protocol/unit/MainUnitImage.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/Nvo310Image.h"
#include "protocol/unit/PhonoImage.h"
#include "protocol/unit/Qvo520Image.h"
#include "protocol/unit/SettingsImage.h"
#include "protocol/unit/Siv520Image.h"
#include "protocol/unit/Twr310iImage.h"
#include "protocol/unit/Yor310Image.h"

namespace protocol::unit {

namespace {

using Fields = std::vector<SettingsField>;

std::vector<std::string_view> Choices(std::span<const std::string_view> names) {
  return {names.begin(), names.end()};
}

SettingsField FromRow(const FieldRow& row) {
  SettingsField f;
  f.name = std::string(row.name);
  f.offset = row.offset;
  f.kind = row.kind;
  f.size = row.size;
  f.mask = row.mask;
  f.tenths = row.tenths;
  f.unit = row.unit;
  f.choices = Choices(row.choices);
  return f;
}

void AddAll(Fields& f, std::span<const FieldRow> table) {
  for (const FieldRow& row : table) f.push_back(FromRow(row));
}

std::string Numbered(const char* before, std::size_t n, const char* after = "") {
  return before + std::to_string(n) + after;
}

// Small builders: one line per field in the tables below.
SettingsField Number(std::string name, std::size_t offset, FieldKind kind) {
  SettingsField f;
  f.name = std::move(name);
  f.offset = offset;
  f.kind = kind;
  f.size = kind == FieldKind::kU8 ? 1 : kind == FieldKind::kU32 ? 4 : 2;
  return f;
}

SettingsField Decibels(std::string name, std::size_t offset, FieldKind kind) {
  SettingsField f = Number(std::move(name), offset, kind);
  f.tenths = true;
  f.unit = "dB";
  return f;
}

SettingsField WithUnit(SettingsField f, std::string_view unit) {
  f.unit = unit;
  return f;
}

SettingsField Bits(std::string name, std::size_t offset, FieldKind kind, std::uint32_t mask,
                   std::span<const std::string_view> choices = {}) {
  SettingsField f = Number(std::move(name), offset, kind);
  f.mask = mask;
  f.choices = Choices(choices);
  return f;
}

SettingsField Text(std::string name, std::size_t offset,
                   std::size_t size = SettingsImage::kNameSize) {
  SettingsField f;
  f.name = std::move(name);
  f.offset = offset;
  f.kind = FieldKind::kText;
  f.size = size;
  return f;
}

SettingsField Sized(std::string name, std::size_t offset, FieldKind kind, std::size_t size) {
  SettingsField f;
  f.name = std::move(name);
  f.offset = offset;
  f.kind = kind;
  f.size = size;
  return f;
}

// Bytes 0-7 of every image.
void AddIdentity(Fields& f) {
  f.push_back(Sized("delivery date", SettingsImage::kIdentity + IdentityRecord::kDeliveryYear,
                    FieldKind::kDate, 3));
  f.push_back(
      Number("serial", SettingsImage::kIdentity + IdentityRecord::kSerial, FieldKind::kU16));
}

constexpr std::string_view kLanguages[] = {"English", "Deutsch"};
constexpr std::string_view kGroups[] = {"stereo", "5.1", "7.1"};

// A card whose layout gives its field table whole.
template <const auto& kTable>
Fields Card() {
  Fields f;
  AddIdentity(f);
  AddAll(f, kTable);
  return f;
}

Fields MainUnit() {
  using I = MainUnitImage;
  Fields f;
  AddIdentity(f);
  f.push_back(Bits("HDD option", I::kHddOption, FieldKind::kU16, I::kHddOptionBit, kOffOn));
  f.push_back(Bits("language", I::kOptions, FieldKind::kU16, I::kLanguageBit, kLanguages));
  f.push_back(Bits("clock display", I::kOptions, FieldKind::kU16, I::kClockDisplayBit, kOffOn));
  f.push_back(Decibels("volume step", I::kVolumeStep, FieldKind::kU8));
  SettingsField alt = WithUnit(Number("alternative screen", I::kAltScreen, FieldKind::kU16), "s");
  alt.choices = {"off"};  // 0 switches it off; other values are seconds
  f.push_back(alt);
  return f;
}

Fields Phono() {
  using I = PhonoImage;
  using S = PhonoCurveSlot;
  Fields f;
  AddIdentity(f);
  f.push_back(Text("name", I::kName));
  f.push_back(Decibels("gain", I::kGain, FieldKind::kU8));
  f.push_back(Number("selected curve slot", I::kSelectedCurve, FieldKind::kU8));
  for (std::size_t k = 0; k < I::kSlotCount; ++k) {
    const std::size_t at = I::SlotOffset(k);
    f.push_back(Bits(Numbered("slot ", k + 1, " in use"), at + S::kWord, FieldKind::kU16, S::kInUse,
                     kNoYes));
    f.push_back(Bits(Numbered("slot ", k + 1, " curve number"), at + S::kWord, FieldKind::kU16,
                     S::kCurveMask << S::kCurveShift));
    for (std::size_t t = 0; t < S::kTimeCount; ++t) {
      f.push_back(WithUnit(Number(Numbered("slot ", k + 1, " T") + std::to_string(t + 1),
                                  at + S::TimeOffset(t), FieldKind::kU16),
                           "µs"));
    }
    f.push_back(Text(Numbered("slot ", k + 1, " name"), at + S::kName, S::kNameSize));
  }
  f.push_back(Bits("high-pass filter", I::kFlags, FieldKind::kU8, I::kHighPassBit, kOffOn));
  return f;
}

// Inputs with a name each and an off bit and a "CD" bit per input.
void AddInputs(Fields& f, std::size_t count, auto nameOffset, std::size_t disable, std::size_t cd) {
  for (std::size_t i = 0; i < count; ++i) {
    f.push_back(Text(Numbered("input ", i + 1, " name"), nameOffset(i)));
    f.push_back(
        Bits(Numbered("input ", i + 1, " switched off"), disable, FieldKind::kU8, 1u << i, kNoYes));
    if (cd != 0) {
      f.push_back(Bits(Numbered("input ", i + 1, " CD"), cd, FieldKind::kU8, 1u << i, kNoYes));
    }
  }
}

Fields Hej520() {
  using I = Hej520Image;
  Fields f;
  AddIdentity(f);
  AddInputs(f, I::kInputCount, I::NameOffset, I::kDisable, I::kCd);
  f.push_back(Number("channel 1 assignment", I::kAssign1, FieldKind::kU16));
  f.push_back(Number("channel 2 assignment", I::kAssign2, FieldKind::kU16));
  SettingsField rate = Number("output rate", I::kRate, FieldKind::kU8);
  rate.choices = {"44.1 kHz", "48 kHz", "96 kHz"};
  f.push_back(rate);
  return f;
}

Fields Siv520() {
  using I = Siv520Image;
  Fields f;
  AddIdentity(f);
  AddInputs(f, I::kInputCount, I::NameOffset, I::kDisable, I::kCd);
  return f;
}

Fields Nvo310() {
  using I = Nvo310Image;
  Fields f;
  AddIdentity(f);
  AddInputs(f, I::kInputCount, I::NameOffset, I::kDisable, 0);
  f.push_back(Bits("high-pass filter", I::kFlags, FieldKind::kU8, I::kHighPassBit, kOffOn));
  // The group codes are 0, 2 and 4 in the flags byte: 0, 1 and 2 once shifted.
  f.push_back(Bits("active group", I::kFlags, FieldKind::kU8, I::kGroupMask, kGroups));
  return f;
}

Fields Klf310() {
  using I = Klf310Image;
  using C = Klf310Channel;
  Fields f;
  AddIdentity(f);
  f.push_back(Sized("MAC address", I::kMac, FieldKind::kMac, I::kMacSize));
  f.push_back(Sized("IP address", I::kIp, FieldKind::kIpv4, I::kAddressSize));
  f.push_back(Sized("subnet mask", I::kSubnet, FieldKind::kIpv4, I::kAddressSize));
  // Channels are numbered 0-15, as the card's curves are.
  for (std::size_t c = 0; c < I::kChannelCount; ++c) {
    const std::size_t at = I::ChannelOffset(c);
    f.push_back(Bits(Numbered("channel ", c, " in use"), at + C::kFlags, FieldKind::kU32,
                     C::kInUseBit, kNoYes));
    f.push_back(Bits(Numbered("channel ", c, " active"), at + C::kFlags, FieldKind::kU32,
                     C::kActiveBit, kNoYes));
    f.push_back(Bits(Numbered("channel ", c, " octave fraction"), at + C::kFlags, FieldKind::kU32,
                     C::kFractionMask << C::kFractionShift));
    f.push_back(Bits(Numbered("channel ", c, " index"), at + C::kFlags, FieldKind::kU32,
                     C::kIndexMask << C::kIndexShift));
    f.push_back(WithUnit(
        Sized(Numbered("channel ", c, " start"), at + C::kStart, FieldKind::kF32, 4), "Hz"));
    f.push_back(
        WithUnit(Sized(Numbered("channel ", c, " stop"), at + C::kStop, FieldKind::kF32, 4), "Hz"));
    f.push_back(WithUnit(
        Sized(Numbered("channel ", c, " delay"), at + C::kDelay, FieldKind::kF32, 4), "ms"));
    f.push_back(Text(Numbered("channel ", c, " name"), at + C::kName, C::kNameSize));
  }
  f.push_back(Bits("channel count", I::kConfig, FieldKind::kU16, I::kChannelCountMask));
  f.push_back(Bits("advanced mode", I::kConfig, FieldKind::kU16, I::kAdvancedBit, kOffOn));
  return f;
}

// One row per type the programs know; an explicit list so that the walk over
// every list of card types finds a forgotten row by its absence.
struct TableRow {
  std::uint8_t type;
  Fields (*build)();  // null: the image holds nothing to name
};
constexpr TableRow kTableRows[] = {
    {kMainUnit.code, &MainUnit},
    {type::kQVI520, &Phono},
    {type::kBUZ310, &Phono},
    {type::kQVO520, &Card<Qvo520Image::kFields>},
    {type::kQVO520b, &Card<Qvo520Image::kFields>},
    {type::kHEJ520, &Hej520},
    {type::kSIV520, &Siv520},
    {type::kTWR310i, &Card<Twr310iImage::kFields>},
    {type::kNVO310, &Nvo310},
    {type::kJOV520, &Card<Jov520Image::kFields>},
    {type::kYOR310, &Card<Yor310Image::kFields>},
    {type::kKLF310, &Klf310},
    {type::kFront26, nullptr},
};

std::map<std::uint8_t, Fields> BuildTables() {
  std::map<std::uint8_t, Fields> t;
  for (const TableRow& row : kTableRows)
    t[row.type] = row.build != nullptr ? row.build() : Fields{};
  return t;
}

// 8-bit text as UTF-8: Latin-1 letters as they are, control bytes and the
// code page's 0x80-0x9F range escaped so nothing reaches a terminal raw.
std::string TextValue(std::span<const std::uint8_t> bytes) {
  std::string out = "\"";
  for (std::uint8_t b : bytes) {
    if (b == 0) break;
    if (b == '"' || b == '\\') {
      out += '\\';
      out += static_cast<char>(b);
    } else if (b >= 0x20 && b < 0x7F) {
      out += static_cast<char>(b);
    } else if (b >= 0xA0) {
      out += static_cast<char>(0xC0 | (b >> 6));
      out += static_cast<char>(0x80 | (b & 0x3F));
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", b);
      out += escaped;
    }
  }
  return out + "\"";
}

}  // namespace

std::uint8_t SettingsField::CoveredBits(std::size_t at) const {
  if (mask == 0) return 0xFF;
  return static_cast<std::uint8_t>(mask >> (8 * at));
}

const std::vector<SettingsField>* FindFields(std::uint8_t typeCode) {
  static const std::map<std::uint8_t, Fields> kTables = BuildTables();
  const auto it = kTables.find(typeCode);
  return it == kTables.end() ? nullptr : &it->second;
}

const std::vector<SettingsField>& FieldsFor(std::uint8_t typeCode) {
  static const Fields kNone;
  const Fields* fields = FindFields(typeCode);
  return fields != nullptr ? *fields : kNone;
}

std::string FormatField(const SettingsField& field, std::span<const std::uint8_t> image) {
  if (field.offset + field.size > image.size()) return "";
  const auto bytes = image.subspan(field.offset, field.size);
  char text[32];
  switch (field.kind) {
    case FieldKind::kText:
      return TextValue(bytes);
    case FieldKind::kDate:
      std::snprintf(text, sizeof text, "%04d-%02d-%02d", 2000 + bytes[0], bytes[1], bytes[2]);
      return text;
    case FieldKind::kIpv4:
      std::snprintf(text, sizeof text, "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
      return text;
    case FieldKind::kMac:
      std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", bytes[0], bytes[1],
                    bytes[2], bytes[3], bytes[4], bytes[5]);
      return text;
    case FieldKind::kF32: {
      const std::uint32_t raw = platform::GetU32(bytes, 0);
      float value = 0;
      std::memcpy(&value, &raw, sizeof value);
      std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
      return std::string(text) + (field.unit.empty() ? "" : " " + std::string(field.unit));
    }
    case FieldKind::kU8:
    case FieldKind::kU16:
    case FieldKind::kI16:
    case FieldKind::kU32:
      break;
  }
  std::uint32_t raw = field.kind == FieldKind::kU8    ? bytes[0]
                      : field.kind == FieldKind::kU32 ? platform::GetU32(bytes, 0)
                                                      : platform::GetU16(bytes, 0);
  long value = raw;
  if (field.mask != 0) {
    value = static_cast<long>((raw & field.mask) >> std::countr_zero(field.mask));
  } else if (field.kind == FieldKind::kI16) {
    value = static_cast<std::int16_t>(raw);
  }
  if (value >= 0 && static_cast<std::size_t>(value) < field.choices.size()) {
    return std::string(field.choices[static_cast<std::size_t>(value)]);
  }
  if (field.tenths) return TenthsText(value, field.unit);
  const std::string number = std::to_string(value);
  return field.unit.empty() ? number : number + " " + std::string(field.unit);
}

}  // namespace protocol::unit
