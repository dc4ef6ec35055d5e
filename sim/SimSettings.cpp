#include "sim/SimSettings.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <type_traits>

#include "platform/PrintableText.h"
#include "sim/Scenario.h"

namespace sim {

namespace {

using G = SettingGroup;

constexpr unsigned long kMaxDisplayRows = 128;   // the display picture's rows
constexpr unsigned long kMaxCount = 0xFFFFFFFF;  // blocks and frames are counted in 32 bits
constexpr std::size_t kLineWidth = 79;

// Stores a number in one field of the scenario's faults.
template <auto kPart, auto kField>
void Set(Scenario& s, unsigned long n) {
  auto& field = (s.*kPart).*kField;
  using T = std::remove_reference_t<decltype(field)>;
  if constexpr (std::is_same_v<T, bool>) {
    field = n != 0;
  } else if constexpr (requires { typename T::value_type; }) {
    field = static_cast<typename T::value_type>(n);
  } else {
    field = static_cast<T>(n);
  }
}

constexpr SimSetting Unit(std::string_view option, std::string_view value, std::string_view key,
                          unsigned long max, G group, std::string_view help,
                          void (*set)(Scenario&, unsigned long)) {
  return {option, value, key, max, group, help, set, nullptr};
}

constexpr SimSetting Program(std::string_view option, std::string_view value, G group,
                             std::string_view help,
                             void (*take)(ProgramOptions&, std::string_view)) {
  return {option, value, {}, 0, group, help, nullptr, take};
}

using S = Scenario;
using F = Faults;
using K = KlfFaults;
using R = StreamFaults;
using P = PowerCuts;

constexpr SimSetting kSettings[] = {
    Program("--scenario", "FILE", G::kProgram, "modules of the unit (default: the demo unit)",
            [](ProgramOptions& p, std::string_view v) { p.scenarioFile = v; }),
    Program("--state", "FILE", G::kProgram,
            "where stored settings persist\n(default: $XDG_STATE_HOME/mrx520-sim/state)",
            [](ProgramOptions& p, std::string_view v) { p.stateFile = v; }),
    Program("--no-state", "", G::kProgram, "keep nothing across restarts",
            [](ProgramOptions& p, std::string_view) { p.stateFile = std::filesystem::path(); }),
    Program("--fresh-state", "", G::kProgram,
            "start afresh when the state file cannot be read,\nkeeping it beside as "
            "FILE.bad-<time>",
            [](ProgramOptions& p, std::string_view) { p.freshState = true; }),
    Program("--runtime-dir", "DIR", G::kProgram, "serve here instead of $MRX_RUNTIME_DIR",
            [](ProgramOptions& p, std::string_view v) { p.runtimeDir = v; }),

    Unit("--fail-every", "N", "fail-every", kMaxEvery, G::kUsb, "fail every N-th exchange",
         Set<&S::faults, &F::failEvery>),
    Unit("--refuse-opens", "MS", "refuse-opens-ms", kMaxRefuseMs, G::kUsb,
         "refuse opens for MS milliseconds after start", Set<&S::faults, &F::refuseOpensMs>),
    Unit("--delay", "MS", "delay-ms", kMaxDelayMs, G::kUsb,
         "delay every exchange by MS milliseconds", Set<&S::faults, &F::delayMs>),
    Unit("--restart-ms", "MS", "restart-ms", kMaxRestartMs, G::kUsb,
         "how long the unit is gone after an erase (default 3000)", Set<&S::faults, &F::restartMs>),
    Unit("--eeprom-error", "", "eeprom-error", 1, G::kUsb,
         "report a settings memory error in every status", Set<&S::faults, &F::eepromError>),
    Unit("--power-cut-at", "N", "", kMaxCount, G::kUsb,
         "end abruptly, as at a power cut, once block N of a download is written (0: once an "
         "erase is taken)",
         Set<&S::powerCuts, &P::downloadBlock>),
    Unit("--display-rows", "N", "display-rows", kMaxDisplayRows, G::kUsb,
         "answer only the first N rows of the display picture", Set<&S::faults, &F::displayRows>),
    Unit("--drop-every", "N", "drop-every", kMaxEvery, G::kUsb,
         "take every N-th exchange but never send its answer", Set<&S::faults, &F::dropEvery>),
    Unit("--silent-module", "N", "silent-module", kMaxCardAddress, G::kUsb,
         "card N (1-15) takes every exchange but never answers, as a card that has stopped; 0: "
         "none",
         Set<&S::faults, &F::silentModule>),
    Unit("--card-power-cut-at", "N", "", kMaxCount, G::kUsb,
         "end abruptly once block N of a QVO520 processor's download is taken (counted from 1 "
         "after each begin)",
         Set<&S::powerCuts, &P::cardBlock>),
    Unit("--settings-power-cut-at", "N", "", kMaxCount, G::kUsb,
         "end abruptly once the N-th settings write frame (a chunk or a store frame, counted "
         "from 1 since start) is taken",
         Set<&S::powerCuts, &P::settingsWrite>),

    Unit("--klf-fail-every", "N", "klf-fail-every", kMaxEvery, G::kKlf,
         "end the connection at every N-th request, unanswered", Set<&S::klfFaults, &K::failEvery>),
    Unit("--klf-lost-every", "N", "klf-lost-every", kMaxEvery, G::kKlf,
         "lose every N-th request: neither taken nor answered", Set<&S::klfFaults, &K::lostEvery>),
    Unit("--klf-refuse-ms", "MS", "klf-refuse-ms", kMaxRefuseMs, G::kKlf,
         "listen on no port for MS milliseconds after start", Set<&S::klfFaults, &K::refuseMs>),
    Unit("--klf-delay-ms", "MS", "klf-delay-ms", kMaxDelayMs, G::kKlf,
         "wait MS milliseconds before taking each request", Set<&S::klfFaults, &K::delayMs>),
    Unit("--klf-silent-from", "N", "klf-silent-from", kMaxCount, G::kKlf,
         "take the N-th request on a card's update port (1 the start of its boot software, 2 "
         "the erase, then the blocks, the end and the start) but never answer it; from then on "
         "take connections and answer nothing",
         Set<&S::klfFaults, &K::silentFrom>),
    Unit("--klf-power-cut-at", "N", "", kMaxCount, G::kKlf,
         "end abruptly once the N-th block of a transfer (software block or curve message) is "
         "taken",
         Set<&S::powerCuts, &P::klfBlock>),

    Unit("--stream-lost-every", "N", "stream-lost-every", kMaxEvery, G::kStream,
         "do not send every N-th frame of the unit", Set<&S::streamFaults, &R::lostEvery>),
    Unit("--stream-crc-every", "N", "stream-crc-every", kMaxEvery, G::kStream,
         "send every N-th frame of the unit with a wrong CRC", Set<&S::streamFaults, &R::crcEvery>),
    Unit("--stream-refuse-every", "N", "stream-refuse-every", kMaxEvery, G::kStream,
         "refuse every N-th connection attempt", Set<&S::streamFaults, &R::refuseEvery>),
    Unit("--stream-refuse-ms", "MS", "stream-refuse-ms", kMaxRefuseMs, G::kStream,
         "refuse connections for MS milliseconds after start", Set<&S::streamFaults, &R::refuseMs>),
    Unit("--stream-drop-every", "N", "stream-drop-every", kMaxEvery, G::kStream,
         "drop every N-th connection right after connecting", Set<&S::streamFaults, &R::dropEvery>),
    Unit("--stream-delay-ms", "MS", "stream-delay-ms", kMaxDelayMs, G::kStream,
         "wait MS milliseconds before each answer", Set<&S::streamFaults, &R::delayMs>),
    Unit("--stream-power-cut-at", "N", "", kMaxCount, G::kStream,
         "end abruptly once the N-th stored block write is taken",
         Set<&S::powerCuts, &P::remoteBlock>),

    Program("--help", "", G::kInfo, "this text, and exit",
            [](ProgramOptions& p, std::string_view) { p.help = true; }),
    Program("--version", "", G::kInfo, "the program's version, and exit",
            [](ProgramOptions& p, std::string_view) { p.version = true; }),
};

struct GroupText {
  G group;
  std::string_view heading;  // empty: none
};
constexpr GroupText kGroups[] = {
    {G::kProgram, ""},
    {G::kUsb, "Faults of the USB device:"},
    {G::kKlf, "Faults of the KLF310 cards' TCP ports (requests counted from 1 since start):"},
    {G::kStream, "Faults of the remote's Bluetooth stream (counted from 1 since start):"},
    {G::kInfo, ""},
};

constexpr std::string_view kIntro =
    "Usage: mrx520-sim [OPTIONS]\n"
    "Simulates an MRX520 unit: serves its USB device in $MRX_RUNTIME_DIR and\n"
    "registers its Bluetooth module (\"Valdur MRX520-<serial>\") with the simulated\n"
    "Bluetooth stack in $MRX_RUNTIME_DIR/bluetooth, and serves each KLF310 card's\n"
    "TCP ports 4000 and 4010 on the IPv4 address of its settings, until interrupted.\n"
    "A card whose scenario record sets no address (ip=127.A.B.C) gets a free\n"
    "loopback address picked at start; $MRX_RUNTIME_DIR/klf310-addresses lists\n"
    "every card's address, one \"MODULE A.B.C.D\" line each.\n";

constexpr std::string_view kExitCodes =
    "Exit codes: 0 after a clean stop (SIGTERM, SIGINT, SIGHUP), 64 bad option,\n"
    "65 bad scenario or state file (named with its line), 71 cannot serve (the\n"
    "runtime folder is not this user's own, or a unit is already served there),\n"
    "73 the state file cannot be saved.\n";

std::string OptionText(const SimSetting& s) {
  return std::string(s.option) + (s.value.empty() ? "" : " ") + std::string(s.value);
}

// Appends `text` from `column` on (after a space when `afterWord`), wrapped
// at kLineWidth; new lines start at `indent`. A '\n' in `text` breaks the
// line there.
void AppendWrapped(std::string& out, std::string_view text, std::size_t column, std::size_t indent,
                   bool afterWord = false) {
  bool lineEmpty = !afterWord;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find_first_of(" \n"), text.size());
    const std::string_view word = text.substr(0, end);
    if (!lineEmpty && column + 1 + word.size() > kLineWidth) {
      out += "\n" + std::string(indent, ' ');
      column = indent;
      lineEmpty = true;
    }
    if (!lineEmpty) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    lineEmpty = false;
    if (end < text.size() && text[end] == '\n') {
      out += "\n" + std::string(indent, ' ');
      column = indent;
      lineEmpty = true;
    }
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  out += '\n';
}

}  // namespace

std::span<const SimSetting> SimSettings() {
  return kSettings;
}

const SimSetting* FindOption(std::string_view option) {
  for (const SimSetting& s : kSettings) {
    if (s.option == option) return &s;
  }
  return nullptr;
}

const SimSetting* FindScenarioKey(std::string_view key) {
  for (const SimSetting& s : kSettings) {
    if (!s.key.empty() && s.key == key) return &s;
  }
  return nullptr;
}

bool ParseSettingNumber(std::string_view text, unsigned long max, unsigned long& out) {
  unsigned long n = 0;
  const auto [last, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (text.empty() || ec != std::errc() || last != text.data() + text.size() || n > max) {
    return false;
  }
  out = n;
  return true;
}

void CommandLine::ApplyTo(Scenario& scenario) const {
  for (const auto& [setting, n] : unit) setting->unit(scenario, n);
}

bool ParseCommandLine(std::span<const char* const> args, CommandLine& out, std::string& error,
                      bool& withUsage) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    const SimSetting* s = FindOption(arg);
    withUsage = true;
    if (s == nullptr) {
      error = "unknown option '" + platform::Printable(arg) + "'";
      return false;
    }
    std::string_view value;
    if (!s->value.empty()) {
      if (i + 1 == args.size()) {
        error = "option '" + std::string(arg) + "' needs a value";
        return false;
      }
      value = args[++i];
    }
    if (s->program != nullptr) {
      s->program(out.program, value);
      if (out.program.help || out.program.version) return true;
      continue;
    }
    unsigned long n = 1;  // a switch is on
    if (!s->value.empty() && !ParseSettingNumber(value, s->max, n)) {
      error = "option '" + std::string(arg) + "' takes a number from 0 to " +
              std::to_string(s->max) + ", not '" + platform::Printable(value) + "'";
      withUsage = false;
      return false;
    }
    out.unit.emplace_back(s, n);
  }
  return true;
}

std::string HelpText() {
  std::string out(kIntro);
  for (const GroupText& group : kGroups) {
    std::size_t width = 0;
    for (const SimSetting& s : kSettings) {
      if (s.group == group.group) width = std::max(width, OptionText(s).size());
    }
    const std::size_t column = 2 + width + 2;
    out += '\n';
    if (!group.heading.empty()) out += std::string(group.heading) + "\n";
    std::string keys;
    for (const SimSetting& s : kSettings) {
      if (s.group != group.group) continue;
      std::string line = "  " + OptionText(s);
      line.resize(column, ' ');
      out += line;
      AppendWrapped(out, s.help, column, column);
      if (!s.key.empty()) {
        keys += (keys.empty() ? "" : " ") + std::string(s.key) + "=" +
                (s.value.empty() ? "1" : std::string(s.value));
      }
    }
    if (!keys.empty()) {
      constexpr std::string_view kKeys = "The same as scenario keys: faults";
      out += kKeys;
      AppendWrapped(out, keys, kKeys.size(), 0, true);
    }
  }
  out += '\n';
  out += kExitCodes;
  return out;
}

}  // namespace sim
