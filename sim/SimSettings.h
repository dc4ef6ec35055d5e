#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sim {

struct Scenario;

// What the program does besides being the unit of its scenario.
struct ProgramOptions {
  std::string scenarioFile;                        // empty: the demo unit
  std::optional<std::filesystem::path> stateFile;  // unset: the default; empty: none
  bool freshState = false;
  std::optional<std::filesystem::path> runtimeDir;  // unset: $MRX_RUNTIME_DIR
  bool help = false;
  bool version = false;
};

// The headings of --help, in the order the table gives them.
enum class SettingGroup { kProgram, kUsb, kKlf, kStream, kInfo };

// One setting of mrx520-sim: its option, its key in a scenario's faults line,
// its range and what it means. The command line, the scenario parser and
// --help all read the one table of them (SimSettings()).
struct SimSetting {
  std::string_view option;  // "--fail-every"
  std::string_view value;   // what follows the option: "N", "MS", "FILE", "DIR"; empty: a switch
  std::string_view key;     // the same in a scenario's faults line; empty: the command line only
  unsigned long max = 0;    // a number runs from 0 to max; a switch's key takes 0 or 1
  SettingGroup group = SettingGroup::kProgram;
  std::string_view help;  // '\n' starts a new line; long lines are wrapped
  // Exactly one of these: a setting of the unit, or of the program.
  void (*unit)(Scenario&, unsigned long) = nullptr;
  void (*program)(ProgramOptions&, std::string_view) = nullptr;
};

std::span<const SimSetting> SimSettings();
const SimSetting* FindOption(std::string_view option);
const SimSetting* FindScenarioKey(std::string_view key);

// A decimal number from 0 to `max`, nothing else around it.
bool ParseSettingNumber(std::string_view text, unsigned long max, unsigned long& out);

// Exit codes of mrx520-sim.
inline constexpr int kExitBadOption = 64;
inline constexpr int kExitBadFile = 65;
inline constexpr int kExitCannotServe = 71;
inline constexpr int kExitCannotSave = 73;

struct CommandLine {
  ProgramOptions program;
  // The unit's settings in the order given; they win over the scenario's.
  std::vector<std::pair<const SimSetting*, unsigned long>> unit;

  void ApplyTo(Scenario& scenario) const;
};

// Reads the arguments after the program's name, up to --help or --version.
// False for a command line to refuse, with `error` ("option '--delay' needs a
// value") and `withUsage` when the usage should follow it.
bool ParseCommandLine(std::span<const char* const> args, CommandLine& out, std::string& error,
                      bool& withUsage);

// The text of --help, from the table.
std::string HelpText();

}  // namespace sim
