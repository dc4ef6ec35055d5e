#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/PollLoop.h"
#include "platform/UniqueFd.h"
#include "protocol/unit/Frame.h"
#include "sim/SimUnit.h"

namespace sim {

inline constexpr const char* kUnitDeviceName = protocol::unit::kDeviceName;
// A client that neither completes a request nor takes its answers for this
// long is dropped, so one that stalls cannot hold a place others need.
inline constexpr int kClientTimeoutMs = 5000;

// Serves the unit's USB device as the socket DIR/MRXUSBDevice0. The socket is
// there exactly while the unit is present, so the device watcher sees the unit
// go away after an erase and come back.
class DeviceServer {
 public:
  DeviceServer(SimUnit& unit, std::filesystem::path directory,
               int clientTimeoutMs = kClientTimeoutMs);
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
  // Answers every complete request the client has sent, while its answers
  // are taken; false when the client is to be dropped.
  bool Serve(int fd);
  // Sends what the client has not yet taken; false when it is gone.
  bool Flush(int fd);
  void OnEvents(int fd, short revents);
  void Drop(int fd);
  void DropLateClients();

  SimUnit& unit_;
  std::filesystem::path directory_;
  int clientTimeoutMs_;
  platform::PollLoop loop_;
  std::thread thread_;
  platform::UniqueFd listen_;
  // Loop thread only, once started: each client's socket, unanswered bytes,
  // answers it has not yet taken, and when it last got anywhere.
  struct Client {
    platform::UniqueFd fd;
    std::vector<std::uint8_t> buffer;
    std::vector<std::uint8_t> outbox;
    std::chrono::steady_clock::time_point lastProgress;
  };
  std::map<int, Client> clients_;
};

}  // namespace sim
