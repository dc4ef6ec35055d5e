#pragma once

#include <atomic>
#include <functional>
#include <string>

namespace desktop::backup {

// How a long backup or restore tells how far it is, and how it is asked to
// stop. Both are optional. `report` is called on the caller's thread (the one
// running the operation) with the step just begun, the number of steps and a
// line of text; `cancel`, when set by any thread, ends the operation at the
// next step with nothing reported as done that was not.
struct BackupProgress {
  std::function<void(unsigned step, unsigned total, const std::string& text)> report;
  const std::atomic<bool>* cancel = nullptr;

  void Report(unsigned step, unsigned total, const std::string& text) const {
    if (report) report(step, total, text);
  }
  bool Cancelled() const { return cancel != nullptr && cancel->load(); }
};

}  // namespace desktop::backup
