// mrx520-sim: a simulated MRX520 unit serving the USB device socket and the
// remote's Bluetooth stream.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/RuntimeDir.h"
#include "sim/BluetoothRegistration.h"
#include "sim/DeviceServer.h"
#include "sim/RemoteStreamServer.h"
#include "sim/Scenario.h"
#include "sim/SimUnit.h"

namespace {

constexpr const char* kUsage =
    "Usage: mrx520-sim [OPTIONS]\n"
    "Simulates an MRX520 unit: serves its USB device in $MRX_RUNTIME_DIR and\n"
    "registers its Bluetooth module (\"Valdur MRX520-<serial>\") with the simulated\n"
    "Bluetooth stack in $MRX_RUNTIME_DIR/bluetooth, until interrupted.\n\n"
    "  --scenario FILE      modules of the unit (default: the demo unit)\n"
    "  --state FILE         where stored settings persist\n"
    "                       (default: $XDG_STATE_HOME/mrx520-sim/state)\n"
    "  --no-state           keep nothing across restarts\n"
    "  --runtime-dir DIR    serve here instead of $MRX_RUNTIME_DIR\n"
    "\nFaults of the USB device:\n"
    "  --fail-every N       fail every N-th exchange\n"
    "  --refuse-opens MS    refuse opens for MS milliseconds after start\n"
    "  --delay MS           delay every exchange by MS milliseconds\n"
    "  --restart-ms MS      how long the unit is gone after an erase (default 3000)\n"
    "  --eeprom-error       report a settings memory error in every status\n"
    "  --display-rows N     answer only the first N rows of the display picture\n"
    "\nFaults of the remote's Bluetooth stream (counted from 1 since start):\n"
    "  --stream-lost-every N     do not send every N-th frame of the unit\n"
    "  --stream-crc-every N      send every N-th frame of the unit with a wrong CRC\n"
    "  --stream-refuse-every N   refuse every N-th connection attempt\n"
    "  --stream-refuse-ms MS     refuse connections for MS milliseconds after start\n"
    "  --stream-drop-every N     drop every N-th connection right after connecting\n"
    "  --stream-delay-ms MS      wait MS milliseconds before each answer\n"
    "The same as scenario keys: faults stream-lost-every=N stream-crc-every=N\n"
    "stream-refuse-every=N stream-refuse-ms=MS stream-drop-every=N stream-delay-ms=MS\n\n"
    "  --help, --version\n\n"
    "Exit codes: 0 after a clean stop, 64 usage, 65 bad scenario, 71 cannot serve.\n";

std::filesystem::path DefaultStateFile() {
  if (const char* s = std::getenv("XDG_STATE_HOME"); s != nullptr && *s != '\0') {
    return std::filesystem::path(s) / "mrx520-sim" / "state";
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return std::filesystem::path(home) / ".local" / "state" / "mrx520-sim" / "state";
  }
  return platform::RuntimeDir() / "mrx520-sim.state";
}

bool ParseUnsigned(const char* text, unsigned long& out) {
  char* end = nullptr;
  errno = 0;
  out = std::strtoul(text, &end, 10);
  return errno == 0 && end != text && *end == '\0' && text[0] != '-';
}

}  // namespace

int main(int argc, char** argv) {
  sim::Scenario scenario = sim::DefaultScenario();
  std::filesystem::path stateFile = DefaultStateFile();
  std::filesystem::path runtimeDir = platform::RuntimeDir();
  std::string scenarioFile;
  struct Override {
    bool set = false;
    unsigned long value = 0;
  } failEvery, refuseOpens, delay, restart, lostEvery, crcEvery, refuseEvery, refuseMs, dropEvery,
      answerDelay, displayRows;
  bool eepromError = false;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char*& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    const char* v = nullptr;
    auto number = [&](Override& o) {
      return value(v) && ParseUnsigned(v, o.value) && (o.set = true);
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
      ok = number(dropEvery);
    } else if (arg == "--stream-delay-ms") {
      ok = number(answerDelay);
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
  }

  if (!scenarioFile.empty()) {
    std::string text, error;
    if (!platform::ReadWholeFile(scenarioFile, text)) {
      std::fprintf(stderr, "mrx520-sim: cannot read scenario %s\n", scenarioFile.c_str());
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
  if (dropEvery.set) sf.dropEvery = static_cast<unsigned>(dropEvery.value);
  if (answerDelay.set) sf.delayMs = static_cast<std::uint32_t>(answerDelay.value);

  if (!stateFile.empty()) {
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

  sim::SimUnit unit(scenario, platform::DefaultClock(), stateFile);
  sim::DeviceServer server(unit, runtimeDir);
  std::string error;
  if (!server.Start(error)) {
    std::fprintf(stderr, "mrx520-sim: %s\n", error.c_str());
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
  bluetooth.Stop();
  stream.Stop();
  server.Stop();
  std::printf("mrx520-sim: stopped\n");
  return 0;
}
