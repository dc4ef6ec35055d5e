#include "desktop/roomcorrection/CKLF310Thread.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "desktop/firmware/WorkerMessages.h"

namespace desktop::roomcorrection {

namespace pk = protocol::klf;
using firmware::StatusKind;
using firmware::StatusParam;
using firmware::UpdateReason;
using firmware::WM_WORKER_FINISHED;
using firmware::WM_WORKER_STARTED;
using firmware::WM_WORKER_STATUS;
using firmware::WM_WORKER_WAITING;

namespace {
long Speed(std::uint32_t sent, std::uint32_t elapsedMs) {
  return elapsedMs > 0 ? static_cast<long>(sent / (elapsedMs / 1000.0)) : static_cast<long>(sent);
}
}  // namespace

CKLF310Thread::CKLF310Thread(platform::MessageTarget& owner, std::string address,
                             platform::Clock& clock, const firmware::_DoloPacket* list,
                             std::uint16_t port)
    : owner_(owner),
      address_(std::move(address)),
      clock_(clock),
      list_(list),
      port_(port),
      cancelFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CKLF310Thread::~CKLF310Thread() {
  Join();
}

void CKLF310Thread::Cancel() {
  cancelled_ = true;
  const std::uint64_t one = 1;
  if (cancelFd_ && write(cancelFd_.Get(), &one, sizeof one) < 0) {
    // The flag alone still ends the wait at its next try.
  }
}

bool CKLF310Thread::InitInstance() {
  return true;
}

int CKLF310Thread::Run() {
  owner_.Post(WM_WORKER_STARTED, 0);
  const UpdateReason reason = Update();
  link_.Close();
  if (unsafe_) owner_.Send(firmware::WM_WORKER_UNSAFE, 0);
  owner_.Post(WM_WORKER_FINISHED, reason == UpdateReason::kDone ? 1 : 0, {},
              static_cast<std::intptr_t>(reason));
  return 0;  // the result went with WM_WORKER_FINISHED
}

void CKLF310Thread::Status(std::intptr_t percentage, const std::string& text, std::intptr_t param) {
  // Sent, not posted: the worker waits until the owner has shown each line.
  owner_.Send(WM_WORKER_STATUS, percentage, text, param);
}

// Before the erase a Cancel ends the pause; after it the pause is whole.
bool CKLF310Thread::Sleep(std::uint32_t ms) {
  if (unsafe_) {
    clock_.Sleep(ms);
    return true;
  }
  return !cancelled_ && !clock_.SleepOrWake(ms, cancelFd_.Get()) && !cancelled_;
}

// The wait as a value, then as a line, once per whole second.
void CKLF310Thread::ShowWait(std::uint64_t since, const char* what, long& shown) {
  const std::uint64_t waited = clock_.Milliseconds() - since;
  const auto seconds = static_cast<long>(waited / 1000);
  if (seconds == shown) return;
  shown = seconds;
  owner_.Send(WM_WORKER_WAITING, static_cast<std::intptr_t>(waited));
  char text[160];
  std::snprintf(text, sizeof text, kTextNoAnswer, what, seconds);
  Status(0, text, StatusParam(StatusKind::kWaiting));
}

// The time for new connections is the command's, not each attempt's: a card
// that is gone costs one wait per command, not one per attempt.
bool CKLF310Thread::Reconnect(std::uint64_t since, const char* what, long& shown) {
  while (!link_.Connect(address_, port_)) {
    ShowWait(since, what, shown);
    if (clock_.Milliseconds() - since >= kReconnectMs || !Sleep(kRetryIntervalMs)) return false;
  }
  return true;
}

bool CKLF310Thread::Ask(std::span<const std::uint8_t> request, const char* what) {
  const auto code = pk::MessageHeader::Decode(request).command;
  const std::uint64_t since = clock_.Milliseconds();
  long shown = 0;  // nothing to show before the first second
  std::vector<std::uint8_t> reply;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (attempt > 0) {
      ShowWait(since, what, shown);
      if (!unsafe_ && cancelled_) return false;
    }
    if (!Reconnect(since, what, shown)) continue;
    // An answer to another command is no answer to this one.
    if (link_.Exchange(request, reply) && reply.size() >= pk::MessageHeader::kSize &&
        pk::MessageHeader::Decode(reply).command == code) {
      return true;
    }
    link_.Close();  // a late answer must not be read as the next one's
  }
  ShowWait(since, what, shown);
  return false;
}

// Tries every 500 ms until the card takes a connection, showing each whole
// second of waiting once; false when cancelled.
bool CKLF310Thread::WaitForCard(const char* step) {
  link_.Close();
  const std::uint64_t start = clock_.Milliseconds();
  long shown = -1;
  while (!link_.Connect(address_, port_)) {
    if (cancelled_) return false;
    const std::uint64_t waited = clock_.Milliseconds() - start;
    const auto seconds = static_cast<long>(waited / 1000);
    if (seconds != shown) {
      shown = seconds;
      owner_.Send(WM_WORKER_WAITING, static_cast<std::intptr_t>(waited));
      char text[128];
      std::snprintf(text, sizeof text, kTextWaiting, step, seconds);
      Status(0, text, StatusParam(StatusKind::kWaiting));
    }
    if (cancelled_ || clock_.SleepOrWake(kRetryIntervalMs, cancelFd_.Get())) return false;
  }
  return !cancelled_;
}

UpdateReason CKLF310Thread::Update() {
  constexpr auto kStep = StatusParam(StatusKind::kStep);
  constexpr auto kCancelled = StatusParam(StatusKind::kFault, UpdateReason::kCancelled);
  const auto silent = [&](const char* what) {
    if (!unsafe_ && cancelled_) {
      Status(0, kTextCancelled, kCancelled);
      return UpdateReason::kCancelled;
    }
    char text[160];
    std::snprintf(text, sizeof text, kTextSilent, what);
    Status(0, text, StatusParam(StatusKind::kFault, UpdateReason::kCardSilent));
    return UpdateReason::kCardSilent;
  };
  if (!WaitForCard(kStepConnect)) {
    Status(0, kTextCancelled, kCancelled);
    return UpdateReason::kCancelled;
  }
  const firmware::_DoloPacket* image =
      firmware::FindDoloPacket(list_, firmware::kDoloKlf310, kModel, kComponent);
  // Asked before the card is sent to its boot software, so a missing image
  // leaves the running software alone.
  if (image == nullptr) {
    Status(0, kTextNotFound, StatusParam(StatusKind::kFault, UpdateReason::kNotFound));
    return UpdateReason::kNotFound;
  }
  Status(0, kTextStartBoot, kStep);
  if (!Ask(pk::EncodeBare(pk::command::kStartBoot), "start of the boot software")) {
    return silent("start of its boot software");
  }
  link_.Close();  // the card restarts into its boot software
  if (!Sleep(kBootPauseMs) || !WaitForCard(kStepBoot)) {
    Status(0, kTextCancelled, kCancelled);
    return UpdateReason::kCancelled;
  }

  unsafe_ = true;
  owner_.Send(firmware::WM_WORKER_UNSAFE, 1);
  Status(0, kTextErasing, kStep);
  if (!Ask(pk::EncodeBare(pk::command::kEraseFlash), "erase")) return silent("erase");

  const std::uint32_t total = firmware::DoloImageSize(*image);
  const std::uint32_t start = clock_.TickCount();
  std::uint32_t sent = 0;
  bool error = false;
  for (const firmware::DoloSegment* segment = image->segments; segment != nullptr && !error;
       segment = segment->next) {
    for (std::uint32_t offset = 0; offset < segment->length; offset += kBlockSize) {
      const std::uint32_t count = std::min<std::uint32_t>(kBlockSize, segment->length - offset);
      const pk::WriteBlock block{segment->address + offset,
                                 std::span(segment->data + offset, count)};
      // A card that takes no block after every attempt takes none of the
      // rest either: the image cannot be whole, so the download is closed.
      if (!Ask(block.Encode(), "block")) {
        Status(0, kTextCantWrite, StatusParam(StatusKind::kFault, UpdateReason::kBlockRefused));
        error = true;
        break;
      }
      sent += count;
      const auto percentage =
          static_cast<unsigned>(total == 0 ? 100 : std::uint64_t{sent} * 100 / total);
      char text[160];
      std::snprintf(text, sizeof text, kTextProgress, percentage,
                    firmware::DoloMajor(image->version), firmware::DoloMinor(image->version),
                    Speed(sent, clock_.TickCount() - start));
      Status(percentage, text, StatusParam(StatusKind::kProgress));
    }
  }

  // Sent whatever came before, so the card leaves its download either way.
  const bool ended = Ask(pk::EncodeBare(pk::command::kEndDownload), "end of the download");
  const bool started = Ask(pk::EncodeBare(pk::command::kStartSoftware), "start of the software");
  if (error) return UpdateReason::kBlockRefused;
  if (!ended || !started) {
    char text[192];
    std::snprintf(text, sizeof text, kTextUnconfirmed,
                  ended ? "start of its software" : "end of the download");
    Status(0, text, StatusParam(StatusKind::kFault, UpdateReason::kUnanswered));
    return UpdateReason::kUnanswered;
  }
  char text[96];
  std::snprintf(text, sizeof text, kTextFinished, Speed(sent, clock_.TickCount() - start));
  Status(100, text, kStep);
  return UpdateReason::kDone;
}

}  // namespace desktop::roomcorrection
