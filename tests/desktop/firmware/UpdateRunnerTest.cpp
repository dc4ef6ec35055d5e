// The update runner: every way a worker can end, told by its reason code and
// never by its texts; scripted workers for the message paths, the real
// workers against the in-process simulator on virtual time for their faults.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "desktop/firmware/CCardDoloThread.h"
#include "desktop/firmware/CDoloThread.h"
#include "desktop/firmware/UpdateRunner.h"
#include "desktop/handheld/CPPCDoloThread.h"
#include "desktop/roomcorrection/CKLF310Thread.h"
#include "platform/Clock.h"
#include "platform/Prompt.h"
#include "platform/RemoteApi.h"
#include "sim/SimDeviceIo.h"
#include "sim/SimUnit.h"

namespace desktop::firmware {
namespace {

namespace pu = protocol::unit;
using R = UpdateReason;

// A worker that sends the messages it is given, in order, and ends.
class ScriptedWorker final : public platform::CWinThread {
 public:
  ScriptedWorker(platform::MessageTarget& owner, std::vector<platform::Message> script)
      : owner_(owner), script_(std::move(script)) {}
  ~ScriptedWorker() override { Join(); }

 protected:
  int Run() override {
    for (platform::Message m : script_) {
      if (m.sent) {
        owner_.Send(std::move(m));
      } else {
        owner_.Post(std::move(m));
      }
    }
    return 0;
  }

 private:
  platform::MessageTarget& owner_;
  std::vector<platform::Message> script_;
};

platform::Message Finished(std::intptr_t wParam, std::intptr_t lParam) {
  return {WM_WORKER_FINISHED, wParam, {}, {}, false, lParam};
}
platform::Message Status(std::intptr_t percentage, std::string text, std::intptr_t param) {
  return {WM_WORKER_STATUS, percentage, std::move(text), {}, false, param};
}
constexpr std::intptr_t Code(R reason) {
  return static_cast<std::intptr_t>(reason);
}

TEST(UpdateRunnerTest, TheLastMessagesReasonIsTheResult) {
  struct Case {
    const char* name;
    std::vector<platform::Message> script;
    R expected;
  };
  const std::vector<Case> cases = {
      {"done", {Finished(1, Code(R::kDone))}, R::kDone},
      {"each failure as sent", {Finished(0, Code(R::kUnitGone))}, R::kUnitGone},
      {"the card download's own ids",
       {{WM_CARD_DOWNLOAD_FINISHED,
         CCardDoloThread::kFailure,
         {},
         {},
         false,
         Code(R::kImageRefused)}},
       R::kImageRefused},
      {"a success in wParam without a reason is no success", {Finished(1, 0)}, R::kNoResult},
      {"a reason no worker sends is no success", {Finished(1, 99)}, R::kNoResult},
      {"a finished text is no success",
       {Status(100, "Download finished!", StatusParam(StatusKind::kStep)),
        Finished(0, Code(R::kBlockRefused))},
       R::kBlockRefused},
      {"a worker that ends without its last message",
       {Status(0, "Erasing firmware ...", 0)},
       R::kNoResult},
      {"sent messages are taken like posted ones",
       {{WM_WORKER_FINISHED, 1, {}, {}, true, Code(R::kDone)}},
       R::kDone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UpdateRunner runner;
    ScriptedWorker worker(runner.Target(), c.script);
    const UpdateResult result = runner.Run(worker);
    EXPECT_EQ(result.reason, c.expected);
    EXPECT_EQ(result.Done(), c.expected == R::kDone);
    EXPECT_TRUE(worker.Ended());
  }
}

TEST(UpdateRunnerTest, ReportsReachTheHandlerWithTheirKindAndFault) {
  std::vector<UpdateStatus> seen;
  UpdateRunner runner([&](const UpdateStatus& s) { seen.push_back(s); });
  ScriptedWorker worker(
      runner.Target(),
      {{WM_WORKER_STARTED, 0, {}, {}, false, 0},
       Status(0, "Erasing firmware ...", StatusParam(StatusKind::kStep)),
       Status(42, "42%: Download", StatusParam(StatusKind::kProgress)),
       Status(0, "ERROR: Can't write to device", StatusParam(StatusKind::kFault, R::kBlockRefused)),
       {WM_CARD_DOWNLOAD_PROGRESS,
        7,
        "Timeout!",
        {},
        false,
        StatusParam(StatusKind::kFault, R::kCardSilent)},
       Finished(0, Code(R::kBlockRefused))});
  EXPECT_EQ(runner.Run(worker).reason, R::kBlockRefused);
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].kind, StatusKind::kStep);
  EXPECT_EQ(seen[1].kind, StatusKind::kProgress);
  EXPECT_EQ(seen[1].percentage, 42u);
  EXPECT_EQ(seen[2].kind, StatusKind::kFault);
  EXPECT_EQ(seen[2].fault, R::kBlockRefused);
  EXPECT_EQ(seen[3].fault, R::kCardSilent);
  EXPECT_EQ(seen[3].text, "Timeout!");
}

// A worker waiting for its peer, as the KLF310 update waits for the card,
// until it is cancelled.
class WaitingWorker final : public platform::CWinThread {
 public:
  explicit WaitingWorker(platform::MessageTarget& owner) : owner_(owner) {}
  ~WaitingWorker() override { Join(); }
  void Cancel() {
    ++cancels_;
    cancelled_ = true;
  }
  int Cancels() const { return cancels_; }

 protected:
  int Run() override {
    for (std::intptr_t waited = 0; waited <= kGiveUpMs && !cancelled_; waited += 1000) {
      owner_.Send(WM_WORKER_WAITING, waited);
    }
    owner_.Post(WM_WORKER_FINISHED, 0, {},
                Code(cancelled_ ? R::kCancelled : R::kBlockRefused));  // it would go on
    return 0;
  }

 private:
  static constexpr std::intptr_t kGiveUpMs = 60000;
  platform::MessageTarget& owner_;
  std::atomic<bool> cancelled_{false};
  std::atomic<int> cancels_{0};
};

TEST(UpdateRunnerTest, APeerSilentPastTheLimitIsCancelledOnceAndSaidSilent) {
  UpdateRunner runner;
  WaitingWorker worker(runner.Target());
  runner.SetWaitLimit(30000, [&] { worker.Cancel(); });
  EXPECT_EQ(runner.Run(worker).reason, R::kCardSilent);
  EXPECT_EQ(worker.Cancels(), 1);
}

TEST(UpdateRunnerTest, ACancelThatIsNotTheRunnersStaysACancel) {
  UpdateRunner runner;
  ScriptedWorker worker(runner.Target(), {{WM_WORKER_WAITING, 1000, {}, {}, true, 0},
                                          Finished(0, Code(R::kCancelled))});
  runner.SetWaitLimit(30000, [] { FAIL() << "cancelled before the limit"; });
  EXPECT_EQ(runner.Run(worker).reason, R::kCancelled);
}

// A done update is confirmed by the version read back; an unanswered one is
// decided by it, and says so (decidedByReadBack).
TEST(UpdateRunnerTest, ReadBackConfirmsOnlyADoneUpdateWithTheVersionSent) {
  struct Case {
    const char* name;
    R before;
    std::optional<SoftwareVersion> read;
    R after;
  };
  const SoftwareVersion sent{4, 7};
  const std::vector<Case> cases = {
      {"the version sent", R::kDone, sent, R::kDone},
      {"nothing read", R::kDone, std::nullopt, R::kNotConfirmed},
      {"the old version", R::kDone, SoftwareVersion{4, 6}, R::kNotTaken},
      {"a failed update stays failed, unread", R::kBlockRefused, sent, R::kBlockRefused},
      {"unanswered, then the version sent", R::kUnanswered, sent, R::kDone},
      {"unanswered, then the old version", R::kUnanswered, SoftwareVersion{4, 6}, R::kNotTaken},
      {"unanswered, then nothing read", R::kUnanswered, std::nullopt, R::kNotConfirmed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UpdateResult result{c.before, std::nullopt};
    int reads = 0;
    UpdateRunner::ReadBack(
        result,
        [&] {
          ++reads;
          return c.read;
        },
        sent);
    const bool asked = c.before == R::kDone || c.before == R::kUnanswered;
    EXPECT_EQ(result.reason, c.after);
    EXPECT_EQ(reads, asked ? 1 : 0);
    EXPECT_EQ(result.decidedByReadBack, c.before == R::kUnanswered);
  }
}

// The waits and the unsafe span reach their handlers as values; the span
// ends with the worker's last message even when the worker never said so.
TEST(UpdateRunnerTest, WaitsAndTheUnsafeSpanReachTheirHandlers) {
  UpdateRunner runner;
  std::vector<std::uint64_t> waits;
  std::vector<bool> unsafe;
  runner.OnWaiting([&](std::uint64_t ms) { waits.push_back(ms); });
  runner.OnUnsafe([&](bool on) { unsafe.push_back(on); });
  ScriptedWorker worker(runner.Target(), {{WM_WORKER_UNSAFE, 1, {}, {}, true, 0},
                                          {WM_WORKER_WAITING, 3000, {}, {}, true, 0},
                                          {WM_WORKER_WAITING, 6000, {}, {}, true, 0},
                                          Finished(0, Code(R::kCardSilent))});
  EXPECT_EQ(runner.Run(worker).reason, R::kCardSilent);
  EXPECT_EQ(waits, (std::vector<std::uint64_t>{3000, 6000}));
  EXPECT_EQ(unsafe, (std::vector<bool>{true, false}));
}

// The real workers: each failure point gives its own reason.

// The unit's transport with one kind of refusal switched on.
class FaultyUsb final : public unitlink::CTiroUSB {
 public:
  enum class Fault { kNone, kBlocks, kGoneAfterErase, kCardBegin, kCardBlocks, kCardEnd };
  FaultyUsb(platform::DeviceIo* io, sim::SimUnit& unit, Fault fault)
      : CTiroUSB(io), unit_(unit), fault_(fault) {
    SetDeviceName("\\\\.\\MRXUSBDevice0");
  }
  bool EraseHost() override {
    const bool ok = CTiroUSB::EraseHost();
    if (fault_ == Fault::kGoneAfterErase) unit_.RefuseOpensFor(24 * 3600 * 1000);
    return ok;
  }
  bool WriteDownloadBlock(const std::uint8_t* block) override {
    return fault_ != Fault::kBlocks && CTiroUSB::WriteDownloadBlock(block);
  }
  bool BeginCardDownload(std::uint8_t module, const std::uint8_t* data12) override {
    return fault_ != Fault::kCardBegin && CTiroUSB::BeginCardDownload(module, data12);
  }
  bool WriteCardBlock(std::uint8_t module, std::uint8_t index, const std::uint8_t* block) override {
    return fault_ != Fault::kCardBlocks && CTiroUSB::WriteCardBlock(module, index, block);
  }
  bool EndCardDownload(std::uint8_t module, std::uint8_t index) override {
    return fault_ != Fault::kCardEnd && CTiroUSB::EndCardDownload(module, index);
  }

 private:
  sim::SimUnit& unit_;
  const Fault fault_;
};

class SimWorkerTest : public ::testing::Test {
 protected:
  UpdateResult RunHost(FaultyUsb::Fault fault, const _DoloPacket* list = GetDoloBase()) {
    FaultyUsb usb(&io_, unit_, fault);
    usb.SetDefaultAddress(0);
    UpdateRunner runner;
    CDoloThread worker(false, runner.Target(), usb, clock_, list);
    return runner.Run(worker);
  }
  UpdateResult RunCard(FaultyUsb::Fault fault, const pu::ProcessorRecord& record) {
    FaultyUsb usb(&io_, unit_, fault);
    UpdateRunner runner;
    CCardDoloThread worker(kCard, 0, record, runner.Target(), usb, clock_);
    return runner.Run(worker);
  }
  pu::ProcessorRecord CardRecord() {
    FaultyUsb usb(&io_, unit_, FaultyUsb::Fault::kNone);
    std::uint8_t bytes[pu::ProcessorRecord::kSize] = {};
    EXPECT_TRUE(usb.ReadProcessorRecord(kCard, 0, bytes));
    return pu::ProcessorRecord::Decode(bytes);
  }

  static constexpr std::uint8_t kCard = 2;  // the demo unit's QVO520
  platform::VirtualClock clock_;
  sim::SimUnit unit_{sim::DefaultScenario(), clock_};
  sim::SimDeviceIo io_{unit_};
};

TEST_F(SimWorkerTest, HostUpdateEndsForItsOwnReason) {
  struct Case {
    const char* name;
    FaultyUsb::Fault fault;
    R expected;
  };
  const std::vector<Case> cases = {
      {"every block taken", FaultyUsb::Fault::kNone, R::kDone},
      {"every block refused", FaultyUsb::Fault::kBlocks, R::kBlockRefused},
      {"the unit does not come back after the erase", FaultyUsb::Fault::kGoneAfterErase,
       R::kUnitGone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RunHost(c.fault).reason, c.expected);
  }
  const _DoloPacket empty{nullptr, 1, 1, 0, 0, 0, 27, 1, 2009, 20, 2, 54, 0, nullptr};
  EXPECT_EQ(RunHost(FaultyUsb::Fault::kNone, &empty).reason, R::kNotFound);
}

TEST_F(SimWorkerTest, CardDownloadEndsForItsOwnReason) {
  const pu::ProcessorRecord record = CardRecord();
  pu::ProcessorRecord unknown = record;
  unknown.model = 99;
  struct Case {
    const char* name;
    FaultyUsb::Fault fault;
    pu::ProcessorRecord record;
    R expected;
  };
  const std::vector<Case> cases = {
      {"the whole image taken", FaultyUsb::Fault::kNone, record, R::kDone},
      {"no software for the processor", FaultyUsb::Fault::kNone, unknown, R::kNotFound},
      {"the card never answers the begin", FaultyUsb::Fault::kCardBegin, record, R::kCardSilent},
      {"blocks refused", FaultyUsb::Fault::kCardBlocks, record, R::kBlockRefused},
      // A refused end looks like a lost answer: the version read back decides.
      {"the image refused at its end", FaultyUsb::Fault::kCardEnd, record, R::kUnanswered},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RunCard(c.fault, c.record).reason, c.expected);
  }
}

// Port 1 on loopback: nothing listens, every connection is refused at once.
TEST(UpdateRunnerKlfTest, ACardThatNeverAnswersIsSilentAfterTheLimit) {
  platform::VirtualClock clock;
  UpdateRunner runner;
  roomcorrection::CKLF310Thread worker(runner.Target(), "127.0.0.1", clock, GetDoloBase(), 1);
  runner.SetWaitLimit(30000, [&] { worker.Cancel(); });
  EXPECT_EQ(runner.Run(worker).reason, R::kCardSilent);
  EXPECT_GE(clock.Milliseconds(), 30000u);
  EXPECT_LT(clock.Milliseconds(), 32000u) << "no wait past the limit";
}

class NoPrompt final : public platform::Prompt {
 public:
  void Error(std::string_view, std::string_view) override {}
};

TEST(UpdateRunnerHandheldTest, NoHandheldConnectedIsItsOwnReason) {
  platform::VirtualClock clock;
  platform::RemoteApi api(std::filesystem::path(MRX_BINARY_DIR) / "no-such-handheld");
  NoPrompt prompt;
  UpdateRunner runner;
  handheld::CPPCDoloThread worker(runner.Target(), api, prompt, clock, GetDoloBase(), 0);
  EXPECT_EQ(runner.Run(worker).reason, R::kNoHandheld);
}

}  // namespace
}  // namespace desktop::firmware
