#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <mutex>

#include "platform/LocalTime.h"

namespace platform {

// Sleep, GetTickCount and the wall clock. Workers and the simulator take one of
// these, so tests can run minutes of waiting in virtual time.
class Clock {
 public:
  virtual ~Clock() = default;
  // Monotonic milliseconds since an arbitrary start.
  virtual std::uint64_t Milliseconds() = 0;
  virtual void Sleep(std::uint32_t ms) = 0;
  // Sleeps like Sleep, but ends early once `fd` is readable (another thread's
  // wake-up); true when it ended early.
  virtual bool SleepOrWake(std::uint32_t ms, int fd);
  // Seconds since the epoch, as the system's wall clock has it.
  virtual std::time_t WallTime() = 0;

  // The Windows tick count: milliseconds, wrapping after 49 days.
  std::uint32_t TickCount() { return static_cast<std::uint32_t>(Milliseconds()); }
  LocalTime Now() { return ToLocalTime(WallTime()); }
};

class SystemClock final : public Clock {
 public:
  std::uint64_t Milliseconds() override;
  void Sleep(std::uint32_t ms) override;
  std::time_t WallTime() override;
};

// The process-wide real clock.
Clock& DefaultClock();

// Time that moves only when a test advances it or someone sleeps: a sleep
// returns at once and moves the clock by its length.
class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(std::time_t wallStart = 1700000000) : wallStart_(wallStart) {}
  std::uint64_t Milliseconds() override { return ms_.load(); }
  void Sleep(std::uint32_t ms) override { ms_ += ms; }
  // A pending wake-up ends it at once; otherwise like Sleep.
  bool SleepOrWake(std::uint32_t ms, int fd) override;
  std::time_t WallTime() override {
    return wallStart_.load() + static_cast<std::time_t>(ms_.load() / 1000);
  }
  void Advance(std::uint64_t ms) { ms_ += ms; }
  void SetWallTime(std::time_t t) { wallStart_ = t - static_cast<std::time_t>(ms_.load() / 1000); }

 private:
  std::atomic<std::uint64_t> ms_{0};
  std::atomic<std::time_t> wallStart_;
};

}  // namespace platform
