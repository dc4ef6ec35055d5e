#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "protocol/remote/RemoteProtocol.h"

namespace protocol::remote {

// Assembles frames from the received byte stream, byte by byte: a frame starts
// at 0x90 0x08, ends at its length + 10 bytes or at the 784-byte buffer's end,
// and counts only with a good CRC. Garbage between frames is dropped; a partial
// frame older than 500 ms is abandoned.
class FrameAssembler {
 public:
  using Deliver = std::function<void(std::span<const std::uint8_t> frame)>;

  // One received chunk at tick `nowMs`; `deliver` gets every good frame
  // (length + 10 bytes). An empty chunk discards any partial frame.
  void Feed(std::span<const std::uint8_t> chunk, std::uint32_t nowMs, const Deliver& deliver);
  // Forgets any partial frame (a new connection).
  void Reset();
  std::size_t Count() const { return count_; }

 private:
  void Close(const Deliver& deliver);

  std::array<std::uint8_t, kMaxFrame> buffer_{};
  std::size_t count_ = 0;
  std::uint32_t start_ = 0;
};

}  // namespace protocol::remote
