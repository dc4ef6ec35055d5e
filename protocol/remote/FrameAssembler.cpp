#include "protocol/remote/FrameAssembler.h"

#include "platform/Bytes.h"
#include "protocol/remote/Crc16.h"

namespace protocol::remote {

void FrameAssembler::Reset() {
  buffer_.fill(0);
  count_ = 0;
}

void FrameAssembler::Close(const Deliver& deliver) {
  const std::size_t length = platform::GetU16(buffer_, kOffLength);
  const auto frame = std::span<const std::uint8_t>(buffer_).first(count_);
  // A length above the buffer can only close at 784 bytes: such a frame is
  // dropped even when its CRC happens to check, so no reader looks past it.
  if (length <= kMaxPayload && Crc16(frame) == 0) deliver(frame);
  Reset();
}

void FrameAssembler::Feed(std::span<const std::uint8_t> chunk, std::uint32_t nowMs,
                          const Deliver& deliver) {
  if (chunk.empty()) {
    Reset();
    return;
  }
  for (std::uint8_t byte : chunk) {
    if (count_ == 0) {
      if (byte != kMagicFirst) continue;
      buffer_[0] = byte;
      count_ = 1;
      start_ = nowMs;
      continue;
    }
    if (count_ == 1) {
      // Only 0x08 continues; a second 0x90 does not restart the frame.
      if (byte == kMagicSecond) {
        buffer_[1] = byte;
        count_ = 2;
      } else {
        count_ = 0;
      }
      continue;
    }
    buffer_[count_++] = byte;
    const std::size_t length = platform::GetU16(buffer_, kOffLength);
    if (count_ == length + kFrameOverhead || count_ == kMaxFrame) Close(deliver);
  }
  if (count_ != 0 && nowMs - start_ > kFrameTimeoutMs) Reset();
}

}  // namespace protocol::remote
