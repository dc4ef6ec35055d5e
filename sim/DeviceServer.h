#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/PollLoop.h"
#include "platform/UniqueFd.h"
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
  bool Listen();
  void Unlisten();
  void FollowPresence();
  void Accept();
  // Answers every complete request the client has sent; false when the
  // client is to be dropped.
  bool Serve(int fd);
  void Drop(int fd);

  SimUnit& unit_;
  std::filesystem::path directory_;
  platform::PollLoop loop_;
  std::thread thread_;
  platform::UniqueFd listen_;
  // Loop thread only, once started: each client's socket and unanswered bytes.
  struct Client {
    platform::UniqueFd fd;
    std::vector<std::uint8_t> buffer;
  };
  std::map<int, Client> clients_;
};

}  // namespace sim
