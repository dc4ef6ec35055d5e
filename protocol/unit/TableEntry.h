#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace protocol::unit {

// Data of command 175 (KLF310 channel table; entry index in arg1): a u16 word,
// then the first 46 bytes of the 48-byte entry, 48 bytes in all.
struct TableEntry {
  static constexpr std::size_t kEntrySize = 48;
  static constexpr std::size_t kEntryCount = 16;
  static constexpr std::size_t kWord = 0;  // u16; only its low byte is sent, the page sends 1
  static constexpr std::size_t kEntry = 2;
  static constexpr std::size_t kCarried = 46;  // entry bytes the frame has room for
  static constexpr std::size_t kSize = kEntry + kCarried;
  static constexpr std::uint16_t kPageWord = 1;

  // `entry` holds at least 46 bytes.
  static std::array<std::uint8_t, kSize> Encode(std::uint16_t word,
                                                std::span<const std::uint8_t> entry);
  // The carried entry bytes of a frame's data; empty when the data are short.
  static std::span<const std::uint8_t> CarriedEntry(std::span<const std::uint8_t> data);
};

}  // namespace protocol::unit
