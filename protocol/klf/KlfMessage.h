#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "protocol/klf/CurveBin.h"

namespace protocol::klf {

// Messages of the KLF310 card's TCP ports, both directions: 16-bit command,
// 16-bit payload length, payload; little-endian.
namespace command {
inline constexpr std::uint16_t kStartBoot = 1;
inline constexpr std::uint16_t kEraseFlash = 2;
inline constexpr std::uint16_t kWriteBlock = 3;
inline constexpr std::uint16_t kEndDownload = 4;
inline constexpr std::uint16_t kStartSoftware = 5;
inline constexpr std::uint16_t kReadCurve = 0x12;
inline constexpr std::uint16_t kWriteCurve = 0x15;
}  // namespace command

inline constexpr std::uint16_t kUpdatePort = 4000;
inline constexpr std::uint16_t kCurvePort = 4010;

// Where the card's application lives in its flash: the package image's
// segments fall inside, and nothing is written outside.
struct CardFlash {
  static constexpr std::uint32_t kApplicationStart = 0x40010000;
  static constexpr std::uint32_t kApplicationEnd = 0x40040000;  // one past the last byte
};

struct MessageHeader {
  static constexpr std::size_t kCommand = 0;  // u16
  static constexpr std::size_t kLength = 2;   // u16, payload bytes
  static constexpr std::size_t kSize = 4;
  static constexpr std::size_t kBufferSize = 1412;  // one whole message
  static constexpr std::size_t kMaxPayload = kBufferSize - kSize;

  std::uint16_t command = 0;
  std::uint16_t length = 0;

  void EncodeInto(std::span<std::uint8_t> out) const;  // at least kSize bytes
  static MessageHeader Decode(std::span<const std::uint8_t> in);
};

enum class MessageState { kIncomplete, kInvalid, kComplete };
// Where a message stands in the bytes received so far: incomplete until its
// header and declared payload have arrived; invalid when it declares more
// than the message buffer holds. `size` gets the whole message's size.
MessageState CheckMessage(std::span<const std::uint8_t> in, std::size_t& size);

// A message with no payload (commands 1, 2, 4, 5, and the card's plain replies).
std::array<std::uint8_t, MessageHeader::kSize> EncodeBare(std::uint16_t command);

// Command 3: target address, byte count N, reserved 0, N bytes. Up to 1400
// image bytes, padded with 0xFF until N is a multiple of 4.
struct WriteBlock {
  static constexpr std::size_t kAddress = 0;  // u32, offsets in the payload
  static constexpr std::size_t kCount = 4;    // u16
  static constexpr std::size_t kReserved = 6;
  static constexpr std::size_t kData = 8;
  static constexpr std::size_t kMaxImageBytes = 1400;
  static constexpr std::uint8_t kPadding = 0xFF;

  std::uint32_t address = 0;
  std::span<const std::uint8_t> data;  // image bytes, at most kMaxImageBytes

  // The whole message; `data` longer than a block is cut to one.
  std::vector<std::uint8_t> Encode() const;
  // From a whole message of command 3; false when it does not hold together.
  static bool Decode(std::span<const std::uint8_t> message, WriteBlock& out);
};

// The four 16-bit fields that open a curve request and reply.
struct CurveRange {
  static constexpr std::size_t kChannel = 0;  // offsets in the payload
  static constexpr std::size_t kCount = 2;
  static constexpr std::size_t kFirstBin = 4;
  static constexpr std::size_t kFlags = 6;  // reserved 0 in reads
  static constexpr std::size_t kSize = 8;
  static constexpr std::size_t kMaxBins = 160;  // per message
  static constexpr std::size_t kChannelCount = 16;
  static constexpr std::uint16_t kFlagsMore = 0x00CF;
  static constexpr std::uint16_t kFlagsLast = 0x01CF;
  // Command 0x15's length field, whatever the count: room for 160 bins.
  static constexpr std::uint16_t kWritePayloadLength =
      static_cast<std::uint16_t>(kSize + kMaxBins * CurveBin::kSize);
  // Reply bins start here, counted from the message's first byte.
  static constexpr std::size_t kReplyBins = MessageHeader::kSize + kSize;

  std::uint16_t channel = 0;
  std::uint16_t count = 0;
  std::uint16_t firstBin = 0;
  std::uint16_t flags = 0;

  void EncodeInto(std::span<std::uint8_t> payload) const;
  static CurveRange Decode(std::span<const std::uint8_t> payload);
  bool operator==(const CurveRange&) const = default;
};

// Command 0x12 request: the range alone, payload length 8.
std::array<std::uint8_t, MessageHeader::kSize + CurveRange::kSize> EncodeReadCurve(
    const CurveRange& range);
// Command 0x15: the range, the bins, zeros up to the fixed length (1292 bytes).
std::vector<std::uint8_t> EncodeWriteCurve(const CurveRange& range, std::span<const CurveBin> bins);
// The card's reply to 0x12: the request's range, then count x 8 bytes of bins.
std::vector<std::uint8_t> EncodeCurveReply(const CurveRange& range, std::span<const CurveBin> bins);
// The same into `out`, whose room is kept from reply to reply.
void EncodeCurveReplyInto(const CurveRange& range, std::span<const CurveBin> bins,
                          std::vector<std::uint8_t>& out);
// Bins of a curve message (a 0x15 request or a 0x12 reply): false when the
// message is shorter than its range's count says.
bool DecodeCurveBins(std::span<const std::uint8_t> message, CurveRange& range,
                     std::vector<CurveBin>& bins);

}  // namespace protocol::klf
