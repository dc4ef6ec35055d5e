#pragma once

#include <string>

namespace tools::mrxctl {

// Ctrl-C while an update erases or flashes: the first one says what stopping
// now would leave and asks for a second, which stops the program; outside
// that, one Ctrl-C stops it at once, as it always does. One guard at a time;
// the handler it installs is taken away again by its destructor.
class InterruptGuard {
 public:
  // `warning`: what stopping during the erase or flash would leave, one line.
  explicit InterruptGuard(const std::string& warning);
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

  // From the update's reports (WM_WORKER_UNSAFE), on any thread.
  void SetUnsafe(bool unsafe);
};

}  // namespace tools::mrxctl
