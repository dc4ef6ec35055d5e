#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace protocol::remote {

// Record 34: one entry of the module and source listing, or a control frame.
// Names are the handheld's 8-bit text as it travels; converting them is the
// receiver's business.
struct ListEntry {
  static constexpr std::size_t kOffSlot = 0;
  static constexpr std::size_t kOffInput = 1;
  static constexpr std::size_t kOffSequence = 2;
  static constexpr std::size_t kOffType = 3;
  static constexpr std::size_t kOffFirstName = 4;
  static constexpr std::size_t kFirstNameSize = 16;
  static constexpr std::size_t kOffSecondName = kOffFirstName + kFirstNameSize;  // to the end
  static constexpr std::size_t kFixedSize = kOffSecondName;
  static constexpr std::uint8_t kControlBit = 0x80;
  static constexpr std::uint8_t kModuleBit = 0x80;
  static constexpr std::uint8_t kModuleInput = 0xFF;
  static constexpr std::uint8_t kForgetAll = 0xFF;

  std::uint8_t slot = 0;
  std::uint8_t input = 0;
  std::uint8_t sequence = 0;
  std::uint8_t type = 0;
  std::string firstName;   // 8-bit text, at most 15 bytes on the wire
  std::string secondName;  // 8-bit text

  bool IsControl() const { return (slot & kControlBit) != 0; }
  bool IsModule() const { return (input & kModuleBit) != 0; }
  // The second name ends with its NUL.
  std::vector<std::uint8_t> Encode() const;
  static ListEntry Decode(std::span<const std::uint8_t> payload);
};

}  // namespace protocol::remote
