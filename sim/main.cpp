// mrx520-sim: a simulated MRX520 unit serving the USB device socket, the
// KLF310 card's TCP ports and the remote's Bluetooth stream.
#include <signal.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/RuntimeDir.h"
#include "platform/SimBluetoothWire.h"
#include "platform/SocketPath.h"
#include "sim/BluetoothRegistration.h"
#include "sim/DeviceServer.h"
#include "sim/Klf310Server.h"
#include "sim/RemoteStreamServer.h"
#include "sim/Scenario.h"
#include "sim/SimUnit.h"

namespace {

constexpr const char* kUsage =
    "Usage: mrx520-sim [OPTIONS]\n"
    "Simulates an MRX520 unit: serves its USB device in $MRX_RUNTIME_DIR and\n"
    "registers its Bluetooth module (\"Valdur MRX520-<serial>\") with the simulated\n"
    "Bluetooth stack in $MRX_RUNTIME_DIR/bluetooth, and serves each KLF310 card's\n"
    "TCP ports 4000 and 4010 on the IPv4 address of its settings (default\n"
    "127.0.0.77; a scenario's module record sets another with ip=A.B.C.D),\n"
    "until interrupted.\n\n"
    "  --scenario FILE      modules of the unit (default: the demo unit)\n"
    "  --state FILE         where stored settings persist\n"
    "                       (default: $XDG_STATE_HOME/mrx520-sim/state)\n"
    "  --no-state           keep nothing across restarts\n"
    "  --fresh-state        start afresh when the state file cannot be read,\n"
    "                       keeping it beside as FILE.bad-<time>\n"
    "  --runtime-dir DIR    serve here instead of $MRX_RUNTIME_DIR\n"
    "\nFaults of the USB device:\n"
    "  --fail-every N       fail every N-th exchange\n"
    "  --refuse-opens MS    refuse opens for MS milliseconds after start\n"
    "  --delay MS           delay every exchange by MS milliseconds\n"
    "  --restart-ms MS      how long the unit is gone after an erase (default 3000)\n"
    "  --eeprom-error       report a settings memory error in every status\n"
    "  --power-cut-at N     end abruptly, as at a power cut, once block N of a\n"
    "                       download is written (0: once an erase is taken)\n"
    "  --display-rows N     answer only the first N rows of the display picture\n"
    "  --drop-every N       take every N-th exchange but never send its answer\n"
    "  --card-power-cut-at N  end abruptly once block N of a QVO520 processor's\n"
    "                       download is taken (counted from 1 after each begin)\n"
    "  --settings-power-cut-at N  end abruptly once the N-th settings write frame\n"
    "                       (a chunk or a store frame, counted from 1 since start)\n"
    "                       is taken\n"
    "\nFaults of the KLF310 cards' TCP ports (requests counted from 1 since start):\n"
    "  --klf-fail-every N   end the connection at every N-th request, unanswered\n"
    "  --klf-lost-every N   lose every N-th request: neither taken nor answered\n"
    "  --klf-refuse-ms MS   listen on no port for MS milliseconds after start\n"
    "  --klf-delay-ms MS    wait MS milliseconds before taking each request\n"
    "  --klf-power-cut-at N end abruptly once the N-th block of a transfer (software\n"
    "                       block or curve message) is taken\n"
    "The same as scenario keys: faults drop-every=N klf-fail-every=N klf-lost-every=N\n"
    "klf-refuse-ms=MS klf-delay-ms=MS\n"
    "\nFaults of the remote's Bluetooth stream (counted from 1 since start):\n"
    "  --stream-lost-every N     do not send every N-th frame of the unit\n"
    "  --stream-crc-every N      send every N-th frame of the unit with a wrong CRC\n"
    "  --stream-refuse-every N   refuse every N-th connection attempt\n"
    "  --stream-refuse-ms MS     refuse connections for MS milliseconds after start\n"
    "  --stream-drop-every N     drop every N-th connection right after connecting\n"
    "  --stream-delay-ms MS      wait MS milliseconds before each answer\n"
    "  --stream-power-cut-at N   end abruptly once the N-th stored block write is taken\n"
    "The same as scenario keys: faults stream-lost-every=N stream-crc-every=N\n"
    "stream-refuse-every=N stream-refuse-ms=MS stream-drop-every=N stream-delay-ms=MS\n\n"
    "  --help, --version\n\n"
    "Exit codes: 0 after a clean stop (SIGTERM, SIGINT, SIGHUP), 64 bad option,\n"
    "65 bad scenario or state file (named with its line), 71 cannot serve (the\n"
    "runtime folder is not this user's own, or a unit is already served there),\n"
    "73 the state file cannot be saved.\n";

// Far beyond sixteen modules with their settings; a wrong file is refused unread.
constexpr std::size_t kMaxScenarioBytes = 1 << 20;

std::filesystem::path DefaultStateFile() {
  if (const char* s = std::getenv("XDG_STATE_HOME"); s != nullptr && *s != '\0') {
    return std::filesystem::path(s) / "mrx520-sim" / "state";
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return std::filesystem::path(home) / ".local" / "state" / "mrx520-sim" / "state";
  }
  return platform::RuntimeDir() / "mrx520-sim.state";
}

bool ParseUnsigned(const char* text, unsigned long max, unsigned long& out) {
  const char* end = text + std::strlen(text);
  const auto [last, ec] = std::from_chars(text, end, out);
  return ec == std::errc() && last == end && last != text && out <= max;
}

// The name an unreadable state file is kept under: FILE.bad-<local time>.
std::filesystem::path BadStateName(const std::filesystem::path& file) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  std::filesystem::path name = file.string() + ".bad-" + stamp;
  for (int n = 2; std::filesystem::exists(name); ++n) {
    name = file.string() + ".bad-" + stamp + "-" + std::to_string(n);
  }
  return name;
}

}  // namespace

int main(int argc, char** argv) {
  sim::Scenario scenario = sim::DefaultScenario();
  std::filesystem::path stateFile = DefaultStateFile();
  std::filesystem::path runtimeDir = platform::RuntimeDir();
  std::string scenarioFile;
  struct Override {
    unsigned long max = 0;
    bool set = false;
    unsigned long value = 0;
  } failEvery{sim::kMaxEvery}, refuseOpens{sim::kMaxRefuseMs}, delay{sim::kMaxDelayMs},
      restart{sim::kMaxRestartMs}, lostEvery{sim::kMaxEvery}, crcEvery{sim::kMaxEvery},
      refuseEvery{sim::kMaxEvery}, refuseMs{sim::kMaxRefuseMs}, streamDropEvery{sim::kMaxEvery},
      answerDelay{sim::kMaxDelayMs}, powerCut{0xFFFFFFFFUL}, displayRows{128},
      dropEvery{sim::kMaxEvery}, cardPowerCut{0xFFFFFFFFUL}, klfFailEvery{sim::kMaxEvery},
      klfLostEvery{sim::kMaxEvery}, klfRefuseMs{sim::kMaxRefuseMs}, klfDelay{sim::kMaxDelayMs},
      klfPowerCut{0xFFFFFFFFUL}, streamPowerCut{0xFFFFFFFFUL}, settingsPowerCut{0xFFFFFFFFUL};
  bool eepromError = false;
  bool freshState = false;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char*& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    const char* v = nullptr;
    bool badNumber = false;
    auto number = [&](Override& o) {
      if (!value(v)) return false;
      if (!ParseUnsigned(v, o.max, o.value)) {
        std::fprintf(stderr, "mrx520-sim: option '%s' takes a number from 0 to %lu, not '%s'\n",
                     arg.c_str(), o.max, v);
        badNumber = true;
        return true;
      }
      return o.set = true;
    };
    bool ok = true;
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--version") {
      std::printf("mrx520-sim 1.0.0\n");
      return 0;
    } else if (arg == "--scenario") {
      ok = value(v);
      if (ok) scenarioFile = v;
    } else if (arg == "--state") {
      ok = value(v);
      if (ok) stateFile = v;
    } else if (arg == "--no-state") {
      stateFile.clear();
    } else if (arg == "--fresh-state") {
      freshState = true;
    } else if (arg == "--runtime-dir") {
      ok = value(v);
      if (ok) runtimeDir = v;
    } else if (arg == "--fail-every") {
      ok = number(failEvery);
    } else if (arg == "--refuse-opens") {
      ok = number(refuseOpens);
    } else if (arg == "--delay") {
      ok = number(delay);
    } else if (arg == "--restart-ms") {
      ok = number(restart);
    } else if (arg == "--stream-lost-every") {
      ok = number(lostEvery);
    } else if (arg == "--stream-crc-every") {
      ok = number(crcEvery);
    } else if (arg == "--stream-refuse-every") {
      ok = number(refuseEvery);
    } else if (arg == "--stream-refuse-ms") {
      ok = number(refuseMs);
    } else if (arg == "--stream-drop-every") {
      ok = number(streamDropEvery);
    } else if (arg == "--stream-delay-ms") {
      ok = number(answerDelay);
    } else if (arg == "--power-cut-at") {
      ok = number(powerCut) && powerCut.value <= UINT32_MAX;
    } else if (arg == "--drop-every") {
      ok = number(dropEvery);
    } else if (arg == "--card-power-cut-at") {
      ok = number(cardPowerCut);
    } else if (arg == "--klf-fail-every") {
      ok = number(klfFailEvery);
    } else if (arg == "--klf-lost-every") {
      ok = number(klfLostEvery);
    } else if (arg == "--klf-refuse-ms") {
      ok = number(klfRefuseMs);
    } else if (arg == "--klf-delay-ms") {
      ok = number(klfDelay);
    } else if (arg == "--klf-power-cut-at") {
      ok = number(klfPowerCut);
    } else if (arg == "--stream-power-cut-at") {
      ok = number(streamPowerCut);
    } else if (arg == "--settings-power-cut-at") {
      ok = number(settingsPowerCut);
    } else if (arg == "--display-rows") {
      ok = number(displayRows);
    } else if (arg == "--eeprom-error") {
      eepromError = true;
    } else {
      std::fprintf(stderr, "mrx520-sim: unknown option '%s'\n%s", arg.c_str(), kUsage);
      return 64;
    }
    if (!ok) {
      std::fprintf(stderr, "mrx520-sim: option '%s' needs a value\n%s", arg.c_str(), kUsage);
      return 64;
    }
    if (badNumber) return 64;
  }

  if (!scenarioFile.empty()) {
    std::string text, error;
    if (!platform::ReadFileUpTo(scenarioFile, kMaxScenarioBytes, text, error)) {
      std::fprintf(stderr, "mrx520-sim: cannot read scenario %s\n", error.c_str());
      return 65;
    }
    auto parsed = sim::ParseScenario(text, error);
    if (!parsed) {
      std::fprintf(stderr, "mrx520-sim: %s: %s\n", scenarioFile.c_str(), error.c_str());
      return 65;
    }
    scenario = *parsed;
  }
  if (failEvery.set) scenario.faults.failEvery = static_cast<unsigned>(failEvery.value);
  if (refuseOpens.set)
    scenario.faults.refuseOpensMs = static_cast<std::uint32_t>(refuseOpens.value);
  if (delay.set) scenario.faults.delayMs = static_cast<std::uint32_t>(delay.value);
  if (restart.set) scenario.faults.restartMs = static_cast<std::uint32_t>(restart.value);
  if (eepromError) scenario.faults.eepromError = true;
  if (displayRows.set) scenario.faults.displayRows = static_cast<unsigned>(displayRows.value);
  auto& sf = scenario.streamFaults;
  if (lostEvery.set) sf.lostEvery = static_cast<unsigned>(lostEvery.value);
  if (crcEvery.set) sf.crcEvery = static_cast<unsigned>(crcEvery.value);
  if (refuseEvery.set) sf.refuseEvery = static_cast<unsigned>(refuseEvery.value);
  if (refuseMs.set) sf.refuseMs = static_cast<std::uint32_t>(refuseMs.value);
  if (streamDropEvery.set) sf.dropEvery = static_cast<unsigned>(streamDropEvery.value);
  if (dropEvery.set) scenario.faults.dropEvery = static_cast<unsigned>(dropEvery.value);
  auto& kf = scenario.klfFaults;
  if (klfFailEvery.set) kf.failEvery = static_cast<unsigned>(klfFailEvery.value);
  if (klfLostEvery.set) kf.lostEvery = static_cast<unsigned>(klfLostEvery.value);
  if (klfRefuseMs.set) kf.refuseMs = static_cast<std::uint32_t>(klfRefuseMs.value);
  if (klfDelay.set) kf.delayMs = static_cast<std::uint32_t>(klfDelay.value);
  if (answerDelay.set) sf.delayMs = static_cast<std::uint32_t>(answerDelay.value);

  // First, so that the folder is made 0700 before anything else goes in it
  // (the state file may live there too).
  if (std::string why; !platform::CheckPrivateDir(runtimeDir, true, why)) {
    std::fprintf(stderr, "mrx520-sim: %s\n", why.c_str());
    return 71;
  }
  if (!stateFile.empty() && stateFile.has_parent_path()) {
    std::error_code ec;
    std::filesystem::create_directories(stateFile.parent_path(), ec);
  }

  // Signals are taken by sigwait below, never by the serving threads.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  auto owned = std::make_unique<sim::SimUnit>(scenario, platform::DefaultClock(), stateFile);
  if (!owned->StateError().empty()) {
    // Stored settings are never silently replaced: only when asked, and then
    // the old file is kept.
    if (!freshState) {
      std::fprintf(stderr,
                   "mrx520-sim: %s\nmrx520-sim: the state file is left as it is; start with "
                   "--fresh-state to keep it aside and start afresh\n",
                   owned->StateError().c_str());
      return 65;
    }
    const std::filesystem::path kept = BadStateName(stateFile);
    std::error_code ec;
    std::filesystem::rename(stateFile, kept, ec);
    if (ec) {
      std::fprintf(stderr, "mrx520-sim: cannot keep %s aside as %s: %s\n", stateFile.c_str(),
                   kept.c_str(), ec.message().c_str());
      return 73;
    }
    std::fprintf(stderr, "mrx520-sim: %s\nmrx520-sim: kept it as %s; starting afresh\n",
                 owned->StateError().c_str(), kept.c_str());
    owned = std::make_unique<sim::SimUnit>(scenario, platform::DefaultClock(), stateFile);
  }
  sim::SimUnit& unit = *owned;
  if (powerCut.set) unit.CutPowerAtBlock(static_cast<std::uint32_t>(powerCut.value));
  if (cardPowerCut.set) unit.CutPowerAtCardBlock(static_cast<std::uint32_t>(cardPowerCut.value));
  if (klfPowerCut.set) unit.CutPowerAtKlfBlock(static_cast<std::uint32_t>(klfPowerCut.value));
  if (streamPowerCut.set) {
    unit.CutPowerAtRemoteBlock(static_cast<std::uint32_t>(streamPowerCut.value));
  }
  if (settingsPowerCut.set) {
    unit.CutPowerAtSettingsWrite(static_cast<std::uint32_t>(settingsPowerCut.value));
  }
  // Said once, in terms of the folder the user chose, before anything is served.
  for (const auto& socket :
       {runtimeDir / sim::kUnitDeviceName,
        platform::simbt::SocketPath(runtimeDir / "bluetooth",
                                    sim::BluetoothRegistration::AddressForSerial(0))}) {
    if (const auto problem = platform::SocketFolderProblem(runtimeDir, socket); !problem.empty()) {
      std::fprintf(stderr, "mrx520-sim: %s; choose a shorter one (--runtime-dir)\n",
                   problem.c_str());
      return 71;
    }
  }
  std::string error;
  // Saved once now, so that settings stored later are not reported stored and
  // then lost at the next start.
  if (!unit.SaveState(error)) {
    std::fprintf(stderr, "mrx520-sim: cannot save state to %s: %s\n", stateFile.c_str(),
                 error.c_str());
    return 73;
  }
  sim::DeviceServer server(unit, runtimeDir);
  if (!server.Start(error)) {
    std::fprintf(stderr, "mrx520-sim: %s\n", error.c_str());
    return 71;
  }
  sim::Klf310Server klf(unit);
  if (!klf.Start(error)) {
    std::fprintf(stderr, "mrx520-sim: %s\n", error.c_str());
    server.Stop();
    return 71;
  }
  const std::uint16_t serial = unit.SerialNumber();
  sim::RemoteStreamServer stream(unit, scenario.streamFaults);
  sim::BluetoothRegistration bluetooth(sim::BluetoothRegistration::AddressForSerial(serial),
                                       sim::BluetoothRegistration::NameForSerial(serial),
                                       runtimeDir / "bluetooth", stream);
  stream.SetModule(&bluetooth);
  if (!bluetooth.Start(error)) {
    std::fprintf(stderr, "mrx520-sim: %s\n", error.c_str());
    klf.Stop();
    server.Stop();
    return 71;
  }
  std::printf("mrx520-sim: MRX520 serial %04u with %zu modules at %s\n",
              static_cast<unsigned>(scenario.modules.front().serial), scenario.modules.size(),
              server.SocketPath().c_str());
  std::printf("mrx520-sim: Bluetooth \"%s\" %s at %s\n", bluetooth.Name().c_str(),
              bluetooth.Address().Colon().c_str(), bluetooth.SocketPath().c_str());
  std::fflush(stdout);

  int signal = 0;
  sigwait(&signals, &signal);
  unit.Shutdown();
  bluetooth.Stop();
  stream.Stop();
  klf.Stop();
  server.Stop();
  std::printf("mrx520-sim: stopped\n");
  return 0;
}
