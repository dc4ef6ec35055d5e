#include "protocol/klf/KlfMessage.h"

#include <algorithm>

#include "platform/Bytes.h"

namespace protocol::klf {

void MessageHeader::EncodeInto(std::span<std::uint8_t> out) const {
  platform::PutU16(out, kCommand, command);
  platform::PutU16(out, kLength, length);
}

MessageHeader MessageHeader::Decode(std::span<const std::uint8_t> in) {
  MessageHeader header;
  if (in.size() < kSize) return header;
  header.command = platform::GetU16(in, kCommand);
  header.length = platform::GetU16(in, kLength);
  return header;
}

MessageState CheckMessage(std::span<const std::uint8_t> in, std::size_t& size) {
  if (in.size() < MessageHeader::kSize) return MessageState::kIncomplete;
  const MessageHeader header = MessageHeader::Decode(in);
  if (header.length > MessageHeader::kMaxPayload) return MessageState::kInvalid;
  size = MessageHeader::kSize + header.length;
  return in.size() >= size ? MessageState::kComplete : MessageState::kIncomplete;
}

std::array<std::uint8_t, MessageHeader::kSize> EncodeBare(std::uint16_t command) {
  std::array<std::uint8_t, MessageHeader::kSize> out{};
  MessageHeader{command, 0}.EncodeInto(out);
  return out;
}

std::vector<std::uint8_t> WriteBlock::Encode() const {
  const std::size_t imageBytes = std::min(data.size(), kMaxImageBytes);
  const std::size_t count = (imageBytes + 3) / 4 * 4;
  std::vector<std::uint8_t> out(MessageHeader::kSize + kData + count, kPadding);
  MessageHeader{command::kWriteBlock, static_cast<std::uint16_t>(kData + count)}.EncodeInto(out);
  const auto payload = std::span(out).subspan(MessageHeader::kSize);
  platform::PutU32(payload, kAddress, address);
  platform::PutU16(payload, kCount, static_cast<std::uint16_t>(count));
  platform::PutU16(payload, kReserved, 0);
  std::copy_n(data.begin(), imageBytes, payload.begin() + kData);
  return out;
}

bool WriteBlock::Decode(std::span<const std::uint8_t> message, WriteBlock& out) {
  if (message.size() < MessageHeader::kSize + kData) return false;
  const MessageHeader header = MessageHeader::Decode(message);
  if (header.command != command::kWriteBlock) return false;
  const auto payload = message.subspan(MessageHeader::kSize);
  const std::uint16_t count = platform::GetU16(payload, kCount);
  if (header.length != kData + count || payload.size() < kData + count) return false;
  out.address = platform::GetU32(payload, kAddress);
  out.data = payload.subspan(kData, count);
  return true;
}

void CurveRange::EncodeInto(std::span<std::uint8_t> payload) const {
  platform::PutU16(payload, kChannel, channel);
  platform::PutU16(payload, kCount, count);
  platform::PutU16(payload, kFirstBin, firstBin);
  platform::PutU16(payload, kFlags, flags);
}

CurveRange CurveRange::Decode(std::span<const std::uint8_t> payload) {
  CurveRange range;
  if (payload.size() < kSize) return range;
  range.channel = platform::GetU16(payload, kChannel);
  range.count = platform::GetU16(payload, kCount);
  range.firstBin = platform::GetU16(payload, kFirstBin);
  range.flags = platform::GetU16(payload, kFlags);
  return range;
}

std::array<std::uint8_t, MessageHeader::kSize + CurveRange::kSize> EncodeReadCurve(
    const CurveRange& range) {
  std::array<std::uint8_t, MessageHeader::kSize + CurveRange::kSize> out{};
  MessageHeader{command::kReadCurve, CurveRange::kSize}.EncodeInto(out);
  CurveRange request = range;
  request.flags = 0;
  request.EncodeInto(std::span(out).subspan(MessageHeader::kSize));
  return out;
}

namespace {
void CurveMessageInto(std::uint16_t command, std::uint16_t length, const CurveRange& range,
                      std::span<const CurveBin> bins, std::vector<std::uint8_t>& out) {
  out.assign(MessageHeader::kSize + length, 0);
  MessageHeader{command, length}.EncodeInto(out);
  range.EncodeInto(std::span(out).subspan(MessageHeader::kSize));
  const std::size_t room = (length - CurveRange::kSize) / CurveBin::kSize;
  const std::size_t n = std::min({bins.size(), room, std::size_t{range.count}});
  for (std::size_t i = 0; i < n; ++i) {
    const auto bytes = bins[i].Encode();
    std::copy(
        bytes.begin(), bytes.end(),
        out.begin() + static_cast<std::ptrdiff_t>(CurveRange::kReplyBins + i * CurveBin::kSize));
  }
}

std::vector<std::uint8_t> CurveMessage(std::uint16_t command, std::uint16_t length,
                                       const CurveRange& range, std::span<const CurveBin> bins) {
  std::vector<std::uint8_t> out;
  CurveMessageInto(command, length, range, bins, out);
  return out;
}
}  // namespace

std::vector<std::uint8_t> EncodeWriteCurve(const CurveRange& range,
                                           std::span<const CurveBin> bins) {
  return CurveMessage(command::kWriteCurve, CurveRange::kWritePayloadLength, range, bins);
}

std::vector<std::uint8_t> EncodeCurveReply(const CurveRange& range,
                                           std::span<const CurveBin> bins) {
  std::vector<std::uint8_t> out;
  EncodeCurveReplyInto(range, bins, out);
  return out;
}

void EncodeCurveReplyInto(const CurveRange& range, std::span<const CurveBin> bins,
                          std::vector<std::uint8_t>& out) {
  const std::size_t count = std::min<std::size_t>(range.count, CurveRange::kMaxBins);
  CurveMessageInto(command::kReadCurve,
                   static_cast<std::uint16_t>(CurveRange::kSize + count * CurveBin::kSize), range,
                   bins, out);
}

bool DecodeCurveBins(std::span<const std::uint8_t> message, CurveRange& range,
                     std::vector<CurveBin>& bins) {
  if (message.size() < CurveRange::kReplyBins) return false;
  range = CurveRange::Decode(message.subspan(MessageHeader::kSize));
  if (range.count > CurveRange::kMaxBins) return false;
  const std::size_t need = CurveRange::kReplyBins + std::size_t{range.count} * CurveBin::kSize;
  if (message.size() < need) return false;
  bins.clear();
  for (std::size_t i = 0; i < range.count; ++i) {
    bins.push_back(CurveBin::Decode(message.subspan(CurveRange::kReplyBins + i * CurveBin::kSize)));
  }
  return true;
}

}  // namespace protocol::klf
