// mrx520-sim: a simulated MRX520 unit serving the USB device socket, the
// KLF310 card's TCP ports and the remote's Bluetooth stream.
#include <signal.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/RuntimeDir.h"
#include "platform/SimBluetoothWire.h"
#include "platform/SocketPath.h"
#include "platform/UniqueFd.h"
#include "sim/BluetoothRegistration.h"
#include "sim/DeviceServer.h"
#include "sim/Klf310Server.h"
#include "sim/KlfAddresses.h"
#include "sim/RemoteStreamServer.h"
#include "sim/Scenario.h"
#include "sim/SimSettings.h"
#include "sim/SimUnit.h"
#include "sim/StateFile.h"

namespace {

namespace fs = std::filesystem;

// Where the KLF310 cards' addresses are listed for clients, in the runtime folder.
constexpr const char* kKlfAddressFile = "klf310-addresses";

// Far beyond sixteen modules with their settings; a wrong file is refused unread.
constexpr std::size_t kMaxScenarioBytes = 1 << 20;

fs::path DefaultStateFile() {
  if (const char* s = std::getenv("XDG_STATE_HOME"); s != nullptr && *s != '\0') {
    return fs::path(s) / "mrx520-sim" / "state";
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return fs::path(home) / ".local" / "state" / "mrx520-sim" / "state";
  }
  return platform::RuntimeDir() / "mrx520-sim.state";
}

// The name an unreadable state file is kept under: FILE.bad-<local time>.
fs::path BadStateName(const fs::path& file) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  fs::path name = file.string() + ".bad-" + stamp;
  for (int n = 2; std::filesystem::exists(name); ++n) {
    name = file.string() + ".bad-" + stamp + "-" + std::to_string(n);
  }
  return name;
}

// The scenario file's unit; false once the reason is said.
bool LoadScenario(const std::string& file, sim::Scenario& scenario) {
  std::string text, error;
  if (!platform::ReadFileUpTo(file, kMaxScenarioBytes, text, error)) {
    std::fprintf(stderr, "mrx520-sim: cannot read scenario %s\n", error.c_str());
    return false;
  }
  auto parsed = sim::ParseScenario(text, error);
  if (!parsed) {
    std::fprintf(stderr, "mrx520-sim: %s: %s\n", file.c_str(), error.c_str());
    return false;
  }
  scenario = *parsed;
  return true;
}

// The unit with what its state file kept; none, with the exit code, once the
// reason is said.
std::unique_ptr<sim::SimUnit> OpenUnit(const sim::Scenario& scenario, const fs::path& stateFile,
                                       bool freshState, int& exitCode) {
  auto unit = std::make_unique<sim::SimUnit>(scenario, platform::DefaultClock(), stateFile);
  if (unit->StateError().empty()) return unit;
  // Stored settings are never silently replaced: only when asked, and then
  // the old file is kept.
  if (!freshState) {
    std::fprintf(stderr,
                 "mrx520-sim: %s\nmrx520-sim: the state file is left as it is; start with "
                 "--fresh-state to keep it aside and start afresh\n",
                 unit->StateError().c_str());
    exitCode = sim::kExitBadFile;
    return nullptr;
  }
  const fs::path kept = BadStateName(stateFile);
  std::error_code ec;
  fs::rename(stateFile, kept, ec);
  if (ec) {
    std::fprintf(stderr, "mrx520-sim: cannot keep %s aside as %s: %s\n", stateFile.c_str(),
                 kept.c_str(), ec.message().c_str());
    exitCode = sim::kExitCannotSave;
    return nullptr;
  }
  std::fprintf(stderr, "mrx520-sim: %s\nmrx520-sim: kept it as %s; starting afresh\n",
               unit->StateError().c_str(), kept.c_str());
  return std::make_unique<sim::SimUnit>(scenario, platform::DefaultClock(), stateFile);
}

// Said once, in terms of the folder the user chose, before anything is served.
bool SocketPathsFit(const fs::path& runtimeDir) {
  for (const auto& socket :
       {runtimeDir / sim::kUnitDeviceName,
        platform::simbt::SocketPath(runtimeDir / "bluetooth",
                                    sim::BluetoothRegistration::AddressForSerial(0))}) {
    if (const auto problem = platform::SocketFolderProblem(runtimeDir, socket); !problem.empty()) {
      std::fprintf(stderr, "mrx520-sim: %s; choose a shorter one (--runtime-dir)\n",
                   problem.c_str());
      return false;
    }
  }
  return true;
}

// Serves the unit on every link until one of `signals` comes; the exit code.
int Serve(sim::SimUnit& unit, const sim::Scenario& scenario, const fs::path& runtimeDir,
          const sigset_t& signals) {
  std::string error;
  sim::DeviceServer device(unit, runtimeDir);
  sim::Klf310Server::Options klfOptions;
  klfOptions.addressFile = runtimeDir / kKlfAddressFile;
  sim::Klf310Server klf(unit, klfOptions);
  const std::uint16_t serial = unit.SerialNumber();
  sim::RemoteStreamServer stream(unit, scenario.streamFaults);
  sim::BluetoothRegistration bluetooth(sim::BluetoothRegistration::AddressForSerial(serial),
                                       sim::BluetoothRegistration::NameForSerial(serial),
                                       runtimeDir / "bluetooth", stream);
  stream.SetModule(&bluetooth);
  // The device first: it claims the folder, so that nothing of another unit
  // served there (its card address file) is touched.
  if (!device.Start(error) || !klf.Start(error) || !bluetooth.Start(error)) {
    std::fprintf(stderr, "mrx520-sim: %s\n", error.c_str());
    bluetooth.Stop();
    klf.Stop();
    device.Stop();
    return sim::kExitCannotServe;
  }
  std::printf("mrx520-sim: MRX520 serial %04u with %zu modules at %s\n",
              static_cast<unsigned>(scenario.modules.front().serial), scenario.modules.size(),
              device.SocketPath().c_str());
  std::printf("mrx520-sim: Bluetooth \"%s\" %s at %s\n", bluetooth.Name().c_str(),
              bluetooth.Address().Colon().c_str(), bluetooth.SocketPath().c_str());
  for (const sim::SimUnit::KlfCard& card : unit.KlfCards()) {
    std::printf("mrx520-sim: KLF310 at %d on %s, TCP ports 4000 and 4010\n", int(card.address),
                sim::Dotted(card.ip).c_str());
  }
  std::fflush(stdout);

  int signal = 0;
  sigwait(&signals, &signal);
  unit.Shutdown();
  bluetooth.Stop();
  stream.Stop();
  klf.Stop();
  device.Stop();
  std::printf("mrx520-sim: stopped\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  sim::CommandLine line;
  std::string error;
  bool withUsage = false;
  const std::span<const char* const> args(argv + 1, static_cast<std::size_t>(argc - 1));
  if (!sim::ParseCommandLine(args, line, error, withUsage)) {
    std::fprintf(stderr, "mrx520-sim: %s\n%s", error.c_str(),
                 withUsage ? sim::HelpText().c_str() : "");
    return sim::kExitBadOption;
  }
  if (line.program.help) std::fputs(sim::HelpText().c_str(), stdout);
  if (line.program.version) std::printf("mrx520-sim 1.0.0\n");
  if (line.program.help || line.program.version) return 0;

  sim::Scenario scenario = sim::DefaultScenario();
  if (!line.program.scenarioFile.empty() && !LoadScenario(line.program.scenarioFile, scenario)) {
    return sim::kExitBadFile;
  }
  line.ApplyTo(scenario);
  const fs::path runtimeDir = line.program.runtimeDir.value_or(platform::RuntimeDir());
  const fs::path stateFile = line.program.stateFile.value_or(DefaultStateFile());
  // First, so that the folder is made 0700 before anything else goes in it
  // (the state file may live there too).
  if (!platform::CheckPrivateDir(runtimeDir, true, error) ||
      !sim::PickKlfAddresses(scenario, error)) {
    std::fprintf(stderr, "mrx520-sim: %s\n", error.c_str());
    return sim::kExitCannotServe;
  }
  if (!stateFile.empty() && stateFile.has_parent_path()) {
    std::error_code ec;
    fs::create_directories(stateFile.parent_path(), ec);
  }

  // Signals are taken by sigwait, never by the serving threads.
  sigset_t signals;
  sigemptyset(&signals);
  for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, s);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  // A state file that may not grow (a size limit, like a full disk) is a
  // store that fails and is answered so, not the end of the unit.
  signal(SIGXFSZ, SIG_IGN);

  platform::UniqueFd stateLock;
  if (!stateFile.empty() && !sim::LockStateFile(stateFile, stateLock, error)) {
    std::fprintf(stderr, "mrx520-sim: %s\n", error.c_str());
    return sim::kExitCannotSave;
  }
  int exitCode = 0;
  const auto unit = OpenUnit(scenario, stateFile, line.program.freshState, exitCode);
  if (!unit) return exitCode;
  if (!SocketPathsFit(runtimeDir)) return sim::kExitCannotServe;
  std::vector<std::string> notes;
  sim::SettleKlfAddresses(*unit, scenario, notes);
  for (const std::string& note : notes) std::fprintf(stderr, "mrx520-sim: %s\n", note.c_str());
  // Saved once now, so that settings stored later are not reported stored and
  // then lost at the next start.
  if (!unit->SaveState(error)) {
    std::fprintf(stderr, "mrx520-sim: cannot save state to %s: %s\n", stateFile.c_str(),
                 error.c_str());
    return sim::kExitCannotSave;
  }
  return Serve(*unit, scenario, runtimeDir, signals);
}
