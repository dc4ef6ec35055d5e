#pragma once

namespace platform::qt {

// The hourglass while a unit exchange of several frames runs; restored on
// scope exit. Does nothing without a GUI application.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  bool shown_ = false;
};

}  // namespace platform::qt
