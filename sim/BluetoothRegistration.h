#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Bluetooth.h"
#include "platform/PollLoop.h"
#include "platform/SimBluetoothWire.h"
#include "platform/UniqueFd.h"

namespace sim {

class RemoteStreamServer;

// The unit's Bluetooth module as the simulated stack sees it: a device socket
// in the stack's directory that answers name requests and service look-ups,
// and hands every stream connected to one of its RFCOMM channels to the
// stream server, with the name of the service on that channel.
class BluetoothRegistration {
 public:
  // The module's service records: the unit's frame stream and its own command line.
  static const std::vector<platform::simbt::ServiceRecord>& Services();

  BluetoothRegistration(platform::BtAddress address, std::string name,
                        std::filesystem::path directory, RemoteStreamServer& streams);
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
  // A client that has not yet said what it wants.
  struct Client {
    platform::UniqueFd fd;
    std::string line;
    std::chrono::steady_clock::time_point deadline;
  };

  void Accept();
  void OnReadable(int fd);
  void Answer(Client& client);
  void DropLateClients();

  platform::BtAddress address_;
  std::mutex mutex_;
  std::string name_;
  std::filesystem::path directory_;
  RemoteStreamServer& streams_;
  platform::UniqueFd listen_;
  platform::PollLoop loop_;
  std::thread thread_;
  std::map<int, Client> clients_;  // loop thread only
};

}  // namespace sim
