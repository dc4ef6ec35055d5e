#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace protocol::remote {

// Record 60 and command 60: a module's settings without its identity record.
// The header's bits 0-4 alone also make the payload of commands 61, 62 and of
// request 0xBC.
struct ModuleBlock {
  static constexpr std::size_t kOffHeader = 0;
  static constexpr std::size_t kHeaderSize = 4;
  static constexpr std::size_t kOffSettings = kHeaderSize;
  static constexpr std::size_t kMaxSettings = 768;
  static constexpr std::size_t kSize = kHeaderSize + kMaxSettings;
  static constexpr std::uint32_t kSubAddressBit = 1u << 0;
  static constexpr int kAddressShift = 1;
  static constexpr std::uint32_t kAddressMask = 0xFu << kAddressShift;
  static constexpr std::uint32_t kLiveBit = 1u << 5;
  static constexpr std::uint32_t kModuleBits = kSubAddressBit | kAddressMask;

  std::uint32_t header = 0;
  std::vector<std::uint8_t> settings;

  static std::uint32_t Header(int address, int subAddress, bool live = false) {
    return (static_cast<std::uint32_t>(subAddress) & kSubAddressBit) |
           ((static_cast<std::uint32_t>(address) << kAddressShift) & kAddressMask) |
           (live ? kLiveBit : 0);
  }
  int Address() const { return static_cast<int>((header & kAddressMask) >> kAddressShift); }
  int SubAddress() const { return static_cast<int>(header & kSubAddressBit); }
  bool Live() const { return (header & kLiveBit) != 0; }

  std::vector<std::uint8_t> Encode() const;
  // Settings are what follows the header, at most 768 bytes.
  static ModuleBlock Decode(std::span<const std::uint8_t> payload);
};

}  // namespace protocol::remote
