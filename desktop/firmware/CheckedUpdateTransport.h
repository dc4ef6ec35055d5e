#pragma once

#include <cstdint>

#include "desktop/unitlink/CTiroUSB.h"

namespace desktop::firmware {

// The transport a unit update runs on: every exchange goes
// to `inner`, but the begin, end and start commands, whose results the worker
// does not look at, are asked again a few times when they fail and their
// final results are kept, so the caller can tell whether the update took.
class CheckedUpdateTransport final : public desktop::unitlink::CTiroUSB {
 public:
  static constexpr int kAttempts = 3;

  explicit CheckedUpdateTransport(desktop::unitlink::CTiroUSB& inner);

  bool IsDevicePresent() override;
  bool SendCommand(std::uint8_t* reply, std::uint8_t code, std::uint8_t module, std::uint8_t arg1,
                   std::uint8_t arg2, std::uint8_t arg3, std::size_t dataLength,
                   const std::uint8_t* data) override;
  bool BeginDownload() override;
  bool EndDownload() override;
  bool StartHost() override;

  // The first of begin, end and start that failed every attempt: its unit
  // command name, or null when each was sent and taken.
  const char* FailedStep() const { return failedStep_; }

 private:
  template <typename Operation>
  bool Checked(const char* step, Operation operation);

  desktop::unitlink::CTiroUSB& inner_;
  const char* failedStep_ = nullptr;
};

}  // namespace desktop::firmware
