#include <cstdio>
#include <mutex>

#include "platform/Bytes.h"
#include "platform/DeviceIo.h"
#include "platform/RuntimeDir.h"
#include "platform/UnixDeviceIo.h"

namespace platform {

namespace {

// Prints "> " and the bytes sent, then "< " and the bytes received, one line
// each, so a user can see what crossed to the unit.
class TracingDeviceIo final : public DeviceIo {
 public:
  explicit TracingDeviceIo(DeviceIo& inner) : inner_(inner) {}

  Handle Open(std::string_view path) override {
    const Handle h = inner_.Open(path);
    if (h == kInvalidHandle) Print("! open failed: " + std::string(path));
    return h;
  }

  bool Control(Handle handle, std::uint32_t code, std::span<const std::uint8_t> in,
               std::span<std::uint8_t> out, std::uint32_t* returned) override {
    Print("> " + HexBytes(in));
    const bool ok = inner_.Control(handle, code, in, out, returned);
    if (!ok) {
      Print("! control failed");
    } else if (!out.empty()) {
      Print("< " + HexBytes(out));
    }
    return ok;
  }

  void Close(Handle handle) override { inner_.Close(handle); }

 private:
  static void Print(const std::string& line) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::fprintf(stderr, "%s\n", line.c_str());
  }

  DeviceIo& inner_;
};

}  // namespace

std::unique_ptr<DeviceIo> MakeTracingDeviceIo(DeviceIo& inner) {
  return std::make_unique<TracingDeviceIo>(inner);
}

DeviceIo& DefaultDeviceIo() {
  static UnixDeviceIo sockets;
  static std::unique_ptr<DeviceIo> traced = TraceEnabled() ? MakeTracingDeviceIo(sockets) : nullptr;
  return traced ? *traced : static_cast<DeviceIo&>(sockets);
}

}  // namespace platform
