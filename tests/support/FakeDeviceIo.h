#pragma once

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "platform/DeviceIo.h"

namespace testing_support {

// A device that records every frame it is sent and answers from a queue of
// replies (zeros when the queue is empty).
class FakeDeviceIo final : public platform::DeviceIo {
 public:
  struct Exchange {
    std::uint32_t code;
    std::vector<std::uint8_t> request;
    std::size_t outSize;
  };

  bool present = true;
  bool controlSucceeds = true;
  // Control calls that fail, by index from 0 (e.g. to end a discovery).
  std::vector<std::size_t> failAt;
  std::deque<std::vector<std::uint8_t>> replies;
  std::vector<Exchange> exchanges;
  std::vector<std::string> openedPaths;
  int openCount = 0;

  Handle Open(std::string_view path) override {
    openedPaths.emplace_back(path);
    if (!present) return kInvalidHandle;
    ++openCount;
    return 7;
  }
  bool Control(Handle, std::uint32_t code, std::span<const std::uint8_t> in,
               std::span<std::uint8_t> out, std::uint32_t* returned) override {
    const std::size_t index = exchanges.size();
    exchanges.push_back({code, {in.begin(), in.end()}, out.size()});
    for (std::size_t f : failAt) {
      if (f == index) return false;
    }
    if (!controlSucceeds) return false;
    if (!replies.empty()) {
      const auto& r = replies.front();
      std::memcpy(out.data(), r.data(), std::min(r.size(), out.size()));
      replies.pop_front();
    }
    if (returned != nullptr) *returned = static_cast<std::uint32_t>(out.size());
    return true;
  }
  void Close(Handle) override { --openCount; }
};

// A 64-byte reply frame with `data` at offset 6 and the given address fields.
inline std::vector<std::uint8_t> ReplyFrame(std::vector<std::uint8_t> data,
                                            std::uint8_t address = 0, std::uint8_t sub = 0,
                                            std::uint8_t count = 58) {
  std::vector<std::uint8_t> r(64, 0);
  r[1] = count;
  r[2] = address;
  r[3] = sub;
  std::copy(data.begin(), data.end(), r.begin() + 6);
  return r;
}

}  // namespace testing_support
