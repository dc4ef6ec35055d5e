// The simulator's state file through the real file: what is written reads
// back whole, and a file that cannot be read whole is refused by its line.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <utility>

#include "../support/TempDir.h"
#include "platform/AtomicFile.h"
#include "sim/StateFile.h"
#include "sim/cards/DisplaySettings.h"

namespace sim {
namespace {

using testing_support::TempDir;

// The shape the default scenario gives a unit: every module, no values yet.
UnitState Shape() {
  UnitState s;
  s.scenario = DefaultScenario();
  for (const ModuleRecord& module : s.scenario.modules) {
    ModuleState m;
    m.setup = module;
    // The unknown card at 12 has no settings image.
    m.stored.assign(module.address == 0 ? 300 : module.address == 12 ? 0 : 64, 0);
    m.working = m.stored;
    s.modules[module.address] = m;
  }
  s.display = cards::DefaultDisplayLevels();
  return s;
}

TEST(StateFileTest, OddValuesReadBackAsTheyWereWritten) {
  UnitState state = Shape();
  state.rtcOffset = -kMaxClockOffsetSeconds;
  state.modules.at(0).setup.version = {65535, 0, 0, 255, 255};
  state.scenario.bootVersion = {0, 65535, 255, 0, 0};
  for (std::size_t i = 0; i < state.display.levels.size(); ++i) {
    auto& level = state.display.levels[i];
    level.value = i % 2 == 0 ? level.max : level.min;
  }
  // Every byte value, line ends, spaces and NULs among them.
  for (auto& [address, m] : state.modules) {
    for (std::size_t i = 0; i < m.stored.size(); ++i) {
      m.stored[i] = static_cast<std::uint8_t>(i * 7 + address);
    }
    m.working = m.stored;
    m.processors[1].fill('\n');
    m.table[m.table.size() - 1].fill(' ');
    m.table[0].fill(0xFF);
  }
  TempDir dir;
  const auto file = dir.path() / "state";
  std::string error;
  ASSERT_TRUE(platform::WriteFileAtomically(file, EncodeState(state), error)) << error;

  UnitState back = Shape();
  ASSERT_TRUE(LoadState(file, back, error)) << error;
  EXPECT_EQ(back.rtcOffset, state.rtcOffset);
  EXPECT_EQ(back.modules.at(0).setup.version.major, 65535);
  EXPECT_EQ(back.modules.at(0).setup.version.month, 255);
  EXPECT_EQ(back.scenario.bootVersion.minor, 65535);
  EXPECT_EQ(back.scenario.bootVersion.day, 255);
  EXPECT_EQ(back.display.levels, state.display.levels);
  for (const auto& [address, m] : state.modules) {
    SCOPED_TRACE(int(address));
    EXPECT_EQ(back.modules.at(address).stored, m.stored);
    EXPECT_EQ(back.modules.at(address).working, m.stored);
    EXPECT_EQ(back.modules.at(address).processors, m.processors);
    EXPECT_EQ(back.modules.at(address).table, m.table);
  }
  // And the written form is what it reads: written again, the same bytes.
  EXPECT_EQ(EncodeState(back), EncodeState(state));
}

TEST(StateFileTest, AMissingFileIsAFirstStart) {
  TempDir dir;
  UnitState state = Shape();
  state.rtcOffset = 42;
  std::string error;
  EXPECT_TRUE(LoadState(dir.path() / "none", state, error)) << error;
  EXPECT_EQ(state.rtcOffset, 42);
}

TEST(StateFileTest, AFileThatCannotBeReadWholeIsRefusedByItsLineAndTakenNotAtAll) {
  struct Row {
    const char* name;
    const char* text;
    const char* message;  // after "FILE line "
  };
  const Row rows[] = {
      {"empty", "", "1: not a simulator state file"},
      {"another format", "mrx520-state 3\n", "1: not a simulator state file"},
      {"cut at a line end", "mrx520-state 2\nrtc-offset 5\n",
       "2: the file ends before its closing line"},
      {"record after the end", "mrx520-state 2\nrtc-offset 5\nend\nrtc-offset 6\n",
       "4: a record after the closing line"},
      {"unknown record", "mrx520-state 1\ncolour red\n", "2: unknown record 'colour'"},
      {"unprintable record", "mrx520-state 1\n\x01\xff x\n", "2: unknown record '\\x01\\xFF'"},
      {"terminal codes in a number", "mrx520-state 1\nrtc-offset \x1b[2J\n",
       "2: '\\x1B[2J' is not a number"},
      {"clock too far", "mrx520-state 1\nrtc-offset 20000000001\n",
       "2: '20000000001' is not a number from -20000000000 to 20000000000"},
      {"clock in hex", "mrx520-state 1\nrtc-offset 0x10\n", "2: '0x10' is not a number"},
      {"clock with sign", "mrx520-state 1\nrtc-offset +5\n", "2: '+5' is not a number"},
      {"extra word", "mrx520-state 1\nrtc-offset 5 6\n", "2: more words than the record has"},
      {"missing word", "mrx520-state 1\nrtc-offset\n", "2: fewer words than the record has"},
      {"version year", "mrx520-state 1\nhost-version 1 2 3 4 256\n",
       "2: '256' is not a number from 0 to 255"},
      {"version number", "mrx520-state 1\nboot-version 65536 0 1 1 24\n",
       "2: '65536' is not a number from 0 to 65535"},
      {"display index", "mrx520-state 1\ndisplay 8 1\n", "2: '8' is not a number from 0 to 7"},
      {"display value", "mrx520-state 1\ndisplay 0 255\n", "2: '255' is not a number from"},
      {"bad hex digit", "mrx520-state 1\nstored 0 0g\n",
       "2: bytes are not pairs of hexadecimal digits"},
      {"odd hex digits", "mrx520-state 1\nstored 0 abc\n",
       "2: bytes are not pairs of hexadecimal digits"},
      {"module address", "mrx520-state 1\nstored 256 00\n",
       "2: '256' is not a number from 0 to 255"},
      {"processor index", "mrx520-state 1\nprocessor 1 2 00\n",
       "2: '2' is not a number from 0 to 1"},
      {"table index", "mrx520-state 1\ntable 1 99999 00\n", "2: '99999' is not a number from 0 to"},
      {"cut short", "mrx520-state 1\nrtc-offset 5\nrtc-offset 6", "3: the last line is cut short"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    const auto file = dir.path() / "state";
    std::ofstream(file, std::ios::binary) << row.text;
    UnitState state = Shape();
    state.rtcOffset = 42;
    std::string error;
    EXPECT_FALSE(LoadState(file, state, error));
    EXPECT_EQ(error.rfind(file.string() + " line " + row.message, 0), 0u) << error;
    EXPECT_EQ(state.rtcOffset, 42) << "not even the good lines before the bad one are taken";
  }
}

// Only a regular file of a sane size is read: a FIFO would hang the start and
// a huge file cost its size in memory.
TEST(StateFileTest, WhatIsNotAStateFileIsRefusedBeforeItIsRead) {
  TempDir dir;
  const auto fifo = dir.path() / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const auto huge = dir.path() / "huge";
  std::ofstream(huge) << "mrx520-state 2\n";
  std::filesystem::resize_file(huge, std::uintmax_t{65} << 20);  // sparse: nothing is written
  const std::pair<std::filesystem::path, const char*> rows[] = {
      {fifo, ": not a regular file"},
      {huge, ": too large"},
      {dir.path(), ": not a regular file"},
  };
  for (const auto& [file, message] : rows) {
    SCOPED_TRACE(file.string());
    UnitState state = Shape();
    state.rtcOffset = 42;
    std::string error;
    EXPECT_FALSE(LoadState(file, state, error));
    EXPECT_EQ(error.rfind(file.string() + message, 0), 0u) << error;
    EXPECT_EQ(state.rtcOffset, 42);
  }
}

TEST(StateFileTest, RecordsOfAnotherScenarioAreSkipped) {
  TempDir dir;
  const auto file = dir.path() / "state";
  std::ofstream(file) << "mrx520-state 1\nstored 99 00\nstored 1 0000\nrtc-offset 7\n";
  UnitState state = Shape();
  std::string error;
  EXPECT_TRUE(LoadState(file, state, error)) << error;
  EXPECT_EQ(state.rtcOffset, 7);
  EXPECT_EQ(state.modules.at(1).stored.size(), 64u);
}

}  // namespace
}  // namespace sim
