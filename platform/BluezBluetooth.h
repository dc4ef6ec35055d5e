#pragma once

#include "platform/Bluetooth.h"

namespace platform {

// The host's BlueZ stack: inquiry over HCI, RFCOMM sockets to the channel the
// device's SDP record gives for the Serial Port service, radio mode as the
// adapter's up and scan state. An adapter that is switched off is found too:
// its radio mode is off, and an inquiry switches it on and off again after.
class BluezBluetooth final : public Bluetooth {
 public:
  // True when an adapter exists; otherwise `why` says so plainly.
  static bool AdapterPresent(std::string& why);

  std::string BackendName() const override { return "bluez"; }
  bool Inquiry(const std::function<bool(const BtDeviceInfo&)>& found, std::string& error) override;
  bool CancellableInquiry(const std::function<bool(const BtDeviceInfo&)>& found, int cancelFd,
                          BtError& error) override;
  int Connect(const BtAddress& address, std::string_view service, int cancelFd,
              std::string& error) override;
  bool GetRadioMode(RadioMode& mode) override;
  bool SetRadioMode(RadioMode mode) override;
};

}  // namespace platform
