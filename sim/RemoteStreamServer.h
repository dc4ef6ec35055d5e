#pragma once

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "sim/SimUnit.h"

namespace sim {

class BluetoothRegistration;

// The unit's end of the remote's serial streams, one thread per stream. The
// unit's service speaks frames: requests are answered with their records,
// orders go to the unit, and the unit sends record 31 and record 55 by itself
// whenever its state or its CD drive changes. "COM-CONFIG" is the Bluetooth
// module's own command line, answering AT texts.
class RemoteStreamServer {
 public:
  explicit RemoteStreamServer(SimUnit& unit);
  ~RemoteStreamServer();
  RemoteStreamServer(const RemoteStreamServer&) = delete;
  RemoteStreamServer& operator=(const RemoteStreamServer&) = delete;

  // The module whose name and address the AT texts read and set.
  void SetModule(BluetoothRegistration* module) { module_ = module; }
  // Serves a connected stream (taking the socket) until the peer leaves or Stop.
  void Serve(int fd, const std::string& service);
  void Stop();

 private:
  struct Session;
  void RunStream(Session& session);
  void RunConfig(Session& session);
  std::string AnswerAt(const std::string& line);

  SimUnit& unit_;
  BluetoothRegistration* module_ = nullptr;
  std::mutex mutex_;
  std::list<std::unique_ptr<Session>> sessions_;
  std::atomic<bool> stopping_{false};
  // Settings of the module that AT texts set and show.
  std::atomic<int> ulpw_{1};
  std::atomic<int> ubts_{1};
};

}  // namespace sim
