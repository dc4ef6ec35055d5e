#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/DeviceIo.h"

namespace testing_support {

// Forwards to another device (the simulated unit) and keeps every request
// frame sent, so a test can check the frames a page sent.
class TapDeviceIo final : public platform::DeviceIo {
 public:
  using Bytes = std::vector<std::uint8_t>;

  explicit TapDeviceIo(platform::DeviceIo& inner) : inner_(inner) {}
  Handle Open(std::string_view path) override { return inner_.Open(path); }
  bool Control(Handle h, std::uint32_t code, std::span<const std::uint8_t> in,
               std::span<std::uint8_t> out, std::uint32_t* returned) override {
    requests.emplace_back(in.begin(), in.end());
    return inner_.Control(h, code, in, out, returned);
  }
  void Close(Handle h) override { inner_.Close(h); }

  // The frames sent with this command code.
  std::vector<Bytes> Sent(std::uint8_t code) const {
    std::vector<Bytes> frames;
    for (const Bytes& r : requests) {
      if (!r.empty() && r[0] == code) frames.push_back(r);
    }
    return frames;
  }
  std::vector<Bytes> requests;

 private:
  platform::DeviceIo& inner_;
};

}  // namespace testing_support
