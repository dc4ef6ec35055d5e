#include "protocol/remote/ListEntry.h"

#include "protocol/remote/RecordBytes.h"

namespace protocol::remote {

std::vector<std::uint8_t> ListEntry::Encode() const {
  std::vector<std::uint8_t> b(kFixedSize + secondName.size() + 1);
  b[kOffSlot] = slot;
  b[kOffInput] = input;
  b[kOffSequence] = sequence;
  b[kOffType] = type;
  detail::PutText(std::span(b).subspan(kOffFirstName, kFirstNameSize), firstName);
  detail::PutText(std::span(b).subspan(kOffSecondName), secondName);
  return b;
}

ListEntry ListEntry::Decode(std::span<const std::uint8_t> payload) {
  const auto head = detail::Padded<kFixedSize>(payload);
  ListEntry e;
  e.slot = head[kOffSlot];
  e.input = head[kOffInput];
  e.sequence = head[kOffSequence];
  e.type = head[kOffType];
  e.firstName = detail::Text(std::span(head).subspan(kOffFirstName, kFirstNameSize));
  if (payload.size() > kOffSecondName) e.secondName = detail::Text(payload.subspan(kOffSecondName));
  return e;
}

}  // namespace protocol::remote
