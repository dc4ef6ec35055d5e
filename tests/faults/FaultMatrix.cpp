// The fault matrix: every long operation against the real mrx520-sim process
// with each fault of its link, one unit per cell (its own runtime folder,
// scenario and state file). A cell is green when the operation either
// succeeded and the unit holds the new software or data, or failed with an
// expected exit code and said why on standard error; in both cases within its
// time limit, with every stored settings image whole, and with the state file
// still loading. A cell that failed is run again on the unit restarted
// without the fault, which must then take the operation.
//
//   fault_matrix                  runs every cell and prints the table
//   fault_matrix --cell ROW:COL   runs the cells named (repeatable)
//   fault_matrix --list           names every cell with its simulator options
//
// "fault_matrix remote-write DIR SERIAL ADDRESS..." is the remote block
// writer the "remote" row runs as its own process (see RemoteWrite).
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "../support/RunProgram.h"
#include "../support/TempDir.h"
#include "../support/WaitFor.h"
#include "desktop/firmware/CCardDoloThread.h"
#include "desktop/firmware/CDoloThread.h"
#include "desktop/firmware/DoloPacket.h"
#include "desktop/roomcorrection/CKLF310Thread.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/MessageTarget.h"
#include "platform/SimBluetooth.h"
#include "protocol/klf/CurveBin.h"
#include "protocol/klf/KlfMessage.h"
#include "protocol/klf/SlopeFile.h"
#include "protocol/remote/RemoteProtocol.h"
#include "protocol/unit/IdentityRecord.h"
#include "protocol/unit/Klf310Image.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/ProcessorRecord.h"
#include "protocol/unit/SettingsImage.h"
#include "remote/link/UnitLink.h"
#include "remote/link/UnitState.h"
#include "sim/BluetoothRegistration.h"
#include "sim/Scenario.h"
#include "sim/SimUnit.h"
#include "sim/cards/Qvo520Processors.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
namespace fw = desktop::firmware;
namespace pk = protocol::klf;
namespace pu = protocol::unit;
using std::chrono::milliseconds;
using std::chrono::seconds;

// The unit every cell runs: the cards the operations need at consecutive
// addresses (discovery ends at the first empty one).
constexpr std::uint8_t kQvoAddress = 1;
constexpr std::uint8_t kKlfAddress = 2;
constexpr std::uint8_t kQviAddress = 3;
constexpr std::uint8_t kHejAddress = 4;
constexpr std::uint16_t kSerial = 1520;
// The remote row stores a new block in these modules, in this order.
constexpr std::uint8_t kRemoteModules[] = {kQvoAddress, kQviAddress, kHejAddress};
constexpr int kCurveChannel = 1;

constexpr int kExitOk = 0;
constexpr int kExitUnavailable = 69;
constexpr int kExitIoError = 74;

std::string Format(const char* format, auto... values) {
  char text[256];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

std::string VersionText(unsigned major, unsigned minor) {
  return Format("V%u.%03u", major, minor);
}

std::string ReadText(const fs::path& file) {
  std::string text;
  platform::ReadWholeFile(file, text);
  return text;
}

std::string LastLine(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  const auto at = text.rfind('\n');
  return at == std::string::npos ? text : text.substr(at + 1);
}

// ---------------------------------------------------------------------------
// What this build carries, and how many blocks each transfer takes.

const fw::_DoloPacket* Carried(std::uint32_t kind, std::uint16_t model, std::uint16_t component) {
  return fw::FindDoloPacket(::GetDoloBase(), kind, model, component);
}

const fw::_DoloPacket* HostImage() {
  return Carried(fw::kDoloUnitImage, fw::CDoloThread::kModelMrx, fw::CDoloThread::kComponentHost);
}

const fw::_DoloPacket* BootImage() {
  return Carried(fw::kDoloUnitImage, fw::CDoloThread::kModelMrx, fw::CDoloThread::kComponentBoot);
}

const fw::_DoloPacket* KlfImage() {
  return Carried(fw::kDoloKlf310, desktop::roomcorrection::CKLF310Thread::kModel,
                 desktop::roomcorrection::CKLF310Thread::kComponent);
}

// The left processor's record on a fresh card names its packages.
pu::ProcessorRecord FreshLeftProcessor() {
  return pu::ProcessorRecord::Decode(sim::cards::DefaultProcessorRecord(0));
}

std::pair<const fw::_DoloPacket*, const fw::_DoloPacket*> QvoImages() {
  const auto record = FreshLeftProcessor();
  const fw::_DoloPacket* first = nullptr;
  const fw::_DoloPacket* second = nullptr;
  fw::CCardDoloThread::FindPackages(::GetDoloBase(), record.model, record.component, first, second);
  return {first, second};
}

std::uint32_t Blocks(const fw::_DoloPacket* image, std::size_t blockSize) {
  std::uint32_t blocks = 0;
  for (const fw::DoloSegment* s = image != nullptr ? image->segments : nullptr; s != nullptr;
       s = s->next) {
    blocks += static_cast<std::uint32_t>((s->length + blockSize - 1) / blockSize);
  }
  return blocks;
}

std::string CarriedVersion(const fw::_DoloPacket* image) {
  return image != nullptr ? fw::DoloVersionText(image->version) : "(none carried)";
}

// ---------------------------------------------------------------------------
// What the unit keeps, read from its state file as the simulator reads it.

struct Snapshot {
  std::string error;  // empty: the file loaded whole
  std::map<std::uint8_t, std::vector<std::uint8_t>> stored;
  std::string host, boot, klfApplication;
  std::array<sim::cards::ProcessorBytes, 2> processors{};
  std::vector<std::vector<pk::CurveBin>> curves;
};

Snapshot Load(const sim::Scenario& scenario, const fs::path& stateFile) {
  Snapshot s;
  // A copy, so that nothing here can write the cell's own file.
  testing_support::TempDir copy;
  std::error_code ec;
  fs::copy_file(stateFile, copy.path() / "state", ec);
  if (ec) {
    s.error = "no state file: " + ec.message();
    return s;
  }
  platform::VirtualClock clock;
  sim::SimUnit unit(scenario, clock, copy.path() / "state");
  if (!unit.StateError().empty()) {
    s.error = unit.StateError();
    return s;
  }
  for (const auto& m : scenario.modules) s.stored[m.address] = unit.StoredSettings(m.address);
  const auto host = unit.HostVersion();
  const auto boot = unit.BootVersion();
  s.host = VersionText(host.major, host.minor);
  s.boot = VersionText(boot.major, boot.minor);
  if (const auto app = unit.KlfApplication(kKlfAddress); app && app->valid) {
    s.klfApplication = VersionText(app->major, app->minor);
  }
  for (int p = 0; p < 2; ++p) s.processors[p] = unit.ProcessorRecord(kQvoAddress, p);
  for (std::size_t c = 0; c < pu::Klf310Image::kChannelCount; ++c) {
    s.curves.push_back(unit.KlfCurve(kKlfAddress, c));
  }
  return s;
}

// ---------------------------------------------------------------------------
// The simulator process of one cell.

// The simulators running now, ended with the matrix when it is stopped (a
// time limit of ctest's, ^C), so none is left serving.
std::atomic<pid_t> gRunning[4];

void EndSimulatorsAndStop(int signal) {
  for (auto& pid : gRunning) {
    if (const pid_t p = pid.load(); p > 0) kill(p, SIGKILL);
  }
  std::signal(signal, SIG_DFL);
  raise(signal);
}

void Track(pid_t pid, bool running) {
  for (auto& slot : gRunning) {
    pid_t expected = running ? 0 : pid;
    if (slot.compare_exchange_strong(expected, running ? pid : 0)) return;
  }
}

class Sim {
 public:
  explicit Sim(fs::path dir) : dir_(std::move(dir)) {}
  ~Sim() { Stop(SIGKILL); }
  Sim(const Sim&) = delete;
  Sim& operator=(const Sim&) = delete;

  // Starts it and waits until every server is up (its second line says
  // where the Bluetooth module is); false when it gave up or took too long.
  bool Start(const std::vector<std::string>& extra) {
    std::vector<std::string> args = {MRX_BINARY_DIR "/sim/mrx520-sim",
                                     "--runtime-dir",
                                     (dir_ / "rt").string(),
                                     "--state",
                                     (dir_ / "state").string(),
                                     "--scenario",
                                     (dir_ / "unit.scenario").string(),
                                     "--restart-ms",
                                     "200"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // A stale socket of a unit that lost power is not the new unit's.
    fs::remove(dir_ / "rt" / "MRXUSBDevice0");
    const std::string out = (dir_ / "sim.out").string(), err = (dir_ / "sim.err").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (pid_ > 0) Track(pid_, true);
    testing_support::WaitFor([&] {
      return !Running() || ReadText(dir_ / "sim.out").find("Bluetooth") != std::string::npos;
    });
    return Running() && ReadText(dir_ / "sim.out").find("Bluetooth") != std::string::npos;
  }
  bool Running() {
    if (pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_) Ended();
    return pid_ > 0;
  }
  // Waits for it to end on its own; true when it did, killed by SIGKILL.
  bool DiedOfPowerCut(milliseconds limit) {
    testing_support::WaitFor([&] { return !Running(); }, limit);
    return !Running() && WIFSIGNALED(status_) && WTERMSIG(status_) == SIGKILL;
  }
  // Stops it as a user would; true when it ended cleanly in time.
  bool StopCleanly() {
    if (!Running()) return false;
    kill(pid_, SIGTERM);
    const bool ended = testing_support::WaitFor([&] { return !Running(); }, seconds(10));
    if (!ended) Stop(SIGKILL);
    return ended && WIFEXITED(status_) && WEXITSTATUS(status_) == 0;
  }
  void Stop(int signal) {
    if (!Running()) return;
    kill(pid_, signal);
    waitpid(pid_, &status_, 0);
    Ended();
  }
  std::string Errors() const { return LastLine(ReadText(dir_ / "sim.err")); }
  // From now on no file it writes may grow past `bytes`; false when that
  // cannot be set.
  bool LimitFileSize(rlim_t bytes) {
    const rlimit limit{bytes, bytes};
    return pid_ > 0 && prlimit(pid_, RLIMIT_FSIZE, &limit, nullptr) == 0;
  }

 private:
  void Ended() {
    Track(pid_, false);
    pid_ = -1;
  }

  fs::path dir_;
  pid_t pid_ = -1;
  int status_ = 0;
};

// ---------------------------------------------------------------------------
// Rows and columns.

enum class Link { kUsb, kKlf, kStream };

struct Cell;

struct Row {
  const char* key;
  const char* name;
  Link link;
  // Faulty exchanges every n-th, chosen so the operation meets a few.
  unsigned failEvery;
  unsigned lostEvery;
  // Blocks of the transfer: the power cut comes at 1, the middle, the last.
  std::function<std::uint32_t()> blocks;
  // The command line (after the environment) that runs the operation.
  std::function<std::string(const Cell&)> command;
  // Prepares what the operation reads (a slope file, a backup) before the
  // cell's simulator starts; why it could not, or empty.
  std::function<std::string(const Cell&)> prepare;
  // Whether the unit now holds what the operation was to give it; why not.
  std::function<bool(const Cell&, const Snapshot& before, const Snapshot& after, std::string&)>
      done;
  // Whether `after` is whole where the operation may change it (old or new
  // throughout); why not. Everything else must equal `before`.
  std::function<bool(const Cell&, const Snapshot& before, const Snapshot& after, std::string&)>
      whole;
  // The row's own fault, given to the simulator on top of each column's (but
  // not when the operation is run again): no column can then succeed.
  std::vector<std::string> fault;
  // Whether the power-cut columns apply: an operation that stops before it
  // writes anything has no block to cut at.
  bool cuts;
};

enum class Cut { kNone, kFirst, kMiddle, kLast };

struct Column {
  const char* key;
  const char* name;
  Cut cut;
  bool mustSucceed;  // the programs are built to ride this out
  // The simulator's options for a row's link.
  std::function<std::vector<std::string>(const Row&)> simArgs;
  // A fault of one row's operation only: the row's key; null for every row.
  const char* onlyRow = nullptr;
  // The simulator's files may not grow once it has started, as on a full
  // disk: every store it is asked for fails.
  bool stateFull = false;
  bool Applies(const Row& row) const {
    return (onlyRow == nullptr || std::string_view(onlyRow) == row.key) &&
           (cut == Cut::kNone || row.cuts);
  }
};

struct Cell {
  const Row& row;
  const Column& column;
  fs::path dir;
  std::string self;  // this program, for the remote writer
  std::string Environment() const {
    return "MRX_RUNTIME_DIR=" + (dir / "rt").string() +
           " WAVRIX_BLUETOOTH=sim WAVRIX_HANDHELD=" + (dir / "handheld").string() + " ";
  }
  std::string Mrxctl(const std::string& args) const {
    return Environment() + MRX_BINARY_DIR "/tools/mrxctl/mrxctl " + args;
  }
  // Each cell's KLF310 card has an address of its own on the loopback net,
  // so cells never meet another simulator's card.
  std::string KlfIp() const {
    return Format("127.77.%u.%u", (static_cast<unsigned>(getpid()) >> 8) % 250 + 1,
                  static_cast<unsigned>(getpid()) % 250 + 1);
  }
};

sim::Scenario ScenarioOf(const std::string& text) {
  std::string error;
  auto parsed = sim::ParseScenario(text, error);
  if (!parsed) {
    std::fprintf(stderr, "fault_matrix: the cell's scenario is refused: %s\n", error.c_str());
    std::exit(70);
  }
  return *parsed;
}

std::string ScenarioText(const std::string& klfIp) {
  return Format("unit slots=4 serial=%u version=2.105 date=2024-03-05\n", kSerial) +
         Format("module address=%u type=%u serial=2001 version=1.020 date=2023-05-01\n",
                kQvoAddress, pu::type::kQVO520) +
         Format("module address=%u type=%u serial=2002 version=1.030 date=2023-05-01 ip=%s\n",
                kKlfAddress, pu::type::kKLF310, klfIp.c_str()) +
         Format("module address=%u type=%u serial=2003 version=1.040 date=2023-05-01\n",
                kQviAddress, pu::type::kQVI520) +
         Format("module address=%u type=%u serial=2004 version=1.050 date=2023-05-01\n",
                kHejAddress, pu::type::kHEJ520);
}

std::string ScenarioText(const Cell& cell) {
  return ScenarioText(cell.KlfIp());
}

// The new settings the remote row stores in a module: every byte after the
// identity its own, and none a default.
std::vector<std::uint8_t> RemotePattern(std::uint8_t address, std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<std::uint8_t>(0xA5 ^ (address * 37 + i * 11 + 1));
  }
  return bytes;
}

// The curve the curve row's slope file holds: every bin its own.
std::vector<pk::CurveBin> WantedCurve() {
  std::vector<pk::CurveBin> wanted(pk::CurveBin::kBinCount);
  for (int i = 0; i < pk::CurveBin::kBinCount; ++i) {
    auto& b = wanted[static_cast<std::size_t>(i)];
    b.amplitude = static_cast<std::int8_t>((i % 200) - 100);
    b.phase = static_cast<std::int16_t>((i * 7) % 360 - 180);
    for (int r = 0; r < pk::CurveBin::kRoomCount; ++r) {
      b.roomLevel[static_cast<std::size_t>(r)] =
          static_cast<std::uint16_t>((i * (r + 3)) % pk::CurveBin::kMaxLevelCode);
    }
  }
  return wanted;
}

// The curve as the card must hold it after the put: the slope file read the
// way mrxctl reads it, over the curve the card had.
std::vector<pk::CurveBin> NewCurve(const std::vector<pk::CurveBin>& before) {
  std::vector<pk::CurveBin> result = before;
  const auto parsed = pk::SlopeFile::Parse(pk::SlopeFile::Write(WantedCurve()));
  pk::SlopeFile::ApplyTo(parsed.rows, result);
  return result;
}

fs::path SlopeFile(const Cell& cell) {
  return cell.dir / "curve.slope";
}

// Every module's stored image equals `before` except the ones in `changing`,
// which are whole when they equal `before` or `wanted(address)`.
bool StoredWhole(
    const Snapshot& before, const Snapshot& after,
    const std::function<std::optional<std::vector<std::uint8_t>>(std::uint8_t)>& wanted,
    std::string& why) {
  for (const auto& [address, image] : before.stored) {
    const auto& now = after.stored.at(address);
    if (now == image) continue;
    const auto newImage = wanted ? wanted(address) : std::nullopt;
    if (newImage && now == *newImage) continue;
    why = Format("module %u's stored settings are %s", address,
                 newImage ? "neither the old nor the new image" : "changed");
    return false;
  }
  return true;
}

std::vector<std::uint8_t> RemoteImage(const Snapshot& before, std::uint8_t address) {
  std::vector<std::uint8_t> image = before.stored.at(address);
  const auto pattern = RemotePattern(address, image.size() - pu::IdentityRecord::kSize);
  std::copy(pattern.begin(), pattern.end(), image.begin() + pu::IdentityRecord::kSize);
  return image;
}

bool IsRemoteModule(std::uint8_t address) {
  return std::find(std::begin(kRemoteModules), std::end(kRemoteModules), address) !=
         std::end(kRemoteModules);
}

// ---------------------------------------------------------------------------
// The restore row: a backup of the fresh unit, then several modules changed
// through mrxctl as a user would, then the backup restored.

// The modules changed after the backup: all of them, so that a cut among any
// module's chunks meets an image the restore changes. One also takes another
// serial, as a card swapped for one of the same type would: a restore keeps
// each module's own identity.
constexpr std::uint8_t kChangedModules[] = {pu::kMainUnitAddress, kQvoAddress, kKlfAddress,
                                            kQviAddress, kHejAddress};
constexpr std::uint8_t kSwappedModule = kHejAddress;
constexpr std::uint16_t kSwappedSerial = 2404;
constexpr auto kPrepareLimit = seconds(60);

fs::path BackupFile(const Cell& cell) {
  return cell.dir / "unit.backup";
}

// The unit's state file as it was when the backup was taken.
fs::path BackedUpState(const Cell& cell) {
  return cell.dir / "backed-up.state";
}

std::vector<std::uint8_t> ChangedImage(std::uint8_t address, std::vector<std::uint8_t> image) {
  for (std::size_t i = pu::IdentityRecord::kSize; i < image.size(); ++i) {
    // The KLF310 keeps its network address: the cell's card stays its own.
    const bool klfAddress = address == kKlfAddress && i >= pu::Klf310Image::kIp &&
                            i < pu::Klf310Image::kIp + pu::Klf310Image::kAddressSize;
    if (!klfAddress) image[i] = static_cast<std::uint8_t>(0x5A ^ (address * 29 + i * 13 + 7));
  }
  if (address == kSwappedModule && image.size() >= pu::IdentityRecord::kSize) {
    auto identity = pu::IdentityRecord::Decode(image);
    identity.serial = kSwappedSerial;
    identity.EncodeDateAndSerialInto(image);
  }
  return image;
}

// What a restore leaves in a module: the backup's image with the module's
// own identity, as `now` holds it.
std::vector<std::uint8_t> RestoredImage(const Snapshot& backedUp, const Snapshot& now,
                                        std::uint8_t address) {
  std::vector<std::uint8_t> image = backedUp.stored.at(address);
  const auto& own = now.stored.at(address);
  std::copy_n(own.begin(), std::min({pu::IdentityRecord::kSize, own.size(), image.size()}),
              image.begin());
  return image;
}

Snapshot BackedUp(const Cell& cell) {
  return Load(ScenarioOf(ScenarioText(cell)), BackedUpState(cell));
}

// Settings write frames of a restore of every module: each image's chunks
// and the store frame after them.
std::uint32_t RestoreFrames() {
  platform::VirtualClock clock;
  const sim::Scenario scenario = ScenarioOf(ScenarioText("127.0.0.1"));
  sim::SimUnit unit(scenario, clock);
  std::uint32_t frames = 0;
  for (const auto& m : scenario.modules) {
    const std::size_t chunks = pu::SettingsImage::ChunkCount(unit.StoredSettings(m.address).size());
    if (chunks != 0) frames += static_cast<std::uint32_t>(chunks + 1);
  }
  return frames;
}

std::string PrepareRestore(const Cell& cell) {
  Sim sim(cell.dir);
  if (!sim.Start({})) return "the unit did not start: " + sim.Errors();
  const auto mrxctl = [&](const std::string& args) {
    const fs::path err = cell.dir / "prepare.err";
    std::string out;
    const int code = testing_support::RunProgram(
        "cd " + cell.dir.string() + " && " + cell.Mrxctl(args) + " 2>" + err.string(), out,
        kPrepareLimit);
    if (code == kExitOk) return std::string();
    return "'mrxctl " + args + "' " + Format("exit %d: ", code) + LastLine(ReadText(err));
  };
  if (auto why = mrxctl("backup " + BackupFile(cell).string() + " --no-curves"); !why.empty()) {
    return why;
  }
  std::error_code ec;
  fs::copy_file(cell.dir / "state", BackedUpState(cell), ec);
  if (ec) return "the state file cannot be kept: " + ec.message();
  const Snapshot backedUp = BackedUp(cell);
  if (!backedUp.error.empty()) return "the state file does not load: " + backedUp.error;
  for (const std::uint8_t a : kChangedModules) {
    const auto image = ChangedImage(a, backedUp.stored.at(a));
    const fs::path file = cell.dir / Format("module-%u.image", a);
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    if (auto why = mrxctl(Format("settings write %u ", a) + file.string()); !why.empty()) {
      return why;
    }
  }
  if (!sim.StopCleanly()) return "the unit did not stop cleanly";
  // A restore of an unchanged unit would prove nothing.
  const Snapshot changed = Load(ScenarioOf(ScenarioText(cell)), cell.dir / "state");
  for (const std::uint8_t a : kChangedModules) {
    if (changed.stored.at(a) != ChangedImage(a, backedUp.stored.at(a))) {
      return Format("module %u did not store its changed settings", a);
    }
  }
  return {};
}

// ---------------------------------------------------------------------------
// A card that goes silent, and a backup of another unit restored.

constexpr std::uint8_t kSilentCard = kHejAddress;
constexpr std::uint16_t kOtherSerial = 1521;

fs::path WholeBackup(const Cell& cell) {
  return cell.dir / "whole.backup";
}

// Whether `file` holds a whole backup of the cell's unit; why not.
bool WholeBackupOfTheUnit(const fs::path& file, std::string& why) {
  const std::string text = ReadText(file);
  if (text.empty()) {
    why = "no backup was written";
    return false;
  }
  if (text.find("\nmissing ") != std::string::npos) {
    why = "the backup is partial";
    return false;
  }
  for (const std::uint8_t a : kChangedModules) {
    if (text.find(Format("\nmodule %u sub=", a)) == std::string::npos) {
      why = Format("the backup lacks module %u", a);
      return false;
    }
  }
  return true;
}

// The newest backup an update kept of the cell's unit; empty when none.
fs::path SafetyBackupOf(const Cell& cell) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(
           cell.dir / "data" / "mrx520" / "backups" / Format("%04u", kSerial), ec)) {
    files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files.empty() ? fs::path() : files.back();
}

// The other unit: another serial, other card serials, its KLF310 elsewhere.
std::string OtherScenarioText() {
  std::string text =
      ScenarioText(Format("127.78.%u.%u", (static_cast<unsigned>(getpid()) >> 8) % 250 + 1,
                          static_cast<unsigned>(getpid()) % 250 + 1));
  const std::string unitSerial = Format("serial=%u", kSerial);
  text.replace(text.find(unitSerial), unitSerial.size(), Format("serial=%u", kOtherSerial));
  for (auto at = text.find("serial=200"); at != std::string::npos; at = text.find("serial=200")) {
    text.replace(at, 10, "serial=300");
  }
  return text;
}

fs::path OtherBackupFile(const Cell& cell) {
  return cell.dir / "other-unit.backup";
}

Snapshot OtherBackedUp(const Cell& cell) {
  return Load(ScenarioOf(OtherScenarioText()), cell.dir / "other" / "state");
}

// What restoring the other unit's backup leaves in a module: its settings
// with the module's own identity and, in the KLF310, its own network side.
std::vector<std::uint8_t> OtherRestoredImage(const Snapshot& other, const Snapshot& now,
                                             std::uint8_t address) {
  std::vector<std::uint8_t> image = other.stored.at(address);
  const auto& own = now.stored.at(address);
  std::copy_n(own.begin(), std::min({pu::IdentityRecord::kSize, own.size(), image.size()}),
              image.begin());
  constexpr std::size_t kNetworkEnd = pu::Klf310Image::kSubnet + pu::Klf310Image::kAddressSize;
  if (address == kKlfAddress && image.size() >= kNetworkEnd && own.size() >= kNetworkEnd) {
    std::copy(own.begin() + pu::Klf310Image::kMac, own.begin() + kNetworkEnd,
              image.begin() + pu::Klf310Image::kMac);
  }
  return image;
}

// A backup of the other unit, fresh; then the cell's unit changed as the
// restore row changes it, so that the restore has everything to write.
std::string PrepareOtherRestore(const Cell& cell) {
  const fs::path otherDir = cell.dir / "other";
  std::error_code ec;
  fs::create_directories(otherDir / "rt", ec);
  fs::permissions(otherDir / "rt", fs::perms::owner_all, ec);
  std::ofstream(otherDir / "unit.scenario") << OtherScenarioText();
  {
    Sim other(otherDir);
    if (!other.Start({})) return "the other unit did not start: " + other.Errors();
    const fs::path err = cell.dir / "prepare.err";
    std::string out;
    const int code = testing_support::RunProgram(
        "MRX_RUNTIME_DIR=" + (otherDir / "rt").string() +
            " " MRX_BINARY_DIR "/tools/mrxctl/mrxctl backup " + OtherBackupFile(cell).string() +
            " --no-curves 2>" + err.string(),
        out, kPrepareLimit);
    if (code != kExitOk)
      return Format("the other unit's backup: exit %d: ", code) + LastLine(ReadText(err));
    if (!other.StopCleanly()) return "the other unit did not stop cleanly";
  }
  return PrepareRestore(cell);
}

// What the rows leave alone, checked for every row: versions, processors,
// curves and stored images, except the part `row` names as its own.
enum class Part { kHost, kBoot, kProcessor, kKlfApplication, kCurve, kStoredImages };

bool OthersUnchanged(Part own, const Snapshot& before, const Snapshot& after, std::string& why) {
  struct Check {
    Part part;
    const char* what;
    bool same;
  };
  const Check checks[] = {
      {Part::kHost, "the host version", before.host == after.host},
      {Part::kBoot, "the boot version", before.boot == after.boot},
      {Part::kProcessor, "the QVO520's processor records", before.processors == after.processors},
      {Part::kKlfApplication, "the KLF310 application",
       before.klfApplication == after.klfApplication},
      {Part::kCurve, "the KLF310 curves", before.curves == after.curves},
  };
  for (const Check& c : checks) {
    if (c.part != own && !c.same) {
      why = std::string(c.what) + " changed";
      return false;
    }
  }
  if (own != Part::kStoredImages) return StoredWhole(before, after, nullptr, why);
  return true;
}

std::vector<std::string> Opt(const char* name, unsigned long value) {
  return {name, std::to_string(value)};
}

std::vector<Row> Rows() {
  const auto versionRow = [](Part part, const fw::_DoloPacket* (*image)(),
                             std::string Snapshot::*field) {
    return std::pair{[=](const Cell&, const Snapshot&, const Snapshot& after, std::string& why) {
                       const std::string carried = CarriedVersion(image());
                       if (after.*field == carried) return true;
                       why = "the unit holds " + after.*field + ", not the carried " + carried;
                       return false;
                     },
                     [=](const Cell&, const Snapshot& before, const Snapshot& after,
                         std::string& why) { return OthersUnchanged(part, before, after, why); }};
  };
  const auto host = versionRow(Part::kHost, HostImage, &Snapshot::host);
  const auto boot = versionRow(Part::kBoot, BootImage, &Snapshot::boot);
  const auto klf = versionRow(Part::kKlfApplication, KlfImage, &Snapshot::klfApplication);
  const auto nothing = [](const Cell&) { return std::string(); };
  return {
      {"host",
       "host update",
       Link::kUsb,
       7,
       1999,
       [] { return Blocks(HostImage(), fw::CDoloThread::kBlockSize); },
       [](const Cell& c) { return c.Mrxctl("update host"); },
       nothing,
       host.first,
       host.second,
       {},
       true},
      {"boot",
       "boot update",
       Link::kUsb,
       7,
       149,
       [] { return Blocks(BootImage(), fw::CDoloThread::kBlockSize); },
       [](const Cell& c) { return c.Mrxctl("update boot"); },
       nothing,
       boot.first,
       boot.second,
       {},
       true},
      {"qvo",
       "card DSP update",
       Link::kUsb,
       7,
       601,
       [] {
         const auto [first, second] = QvoImages();
         return Blocks(first, fw::CCardDoloThread::kBlockSize) +
                Blocks(second, fw::CCardDoloThread::kBlockSize);
       },
       [](const Cell& c) { return c.Mrxctl(Format("qvo update %u left", kQvoAddress)); },
       nothing,
       [](const Cell&, const Snapshot&, const Snapshot& after, std::string& why) {
         const auto now = pu::ProcessorRecord::Decode(after.processors[0]);
         const std::string carried = CarriedVersion(QvoImages().first);
         if (VersionText(now.major, now.minor) == carried) return true;
         why = "the left processor runs " + VersionText(now.major, now.minor) +
               ", not the carried " + carried;
         return false;
       },
       [](const Cell&, const Snapshot& before, const Snapshot& after, std::string& why) {
         if (before.processors[1] != after.processors[1]) {
           why = "the right processor's record changed";
           return false;
         }
         return OthersUnchanged(Part::kProcessor, before, after, why);
       },
       {},
       true},
      {"klf",
       "KLF310 update",
       Link::kKlf,
       11,
       47,
       [] { return Blocks(KlfImage(), desktop::roomcorrection::CKLF310Thread::kBlockSize); },
       [](const Cell& c) { return c.Mrxctl("klf update"); },
       nothing,
       klf.first,
       klf.second,
       {},
       true},
      {"curve",
       "KLF310 curve write",
       Link::kKlf,
       20,
       17,
       [] {
         return static_cast<std::uint32_t>(
             (pk::CurveBin::kBinCount + pk::CurveRange::kMaxBins - 1) / pk::CurveRange::kMaxBins);
       },
       [](const Cell& c) {
         return c.Mrxctl(Format("klf curve put %d ", kCurveChannel) + SlopeFile(c).string());
       },
       [](const Cell& c) {
         std::ofstream(SlopeFile(c)) << pk::SlopeFile::Write(WantedCurve());
         return std::string();
       },
       [](const Cell&, const Snapshot& before, const Snapshot& after, std::string& why) {
         if (after.curves[kCurveChannel] == NewCurve(before.curves[kCurveChannel])) return true;
         why = "channel " + std::to_string(kCurveChannel) + "'s curve is not the file's";
         return false;
       },
       [](const Cell&, const Snapshot& before, const Snapshot& after, std::string& why) {
         for (std::size_t c = 0; c < before.curves.size(); ++c) {
           const bool own = c == kCurveChannel;
           if (after.curves[c] == before.curves[c]) continue;
           if (own && after.curves[c] == NewCurve(before.curves[c])) continue;
           why = own ? "channel " + std::to_string(c) + "'s curve is neither old nor new"
                     : "channel " + std::to_string(c) + "'s curve changed";
           return false;
         }
         Snapshot same = after;
         same.curves = before.curves;
         return OthersUnchanged(Part::kCurve, before, same, why);
       },
       {},
       true},
      {"remote",
       "remote block write",
       Link::kStream,
       3,
       3,
       [] { return static_cast<std::uint32_t>(std::size(kRemoteModules)); },
       [](const Cell& c) {
         // Each block is the module's image less its identity.
         platform::VirtualClock clock;
         sim::SimUnit unit(ScenarioOf(ScenarioText(c)), clock);
         std::string modules;
         for (const std::uint8_t a : kRemoteModules) {
           modules +=
               Format(" %u:%zu", a, unit.StoredSettings(a).size() - pu::IdentityRecord::kSize);
         }
         return c.Environment() + c.self + " remote-write " + (c.dir / "rt").string() + " " +
                std::to_string(kSerial) + modules;
       },
       nothing,
       [](const Cell&, const Snapshot& before, const Snapshot& after, std::string& why) {
         for (const std::uint8_t a : kRemoteModules) {
           if (after.stored.at(a) != RemoteImage(before, a)) {
             why = Format("module %u does not hold the block written", a);
             return false;
           }
         }
         return true;
       },
       [](const Cell&, const Snapshot& before, const Snapshot& after, std::string& why) {
         if (!OthersUnchanged(Part::kStoredImages, before, after, why)) return false;
         return StoredWhole(
             before, after,
             [&](std::uint8_t a) -> std::optional<std::vector<std::uint8_t>> {
               if (!IsRemoteModule(a)) return std::nullopt;
               return RemoteImage(before, a);
             },
             why);
       },
       {},
       true},
      {"restore",
       "settings restore",
       Link::kUsb,
       7,
       29,
       RestoreFrames,
       [](const Cell& c) { return c.Mrxctl("restore " + BackupFile(c).string() + " --no-curves"); },
       PrepareRestore,
       [](const Cell& c, const Snapshot& before, const Snapshot& after, std::string& why) {
         const Snapshot backedUp = BackedUp(c);
         for (const auto& [a, image] : backedUp.stored) {
           const auto wanted = RestoredImage(backedUp, before, a);
           if (after.stored.at(a) == wanted) continue;
           const bool ownIdentity =
               std::equal(wanted.begin(), wanted.begin() + pu::IdentityRecord::kSize,
                          after.stored.at(a).begin());
           why = Format(ownIdentity ? "module %u's stored settings are not the backup's"
                                    : "module %u does not keep its own identity",
                        a);
           return false;
         }
         return true;
       },
       [](const Cell& c, const Snapshot& before, const Snapshot& after, std::string& why) {
         if (!OthersUnchanged(Part::kStoredImages, before, after, why)) return false;
         const Snapshot backedUp = BackedUp(c);
         return StoredWhole(
             before, after,
             [&](std::uint8_t a) -> std::optional<std::vector<std::uint8_t>> {
               return RestoredImage(backedUp, before, a);
             },
             why);
       },
       {},
       true},
      {"backup-silent", "backup, a card silent", Link::kUsb, 7, 23, [] { return 0u; },
       [](const Cell& c) { return c.Mrxctl("backup " + WholeBackup(c).string() + " --no-curves"); },
       nothing,
       [](const Cell& c, const Snapshot&, const Snapshot&, std::string& why) {
         return WholeBackupOfTheUnit(WholeBackup(c), why);
       },
       // Nothing of the unit changes, and no backup short of a card is left.
       [](const Cell& c, const Snapshot& before, const Snapshot& after, std::string& why) {
         if (fs::exists(WholeBackup(c)) && !WholeBackupOfTheUnit(WholeBackup(c), why)) {
           why = "a backup was left that is not whole: " + why;
           return false;
         }
         if (before.host != after.host) {
           why = "the host version changed";
           return false;
         }
         return OthersUnchanged(Part::kHost, before, after, why);
       },
       Opt("--silent-module", kSilentCard), false},
      {"update-silent", "host update, a card silent", Link::kUsb, 7, 1999,
       [] { return Blocks(HostImage(), fw::CDoloThread::kBlockSize); },
       [](const Cell& c) {
         return "XDG_DATA_HOME=" + (c.dir / "data").string() + " " + c.Mrxctl("update host");
       },
       nothing,
       // Updated, and only after a whole backup of the unit.
       [=](const Cell& c, const Snapshot& before, const Snapshot& after, std::string& why) {
         if (!host.first(c, before, after, why)) return false;
         if (WholeBackupOfTheUnit(SafetyBackupOf(c), why)) return true;
         why = "the backup before the update: " + why;
         return false;
       },
       [=](const Cell& c, const Snapshot& before, const Snapshot& after, std::string& why) {
         const fs::path kept = SafetyBackupOf(c);
         if (!kept.empty() && !WholeBackupOfTheUnit(kept, why)) {
           why = "a backup before the update was kept that is not whole: " + why;
           return false;
         }
         return host.second(c, before, after, why);
       },
       Opt("--silent-module", kSilentCard), false},
      {"restore-other",
       "restore of another unit",
       Link::kUsb,
       7,
       29,
       RestoreFrames,
       [](const Cell& c) {
         return c.Mrxctl("restore " + OtherBackupFile(c).string() + " --no-curves --other-unit");
       },
       PrepareOtherRestore,
       [](const Cell& c, const Snapshot& before, const Snapshot& after, std::string& why) {
         const Snapshot other = OtherBackedUp(c);
         for (const auto& [a, image] : other.stored) {
           if (after.stored.at(a) == OtherRestoredImage(other, before, a)) continue;
           why =
               Format("module %u does not hold the other unit's settings with its own identity", a);
           return false;
         }
         return true;
       },
       [](const Cell& c, const Snapshot& before, const Snapshot& after, std::string& why) {
         if (!OthersUnchanged(Part::kStoredImages, before, after, why)) return false;
         const Snapshot other = OtherBackedUp(c);
         return StoredWhole(
             before, after,
             [&](std::uint8_t a) -> std::optional<std::vector<std::uint8_t>> {
               return OtherRestoredImage(other, before, a);
             },
             why);
       },
       {},
       true},
  };
}

std::vector<std::string> CutArgs(const Row& row, Cut cut) {
  const std::uint32_t blocks = row.blocks();
  const std::uint32_t at = cut == Cut::kFirst ? 1 : cut == Cut::kMiddle ? (blocks + 1) / 2 : blocks;
  switch (row.link) {
    case Link::kUsb: {
      const std::string_view key = row.key;
      return Opt(key == "qvo"                 ? "--card-power-cut-at"
                 : key.starts_with("restore") ? "--settings-power-cut-at"
                                              : "--power-cut-at",
                 at);
    }
    case Link::kKlf:
      return Opt("--klf-power-cut-at", at);
    case Link::kStream:
      return Opt("--stream-power-cut-at", at);
  }
  return {};
}

std::vector<Column> Columns() {
  const auto cut = [](Cut where) {
    return [where](const Row& row) { return CutArgs(row, where); };
  };
  return {
      {"none", "none", Cut::kNone, true, [](const Row&) { return std::vector<std::string>{}; }},
      {"fail", "failed exchange", Cut::kNone, false,
       [](const Row& row) {
         switch (row.link) {
           case Link::kUsb:
             return Opt("--fail-every", row.failEvery);
           case Link::kKlf:
             return Opt("--klf-fail-every", row.failEvery);
           case Link::kStream:
             return Opt("--stream-crc-every", row.failEvery);
         }
         return std::vector<std::string>{};
       }},
      {"lost", "lost frame", Cut::kNone, false,
       [](const Row& row) {
         switch (row.link) {
           case Link::kUsb:
             return Opt("--drop-every", row.lostEvery);
           case Link::kKlf:
             return Opt("--klf-lost-every", row.lostEvery);
           case Link::kStream:
             return Opt("--stream-lost-every", row.lostEvery);
         }
         return std::vector<std::string>{};
       }},
      {"refused", "refused connection", Cut::kNone, false,
       [](const Row& row) {
         switch (row.link) {
           case Link::kUsb:
             return Opt("--refuse-opens", 1500);
           case Link::kKlf:
             return Opt("--klf-refuse-ms", 1500);
           case Link::kStream:
             return Opt("--stream-refuse-ms", 1500);
         }
         return std::vector<std::string>{};
       }},
      {"delay", "delay", Cut::kNone, true,
       [](const Row& row) {
         switch (row.link) {
           case Link::kUsb:
             return Opt("--delay", 1);
           case Link::kKlf:
             return Opt("--klf-delay-ms", 5);
           case Link::kStream:
             return Opt("--stream-delay-ms", 30);
         }
         return std::vector<std::string>{};
       }},
      {"kill-first", "killed at first block", Cut::kFirst, false, cut(Cut::kFirst)},
      {"kill-middle", "killed at middle block", Cut::kMiddle, false, cut(Cut::kMiddle)},
      {"kill-last", "killed at last block", Cut::kLast, false, cut(Cut::kLast)},
      // The KLF310 card falls silent (takes connections, answers nothing) at
      // a request of its update port: 1 the start of its boot software, 2
      // the erase, then the blocks, the end and the start.
      {"silent-erase", "card silent at the erase", Cut::kNone, false,
       [](const Row&) { return Opt("--klf-silent-from", 2); }, "klf"},
      {"silent-last", "card silent at the last block", Cut::kNone, false,
       [](const Row& row) { return Opt("--klf-silent-from", 2 + row.blocks()); }, "klf"},
      {"silent-end", "card silent at the end of the download", Cut::kNone, false,
       [](const Row& row) { return Opt("--klf-silent-from", 3 + row.blocks()); }, "klf"},
      {"state-full", "state on a full disk", Cut::kNone, false,
       [](const Row&) { return std::vector<std::string>{}; }, nullptr, true},
  };
}

// ---------------------------------------------------------------------------
// One cell.

constexpr auto kOperationLimit = seconds(120);
// Smaller than any state file, so that no save can complete.
constexpr rlim_t kFullDiskBytes = 512;

struct Outcome {
  std::string text;  // "ok", "fail→74"
  std::string red;   // why the cell is red; empty when green
  double seconds = 0;
};

struct Run {
  int code = -1;
  std::string err;
};

Run Operate(const Cell& cell) {
  Run run;
  std::string out;
  const fs::path err = cell.dir / "op.err";
  run.code = testing_support::RunProgram(
      "cd " + cell.dir.string() + " && " + cell.row.command(cell) + " 2>" + err.string(), out,
      kOperationLimit);
  run.err = ReadText(err);
  return run;
}

// The operation as it must go on a unit without faults: verified success.
std::string MustSucceed(const Cell& cell, const sim::Scenario& scenario, const char* when) {
  const fs::path state = cell.dir / "state";
  const Snapshot before = Load(scenario, state);
  Sim sim(cell.dir);
  if (!sim.Start({})) return std::string("the unit did not start ") + when + ": " + sim.Errors();
  const Run run = Operate(cell);
  const bool stopped = sim.StopCleanly();
  if (run.code != kExitOk) {
    return Format("exit %d ", run.code) + when + ": " + LastLine(run.err);
  }
  if (!stopped) return std::string("the simulator did not stop cleanly ") + when;
  const Snapshot after = Load(scenario, state);
  if (!after.error.empty()) return "the state file does not load " + std::string(when);
  std::string why;
  if (!cell.row.done(cell, before, after, why)) {
    return "exit 0 " + std::string(when) + " but " + why;
  }
  if (!cell.row.whole(cell, before, after, why)) return why + " " + when;
  return {};
}

Outcome RunCell(const Row& row, const Column& column, const std::string& self) {
  const auto start = std::chrono::steady_clock::now();
  testing_support::TempDir dir;
  Cell cell{row, column, dir.path(), self};
  Outcome o;
  const auto finish = [&](Outcome& result) -> Outcome {
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
  };
  fs::create_directory(dir.path() / "rt");
  fs::permissions(dir.path() / "rt", fs::perms::owner_all);
  const std::string text = ScenarioText(cell);
  std::ofstream(dir.path() / "unit.scenario") << text;
  const sim::Scenario scenario = ScenarioOf(text);
  if (const std::string why = row.prepare(cell); !why.empty()) {
    o.red = "the cell could not be prepared: " + why;
    return finish(o);
  }

  Sim sim(dir.path());
  std::vector<std::string> simArgs = column.simArgs(row);
  simArgs.insert(simArgs.end(), row.fault.begin(), row.fault.end());
  if (!sim.Start(simArgs)) {
    o.red = "the simulator did not start: " + sim.Errors();
    return finish(o);
  }
  const Snapshot before = Load(scenario, dir.path() / "state");
  if (!before.error.empty()) {
    o.red = "the fresh state file does not load: " + before.error;
    return finish(o);
  }
  if (column.stateFull && !sim.LimitFileSize(kFullDiskBytes)) {
    o.red = std::string("the simulator's file size cannot be limited: ") + std::strerror(errno);
    return finish(o);
  }
  const Run run = Operate(cell);
  if (run.code < 0) {
    o.red = Format("no end within %lld s", static_cast<long long>(kOperationLimit.count()));
    return finish(o);
  }
  if (column.cut != Cut::kNone) {
    if (!sim.DiedOfPowerCut(seconds(10))) {
      o.red = "the power cut never came";
      return finish(o);
    }
  } else if (!sim.StopCleanly()) {
    o.red = "the simulator did not stop cleanly";
    return finish(o);
  }
  const Snapshot after = Load(scenario, dir.path() / "state");
  if (!after.error.empty()) {
    o.red = "the state file does not load: " + after.error;
    return finish(o);
  }
  std::string why;
  if (!row.whole(cell, before, after, why)) {
    o.red = "torn: " + why;
    return finish(o);
  }
  if (run.code == kExitOk) {
    if (!row.done(cell, before, after, why)) {
      o.red = "success reported for a failure: " + why;
      return finish(o);
    }
    o.text = "ok";
    return finish(o);
  }
  o.text = Format("fail→%d", run.code);
  if (column.mustSucceed && row.fault.empty()) {
    o.red = Format("exit %d: ", run.code) + LastLine(run.err);
    return finish(o);
  }
  if (run.code != kExitIoError && run.code != kExitUnavailable) {
    o.red = Format("exit %d is not a link failure's code: ", run.code) + LastLine(run.err);
    return finish(o);
  }
  if (LastLine(run.err).empty()) {
    o.red = Format("exit %d with nothing said on standard error", run.code);
    return finish(o);
  }
  // The unit recovers: the same operation, without the fault, succeeds.
  if (const std::string failed = MustSucceed(cell, scenario, "when run again"); !failed.empty()) {
    o.red = failed;
  }
  return finish(o);
}

// ---------------------------------------------------------------------------
// The remote row's writer: stores a new block in each module over the
// Bluetooth stream, as the remote's setup pages save one, and confirms each
// by asking the unit for it again. Exit codes as mrxctl's: 0 all written and
// confirmed, 69 the unit never answered, 74 the link failed part way.

constexpr auto kRemoteConnectLimit = seconds(8);
constexpr auto kRemoteBlockLimit = seconds(8);
constexpr auto kRemoteAskEvery = milliseconds(300);

// `modules`: address and the length of its block (its image less the identity).
int RemoteWrite(const fs::path& runtimeDir, std::uint16_t serial,
                const std::vector<std::pair<std::uint8_t, std::size_t>>& modules) {
  platform::SimBluetooth bluetooth(runtimeDir / "bluetooth");
  platform::QueueTarget window;  // outlives the link, whose reader posts to it
  remote::link::UnitLink link(bluetooth, platform::DefaultClock());
  remote::link::UnitState state(link, platform::DefaultClock());
  link.SetUnit(sim::BluetoothRegistration::AddressForSerial(serial), "Unit",
               std::string(protocol::remote::kServiceHardware));
  link.SetEnabled(true);
  state.StartPolling();
  if (!link.Start(&window, false)) {
    std::fprintf(stderr, "remote-write: the link cannot start\n");
    return kExitUnavailable;
  }
  const auto pump = [&](milliseconds limit, const std::function<bool()>& done) {
    return testing_support::WaitFor(
        [&] {
          window.Drain([&](const platform::Message& m) { state.HandleLinkMessage(m); });
          state.Tick();
          return done();
        },
        limit);
  };
  if (!pump(kRemoteConnectLimit, [&] { return state.HaveInfo() && state.HaveStatus(); })) {
    std::fprintf(stderr, "remote-write: the unit did not answer%s\n",
                 link.IsConnected() ? "" : " (no connection)");
    return kExitUnavailable;
  }
  for (const auto& [address, length] : modules) {
    const std::vector<std::uint8_t> wanted = RemotePattern(address, length);
    const auto end = std::chrono::steady_clock::now() + kRemoteBlockLimit;
    bool confirmed = false;
    while (!confirmed && std::chrono::steady_clock::now() < end) {
      // Only an answer to this request counts: the old one is forgotten.
      state.Reset();
      state.RequestModuleBlock(address, 0);
      if (!pump(kRemoteAskEvery, [&] { return state.Block().Address() == address; })) continue;
      const auto& settings = state.Block().settings;
      confirmed =
          settings.size() >= length && std::equal(wanted.begin(), wanted.end(), settings.begin());
      // Written (again) until the unit shows it: a write may be lost on the way.
      if (!confirmed) state.WriteModuleBlock(address, 0, wanted, false);
    }
    if (!confirmed) {
      std::fprintf(stderr, "remote-write: module %u did not confirm its new settings\n", address);
      return kExitIoError;
    }
  }
  std::printf("stored and confirmed %zu blocks\n", modules.size());
  return kExitOk;
}

int RemoteWriteMain(int argc, char** argv) {
  std::vector<std::pair<std::uint8_t, std::size_t>> modules;
  for (int i = 4; i < argc; ++i) {
    unsigned address = 0;
    std::size_t length = 0;
    if (std::sscanf(argv[i], "%u:%zu", &address, &length) != 2 || address > 15 ||
        length > protocol::remote::ModuleBlock::kMaxSettings) {
      argc = 0;
      break;
    }
    modules.emplace_back(static_cast<std::uint8_t>(address), length);
  }
  if (argc < 5) {
    std::fprintf(stderr, "usage: fault_matrix remote-write DIR SERIAL ADDRESS:LENGTH...\n");
    return 64;
  }
  return RemoteWrite(argv[2], static_cast<std::uint16_t>(std::atoi(argv[3])), modules);
}

// ---------------------------------------------------------------------------

constexpr const char* kLegend =
    "ok: exit 0, and the state the unit kept holds the new software or data.\n"
    "fail→N: exit N with a message on standard error; every stored image old or\n"
    "new throughout; the unit, restarted without the fault, then took the same\n"
    "operation (verified as above).\n"
    "RED: why: anything else (each listed again below the table).\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "remote-write") return RemoteWriteMain(argc, argv);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, EndSimulatorsAndStop);
  const std::vector<Row> rows = Rows();
  const std::vector<Column> columns = Columns();
  std::vector<std::string> wanted;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--cell" && i + 1 < argc) {
      wanted.push_back(argv[++i]);
    } else if (arg == "--list") {
      for (const Row& r : rows) {
        for (const Column& c : columns) {
          if (!c.Applies(r)) continue;
          std::string options;
          for (const std::string& o : c.simArgs(r)) options += " " + o;
          for (const std::string& o : r.fault) options += " " + o;
          std::printf("%-20s mrx520-sim%s\n", (std::string(r.key) + ":" + c.key).c_str(),
                      options.c_str());
        }
      }
      return 0;
    } else {
      std::fprintf(stderr,
                   "usage: fault_matrix [--cell ROW:COLUMN]... | --list\n"
                   "       fault_matrix remote-write DIR SERIAL ADDRESS:LENGTH...\n");
      return 64;
    }
  }
  const auto chosen = [&](const Row& r, const Column& c) {
    return wanted.empty() || std::find(wanted.begin(), wanted.end(),
                                       std::string(r.key) + ":" + c.key) != wanted.end();
  };
  for (const std::string& w : wanted) {
    bool known = false;
    for (const Row& r : rows) {
      for (const Column& c : columns) {
        known = known || (c.Applies(r) && w == std::string(r.key) + ":" + c.key);
      }
    }
    if (!known) {
      std::fprintf(stderr, "fault_matrix: no cell '%s' (--list names them)\n", w.c_str());
      return 64;
    }
  }
  const std::string self = fs::canonical("/proc/self/exe").string();
  std::map<std::pair<std::string, std::string>, Outcome> outcomes;
  std::vector<std::string> reds;
  for (const Row& r : rows) {
    for (const Column& c : columns) {
      if (!c.Applies(r) || !chosen(r, c)) continue;
      std::fprintf(stderr, "%s × %s ...", r.name, c.name);
      Outcome o = RunCell(r, c, self);
      std::fprintf(stderr, " %s (%.1f s)\n", o.red.empty() ? o.text.c_str() : "RED", o.seconds);
      if (!o.red.empty()) reds.push_back(std::string(r.name) + " × " + c.name + ": " + o.red);
      outcomes[{r.key, c.key}] = std::move(o);
    }
  }
  // The table: one line per row that ran, one column per fault.
  std::printf("| operation |");
  for (const Column& c : columns) std::printf(" %s |", c.name);
  std::printf("\n|---|");
  for (std::size_t i = 0; i < columns.size(); ++i) std::printf("---|");
  std::printf("\n");
  for (const Row& r : rows) {
    bool any = false;
    for (const Column& c : columns) any = any || outcomes.count({r.key, c.key}) != 0;
    if (!any) continue;
    std::printf("| %s |", r.name);
    for (const Column& c : columns) {
      const auto it = outcomes.find({r.key, c.key});
      const std::string text = it == outcomes.end()      ? "-"
                               : !it->second.red.empty() ? "RED: " + it->second.red
                                                         : it->second.text;
      std::printf(" %s |", text.c_str());
    }
    std::printf("\n");
  }
  std::printf("\n%s", kLegend);
  for (const std::string& red : reds) std::printf("RED %s\n", red.c_str());
  std::printf("%zu passed, %zu failed\n", outcomes.size() - reds.size(), reds.size());
  return reds.empty() ? 0 : 1;
}
