#include "desktop/firmware/CheckedUpdateTransport.h"

namespace desktop::firmware {

CheckedUpdateTransport::CheckedUpdateTransport(desktop::unitlink::CTiroUSB& inner)
    : inner_(inner) {}

bool CheckedUpdateTransport::IsDevicePresent() {
  return inner_.IsDevicePresent();
}

bool CheckedUpdateTransport::SendCommand(std::uint8_t* reply, std::uint8_t code,
                                         std::uint8_t module, std::uint8_t arg1, std::uint8_t arg2,
                                         std::uint8_t arg3, std::size_t dataLength,
                                         const std::uint8_t* data) {
  return inner_.SendCommand(reply, code, module, arg1, arg2, arg3, dataLength, data);
}

template <typename Operation>
bool CheckedUpdateTransport::Checked(const char* step, Operation operation) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (operation()) return true;
  }
  if (failedStep_ == nullptr) failedStep_ = step;
  return false;
}

bool CheckedUpdateTransport::BeginDownload() {
  return Checked("begin", [this] { return CTiroUSB::BeginDownload(); });
}

bool CheckedUpdateTransport::EndDownload() {
  return Checked("end", [this] { return CTiroUSB::EndDownload(); });
}

bool CheckedUpdateTransport::StartHost() {
  return Checked("start", [this] { return CTiroUSB::StartHost(); });
}

}  // namespace desktop::firmware
