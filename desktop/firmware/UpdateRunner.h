#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "desktop/firmware/DoloPacket.h"
#include "desktop/firmware/WorkerMessages.h"
#include "platform/CWinThread.h"
#include "platform/MessageTarget.h"

namespace desktop::firmware {

// A software version as the unit and the package list give it: V2.105 is {2, 105}.
struct SoftwareVersion {
  int major = 0;
  int minor = 0;
  bool operator==(const SoftwareVersion&) const = default;
};

// The version a package record's version word names.
inline SoftwareVersion DoloSoftwareVersion(std::uint16_t version) {
  return {DoloMajor(version), DoloMinor(version)};
}

// What an update came to: the reason code, and the version read back after it
// where the caller asked for one.
struct UpdateResult {
  UpdateReason reason = UpdateReason::kNoResult;
  std::optional<SoftwareVersion> version;
  // The worker's closing command went unanswered and the version read back
  // decided: the owner says that the unit now reports `version`.
  bool decidedByReadBack = false;
  bool Done() const { return reason == UpdateReason::kDone; }
};

// One report of a running worker, as its message carried it.
struct UpdateStatus {
  unsigned percentage = 0;
  std::string text;  // the worker's own text, for people only
  StatusKind kind = StatusKind::kStep;
  UpdateReason fault = UpdateReason::kNoResult;  // what a kFault line reports
};

// Runs an update worker (CDoloThread, CCardDoloThread, CKLF310Thread,
// CPPCDoloThread) to its end and says why it ended, from the reason code the
// worker sends with its last message, never from its texts. An owner with a
// message loop of its own (a desktop tab) hands each message to Handle; a
// command line calls Run, which waits on its own queue.
class UpdateRunner {
 public:
  using StatusHandler = std::function<void(const UpdateStatus&)>;
  using VersionReader = std::function<std::optional<SoftwareVersion>()>;
  // Milliseconds the worker has waited for its peer so far.
  using WaitHandler = std::function<void(std::uint64_t)>;
  // True while a stop would leave the unit half updated (WM_WORKER_UNSAFE).
  using UnsafeHandler = std::function<void(bool)>;

  // How often Run looks whether a worker ended without its last message.
  static constexpr int kEndPollMs = 100;

  explicit UpdateRunner(StatusHandler onStatus = {}) : onStatus_(std::move(onStatus)) {}

  // The target a worker that Run will run must be created with.
  platform::MessageTarget& Target() { return queue_; }

  // Gives up on a peer that has kept the worker waiting `limitMs`: `cancel`
  // is called once, and the worker's cancelled end counts as kCardSilent.
  void SetWaitLimit(std::uint64_t limitMs, std::function<void()> cancel) {
    waitLimitMs_ = limitMs;
    cancel_ = std::move(cancel);
  }

  void OnWaiting(WaitHandler handler) { onWaiting_ = std::move(handler); }
  void OnUnsafe(UnsafeHandler handler) { onUnsafe_ = std::move(handler); }

  // One message of a worker: a status line goes to the handler; the last
  // message gives the result. Messages of other ids give none.
  std::optional<UpdateResult> Handle(const platform::Message& message);

  // Starts `worker` (created suspended, on Target()), hands every report to
  // the handler until it ends, and joins it. A worker whose thread ends
  // without a last message gives kNoResult.
  UpdateResult Run(platform::CWinThread& worker);

  // After a done update: the version `read` gives now, against `expected`.
  // kNotConfirmed when none can be read, kNotTaken when it is another one.
  // After kUnanswered the same reading decides: the expected version makes it
  // done (decidedByReadBack), another one kNotTaken, none kNotConfirmed.
  static void ReadBack(UpdateResult& result, const VersionReader& read, SoftwareVersion expected);

 private:
  platform::QueueTarget queue_;
  StatusHandler onStatus_;
  WaitHandler onWaiting_;
  UnsafeHandler onUnsafe_;
  bool unsafe_ = false;
  std::uint64_t waitLimitMs_ = 0;
  std::function<void()> cancel_;
  bool gaveUp_ = false;
};

}  // namespace desktop::firmware
