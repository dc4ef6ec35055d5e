#include "protocol/remote/RemoteFrame.h"

#include <algorithm>

#include "platform/Bytes.h"
#include "protocol/remote/Crc16.h"
#include "protocol/remote/RemoteProtocol.h"

namespace protocol::remote {

std::vector<std::uint8_t> RemoteFrame::Encode() const {
  std::vector<std::uint8_t> bytes(payload.size() + kFrameOverhead);
  platform::PutU16(bytes, kOffMagic, kMagic);
  platform::PutU16(bytes, kOffLength, static_cast<std::uint16_t>(payload.size()));
  platform::PutU16(bytes, kOffCommand, command);
  platform::PutU16(bytes, kOffReserved, reserved);
  std::copy(payload.begin(), payload.end(), bytes.begin() + kHeaderSize);
  const std::size_t end = kHeaderSize + payload.size();
  PutCrcBigEndian(bytes, end, Crc16(std::span(bytes).first(end)));
  return bytes;
}

bool RemoteFrame::Decode(std::span<const std::uint8_t> bytes, RemoteFrame& out) {
  if (bytes.size() < kFrameOverhead || bytes.size() > kMaxFrame) return false;
  if (platform::GetU16(bytes, kOffMagic) != kMagic) return false;
  const std::size_t length = platform::GetU16(bytes, kOffLength);
  if (length + kFrameOverhead != bytes.size() || Crc16(bytes) != 0) return false;
  out.command = platform::GetU16(bytes, kOffCommand);
  out.reserved = platform::GetU16(bytes, kOffReserved);
  out.payload.assign(bytes.begin() + kHeaderSize, bytes.begin() + kHeaderSize + length);
  return true;
}

}  // namespace protocol::remote
