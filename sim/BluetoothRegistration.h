#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Bluetooth.h"

namespace sim {

// The unit's Bluetooth module as the simulated stack sees it: a device socket
// in the stack's directory that answers name look-ups and hands every accepted
// stream, with the service asked for, to `serve`.
class BluetoothRegistration {
 public:
  // Takes ownership of the connected socket.
  using Serve = std::function<void(int fd, const std::string& service)>;

  BluetoothRegistration(platform::BtAddress address, std::string name,
                        std::filesystem::path directory, Serve serve);
  ~BluetoothRegistration();
  BluetoothRegistration(const BluetoothRegistration&) = delete;
  BluetoothRegistration& operator=(const BluetoothRegistration&) = delete;

  // False with `error` when the device cannot be registered.
  bool Start(std::string& error);
  void Stop();

  const platform::BtAddress& Address() const { return address_; }
  std::string Name();
  void SetName(std::string name);
  std::filesystem::path SocketPath() const;

  // The address a unit's module has: fixed prefix, the serial number below.
  static platform::BtAddress AddressForSerial(std::uint16_t serial);
  // "Valdur MRX520-%04d".
  static std::string NameForSerial(std::uint16_t serial);

 private:
  void Run();

  platform::BtAddress address_;
  std::mutex mutex_;
  std::string name_;
  std::filesystem::path directory_;
  Serve serve_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  int listenFd_ = -1;
  int wake_[2] = {-1, -1};
};

}  // namespace sim
