// What a user sees of an update's reports, on a terminal and in a log.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tools/mrxctl/ProgressView.h"

namespace tools::mrxctl {
namespace {

namespace fw = desktop::firmware;
using K = fw::StatusKind;
using R = fw::UpdateReason;

constexpr const char* kBlockError = "ERROR: Can't write to device";

fw::UpdateStatus Step(unsigned percentage, std::string text) {
  return {percentage, std::move(text), K::kStep, R::kNoResult};
}
fw::UpdateStatus Progress(unsigned percentage, std::string text) {
  return {percentage, std::move(text), K::kProgress, R::kNoResult};
}
fw::UpdateStatus Fault(unsigned percentage, std::string text, R reason) {
  return {percentage, std::move(text), K::kFault, reason};
}

struct Case {
  const char* name;
  bool terminal;
  bool linePerTenth;
  std::vector<fw::UpdateStatus> reports;  // Status() calls
  std::string out;
  std::string err;
};

std::string Bar(unsigned percentage) {
  return ProgressView::Bar(percentage);
}

TEST(ProgressViewTest, BarIsThirtyMarksWide) {
  EXPECT_EQ(Bar(0), "[..............................]   0%");
  EXPECT_EQ(Bar(50), "[###############...............]  50%");
  EXPECT_EQ(Bar(100), "[##############################] 100%");
  // A worker's overshoot never draws past the end.
  EXPECT_EQ(Bar(130), "[##############################] 130%");
}

TEST(ProgressViewTest, ReportsAsShown) {
  const std::vector<Case> cases = {
      {"log: one line per progress report, the closing text under a full bar",
       false,
       false,
       {Step(0, "Erasing flash memory ..."), Progress(0, "0%: Download"),
        Progress(50, "50%: Download"), Step(100, "Download finished!")},
       "Erasing flash memory ...\n" + Bar(0) + " 0%: Download\n" + Bar(50) + " 50%: Download\n" +
           Bar(100) + "\nDownload finished!\n",
       ""},
      {"terminal: the bar redrawn in place, ended before the next line",
       true,
       false,
       {Progress(0, "0%: Download"), Progress(50, "50%: Download"),
        Fault(0, "ERROR: Update cancelled!", R::kCancelled)},
       "\r" + Bar(0) + " 0%: Download\x1b[K\r" + Bar(50) + " 50%: Download\x1b[K\n",
       "ERROR: Update cancelled!\n"},
      {"a block error many times over is one line with its count",
       false,
       false,
       {Fault(50, kBlockError, R::kBlockRefused), Fault(50, kBlockError, R::kBlockRefused),
        Fault(50, kBlockError, R::kBlockRefused), Fault(0, "FATAL: gone", R::kNotFound)},
       "",
       "ERROR: Can't write to device (3 blocks)\nFATAL: gone\n"},
      {"a single block error is shown without a count, at the end",
       false,
       false,
       {Fault(50, kBlockError, R::kBlockRefused)},
       "",
       "ERROR: Can't write to device\n"},
      {"log with a line per tenth: 55% after 50% is left out",
       false,
       true,
       {Progress(0, "0%: Download"), Progress(50, "50%: Download"), Progress(55, "55%: Download"),
        Step(0, "Erasing firmware ...")},
       Bar(0) + " 0%: Download\n" + Bar(50) + " 50%: Download\nErasing firmware ...\n",
       ""},
      {"a text that looks like progress is a plain line unless the worker says so",
       false,
       false,
       {Step(0, "42%: not a progress report"), Fault(0, "Timeout!", R::kCardSilent)},
       "42%: not a progress report\n",
       "Timeout!\n"},
      {"only the counted fault is counted; another fault stands on its own",
       false,
       false,
       {Fault(0, kBlockError, R::kBlockRefused),
        Fault(0, "ERROR: Please restart unit!", R::kUnitGone),
        Fault(0, "ERROR: Please restart unit!", R::kUnitGone)},
       "",
       "ERROR: Can't write to device\nERROR: Please restart unit!\nERROR: Please restart unit!\n"},
  };
  for (const Case& c : cases) {
    std::ostringstream out, err;
    ProgressView view(out, err, c.terminal);
    view.CountRepeated(R::kBlockRefused);
    if (c.linePerTenth) view.LinePerTenth();
    for (const auto& report : c.reports) view.Status(report);
    view.Finish();
    EXPECT_EQ(out.str(), c.out) << c.name;
    EXPECT_EQ(err.str(), c.err) << c.name;
  }
}

// A worker whose every report is drawn on the bar (the card download's) still
// gets whole lines off a terminal, and a bar ended on a terminal.
TEST(ProgressViewTest, DrawKeepsEveryTextOnTheBar) {
  std::ostringstream out, err;
  ProgressView log(out, err, false);
  log.LinePerTenth();
  log.Draw(Step(0, "Erasing firmware ..."));
  log.Draw(Progress(3, "3%: Download"));
  log.Draw(Progress(7, "7%: Download"));
  log.Draw(Progress(12, "12%: Download"));
  log.Draw(Fault(12, "Timeout!", R::kCardSilent));
  log.Finish();
  EXPECT_EQ(out.str(), Bar(0) + " Erasing firmware ...\n" + Bar(12) + " 12%: Download\n" + Bar(12) +
                           " Timeout!\n");

  std::ostringstream screen;
  ProgressView terminal(screen, err, true);
  terminal.Draw(Step(100, "Done"));
  terminal.Finish();
  terminal.Finish();  // a second end adds no empty line
  EXPECT_EQ(screen.str(), "\r" + Bar(100) + " Done\x1b[K\n");
  EXPECT_EQ(err.str(), "");
}

}  // namespace
}  // namespace tools::mrxctl
