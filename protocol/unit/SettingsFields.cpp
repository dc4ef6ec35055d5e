#include "protocol/unit/SettingsFields.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <map>

#include "platform/Bytes.h"
#include "protocol/unit/IdentityRecord.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/SettingsImage.h"

namespace protocol::unit {

namespace {

using Fields = std::vector<SettingsField>;

SettingsField FromRow(const FieldRow& row, std::string name) {
  SettingsField f;
  f.name = std::move(name);
  f.offset = row.offset;
  f.kind = row.kind;
  f.size = row.size;
  f.mask = row.mask;
  f.tenths = row.tenths;
  f.unit = row.unit;
  f.choices.assign(row.choices.begin(), row.choices.end());
  f.min = row.min;
  f.max = row.max;
  return f;
}

// Bytes 0-7 of every image.
void AddIdentity(Fields& f) {
  f.push_back(FromRow({.name = {},
                       .offset = SettingsImage::kIdentity + IdentityRecord::kDeliveryYear,
                       .kind = FieldKind::kDate,
                       .size = 3},
                      "delivery date"));
  f.push_back(FromRow({.name = {},
                       .offset = SettingsImage::kIdentity + IdentityRecord::kSerial,
                       .kind = FieldKind::kU16,
                       .size = 2},
                      "serial"));
}

// A table's rows one field each. Neighbouring rows that repeat as often go
// field by field ("input 1 name", "input 1 CD", "input 2 name", ...), so the
// compare lists an input's or a channel's fields together.
Fields Expand(std::span<const FieldRow> table) {
  Fields f;
  AddIdentity(f);
  for (std::size_t at = 0; at < table.size();) {
    std::size_t end = at + 1;
    while (end < table.size() && table[at].count > 1 && table[end].count == table[at].count) ++end;
    for (std::size_t k = 0; k < table[at].count; ++k) {
      for (std::size_t r = at; r < end; ++r)
        f.push_back(FromRow(table[r].At(k), table[r].NameAt(k)));
    }
    at = end;
  }
  return f;
}

std::map<std::uint8_t, Fields> BuildTables() {
  std::map<std::uint8_t, Fields> t;
  t[kMainUnit.code] = Expand(kMainUnit.fields);
  // A card that keeps no image has nothing to name, not even an identity.
  for (const ModuleType& type : kModuleTypes)
    t[type.code] = type.fields.empty() ? Fields{} : Expand(type.fields);
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

std::optional<long> FieldNumber(const SettingsField& field, std::span<const std::uint8_t> image) {
  const bool number = field.kind == FieldKind::kU8 || field.kind == FieldKind::kU16 ||
                      field.kind == FieldKind::kI16 || field.kind == FieldKind::kU32;
  if (!number || field.offset + field.size > image.size()) return std::nullopt;
  const std::uint32_t raw = field.kind == FieldKind::kU8    ? image[field.offset]
                            : field.kind == FieldKind::kU32 ? platform::GetU32(image, field.offset)
                                                            : platform::GetU16(image, field.offset);
  if (field.mask != 0) return static_cast<long>((raw & field.mask) >> std::countr_zero(field.mask));
  if (field.kind == FieldKind::kI16) return static_cast<std::int16_t>(raw);
  return static_cast<long>(raw);
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
  const long value = *FieldNumber(field, image);
  if (value >= 0 && static_cast<std::size_t>(value) < field.choices.size()) {
    return std::string(field.choices[static_cast<std::size_t>(value)]);
  }
  if (field.tenths) return TenthsText(value, field.unit);
  const std::string number = std::to_string(value);
  return field.unit.empty() ? number : number + " " + std::string(field.unit);
}

}  // namespace protocol::unit
