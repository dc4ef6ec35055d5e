#include "tools/mrxctl/Mrxctl.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>

#include "desktop/firmware/CDoloThread.h"
#include "desktop/firmware/CheckedUpdateTransport.h"
#include "desktop/firmware/DoloPacket.h"
#include "desktop/firmware/UpdateRunner.h"
#include "desktop/unitlink/UnitProtocol.h"
#include "platform/AtomicFile.h"
#include "platform/Bytes.h"
#include "platform/Clock.h"
#include "platform/PrintableText.h"
#include "platform/RuntimeDir.h"
#include "platform/SocketPath.h"
#include "platform/UnixDeviceIo.h"
#include "protocol/unit/IdentityRecord.h"
#include "protocol/unit/ModelNames.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/SettingsImage.h"
#include "protocol/unit/StatusRecord.h"
#include "tools/mrxctl/BackupCommand.h"
#include "tools/mrxctl/Context.h"
#include "tools/mrxctl/DisplayCommand.h"
#include "tools/mrxctl/HandheldCommand.h"
#include "tools/mrxctl/InterruptGuard.h"
#include "tools/mrxctl/KlfCommand.h"
#include "tools/mrxctl/PhonoCommand.h"
#include "tools/mrxctl/ProgressView.h"
#include "tools/mrxctl/QvoCommand.h"
#include "tools/mrxctl/RemoteCommand.h"

namespace tools::mrxctl {

namespace ul = desktop::unitlink;
namespace fw = desktop::firmware;
namespace pu = protocol::unit;

namespace {

std::string Format(const char* fmt, auto... args) {
  char buf[256];
  std::snprintf(buf, sizeof buf, fmt, args...);
  return buf;
}

std::string ModelName(const ul::ModuleInfo& m) {
  return std::string(pu::ModuleModel(m.address, m.Fields().type));
}

std::string VersionText(const pu::ModuleDescriptor& f) {
  return Format("V%d.%03d", f.versionMajor, f.versionMinor);
}

std::string DateText(const pu::ModuleDescriptor& f) {
  if (f.versionYear == 0) return "";
  return Format("%02d.%02d.%04d", f.versionDay, f.versionMonth, 2000 + f.versionYear);
}

using Json = nlohmann::ordered_json;

void PrintJson(std::ostream& out, const Json& value) {
  out << value.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
}

int NoUnit(Context& ctx) {
  const auto folder = platform::RuntimeDir();
  if (const auto problem = platform::SocketFolderProblem(folder, folder / pu::kDeviceName);
      !problem.empty()) {
    return FolderTooLong(ctx.err, problem);
  }
  ctx.err << "mrxctl: no MRX520 unit found: nothing answers at "
          << (platform::RuntimeDir() / pu::kDeviceName).string()
          << ".\nConnect the unit, or start the simulator (mrx520-sim).\n";
  return kExitUnavailable;
}

int NoAnswer(Context& ctx) {
  ctx.err << "mrxctl: the unit did not answer\nIts device is there, but it gave no reply in "
          << platform::UnixDeviceIo::kReplyTimeoutMs / 1000
          << " seconds: switch it off and on, or restart the simulator.\n";
  return kExitIoError;
}

int ModuleDidNotAnswer(Context& ctx, unsigned address) {
  ctx.err << "mrxctl: module " << address << " did not answer\n";
  return kExitIoError;
}

int NoModuleAt(Context& ctx, unsigned address) {
  SayNoModuleAt(ctx, address);
  return kExitUnavailable;
}

// The main unit's descriptor; the exit code that says why there is none.
int ReadMainUnit(Context& ctx, ul::ModuleInfo& main) {
  switch (Ask(ctx, [&] { return ul::ReadModuleDescriptor(ctx.usb, 0, main); })) {
    case Answer::kAnswered:
      return kExitOk;
    case Answer::kNoUnit:
      return NoUnit(ctx);
    case Answer::kRefused:
    case Answer::kSilent:
      break;
  }
  return NoAnswer(ctx);
}

// Discovery as the desktop program does it, each exchange asked again before
// an address counts as empty. `silentAt` is the card address that did not
// answer in time (0 when none): enumeration ends there as at an empty one.
int DiscoverUnit(Context& ctx, ul::Discovery& d, unsigned& silentAt) {
  silentAt = 0;
  if (int rc = ReadMainUnit(ctx, d.mainUnit); rc != kExitOk) return rc;
  d.unitPresent = true;
  const unsigned slots = d.mainUnit.Fields().slotCount;
  for (unsigned i = 1; i <= slots; ++i) {
    ul::ModuleInfo card;
    const Answer answer = Ask(
        ctx, [&] { return ul::ReadModuleDescriptor(ctx.usb, static_cast<std::uint8_t>(i), card); });
    if (answer == Answer::kNoUnit) return NoUnit(ctx);
    if (answer == Answer::kSilent) silentAt = i;
    if (answer != Answer::kAnswered) break;
    d.cards.push_back(card);
  }
  return kExitOk;
}

// Finds a module by address through discovery, as the desktop program does.
int FindModule(Context& ctx, unsigned address, ul::ModuleInfo& module) {
  ul::Discovery d;
  unsigned silentAt = 0;
  if (int rc = DiscoverUnit(ctx, d, silentAt); rc != kExitOk) return rc;
  if (address == 0) {
    module = d.mainUnit;
    return kExitOk;
  }
  for (const ul::ModuleInfo& card : d.cards) {
    if (card.address == address) {
      module = card;
      return kExitOk;
    }
  }
  // A card that kept silent hides every address after it up to the slot count.
  if (silentAt != 0 && silentAt <= address && address <= d.mainUnit.Fields().slotCount) {
    return ModuleDidNotAnswer(ctx, silentAt);
  }
  return NoModuleAt(ctx, address);
}

int Discover(Context& ctx) {
  ul::Discovery d;
  unsigned silentAt = 0;
  if (int rc = DiscoverUnit(ctx, d, silentAt); rc != kExitOk) return rc;
  // What answered is listed all the same; a silent card makes it a failure.
  const int rc = silentAt != 0 ? ModuleDidNotAnswer(ctx, silentAt) : kExitOk;
  std::vector<ul::ModuleInfo> all{d.mainUnit};
  all.insert(all.end(), d.cards.begin(), d.cards.end());
  if (ctx.json) {
    auto modules = Json::array();
    for (const auto& m : all) {
      const auto f = m.Fields();
      modules.push_back({{"address", m.address},
                         {"subAddress", m.subAddress},
                         {"type", f.type},
                         {"model", ModelName(m)},
                         {"settingsLength", f.settingsLength},
                         {"version", VersionText(f)},
                         {"date", DateText(f)},
                         {"status", f.status},
                         {"slotCount", f.slotCount},
                         {"hasClock", f.hasClock},
                         {"versionMajor", f.versionMajor},
                         {"versionMinor", f.versionMinor},
                         {"versionDay", f.versionDay},
                         {"versionMonth", f.versionMonth},
                         {"versionYear", f.versionYear},
                         {"flags", f.flags},
                         {"descriptor", platform::HexBytes(m.descriptor)}});
    }
    PrintJson(ctx.out, modules);
    return rc;
  }
  ctx.out << "ADDR SUB TYPE MODEL     VERSION  DATE        SETTINGS  TAB\n";
  for (const auto& m : all) {
    const auto f = m.Fields();
    std::string tab = m.address == 0 ? std::string(pu::kMainUnit.pageClass) : "-";
    // A card shows the tab myMRX gives it, "-" for a type the catalogue does not know.
    if (auto type = pu::FindModuleType(f.type); type && m.address != 0) {
      tab = type->pageClass;
    }
    ctx.out << Format("%4d %3d %4d %-9s %-8s %-10s %9u  %s\n", m.address, m.subAddress, f.type,
                      ModelName(m).c_str(), VersionText(f).c_str(), DateText(f).c_str(),
                      f.settingsLength, tab.c_str());
  }
  return rc;
}

// A module whose software is not running (descriptor flags bit 0 clear, as
// after an interrupted update) has no settings to offer, as the desktop's
// tabs show it.
int FindRunningModule(Context& ctx, unsigned address, ul::ModuleInfo& m) {
  if (int rc = FindModule(ctx, address, m); rc != kExitOk) return rc;
  if (m.Fields().SoftwareRunning()) return kExitOk;
  ctx.err << "mrxctl: module " << int(m.address) << " (" << ModelName(m)
          << ") is not running its software, so its settings cannot be reached";
  if (m.address == 0) ctx.err << "; 'mrxctl update host' installs it again";
  ctx.err << "\n";
  return kExitUnavailable;
}

int NoSettingsImage(Context& ctx, const ul::ModuleInfo& m) {
  ctx.err << "mrxctl: module " << int(m.address) << " (" << ModelName(m)
          << ") has no settings image\n";
  return kExitDataError;
}

int SettingsRead(Context& ctx, unsigned address, const std::string& file) {
  ul::ModuleInfo m;
  if (int rc = FindRunningModule(ctx, address, m); rc != kExitOk) return rc;
  const std::size_t length = ul::SettingsLength(m);
  // Refused before the file is touched, as a write of it would be.
  if (length == 0) return NoSettingsImage(ctx, m);
  std::vector<std::uint8_t> image(pu::SettingsImage::kMaxSize);
  if (!ul::ReadSettingsImage(ctx.usb, m.address, length, false, image)) {
    ctx.err << "mrxctl: reading the settings of module " << int(m.address)
            << " failed part way; nothing was saved\n";
    return kExitIoError;
  }
  image.resize(length);
  if (file.empty()) {
    if (ctx.json) {
      PrintJson(ctx.out, {{"address", m.address},
                          {"settingsLength", length},
                          {"image", platform::HexBytes(image)}});
    } else {
      for (std::size_t i = 0; i < image.size(); i += 16) {
        const auto row = std::span(image).subspan(i, std::min<std::size_t>(16, image.size() - i));
        ctx.out << Format("%04zx  ", i) << platform::HexBytes(row) << "\n";
      }
    }
    return kExitOk;
  }
  std::string error;
  ctx.out.flush();  // the image may go to the same standard output
  if (!platform::WriteOutputFile(
          file, std::string_view(reinterpret_cast<const char*>(image.data()), image.size()),
          error)) {
    SayCannotWrite(ctx, error);
    return kExitIoError;
  }
  // On standard output the image is the output: the note goes beside it.
  (IsStandardOutput(file) ? ctx.err : ctx.out)
      << "saved " << length << " bytes of module " << int(m.address) << " (" << ModelName(m)
      << ") to " << file << "\n";
  return kExitOk;
}

int SettingsWrite(Context& ctx, unsigned address, const std::string& file) {
  std::string content, error;
  bool tooLarge = false;
  if (!platform::ReadFileUpTo(file, pu::SettingsImage::kMaxSize, content, error, &tooLarge)) {
    SayCannotRead(ctx, error);
    return tooLarge ? kExitDataError : kExitIoError;
  }
  ul::ModuleInfo m;
  if (int rc = FindRunningModule(ctx, address, m); rc != kExitOk) return rc;
  const std::size_t length = ul::SettingsLength(m);
  if (length == 0) return NoSettingsImage(ctx, m);
  if (content.size() != length) {
    ctx.err << "mrxctl: " << file << " holds " << content.size() << " bytes, but module "
            << int(m.address) << " (" << ModelName(m) << ") takes " << length
            << "; nothing was written\n";
    return kExitDataError;
  }
  const std::vector<std::uint8_t> image(content.begin(), content.end());
  if (!ul::WriteSettingsImage(ctx.usb, m.address, length, image)) {
    ctx.err << "mrxctl: writing the settings of module " << int(m.address)
            << " failed; the unit may hold part of the new image until it is written again\n";
    return kExitIoError;
  }
  ctx.out << "wrote and stored " << length << " bytes in module " << int(m.address) << " ("
          << ModelName(m) << ")\n";
  return kExitOk;
}

int SettingsReset(Context& ctx, unsigned address, bool newIdentity) {
  ul::ModuleInfo m;
  if (int rc = FindRunningModule(ctx, address, m); rc != kExitOk) return rc;
  const std::size_t length = ul::SettingsLength(m);
  std::array<std::uint8_t, pu::IdentityRecord::kSize> identity{};
  if (newIdentity) {
    identity = ul::NewIdentityRecord(platform::DefaultClock().Now());
  } else if (length != 0) {
    std::vector<std::uint8_t> image(pu::SettingsImage::kMaxSize);
    if (!ul::ReadSettingsImage(ctx.usb, m.address, length, false, image)) {
      ctx.err << "mrxctl: cannot read the identity of module " << int(m.address)
              << "; nothing was reset\n";
      return kExitIoError;
    }
    std::copy_n(image.begin(), pu::IdentityRecord::kSize, identity.begin());
  }
  if (!ul::ResetSettings(ctx.usb, m.address, identity)) {
    ctx.err << "mrxctl: the reset of module " << int(m.address) << " failed\n";
    return kExitIoError;
  }
  const auto id = pu::IdentityRecord::Decode(identity);
  ctx.out << "module " << int(m.address) << " (" << ModelName(m) << ") reset to defaults, serial "
          << Format("%04u", id.serial) << "\n";
  return kExitOk;
}

std::string ClockText(const platform::LocalTime& t) {
  return Format("%02d.%02d.%04d %02d:%02d:%02d", t.day, t.month, t.year, t.hour, t.minute,
                t.second);
}

int Clock(Context& ctx, bool sync) {
  ul::ModuleInfo main;
  if (int rc = ReadMainUnit(ctx, main); rc != kExitOk) return rc;
  if (main.Fields().hasClock == 0) {
    ctx.err << "mrxctl: the unit reports no real-time clock\n";
    return kExitUnavailable;
  }
  if (sync && !ul::SetClock(ctx.usb, main.address, platform::DefaultClock().Now())) {
    ctx.err << "mrxctl: setting the clock failed\n";
    return kExitIoError;
  }
  platform::LocalTime t;
  if (!ul::ReadClock(ctx.usb, main.address, t)) {
    ctx.err << "mrxctl: the unit gave no clock reading\n";
    return kExitIoError;
  }
  if (ctx.json) {
    PrintJson(ctx.out, {{"clock", ClockText(t)}});
  } else {
    ctx.out << ClockText(t) << "\n";
  }
  return kExitOk;
}

int Status(Context& ctx, std::optional<unsigned> address) {
  std::vector<ul::ModuleInfo> modules;
  if (address) {
    ul::ModuleInfo m;
    if (int rc = FindModule(ctx, *address, m); rc != kExitOk) return rc;
    modules.push_back(m);
  }
  int rc = kExitOk;
  if (!address) {
    ul::Discovery d;
    unsigned silentAt = 0;
    if (int found = DiscoverUnit(ctx, d, silentAt); found != kExitOk) return found;
    if (silentAt != 0) rc = ModuleDidNotAnswer(ctx, silentAt);
    modules.push_back(d.mainUnit);
    modules.insert(modules.end(), d.cards.begin(), d.cards.end());
  }
  auto records = Json::array();
  for (const auto& m : modules) {
    std::array<std::uint8_t, pu::StatusRecord::kSize> status{};
    const bool ok =
        Ask(ctx, [&] { return ul::ReadStatus(ctx.usb, m.address, status); }) == Answer::kAnswered;
    if (!ok) rc = kExitIoError;
    const std::string state = !ok                                     ? "no answer"
                              : pu::StatusRecord::EepromError(status) ? "EEPROM-ERROR"
                                                                      : "OK";
    if (ctx.json) {
      records.push_back({{"address", m.address},
                         {"model", ModelName(m)},
                         {"status", state},
                         {"record", ok ? platform::HexBytes(status) : ""}});
    } else {
      ctx.out << Format("%4d %-9s %-13s %s\n", m.address, ModelName(m).c_str(), state.c_str(),
                        ok ? platform::HexBytes(status).c_str() : "");
    }
  }
  if (ctx.json) PrintJson(ctx.out, records);
  return rc;
}

std::string PackageDate(const fw::_DoloPacket& p) {
  return Format("%04u-%02u-%02u %02u:%02u:%02u", p.year, p.month, p.day, p.hour, p.minute,
                p.second);
}

// "2 Host": the code and its name from the name tables, when it has one.
std::string CodeWithName(int code, std::string_view name) {
  return name.empty() ? std::to_string(code) : std::to_string(code) + " " + std::string(name);
}

int Packages(Context& ctx) {
  const fw::_DoloPacket* head = ::GetDoloBase();
  auto packages = Json::array();
  if (!ctx.json) {
    ctx.out << "KIND MODEL       COMPONENT      VERSION  DATE                     SIZE  CHECKSUM\n";
  }
  for (const fw::_DoloPacket* p = head; !fw::IsDoloListEnd(p); p = p->next) {
    const auto model = pu::ModelName(p->model);
    const auto component = pu::ComponentName(p->component);
    if (ctx.json) {
      packages.push_back({{"kind", p->kind},
                          {"model", p->model},
                          {"modelName", model},
                          {"component", p->component},
                          {"componentName", component},
                          {"version", fw::DoloVersionText(p->version)},
                          {"date", PackageDate(*p)},
                          {"segments", fw::DoloSegmentCount(*p)},
                          {"size", fw::DoloImageSize(*p)},
                          {"checksum", p->checksum}});
    } else {
      ctx.out << Format(
          "%4u %-11s %-14s %-8s %s %8u  0x%08X\n", p->kind, CodeWithName(p->model, model).c_str(),
          CodeWithName(p->component, component).c_str(), fw::DoloVersionText(p->version).c_str(),
          PackageDate(*p).c_str(), fw::DoloImageSize(*p), p->checksum);
    }
  }
  if (ctx.json) PrintJson(ctx.out, packages);
  return kExitOk;
}

// After an update the unit restarts: wait for it (up to kComeBackMs) and read
// what it runs now, the host version with command 2, the boot version with 26.
std::optional<fw::SoftwareVersion> ReadNewVersion(Context& ctx, bool boot,
                                                  pu::ModuleDescriptor& version) {
  constexpr std::uint32_t kComeBackMs = 15000, kStepMs = 250;
  std::uint32_t waited = 0;
  while (!ctx.usb.IsDevicePresent() && waited < kComeBackMs) {
    ctx.clock.Sleep(kStepMs);
    waited += kStepMs;
  }
  ul::ModuleInfo main;
  const Answer answer = Ask(ctx, [&] {
    return boot ? ctx.usb.ReadBootDescriptor(main.descriptor.data())
                : ul::ReadModuleDescriptor(ctx.usb, 0, main);
  });
  if (answer != Answer::kAnswered) return std::nullopt;
  version = main.Fields();
  return fw::SoftwareVersion{version.versionMajor, version.versionMinor};
}

int Update(Context& ctx, bool boot, bool noBackup) {
  ul::ModuleInfo main;
  if (int rc = ReadMainUnit(ctx, main); rc != kExitOk) return rc;
  SafetyBackup safety;
  safety.options.curves = false;
  if (int rc = BackupBeforeUpdate(ctx, noBackup, safety); rc != kExitOk) return rc;
  // The boot version comes with command 26; a unit that lacks it still takes the update.
  if (boot && !ctx.usb.ReadBootDescriptor(main.descriptor.data())) main.descriptor = {};
  ctx.out << "Updating the " << (boot ? "boot" : "host") << " software of the MRX520 (now "
          << VersionText(main.Fields()) << "). Do not switch the unit off or disconnect it.\n";

  // The worker talks to module 0 through the transport's default address.
  fw::CheckedUpdateTransport transport(ctx.usb);
  transport.SetDefaultAddress(0);
  ProgressView view(ctx.out, ctx.err, ctx.terminal);
  view.CountRepeated(fw::UpdateReason::kBlockRefused);
  fw::UpdateRunner runner([&](const fw::UpdateStatus& status) { view.Status(status); });
  runner.OnWaiting([&view](std::uint64_t ms) { view.Waiting(ms); });
  const char* what = boot ? "boot" : "host";
  InterruptGuard guard(std::string("stopping now leaves the unit without working ") + what +
                       " software; it then needs the update run again");
  runner.OnUnsafe([&guard](bool unsafe) { guard.SetUnsafe(unsafe); });
  fw::CDoloThread worker(boot, runner.Target(), transport, ctx.clock);
  fw::UpdateResult result = runner.Run(worker);
  view.Finish();
  if (!result.Done()) {
    ctx.err << "mrxctl: the " << what << " update failed\n";
    return UpdateExitCode(result.reason);
  }
  // An unanswered begin, end or start alone decides nothing: the version the
  // unit reports afterwards does.
  const char* unanswered = transport.FailedStep();
  if (unanswered != nullptr) result.reason = fw::UpdateReason::kUnanswered;
  // The worker found its image, so the carried one is there.
  const fw::_DoloPacket* image =
      fw::FindDoloPacket(::GetDoloBase(), fw::kDoloUnitImage, fw::CDoloThread::kModelMrx,
                         boot ? fw::CDoloThread::kComponentBoot : fw::CDoloThread::kComponentHost);
  const fw::SoftwareVersion carried =
      image != nullptr ? fw::DoloSoftwareVersion(image->version) : fw::SoftwareVersion{};
  pu::ModuleDescriptor now;
  fw::UpdateRunner::ReadBack(
      result, [&] { return ReadNewVersion(ctx, boot, now); }, carried);
  switch (result.reason) {
    case fw::UpdateReason::kNotConfirmed:
      if (unanswered != nullptr) {
        ctx.err << "mrxctl: the unit did not answer the " << unanswered << " of the download";
      } else {
        ctx.err << "mrxctl: the unit has not answered since the download";
      }
      ctx.err << ", so the " << what
              << " update is not confirmed; switch the unit off and on if it does not return\n";
      return kExitIoError;
    case fw::UpdateReason::kNotTaken:
      if (unanswered != nullptr) {
        ctx.err << "mrxctl: the unit did not answer the " << unanswered
                << " of the download and now reports ";
      } else {
        ctx.err << "mrxctl: the unit still reports ";
      }
      ctx.err << VersionText(now) << " (" << what << " software), not the carried "
              << (image != nullptr ? fw::DoloVersionText(image->version) : "")
              << "; the update did not take\n";
      return kExitIoError;
    default:
      break;
  }
  if (unanswered != nullptr) {
    ctx.out << "The unit did not answer the " << unanswered << " of the download, but it now "
            << "reports " << what << " software " << VersionText(now) << ".\n";
  }
  ctx.out << "The unit reports " << what << " software " << VersionText(now) << " of "
          << DateText(now) << ".\n";
  CompareAfterUpdate(ctx, safety);
  return kExitOk;
}

constexpr const char* kDescription =
    "Talks to the MRX520 unit on USB (the device in $MRX_RUNTIME_DIR), and with 'remote' to\n"
    "its Bluetooth module as the handheld remote does. 'mrxctl COMMAND --help' tells more.";

constexpr const char* kFooter =
    "Environment: MRX_RUNTIME_DIR (device directory and simulated Bluetooth\n"
    "stack), MRX_TRACE=1 (print every frame on standard error), WAVRIX_BLUETOOTH\n"
    "(bluez or sim), WAVRIX_HANDHELD (the handheld tree: known units, deployment),\n"
    "XDG_DATA_HOME (the backups taken before updates: mrx520/backups/SERIAL).\n\n"
    "Updates ('update', 'qvo update', 'klf update') count each command only with the\n"
    "unit's answer and show every few seconds how long a silent unit has kept them\n"
    "waiting. Where a closing command goes unanswered, the version the unit reports\n"
    "afterwards decides: the new one is success (said so), any other a failure.\n"
    "Ctrl-C during an erase or a flash says what stopping would leave and asks for\n"
    "a second Ctrl-C, which stops; elsewhere one Ctrl-C stops (the process ends by\n"
    "the signal, 130 in a shell).\n\n"
    "Exit codes:\n"
    "  0   success\n"
    "  1   'diff': the two sides differ\n"
    "  64  usage error\n"
    "  65  bad data (a file that does not fit the module or is too large, a\n"
    "      source or volume the unit does not have, a handheld registry or\n"
    "      handheld.conf that cannot be read whole, an address that holds no\n"
    "      phono card); a backup refused (format, checksum), a backup of\n"
    "      another unit's serial without --other-unit, or a module skipped by\n"
    "      'restore' (another type or size, absent, or lacking from a partial\n"
    "      backup)\n"
    "  69  no unit attached, or no such module; a unit running only its boot\n"
    "      software for 'backup'; no unit found or answering over Bluetooth,\n"
    "      no default unit recorded, or no Bluetooth adapter; no handheld, not\n"
    "      an ARM handheld, or no storage card in it\n"
    "  70  the carried package set lacks the image\n"
    "  74  an exchange with the unit failed, the unit or a module did not\n"
    "      answer in time (a backup that could not read every module or\n"
    "      curve, with --partial too), an update failed, or a file could not\n"
    "      be written; the unit did not report the change asked for\n"
    "  77  the runtime folder is not the user's own or others can write it";

// Validators that say what is wrong in the program's own words.
CLI::Validator ModuleAddress() {
  return {[](const std::string& text) -> std::string {
            const bool digits =
                !text.empty() && text.size() <= 2 &&
                std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
            if (digits && std::stoi(text) <= 15) return {};
            return "'" + platform::PrintableUtf8(text) + "' is not a module address (0-15)";
          },
          "0-15"};
}

// "mrxctl settings read" for the subcommand a parse stopped in.
std::string CommandPath(const CLI::App& app) {
  std::string path = app.get_name();
  for (const CLI::App* at = &app; !at->get_subcommands().empty();) {
    at = at->get_subcommands().front();
    path += " " + at->get_name();
  }
  return path;
}

const CLI::App& Deepest(const CLI::App& app) {
  const CLI::App* at = &app;
  while (!at->get_subcommands().empty()) at = at->get_subcommands().front();
  return *at;
}

constexpr std::size_t kMessageBytes = 400;

// "ADDRESS [FILE]": the arguments a command takes, for "extra argument ...".
std::string Arguments(const CLI::App& app) {
  std::string names;
  for (const CLI::Option* o :
       app.get_options([](const CLI::Option* o) { return o->get_positional(); })) {
    const std::string name = o->get_name(true);
    names += (names.empty() ? "" : " ") + (o->get_required() ? name : "[" + name + "]");
  }
  return names.empty() ? "no arguments" : names;
}

// The names a command group offers, for "give one of ...".
std::string SubcommandNames(const CLI::App& app) {
  std::string names;
  for (const CLI::App* sub : app.get_subcommands({})) {
    names += (names.empty() ? "" : ", ") + sub->get_name();
  }
  return names;
}

// The words of the unit's own commands, kept until the action runs.
struct UnitWords {
  unsigned address = 0;
  std::string file;
  bool newIdentity = false;
  std::optional<unsigned> statusAddress;
  std::string software;
  bool noBackup = false;
};

// "discover", "settings", "clock", "status", "packages" and "update": the
// unit's own modules, settings, clock and software.
void AddUnitCommands(CLI::App& app, Context& ctx, std::function<int()>& action) {
  auto words = std::make_shared<UnitWords>();
  // Each leaf sets what runs once the whole line has been parsed.
  auto leaf = [&action](CLI::App* command, std::function<int()> run) {
    command->callback([&action, run] { action = run; });
  };
  leaf(app.add_subcommand("discover", "list the unit's modules"), [&ctx] { return Discover(ctx); });

  auto* settings =
      app.add_subcommand("settings", "save, restore or reset a module's settings image");
  auto* read = settings->add_subcommand(
      "read", "save a module's settings image to FILE (hex on standard output without FILE)");
  read->add_option("ADDRESS", words->address, "module address")->required()->check(ModuleAddress());
  read->add_option("FILE", words->file, "file to save the image in");
  leaf(read, [&ctx, words] { return SettingsRead(ctx, words->address, words->file); });
  auto* write = settings->add_subcommand("write", "write an image back and store it in the unit");
  write->add_option("ADDRESS", words->address, "module address")
      ->required()
      ->check(ModuleAddress());
  write->add_option("FILE", words->file, "the image, as 'settings read' saved it")->required();
  leaf(write, [&ctx, words] { return SettingsWrite(ctx, words->address, words->file); });
  auto* reset = settings->add_subcommand(
      "reset", "reset to defaults, keeping serial and delivery date unless --new-identity");
  reset->add_option("ADDRESS", words->address, "module address")
      ->required()
      ->check(ModuleAddress());
  reset->add_flag("--new-identity", words->newIdentity, "give the module a new serial and date");
  leaf(reset, [&ctx, words] { return SettingsReset(ctx, words->address, words->newIdentity); });

  auto* clockCommand = app.add_subcommand("clock", "the unit's real-time clock");
  leaf(clockCommand->add_subcommand("get", "show the unit's real-time clock"),
       [&ctx] { return Clock(ctx, false); });
  leaf(clockCommand->add_subcommand("sync", "set the unit's clock from this computer"),
       [&ctx] { return Clock(ctx, true); });

  auto* status = app.add_subcommand("status", "settings memory status of one or all modules");
  status->add_option("ADDRESS", words->statusAddress, "module address (all without it)")
      ->check(ModuleAddress());
  leaf(status, [&ctx, words] { return Status(ctx, words->statusAddress); });

  leaf(app.add_subcommand("packages", "list the firmware and handheld files this program carries"),
       [&ctx] { return Packages(ctx); });

  auto* update = app.add_subcommand(
      "update", "replace the unit's host or boot software with the carried image");
  update
      ->add_option("SOFTWARE", words->software,
                   "host or boot; do not switch the unit off meanwhile")
      ->required()
      ->check(CLI::IsMember({"host", "boot"}));
  update->add_flag("--no-backup", words->noBackup,
                   "update without a backup of the settings first (one that cannot read every "
                   "module stops the update)");
  leaf(update, [&ctx, words] { return Update(ctx, words->software == "boot", words->noBackup); });
}

// Parses the command line into `app`: the exit code when the line ends there
// (help, version, a usage error), none when its action is to run.
std::optional<int> Parse(CLI::App& app, const std::vector<std::string>& args, std::ostream& out,
                         std::ostream& err) {
  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return kExitOk;
  } catch (const CLI::CallForAllHelp&) {
    out << app.help("", CLI::AppFormatMode::All);
    return kExitOk;
  } catch (const CLI::CallForVersion& e) {
    out << e.what() << "\n";
    return kExitOk;
  } catch (const CLI::ExtrasError& e) {
    const CLI::App& at = Deepest(app);
    err << CommandPath(app) << ": ";
    // In a command group the first word left over is the command it did not know.
    const auto left = app.remaining(true);
    const auto unknown = std::find_if(args.begin(), args.end(), [&](const std::string& a) {
      return std::find(left.begin(), left.end(), a) != left.end();
    });
    if (!at.get_subcommands({}).empty() && unknown != args.end()) {
      err << "unknown command '" << platform::PrintableUtf8(*unknown) << "'; it takes one of "
          << SubcommandNames(at);
    } else if (unknown != args.end()) {
      if (unknown->starts_with("-")) {
        err << "unknown option '" << platform::PrintableUtf8(*unknown) << "'";
      } else {
        err << "extra argument '" << platform::PrintableUtf8(*unknown) << "'; it takes "
            << Arguments(at);
      }
    } else {
      err << platform::PrintableUtf8(e.what(), kMessageBytes);
    }
    err << "\nRun '" << CommandPath(app) << " --help' for more.\n";
    return kExitUsage;
  } catch (const CLI::ParseError& e) {
    // The parser quotes the user's words: what the terminal would act on is escaped.
    err << CommandPath(app) << ": " << platform::PrintableUtf8(e.what(), kMessageBytes) << "\nRun '"
        << CommandPath(app) << " --help' for more.\n";
    return kExitUsage;
  }
  return std::nullopt;
}

}  // namespace

int Run(const std::vector<std::string>& args, ul::CTiroUSB& usb, std::ostream& out,
        std::ostream& err, platform::Clock& clock, bool terminal) {
  Context ctx{usb, out, err, clock, terminal, false};
  // Each leaf command sets what runs once the whole line has been parsed.
  std::function<int()> action;

  CLI::App app{kDescription, "mrxctl"};
  app.footer(kFooter);
  app.set_version_flag("--version", std::string("mrxctl ") + MRX_VERSION, "program version");
  app.add_flag("--json", ctx.json, "machine-readable output (UTF-8 JSON)");
  // Options of a command group are accepted after its subcommands too.
  app.fallthrough();

  AddUnitCommands(app, ctx, action);
  AddDisplayCommand(app, ctx, action);
  AddQvoCommand(app, ctx, action);
  AddKlfCommand(app, ctx, action);
  AddPhonoCommand(app, ctx, action);
  AddHandheldCommand(app, ctx, action);
  AddBackupCommand(app, ctx, action);
  AddRemoteCommand(app, ctx, action);

  if (args.empty()) {
    err << app.help();
    return kExitUsage;
  }
  if (const auto rc = Parse(app, args, out, err)) return *rc;
  if (!action) {
    const CLI::App& at = Deepest(app);
    err << CommandPath(app) << ": give one of " << SubcommandNames(at) << "\n" << at.help();
    return kExitUsage;
  }
  return action();
}

}  // namespace tools::mrxctl
