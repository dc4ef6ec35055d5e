#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/PollLoop.h"
#include "platform/UniqueFd.h"
#include "sim/Scenario.h"
#include "sim/SimUnit.h"

namespace sim {

class BluetoothRegistration;

inline constexpr int kStreamStallLimitMs = 2000;

// The unit's end of the remote's serial streams, all served by one poll loop.
// "COM-HARDWARE" speaks frames: requests are answered with their records,
// orders go to the unit, and the unit sends record 31 and record 55 by itself
// whenever its state or its CD drive changes. "COM-CONFIG" is the Bluetooth
// module's own command line, answering AT texts. The stream faults of the
// scenario (or of SetFaults) are applied here, on the stream side.
class RemoteStreamServer {
 public:
  // What the faults have done so far.
  struct FaultCounts {
    unsigned refused = 0;
    unsigned dropped = 0;
    unsigned lost = 0;
    unsigned broken = 0;
    unsigned delayed = 0;
  };

  // A peer that does not take what is sent to it for `stallLimitMs` (or lets
  // more than kMaxBacklog bytes pile up) is dropped; the others are not held up.
  explicit RemoteStreamServer(SimUnit& unit, const StreamFaults& faults = {},
                              int stallLimitMs = kStreamStallLimitMs);
  ~RemoteStreamServer();
  RemoteStreamServer(const RemoteStreamServer&) = delete;
  RemoteStreamServer& operator=(const RemoteStreamServer&) = delete;

  // The module whose name and address the AT texts read and set.
  void SetModule(BluetoothRegistration* module) { module_ = module; }
  // Why a connection to `service` is refused now; empty when it is taken.
  std::string Refusal(const std::string& service);
  // Serves a connected stream until the peer leaves or Stop.
  void Serve(platform::UniqueFd fd, const std::string& service);
  void Stop();

  // Fault switches a test can flip while the server runs; `refuseMs` counts
  // from this call.
  void SetFaults(const StreamFaults& faults);
  FaultCounts Counts();
  // Streams being served now.
  std::size_t Sessions();

 private:
  struct Session;
  struct Pending;

  void Run();
  void Tick();
  void Adopt();
  void OnEvents(Session& session, short revents);
  void OnReadable(Session& session);
  void OnFrame(Session& session, std::span<const std::uint8_t> frame);
  void OnText(Session& session, std::span<const std::uint8_t> bytes);
  void Answer(Session& session, std::uint16_t record, std::span<const std::uint8_t> payload);
  void AnswerText(Session& session, std::string text);
  void Flush(Session& session);
  // Queues bytes for the peer and sends what it takes now.
  void Send(Session& session, std::span<const std::uint8_t> bytes);
  void SendQueued(Session& session);
  void SendFrame(Session& session, std::uint16_t record, std::span<const std::uint8_t> payload);
  void ReportChanges(Session& session);
  std::string AnswerAt(const std::string& line);

  SimUnit& unit_;
  const int stallLimitMs_;
  BluetoothRegistration* module_ = nullptr;
  platform::PollLoop loop_;
  std::thread thread_;

  std::mutex mutex_;  // guards what Serve, Refusal and the switches share with the loop
  bool stopping_ = false;
  std::vector<std::pair<platform::UniqueFd, std::string>> incoming_;
  StreamFaults faults_;
  std::uint64_t refuseUntil_ = 0;
  unsigned attempts_ = 0;
  unsigned accepted_ = 0;
  unsigned framesSent_ = 0;
  FaultCounts counts_;
  std::size_t sessionCount_ = 0;

  // Loop thread only.
  std::map<int, std::unique_ptr<Session>> sessions_;
  // Settings of the module that AT texts set and show.
  int ulpw_ = 1;
  int ubts_ = 1;
};

}  // namespace sim
