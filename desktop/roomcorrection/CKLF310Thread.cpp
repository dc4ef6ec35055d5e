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
  owner_.Post(WM_WORKER_FINISHED, reason == UpdateReason::kDone ? 1 : 0, {},
              static_cast<std::intptr_t>(reason));
  return 0;  // the result went with WM_WORKER_FINISHED
}

void CKLF310Thread::Status(std::intptr_t percentage, const std::string& text, std::intptr_t param) {
  // Sent, not posted: the worker waits until the owner has shown each line.
  owner_.Send(WM_WORKER_STATUS, percentage, text, param);
}

bool CKLF310Thread::Command(std::uint16_t code) {
  std::vector<std::uint8_t> reply;
  return link_.Exchange(pk::EncodeBare(code), reply);
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
      Status(0, text, StatusParam(StatusKind::kStep));
    }
    if (cancelled_ || clock_.SleepOrWake(kRetryIntervalMs, cancelFd_.Get())) return false;
  }
  return !cancelled_;
}

UpdateReason CKLF310Thread::Update() {
  constexpr auto kStep = StatusParam(StatusKind::kStep);
  constexpr auto kCancelled = StatusParam(StatusKind::kFault, UpdateReason::kCancelled);
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
  Command(pk::command::kStartBoot);
  clock_.Sleep(kBootPauseMs);
  if (!WaitForCard(kStepBoot)) {
    Status(0, kTextCancelled, kCancelled);
    return UpdateReason::kCancelled;
  }

  Status(0, kTextErasing, kStep);
  Command(pk::command::kEraseFlash);

  const std::uint32_t total = firmware::DoloImageSize(*image);
  const std::uint32_t start = clock_.TickCount();
  std::uint32_t sent = 0;
  bool error = false;
  std::vector<std::uint8_t> reply;
  for (const firmware::DoloSegment* segment = image->segments; segment != nullptr;
       segment = segment->next) {
    for (std::uint32_t offset = 0; offset < segment->length; offset += kBlockSize) {
      const std::uint32_t count = std::min<std::uint32_t>(kBlockSize, segment->length - offset);
      const pk::WriteBlock block{segment->address + offset,
                                 std::span(segment->data + offset, count)};
      // A failed exchange closes the connection; the next block gets a new one.
      const bool written = (link_.IsOpen() || link_.Connect(address_, port_)) &&
                           link_.Exchange(block.Encode(), reply);
      if (!written) {
        Status(0, kTextCantWrite, StatusParam(StatusKind::kFault, UpdateReason::kBlockRefused));
        error = true;
        continue;
      }
      sent += count;
      if (error) continue;
      const auto percentage =
          static_cast<unsigned>(total == 0 ? 100 : std::uint64_t{sent} * 100 / total);
      char text[160];
      std::snprintf(text, sizeof text, kTextProgress, percentage,
                    firmware::DoloMajor(image->version), firmware::DoloMinor(image->version),
                    Speed(sent, clock_.TickCount() - start));
      Status(percentage, text, StatusParam(StatusKind::kProgress));
    }
  }

  Command(pk::command::kEndDownload);
  Command(pk::command::kStartSoftware);
  if (error) return UpdateReason::kBlockRefused;
  char text[96];
  std::snprintf(text, sizeof text, kTextFinished, Speed(sent, clock_.TickCount() - start));
  Status(100, text, kStep);
  return UpdateReason::kDone;
}

}  // namespace desktop::roomcorrection
