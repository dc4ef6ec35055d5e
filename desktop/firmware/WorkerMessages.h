#pragma once

#include <cstdint>

#include "platform/MessageTarget.h"

namespace desktop::firmware {

// What update workers tell their owner. The names are the design's.
// wParam 0; first thing a worker does.
inline constexpr std::uint32_t WM_WORKER_STARTED = platform::kUserMessage + 3;
// wParam 1 = success, 0 = failure; last thing before the worker's thread ends.
inline constexpr std::uint32_t WM_WORKER_FINISHED = platform::kUserMessage + 4;
// wParam percentage 0-100 (0 for plain lines); the status text travels with it.
inline constexpr std::uint32_t WM_WORKER_STATUS = platform::kUserMessage + 5;

}  // namespace desktop::firmware
