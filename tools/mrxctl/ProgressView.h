#pragma once

#include <ostream>
#include <string>

namespace tools::mrxctl {

// Draws an update worker's reports: a bar that is redrawn in place on a
// terminal, one line per report elsewhere. Texts that begin with their
// percentage ("42%: ...") move the bar; every other text stands on a line of
// its own, errors on the error stream. A block error repeated for many blocks
// is shown once, with its count.
class ProgressView {
 public:
  ProgressView(std::ostream& out, std::ostream& err, bool terminal)
      : out_(out), err_(err), terminal_(terminal) {}

  // Reports equal to `text` are counted and shown once, at the next other
  // text or at Finish.
  void CountRepeated(std::string text) { repeated_ = std::move(text); }
  // Off a terminal, one progress line per tenth of the way, so a log stays
  // short.
  void LinePerTenth() { linePerTenth_ = true; }

  void Status(unsigned percentage, const std::string& text);
  // The bar at `percentage` with `text` beside it, whatever the text says.
  void Draw(unsigned percentage, const std::string& text);
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
  std::string repeated_;
  unsigned repeats_ = 0;
  bool barShown_ = false;
  unsigned lastTenth_ = 0;
  bool drawn_ = false;
};

}  // namespace tools::mrxctl
