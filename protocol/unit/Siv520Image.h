#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/unit/FieldRow.h"

namespace protocol::unit {

// The SIV520 card: eight digital inputs with enable, "CD" flag and name.
struct Siv520Image {
  static constexpr std::size_t kFirstName = 8;  // names of inputs 1-8, 16 bytes each
  static constexpr std::size_t kInputCount = 8;
  static constexpr std::size_t kDisable = 136;  // bit k: input k+1 switched off
  static constexpr std::size_t kCd = 137;       // bit k: input k+1 marked "CD"
  static constexpr std::size_t kEnd = kCd + 1;

  static constexpr std::size_t NameOffset(std::size_t i) { return kFirstName + 16 * i; }

  static constexpr FieldRow kNameFields = InputNameFields(kFirstName, kInputCount);
  static constexpr FieldRow kDisableFields =
      InputFlagFields("input # switched off", kDisable, kInputCount);
  static constexpr FieldRow kCdFields = InputFlagFields("input # CD", kCd, kInputCount);
  static constexpr FieldRow kFields[] = {kNameFields, kDisableFields, kCdFields};
};

}  // namespace protocol::unit
