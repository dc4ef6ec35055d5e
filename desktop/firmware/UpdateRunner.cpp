#include "desktop/firmware/UpdateRunner.h"

#include <chrono>

namespace desktop::firmware {

namespace {

// A code no worker sends is no success either.
UpdateReason KnownReason(std::intptr_t value) {
  if (value < static_cast<std::intptr_t>(UpdateReason::kDone) ||
      value > static_cast<std::intptr_t>(UpdateReason::kUnanswered)) {
    return UpdateReason::kNoResult;
  }
  return static_cast<UpdateReason>(value);
}

}  // namespace

std::optional<UpdateResult> UpdateRunner::Handle(const platform::Message& message) {
  switch (message.id) {
    case WM_WORKER_STATUS:
    case WM_CARD_DOWNLOAD_PROGRESS:
      if (onStatus_) {
        onStatus_({static_cast<unsigned>(message.wParam), message.text,
                   StatusKindOf(message.lParam), KnownReason(message.lParam >> 8)});
      }
      return std::nullopt;
    case WM_WORKER_UNSAFE:
      unsafe_ = message.wParam != 0;
      if (onUnsafe_) onUnsafe_(unsafe_);
      return std::nullopt;
    case WM_WORKER_WAITING:
      if (onWaiting_ && message.wParam >= 0) {
        onWaiting_(static_cast<std::uint64_t>(message.wParam));
      }
      if (waitLimitMs_ != 0 && !gaveUp_ && message.wParam >= 0 &&
          static_cast<std::uint64_t>(message.wParam) >= waitLimitMs_) {
        gaveUp_ = true;
        if (cancel_) cancel_();  // nothing has been erased while the worker waits
      }
      return std::nullopt;
    case WM_WORKER_FINISHED:
    case WM_CARD_DOWNLOAD_FINISHED: {
      UpdateResult result{KnownReason(message.lParam), std::nullopt};
      if (gaveUp_ && result.reason == UpdateReason::kCancelled) {
        result.reason = UpdateReason::kCardSilent;
      }
      gaveUp_ = false;
      // A worker's end ends what it had begun, whatever it said last.
      if (unsafe_) {
        unsafe_ = false;
        if (onUnsafe_) onUnsafe_(false);
      }
      return result;
    }
    default:
      return std::nullopt;
  }
}

UpdateResult UpdateRunner::Run(platform::CWinThread& worker) {
  worker.Resume();
  for (;;) {
    if (const auto message = queue_.Take(std::chrono::milliseconds(kEndPollMs))) {
      if (const auto result = Handle(*message)) {
        worker.Join();
        return *result;
      }
      continue;
    }
    if (!worker.Ended()) continue;
    // It ended: whatever it sent before is queued by now.
    while (const auto message = queue_.Take(std::chrono::milliseconds(0))) {
      if (const auto result = Handle(*message)) {
        worker.Join();
        return *result;
      }
    }
    worker.Join();
    return {};
  }
}

void UpdateRunner::ReadBack(UpdateResult& result, const VersionReader& read,
                            SoftwareVersion expected) {
  const bool unanswered = result.reason == UpdateReason::kUnanswered;
  if (!result.Done() && !unanswered) return;
  result.version = read();
  result.decidedByReadBack = unanswered;
  if (!result.version) {
    result.reason = UpdateReason::kNotConfirmed;
  } else if (*result.version != expected) {
    result.reason = UpdateReason::kNotTaken;
  } else {
    result.reason = UpdateReason::kDone;
  }
}

}  // namespace desktop::firmware
