#include "desktop/roomcorrection/KlfReplyAssembler.h"

#include <algorithm>

#include "protocol/klf/KlfMessage.h"

namespace desktop::roomcorrection {

namespace pk = protocol::klf;

void KlfReplyAssembler::Reset() {
  reply_.clear();
  reply_.reserve(pk::MessageHeader::kBufferSize);
  size_ = pk::MessageHeader::kSize;
  state_ = State::kNeedMore;
}

std::size_t KlfReplyAssembler::Wanted() const {
  return state_ == State::kNeedMore ? size_ - reply_.size() : 0;
}

std::size_t KlfReplyAssembler::Take(std::span<const std::uint8_t> bytes) {
  const std::size_t taken = std::min(bytes.size(), Wanted());
  reply_.insert(reply_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(taken));
  if (reply_.size() < size_) return taken;
  // The header is in (and perhaps all of the reply): it tells the size.
  std::size_t size = 0;
  switch (pk::CheckMessage(reply_, size)) {
    case pk::MessageState::kInvalid:
      state_ = State::kInvalid;
      break;
    case pk::MessageState::kComplete:
      state_ = State::kComplete;
      break;
    case pk::MessageState::kIncomplete:
      size_ = size;
      break;
  }
  return taken;
}

}  // namespace desktop::roomcorrection
