#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "remote/link/RemoteLink.h"

namespace remote::link {

// A link that keeps what the protocol sends, for tests of the protocol alone.
class RecordingLink final : public RemoteLink {
 public:
  struct Sent {
    std::uint16_t command;
    std::vector<std::uint8_t> payload;
    bool operator==(const Sent&) const = default;
  };
  bool Send(std::uint16_t command, std::span<const std::uint8_t> payload) override {
    sent.push_back({command, {payload.begin(), payload.end()}});
    return open;
  }
  bool IsOpen() const override { return open; }
  std::vector<std::uint16_t> Commands() const {
    std::vector<std::uint16_t> out;
    for (const auto& s : sent) out.push_back(s.command);
    return out;
  }

  bool open = true;
  std::vector<Sent> sent;
};

}  // namespace remote::link
