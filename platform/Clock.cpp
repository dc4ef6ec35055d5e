#include "platform/Clock.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace platform {

LocalTime ToLocalTime(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  LocalTime out;
  out.year = tm.tm_year + 1900;
  out.month = tm.tm_mon + 1;
  out.day = tm.tm_mday;
  out.hour = tm.tm_hour;
  out.minute = tm.tm_min;
  out.second = tm.tm_sec;
  out.dayOfWeek = tm.tm_wday;
  return out;
}

std::time_t FromLocalTime(const LocalTime& t) {
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

std::uint64_t SystemClock::Milliseconds() {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SystemClock::Sleep(std::uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool Clock::SleepOrWake(std::uint32_t ms, int fd) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    const int n = poll(&p, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
    if (n < 0 && errno == EINTR) continue;
    return n > 0;
  }
}

bool VirtualClock::SleepOrWake(std::uint32_t ms, int fd) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, 0) > 0) return true;
  ms_ += ms;
  return false;
}

std::time_t SystemClock::WallTime() {
  return std::time(nullptr);
}

Clock& DefaultClock() {
  static SystemClock clock;
  return clock;
}

}  // namespace platform
