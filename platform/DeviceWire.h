#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace platform::wire {

// The bytes between the device I/O client and a device server (the simulator,
// or a bridge to a real driver). All fields little-endian.
//
//   request: u32 magic "MRXQ", u32 control code, u16 input length,
//            u16 output capacity, input bytes
//   reply:   u32 magic "MRXA", u8 result (1 = success), u8 0,
//            u16 output length (<= the request's capacity), output bytes
inline constexpr std::uint32_t kRequestMagic = 0x5158524D;  // "MRXQ"
inline constexpr std::uint32_t kReplyMagic = 0x4158524D;    // "MRXA"
inline constexpr std::size_t kRequestHeaderSize = 12;
inline constexpr std::size_t kReplyHeaderSize = 8;
// Far above the unit's 64-byte frames, small enough that a bad length cannot
// make either side allocate much.
inline constexpr std::size_t kMaxPayload = 1024;

enum class ParseResult { kIncomplete, kInvalid, kComplete };

struct Request {
  std::uint32_t code = 0;
  std::uint16_t outCapacity = 0;
  std::vector<std::uint8_t> input;
};

struct Reply {
  bool success = false;
  std::vector<std::uint8_t> output;
};

std::vector<std::uint8_t> EncodeRequest(std::uint32_t code, std::span<const std::uint8_t> input,
                                        std::size_t outCapacity);
std::vector<std::uint8_t> EncodeReply(bool success, std::span<const std::uint8_t> output);

// On kComplete, `consumed` is the size of the message at the front of `bytes`.
ParseResult DecodeRequest(std::span<const std::uint8_t> bytes, Request& out, std::size_t& consumed);
ParseResult DecodeReply(std::span<const std::uint8_t> bytes, std::size_t outCapacity, Reply& out,
                        std::size_t& consumed);

}  // namespace platform::wire
