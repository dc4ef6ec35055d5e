#include "tools/mrxctl/ProgressView.h"

#include <algorithm>
#include <cstdio>

namespace tools::mrxctl {

namespace fw = desktop::firmware;

std::string ProgressView::Bar(unsigned percentage) {
  constexpr unsigned kWidth = 30;
  const unsigned filled = std::min(percentage, 100u) * kWidth / 100;
  char tail[16];
  std::snprintf(tail, sizeof tail, "%4u%%", percentage);
  return "[" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "]" + tail;
}

void ProgressView::Status(const fw::UpdateStatus& status) {
  if (status.kind == fw::StatusKind::kWaiting) return;
  waitShown_ = -1;
  if (status.kind == fw::StatusKind::kProgress) {
    Draw(status);
    return;
  }
  EndBar();
  const bool fault = status.kind == fw::StatusKind::kFault;
  if (fault && countedFault_ != fw::UpdateReason::kNoResult && status.fault == countedFault_) {
    if (repeats_++ == 0) repeated_ = status.text;
    return;
  }
  FlushRepeated();
  // The closing report comes at 100: the bar is shown full before it.
  if (status.percentage == 100) out_ << Bar(100) << "\n";
  (fault ? err_ : out_) << status.text << "\n";
}

void ProgressView::Waiting(std::uint64_t ms) {
  const auto seconds = static_cast<long>(ms / 1000);
  if (seconds == waitShown_) return;
  waitShown_ = seconds;
  EndBar();
  out_ << "Waiting for the unit to answer ... (" << seconds << " s)\n" << std::flush;
}

void ProgressView::Draw(const fw::UpdateStatus& status) {
  const unsigned percentage = status.percentage;
  const std::string& text = status.text;
  if (terminal_) {
    out_ << "\r" << Bar(percentage) << " " << text << "\x1b[K" << std::flush;
    barShown_ = true;
    return;
  }
  const unsigned tenth = std::min(percentage, 100u) / 10;
  if (linePerTenth_ && drawn_ && tenth == lastTenth_ && status.kind == fw::StatusKind::kProgress) {
    return;
  }
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
