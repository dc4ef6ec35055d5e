#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace desktop::roomcorrection {

// Puts one reply of the card together from the pieces the stream delivers:
// first its header, then the payload the header declares. It never asks for
// a byte past the reply, so what follows it stays unread. A header declaring
// more than the message buffer holds makes the reply invalid: framing is lost.
class KlfReplyAssembler {
 public:
  enum class State { kNeedMore, kComplete, kInvalid };

  KlfReplyAssembler() { Reset(); }

  // Starts on the next reply.
  void Reset();
  // Bytes still wanted (0 once complete or invalid).
  std::size_t Wanted() const;
  // Takes bytes up to what is wanted and returns how many it took.
  std::size_t Take(std::span<const std::uint8_t> bytes);

  State GetState() const { return state_; }
  // The whole reply, once complete.
  const std::vector<std::uint8_t>& Reply() const { return reply_; }
  std::vector<std::uint8_t>& Reply() { return reply_; }

 private:
  std::vector<std::uint8_t> reply_;
  std::size_t size_ = 0;  // the whole reply's size, once the header is in
  State state_ = State::kNeedMore;
};

}  // namespace desktop::roomcorrection
