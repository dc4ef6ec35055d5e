#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The first private window message number (WM_USER).
inline constexpr std::uint32_t kUserMessage = 0x400;

// A window message as workers post it: the text is a copy the message owns,
// so it lives exactly as long as the message does.
struct Message {
  std::uint32_t id = 0;
  std::uintptr_t wParam = 0;
  std::string text;
  bool sent = false;  // delivered with Send (the sender waited)
};

// Where workers report: PostMessage and SendMessage to their owner's window.
class MessageTarget {
 public:
  virtual ~MessageTarget() = default;
  // Queues the message and returns at once.
  virtual void Post(std::uint32_t id, std::uintptr_t wParam, std::string text = {}) = 0;
  // Returns once the receiver has taken the message.
  virtual void Send(std::uint32_t id, std::uintptr_t wParam, std::string text = {}) = 0;
};

}  // namespace platform
