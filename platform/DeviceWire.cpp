#include "platform/DeviceWire.h"

#include "platform/Bytes.h"

namespace platform::wire {

std::vector<std::uint8_t> EncodeRequest(std::uint32_t code, std::span<const std::uint8_t> input,
                                        std::size_t outCapacity) {
  std::vector<std::uint8_t> msg(kRequestHeaderSize + input.size());
  PutU32(msg, 0, kRequestMagic);
  PutU32(msg, 4, code);
  PutU16(msg, 8, static_cast<std::uint16_t>(input.size()));
  PutU16(msg, 10, static_cast<std::uint16_t>(outCapacity));
  std::copy(input.begin(), input.end(), msg.begin() + kRequestHeaderSize);
  return msg;
}

std::vector<std::uint8_t> EncodeReply(bool success, std::span<const std::uint8_t> output) {
  std::vector<std::uint8_t> msg(kReplyHeaderSize + output.size());
  PutU32(msg, 0, kReplyMagic);
  msg[4] = success ? 1 : 0;
  PutU16(msg, 6, static_cast<std::uint16_t>(output.size()));
  std::copy(output.begin(), output.end(), msg.begin() + kReplyHeaderSize);
  return msg;
}

ParseResult DecodeRequest(std::span<const std::uint8_t> bytes, Request& out,
                          std::size_t& consumed) {
  // Judge the magic as soon as its bytes are there, so garbage is refused early.
  for (std::size_t i = 0; i < std::min<std::size_t>(4, bytes.size()); ++i) {
    if (bytes[i] != static_cast<std::uint8_t>(kRequestMagic >> (8 * i))) {
      return ParseResult::kInvalid;
    }
  }
  if (bytes.size() < kRequestHeaderSize) return ParseResult::kIncomplete;
  const std::size_t inLength = GetU16(bytes, 8);
  const std::size_t outCapacity = GetU16(bytes, 10);
  if (inLength > kMaxPayload || outCapacity > kMaxPayload) return ParseResult::kInvalid;
  if (bytes.size() < kRequestHeaderSize + inLength) return ParseResult::kIncomplete;
  out.code = GetU32(bytes, 4);
  out.outCapacity = static_cast<std::uint16_t>(outCapacity);
  out.input.assign(bytes.begin() + kRequestHeaderSize,
                   bytes.begin() + static_cast<std::ptrdiff_t>(kRequestHeaderSize + inLength));
  consumed = kRequestHeaderSize + inLength;
  return ParseResult::kComplete;
}

ParseResult DecodeReply(std::span<const std::uint8_t> bytes, std::size_t outCapacity, Reply& out,
                        std::size_t& consumed) {
  for (std::size_t i = 0; i < std::min<std::size_t>(4, bytes.size()); ++i) {
    if (bytes[i] != static_cast<std::uint8_t>(kReplyMagic >> (8 * i))) {
      return ParseResult::kInvalid;
    }
  }
  if (bytes.size() < kReplyHeaderSize) return ParseResult::kIncomplete;
  if (bytes[4] > 1 || bytes[5] != 0) return ParseResult::kInvalid;
  const std::size_t outLength = GetU16(bytes, 6);
  if (outLength > outCapacity || outLength > kMaxPayload) return ParseResult::kInvalid;
  if (bytes.size() < kReplyHeaderSize + outLength) return ParseResult::kIncomplete;
  out.success = bytes[4] == 1;
  out.output.assign(bytes.begin() + kReplyHeaderSize,
                    bytes.begin() + static_cast<std::ptrdiff_t>(kReplyHeaderSize + outLength));
  consumed = kReplyHeaderSize + outLength;
  return ParseResult::kComplete;
}

}  // namespace platform::wire
