#include "tools/mrxctl/ProgressView.h"

#include <algorithm>
#include <cstdio>

namespace tools::mrxctl {

namespace {

bool IsProgressText(const std::string& text) {
  return !text.empty() && text[0] >= '0' && text[0] <= '9' && text.find("%: ") != std::string::npos;
}

bool IsErrorText(const std::string& text) {
  return text.starts_with("ERROR") || text.starts_with("FATAL");
}

}  // namespace

std::string ProgressView::Bar(unsigned percentage) {
  constexpr unsigned kWidth = 30;
  const unsigned filled = std::min(percentage, 100u) * kWidth / 100;
  char tail[16];
  std::snprintf(tail, sizeof tail, "%4u%%", percentage);
  return "[" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "]" + tail;
}

void ProgressView::Status(unsigned percentage, const std::string& text) {
  if (IsProgressText(text)) {
    Draw(percentage, text);
    return;
  }
  EndBar();
  if (!repeated_.empty() && text == repeated_) {
    ++repeats_;
    return;
  }
  FlushRepeated();
  // The closing report comes at 100: the bar is shown full before it.
  if (percentage == 100) out_ << Bar(100) << "\n";
  (IsErrorText(text) ? err_ : out_) << text << "\n";
}

void ProgressView::Draw(unsigned percentage, const std::string& text) {
  if (terminal_) {
    out_ << "\r" << Bar(percentage) << " " << text << "\x1b[K" << std::flush;
    barShown_ = true;
    return;
  }
  const unsigned tenth = std::min(percentage, 100u) / 10;
  if (linePerTenth_ && drawn_ && tenth == lastTenth_ && IsProgressText(text)) return;
  drawn_ = true;
  lastTenth_ = tenth;
  out_ << Bar(percentage) << " " << text << "\n";
}

void ProgressView::EndBar() {
  if (barShown_) out_ << "\n";
  barShown_ = false;
}

void ProgressView::Finish() {
  EndBar();
  FlushRepeated();
}

void ProgressView::FlushRepeated() {
  if (repeats_ == 0) return;
  err_ << repeated_;
  if (repeats_ > 1) err_ << " (" << repeats_ << " blocks)";
  err_ << "\n";
  repeats_ = 0;
}

}  // namespace tools::mrxctl
