// What a user sees of an update's reports, on a terminal and in a log.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tools/mrxctl/ProgressView.h"

namespace tools::mrxctl {
namespace {

constexpr const char* kBlockError = "ERROR: Can't write to device";

struct Case {
  const char* name;
  bool terminal;
  bool linePerTenth;
  std::vector<std::pair<unsigned, std::string>> reports;  // Status() calls
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
       {{0, "Erasing flash memory ..."},
        {0, "0%: Download"},
        {50, "50%: Download"},
        {100, "Download finished!"}},
       "Erasing flash memory ...\n" + Bar(0) + " 0%: Download\n" + Bar(50) + " 50%: Download\n" +
           Bar(100) + "\nDownload finished!\n",
       ""},
      {"terminal: the bar redrawn in place, ended before the next line",
       true,
       false,
       {{0, "0%: Download"}, {50, "50%: Download"}, {0, "ERROR: Update cancelled!"}},
       "\r" + Bar(0) + " 0%: Download\x1b[K\r" + Bar(50) + " 50%: Download\x1b[K\n",
       "ERROR: Update cancelled!\n"},
      {"a block error many times over is one line with its count",
       false,
       false,
       {{50, kBlockError}, {50, kBlockError}, {50, kBlockError}, {0, "FATAL: gone"}},
       "",
       "ERROR: Can't write to device (3 blocks)\nFATAL: gone\n"},
      {"a single block error is shown without a count, at the end",
       false,
       false,
       {{50, kBlockError}},
       "",
       "ERROR: Can't write to device\n"},
      {"log with a line per tenth: 55% after 50% is left out",
       false,
       true,
       {{0, "0%: Download"}, {50, "50%: Download"}, {55, "55%: Download"}, {0, "Timeout!"}},
       Bar(0) + " 0%: Download\n" + Bar(50) + " 50%: Download\nTimeout!\n",
       ""},
  };
  for (const Case& c : cases) {
    std::ostringstream out, err;
    ProgressView view(out, err, c.terminal);
    view.CountRepeated(kBlockError);
    if (c.linePerTenth) view.LinePerTenth();
    for (const auto& [percentage, text] : c.reports) view.Status(percentage, text);
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
  log.Draw(0, "Erasing firmware ...");
  log.Draw(3, "3%: Download");
  log.Draw(7, "7%: Download");
  log.Draw(12, "12%: Download");
  log.Draw(12, "Timeout!");
  log.Finish();
  EXPECT_EQ(out.str(), Bar(0) + " Erasing firmware ...\n" + Bar(12) + " 12%: Download\n" + Bar(12) +
                           " Timeout!\n");

  std::ostringstream screen;
  ProgressView terminal(screen, err, true);
  terminal.Draw(100, "Done");
  terminal.Finish();
  terminal.Finish();  // a second end adds no empty line
  EXPECT_EQ(screen.str(), "\r" + Bar(100) + " Done\x1b[K\n");
  EXPECT_EQ(err.str(), "");
}

}  // namespace
}  // namespace tools::mrxctl
