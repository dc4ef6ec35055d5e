#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "desktop/firmware/UpdateRunner.h"

namespace tools::mrxctl {

// Draws an update worker's reports: a bar that is redrawn in place on a
// terminal, one line per report elsewhere. Progress reports move the bar;
// every other report stands on a line of its own, faults on the error stream.
// A fault repeated for many blocks is shown once, with its count. What a
// report is comes with it from the worker, never from its text.
class ProgressView {
 public:
  ProgressView(std::ostream& out, std::ostream& err, bool terminal)
      : out_(out), err_(err), terminal_(terminal) {}

  // Faults for `reason` are counted and shown once, at the next other report
  // or at Finish.
  void CountRepeated(desktop::firmware::UpdateReason reason) { countedFault_ = reason; }
  // Off a terminal, one progress line per tenth of the way, so a log stays
  // short.
  void LinePerTenth() { linePerTenth_ = true; }

  // Lines that only show a wait as text are left to Waiting.
  void Status(const desktop::firmware::UpdateStatus& status);
  // The worker has waited `ms` for its peer: shown once per whole second, so
  // a silent unit never leaves the terminal quiet for long.
  void Waiting(std::uint64_t ms);
  // The bar with the report's text beside it, whatever the report is; with
  // LinePerTenth, progress reports within a tenth already shown are left out.
  void Draw(const desktop::firmware::UpdateStatus& status);
  // Ends a bar drawn in place, so the next output starts on a line of its own.
  void EndBar();
  void Finish();

  static std::string Bar(unsigned percentage);

 private:
  void FlushRepeated();

  std::ostream& out_;
  std::ostream& err_;
  const bool terminal_;
  bool linePerTenth_ = false;
  desktop::firmware::UpdateReason countedFault_ = desktop::firmware::UpdateReason::kNoResult;
  std::string repeated_;  // the first counted fault's text
  unsigned repeats_ = 0;
  bool barShown_ = false;
  unsigned lastTenth_ = 0;
  bool drawn_ = false;
  long waitShown_ = -1;  // the whole second of waiting shown last
};

}  // namespace tools::mrxctl
