#include "remote/link/ModuleConfigSequence.h"

#include <cstdio>

namespace remote::link {

ModuleConfigSequence::ModuleConfigSequence(std::uint16_t serialNumber) {
  char name[64];
  std::snprintf(name, sizeof name, "AT+CLBN=Valdur MRX520-%04d\r", serialNumber);
  texts_ = {"ATI1\r", "AT+RBDA\r", name, "AT+RLBN\r", "AT+ULPW=0\r", "AT+UBTS=0\r"};
}

std::optional<std::string> ModuleConfigSequence::Next() {
  started_ = true;
  if (next_ >= texts_.size()) return std::nullopt;
  return texts_[next_++];
}

std::vector<std::string> ModuleConfigSequence::Receive(std::span<const std::uint8_t> bytes) {
  std::vector<std::string> lines;
  if (!started_) return lines;
  for (std::uint8_t b : bytes) {
    if (b == '\r' || b == '\n') {
      if (!partial_.empty()) lines.push_back(std::move(partial_));
      partial_.clear();
    } else {
      partial_ += static_cast<char>(b);
    }
  }
  return lines;
}

}  // namespace remote::link
