#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace protocol::unit {

// The one device-control code of the unit's driver: device type 0x22, function
// 0x800, buffered, read access.
inline constexpr std::uint32_t kControlCode = 0x226000;
inline constexpr const char* kDeviceName = "MRXUSBDevice0";
// Device path the desktop opens: two backslashes, a dot, a backslash, the name.
inline constexpr const char* kDevicePathFormat = "\\\\.\\%s";

// Every request is at most, and every reply exactly, one 64-byte frame.
inline constexpr std::size_t kFrameSize = 64;
inline constexpr std::size_t kMaxData = 58;

// Request frame: header of six bytes, then `length` data bytes.
struct RequestHeader {
  static constexpr std::size_t kCode = 0;
  static constexpr std::size_t kLength = 1;
  static constexpr std::size_t kModule = 2;
  static constexpr std::size_t kArg1 = 3;
  static constexpr std::size_t kArg2 = 4;
  static constexpr std::size_t kArg3 = 5;
  static constexpr std::size_t kSize = 6;

  std::uint8_t code = 0;
  std::uint8_t length = 0;
  std::uint8_t module = 0;
  std::uint8_t arg1 = 0;
  std::uint8_t arg2 = 0;
  std::uint8_t arg3 = 0;

  // `out` holds at least kSize bytes.
  void EncodeInto(std::span<std::uint8_t> out) const;
  static RequestHeader Decode(std::span<const std::uint8_t> in);
};

// A whole request: the header with `length` = min(data size, 58) and that many
// data bytes. Returns the number of bytes to hand to the driver.
std::size_t EncodeRequest(RequestHeader header, std::span<const std::uint8_t> data,
                          std::span<std::uint8_t, kFrameSize> out);

// What a peer makes of the bytes it is handed as one request.
enum class ParseResult { kIncomplete, kInvalid, kComplete };
struct Request {
  RequestHeader header;
  std::span<const std::uint8_t> data;  // exactly `header.length` bytes
};
// A request is the header and exactly as many data bytes as it announces, at
// most 58; fewer bytes than the header is incomplete, anything else invalid.
ParseResult DecodeRequest(std::span<const std::uint8_t> in, Request& out);

// Reply frame: what the desktop reads of its header, then the data at 6.
struct ReplyHeader {
  static constexpr std::size_t kCode = 0;  // not interpreted by the desktop
  static constexpr std::size_t kCount = 1;
  static constexpr std::size_t kAddress = 2;
  static constexpr std::size_t kSubAddress = 3;
  static constexpr std::size_t kData = 6;
  static constexpr std::size_t kDataSize = kFrameSize - kData;

  std::uint8_t code = 0;
  std::uint8_t count = 0;  // valid data bytes; only the clock read tests it
  std::uint8_t address = 0;
  std::uint8_t subAddress = 0;

  void EncodeInto(std::span<std::uint8_t, kFrameSize> out) const;
  static ReplyHeader Decode(std::span<const std::uint8_t, kFrameSize> in);
};

}  // namespace protocol::unit
