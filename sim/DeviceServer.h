#pragma once

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include "sim/SimUnit.h"

namespace sim {

inline constexpr const char* kUnitDeviceName = "MRXUSBDevice0";

// Serves the unit's USB device as the socket DIR/MRXUSBDevice0. The socket is
// there exactly while the unit is present, so the device watcher sees the unit
// go away after an erase and come back.
class DeviceServer {
 public:
  DeviceServer(SimUnit& unit, std::filesystem::path directory);
  ~DeviceServer();
  DeviceServer(const DeviceServer&) = delete;
  DeviceServer& operator=(const DeviceServer&) = delete;

  // Starts the serving thread; false (with `error`) when the directory is unusable.
  bool Start(std::string& error);
  void Stop();
  std::filesystem::path SocketPath() const { return directory_ / kUnitDeviceName; }

 private:
  void Run();
  bool Listen();
  void Unlisten();

  SimUnit& unit_;
  std::filesystem::path directory_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  int listenFd_ = -1;
  int wakeFd_[2] = {-1, -1};
};

}  // namespace sim
