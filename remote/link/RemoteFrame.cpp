#include "remote/link/RemoteFrame.h"

#include <array>

#include "platform/Bytes.h"
#include "remote/link/RemoteProtocol.h"

namespace remote::link {

namespace {

constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    auto crc = static_cast<std::uint16_t>(i << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    table[i] = crc;
  }
  return table;
}
constexpr auto kCrcTable = MakeCrcTable();

}  // namespace

std::uint16_t Crc16(std::span<const std::uint8_t> bytes, std::uint16_t crc) {
  for (std::uint8_t b : bytes) {
    crc = static_cast<std::uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ b) & 0xFF]);
  }
  return crc;
}

std::vector<std::uint8_t> RemoteFrame::Encode() const {
  std::vector<std::uint8_t> bytes(payload.size() + kFrameOverhead);
  platform::PutU16(bytes, kOffMagic, kMagic);
  platform::PutU16(bytes, kOffLength, static_cast<std::uint16_t>(payload.size()));
  platform::PutU16(bytes, kOffCommand, command);
  platform::PutU16(bytes, kOffReserved, reserved);
  std::copy(payload.begin(), payload.end(), bytes.begin() + kHeaderSize);
  const std::uint16_t crc = Crc16(std::span(bytes).first(kHeaderSize + payload.size()));
  bytes[kHeaderSize + payload.size()] = static_cast<std::uint8_t>(crc >> 8);  // high byte first
  bytes[kHeaderSize + payload.size() + 1] = static_cast<std::uint8_t>(crc);
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

}  // namespace remote::link
