#pragma once

#include <filesystem>
#include <vector>

#include "platform/Bluetooth.h"
#include "platform/SimBluetoothWire.h"
#include "platform/UniqueFd.h"

namespace platform {

// The simulated stack: devices registered by simulators as sockets in
// `directory` (see SimBluetoothWire.h).
class SimBluetooth final : public Bluetooth {
 public:
  // An empty directory means $MRX_RUNTIME_DIR/bluetooth, looked up at each call.
  explicit SimBluetooth(std::filesystem::path directory = {});
  std::string BackendName() const override { return "sim"; }
  bool Inquiry(const std::function<bool(const BtDeviceInfo&)>& found, std::string& error) override;
  int Connect(const BtAddress& address, std::string_view service, int cancelFd,
              std::string& error) override;
  bool GetRadioMode(RadioMode& mode) override;
  bool SetRadioMode(RadioMode mode) override;

 private:
  std::filesystem::path Dir() const;
  UniqueFd Open(const std::filesystem::path& socketPath, std::string& error) const;
  // The device's service records, as an RFCOMM client asks for them first.
  bool LookUpServices(const BtAddress& address, int cancelFd,
                      std::vector<simbt::ServiceRecord>& records, std::string& error) const;

  std::filesystem::path directory_;
};

}  // namespace platform
