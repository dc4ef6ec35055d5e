// The simulator's settings table: every row reads the same from the command
// line and from its scenario key, keeps its range both ways, and is in --help.
#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "sim/Scenario.h"
#include "sim/SimSettings.h"

namespace sim {
namespace {

using Faulted = std::tuple<Faults, StreamFaults, KlfFaults, PowerCuts>;

Faulted FaultsOf(const Scenario& s) {
  return {s.faults, s.streamFaults, s.klfFaults, s.powerCuts};
}

bool Parse(std::vector<const char*> args, CommandLine& line, std::string& error) {
  bool withUsage = false;
  return ParseCommandLine(args, line, error, withUsage);
}

// The unit's faults after the command line `args`, over the demo unit.
std::optional<Faulted> FromCommandLine(std::vector<const char*> args, std::string& error) {
  CommandLine line;
  if (!Parse(std::move(args), line, error)) return std::nullopt;
  Scenario s = DefaultScenario();
  line.ApplyTo(s);
  return FaultsOf(s);
}

std::optional<Faulted> FromScenario(const std::string& words, std::string& error) {
  const auto s = ParseScenario("unit\nfaults " + words + "\n", error);
  if (!s) return std::nullopt;
  return FaultsOf(*s);
}

TEST(SimSettingsTest, EveryRowReadsTheSameBothWaysWithinItsRange) {
  const Faulted untouched = FaultsOf(DefaultScenario());
  std::vector<std::pair<std::string_view, Faulted>> seen;
  for (const SimSetting& row : SimSettings()) {
    if (row.unit == nullptr) continue;
    SCOPED_TRACE(std::string(row.option));
    ASSERT_EQ(row.program, nullptr);
    const bool isSwitch = row.value.empty();
    const std::string max = std::to_string(row.max);
    const std::string beyond = std::to_string(row.max + 1);
    std::string error;

    std::vector<const char*> args = {row.option.data()};
    if (!isSwitch) args.push_back(max.c_str());
    const auto given = FromCommandLine(args, error);
    ASSERT_TRUE(given) << error;
    EXPECT_NE(*given, untouched) << "the row sets nothing";
    for (const auto& [other, faults] : seen) EXPECT_NE(*given, faults) << "the same as " << other;
    seen.emplace_back(row.option, *given);

    if (!isSwitch) {
      EXPECT_FALSE(FromCommandLine({row.option.data(), beyond.c_str()}, error));
      EXPECT_EQ(error, "option '" + std::string(row.option) + "' takes a number from 0 to " + max +
                           ", not '" + beyond + "'");
      EXPECT_FALSE(FromCommandLine({row.option.data()}, error));
      EXPECT_EQ(error, "option '" + std::string(row.option) + "' needs a value");
    }
    if (row.key.empty()) {
      EXPECT_FALSE(FromScenario(std::string(row.option.substr(2)) + "=1", error));
      continue;
    }
    const std::string key(row.key);
    const auto keyed = FromScenario(key + "=" + max, error);
    ASSERT_TRUE(keyed) << error;
    EXPECT_EQ(*keyed, *given);
    EXPECT_FALSE(FromScenario(key + "=" + beyond, error));
    EXPECT_EQ(error, "line 2: bad value '" + beyond + "' for '" + key + "'");
    // 0 turns every fault off; only the restart time is not 0 by default.
    Faulted off = untouched;
    if (key == "restart-ms") std::get<Faults>(off).restartMs = 0;
    EXPECT_EQ(FromScenario(key + "=0", error), off) << error;
  }
  EXPECT_GE(seen.size(), 20u);
}

TEST(SimSettingsTest, EveryOptionAndKeyIsOnceInTheTableAndInTheHelp) {
  const std::string help = HelpText();
  std::set<std::string_view> options, keys;
  for (const SimSetting& row : SimSettings()) {
    SCOPED_TRACE(std::string(row.option));
    EXPECT_TRUE(options.insert(row.option).second) << "option given twice";
    EXPECT_TRUE(row.key.empty() || keys.insert(row.key).second) << "key given twice";
    EXPECT_TRUE((row.unit == nullptr) != (row.program == nullptr));
    const std::string shown = "  " + std::string(row.option) +
                              (row.value.empty() ? "" : " " + std::string(row.value)) + "  ";
    EXPECT_NE(help.find(shown), std::string::npos);
    if (!row.key.empty()) {
      const std::string keyed =
          std::string(row.key) + "=" + (row.value.empty() ? "1" : std::string(row.value));
      EXPECT_TRUE(help.find(" " + keyed) != std::string::npos ||
                  help.find("\n" + keyed) != std::string::npos);
    }
  }
  for (std::size_t at = 0, end = 0; at < help.size(); at = end + 1) {
    end = help.find('\n', at);
    EXPECT_LE(end - at, 79u) << help.substr(at, end - at);
  }
}

TEST(SimSettingsTest, ProgramOptionsAndTheCommandLinesRefused) {
  CommandLine line;
  std::string error;
  ASSERT_TRUE(Parse({"--scenario", "s", "--state", "f", "--no-state", "--fresh-state",
                     "--runtime-dir", "d", "--delay", "5", "--delay", "7"},
                    line, error))
      << error;
  EXPECT_EQ(line.program.scenarioFile, "s");
  EXPECT_EQ(line.program.stateFile, std::filesystem::path()) << "the last of --state, --no-state";
  EXPECT_TRUE(line.program.freshState);
  EXPECT_EQ(line.program.runtimeDir, std::filesystem::path("d"));
  Scenario s = DefaultScenario();
  line.ApplyTo(s);
  EXPECT_EQ(s.faults.delayMs, 7u) << "the last one given wins";

  // --help ends the command line: what follows is not read.
  CommandLine help;
  ASSERT_TRUE(Parse({"--help", "--bogus"}, help, error));
  EXPECT_TRUE(help.program.help);
  const std::pair<std::vector<const char*>, const char*> refused[] = {
      {{"--bogus", "--help"}, "unknown option '--bogus'"},
      {{"--eeprom-error", "1"}, "unknown option '1'"},
      {{"--scenario"}, "option '--scenario' needs a value"},
      {{"--delay", "-1"}, "option '--delay' takes a number from 0 to 60000, not '-1'"},
      {{"--delay", ""}, "option '--delay' takes a number from 0 to 60000, not ''"},
      {{"--delay", " 5"}, "option '--delay' takes a number from 0 to 60000, not ' 5'"},
  };
  for (const auto& [args, message] : refused) {
    SCOPED_TRACE(message);
    CommandLine ignored;
    EXPECT_FALSE(Parse(args, ignored, error));
    EXPECT_EQ(error, message);
  }
}

}  // namespace
}  // namespace sim
