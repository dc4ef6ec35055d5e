#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace remote::link {

// The text commands that configure the unit's Bluetooth module and give it its
// name, and the splitting of its answers into lines. The dialog sends the next
// text 500 ms after the module last said something.
class ModuleConfigSequence {
 public:
  static constexpr int kPauseMs = 500;

  explicit ModuleConfigSequence(std::uint16_t serialNumber);

  // The texts in order, each ending in a carriage return.
  const std::vector<std::string>& Texts() const { return texts_; }
  // The next text to send, none after the last; marks the sequence started.
  std::optional<std::string> Next();
  bool Started() const { return started_; }
  bool Finished() const { return next_ >= texts_.size(); }
  // Received bytes: the complete non-empty lines among them, once started. A
  // partial line waits for the rest.
  std::vector<std::string> Receive(std::span<const std::uint8_t> bytes);

 private:
  std::vector<std::string> texts_;
  std::size_t next_ = 0;
  bool started_ = false;
  std::string partial_;
};

}  // namespace remote::link
