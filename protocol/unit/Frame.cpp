#include "protocol/unit/Frame.h"

#include <algorithm>

namespace protocol::unit {

void RequestHeader::EncodeInto(std::span<std::uint8_t> out) const {
  out[kCode] = code;
  out[kLength] = length;
  out[kModule] = module;
  out[kArg1] = arg1;
  out[kArg2] = arg2;
  out[kArg3] = arg3;
}

RequestHeader RequestHeader::Decode(std::span<const std::uint8_t> in) {
  RequestHeader h;
  h.code = in[kCode];
  h.length = in[kLength];
  h.module = in[kModule];
  h.arg1 = in[kArg1];
  h.arg2 = in[kArg2];
  h.arg3 = in[kArg3];
  return h;
}

std::size_t EncodeRequest(RequestHeader header, std::span<const std::uint8_t> data,
                          std::span<std::uint8_t, kFrameSize> out) {
  const std::size_t length = std::min(data.size(), kMaxData);
  header.length = static_cast<std::uint8_t>(length);
  header.EncodeInto(out);
  std::copy_n(data.begin(), length, out.begin() + RequestHeader::kSize);
  return RequestHeader::kSize + length;
}

ParseResult DecodeRequest(std::span<const std::uint8_t> in, Request& out) {
  if (in.size() < RequestHeader::kSize) return ParseResult::kIncomplete;
  const RequestHeader header = RequestHeader::Decode(in);
  if (header.length > kMaxData || in.size() != RequestHeader::kSize + header.length) {
    return ParseResult::kInvalid;
  }
  out.header = header;
  out.data = in.subspan(RequestHeader::kSize, header.length);
  return ParseResult::kComplete;
}

void ReplyHeader::EncodeInto(std::span<std::uint8_t, kFrameSize> out) const {
  out[kCode] = code;
  out[kCount] = count;
  out[kAddress] = address;
  out[kSubAddress] = subAddress;
}

ReplyHeader ReplyHeader::Decode(std::span<const std::uint8_t, kFrameSize> in) {
  ReplyHeader h;
  h.code = in[kCode];
  h.count = in[kCount];
  h.address = in[kAddress];
  h.subAddress = in[kSubAddress];
  return h;
}

}  // namespace protocol::unit
