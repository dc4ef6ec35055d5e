#pragma once

#include "platform/DeviceIo.h"
#include "sim/SimUnit.h"

namespace sim {

// The in-process device backend: the unit's device answered by a SimUnit in
// the same process, for tests that cross no process boundary.
class SimDeviceIo final : public platform::DeviceIo {
 public:
  explicit SimDeviceIo(SimUnit& unit) : unit_(unit) {}

  Handle Open(std::string_view path) override;
  bool Control(Handle handle, std::uint32_t code, std::span<const std::uint8_t> in,
               std::span<std::uint8_t> out, std::uint32_t* returned) override;
  void Close(Handle) override {}

 private:
  SimUnit& unit_;
};

}  // namespace sim
