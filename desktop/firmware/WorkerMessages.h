#pragma once

#include <cstdint>

#include "platform/MessageTarget.h"

namespace desktop::firmware {

// What update workers tell their owner. The names are the design's.
// The QVO520 card download's two: finished, wParam 0 = success, 1 = failure,
// lParam the UpdateReason; progress, wParam percentage, lParam a StatusParam.
inline constexpr std::uint32_t WM_CARD_DOWNLOAD_FINISHED = platform::kUserMessage + 1;
inline constexpr std::uint32_t WM_CARD_DOWNLOAD_PROGRESS = platform::kUserMessage + 2;
// The others'.
// wParam 0; first thing a worker does.
inline constexpr std::uint32_t WM_WORKER_STARTED = platform::kUserMessage + 3;
// wParam 1 = success, 0 = failure; lParam the UpdateReason; last thing before
// the worker's thread ends.
inline constexpr std::uint32_t WM_WORKER_FINISHED = platform::kUserMessage + 4;
// wParam percentage 0-100 (0 for plain lines); lParam a StatusParam; the
// status text travels with it.
inline constexpr std::uint32_t WM_WORKER_STATUS = platform::kUserMessage + 5;
// wParam the milliseconds a worker has waited so far for its peer to answer;
// sent before each line that shows the wait, so an owner can give up on a
// silent peer without reading the line.
inline constexpr std::uint32_t WM_WORKER_WAITING = platform::kUserMessage + 6;
// wParam 1 as the worker starts what a stop would leave half done (the erase
// and the flashing of an image), 0 once that is over: an owner asks before
// it lets a user stop the program meanwhile.
inline constexpr std::uint32_t WM_WORKER_UNSAFE = platform::kUserMessage + 7;

// Why an update ended: the value beside the worker's fixed texts. Outcomes
// are decided on this code only; the texts are for people.
enum class UpdateReason : std::intptr_t {
  kNoResult = 0,        // no reason given (a worker that ended without one): never done
  kDone = 1,            // the worker did all it had to
  kNotFound = 2,        // the package list carries no image for it
  kUnitGone = 3,        // the unit left and did not come back in time
  kBlockRefused = 4,    // blocks were not taken, after every attempt
  kCardSilent = 5,      // the card did not answer (its connection, or a command up to the erase)
  kImageRefused = 6,    // the card took every block but refused the image as a whole
  kCancelled = 7,       // stopped while waiting, before anything was erased
  kNoHandheld = 8,      // no handheld connected in time
  kWrongHandheld = 9,   // the handheld's processor cannot run the remote
  kNoStorageCard = 10,  // no storage card (folder) to copy to
  kCopyFailed = 11,     // the handheld did not get it all: a file, or the start of its installer
  kNotConfirmed = 12,   // the worker was done, but no version could be read back
  kNotTaken = 13,       // the version read back is not the one sent
  // Everything was sent, but a closing command got no answer: the version the
  // unit reports afterwards decides (UpdateRunner::ReadBack), never the lost
  // answer alone.
  kUnanswered = 14,
};

// What a WM_WORKER_STATUS line is, for an owner that shows lines differently.
enum class StatusKind : std::uint8_t {
  kStep = 0,      // a step of the sequence ("Erasing firmware ...")
  kProgress = 1,  // the percentage in wParam moved
  kFault = 2,     // a failure, whose reason comes with it
  // A wait for the peer, as text; its value came just before with
  // WM_WORKER_WAITING, for an owner that shows the wait its own way.
  kWaiting = 3,
};

// lParam of WM_WORKER_STATUS: the kind in the low byte, a fault's reason above.
constexpr std::intptr_t StatusParam(StatusKind kind, UpdateReason fault = UpdateReason::kNoResult) {
  return static_cast<std::intptr_t>(kind) | (static_cast<std::intptr_t>(fault) << 8);
}
constexpr StatusKind StatusKindOf(std::intptr_t lParam) {
  return static_cast<StatusKind>(lParam & 0xFF);
}
constexpr UpdateReason StatusFaultOf(std::intptr_t lParam) {
  return static_cast<UpdateReason>(lParam >> 8);
}

}  // namespace desktop::firmware
