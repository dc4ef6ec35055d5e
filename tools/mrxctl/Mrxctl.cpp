#include "tools/mrxctl/Mrxctl.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>

#include "desktop/firmware/CDoloThread.h"
#include "desktop/firmware/DoloPacket.h"
#include "desktop/firmware/ModelNames.h"
#include "desktop/firmware/WorkerMessages.h"
#include "desktop/unitlink/UnitProtocol.h"
#include "platform/AtomicFile.h"
#include "platform/Bytes.h"
#include "platform/Clock.h"
#include "platform/DeviceIo.h"
#include "platform/MessageTarget.h"
#include "platform/RuntimeDir.h"
#include "protocol/unit/IdentityRecord.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/SettingsImage.h"
#include "protocol/unit/StatusRecord.h"
#include "tools/mrxctl/RemoteCommand.h"

namespace tools::mrxctl {

namespace ul = desktop::unitlink;
namespace fw = desktop::firmware;
namespace pu = protocol::unit;

namespace {

constexpr const char* kUsage =
    "Usage: mrxctl [--json] COMMAND [ARGS]\n"
    "Talks to the MRX520 unit on USB (the device in $MRX_RUNTIME_DIR).\n\n"
    "Commands:\n"
    "  discover                        list the unit's modules\n"
    "  settings read ADDRESS [FILE]    save a module's settings image (hex on stdout\n"
    "                                  without FILE)\n"
    "  settings write ADDRESS FILE     write an image back and store it in the unit\n"
    "  settings reset ADDRESS [--new-identity]\n"
    "                                  reset to defaults, keeping serial and delivery\n"
    "                                  date unless --new-identity\n"
    "  clock get                       show the unit's real-time clock\n"
    "  clock sync                      set the unit's clock from this computer\n"
    "  status [ADDRESS]                settings memory status of one or all modules\n"
    "  packages                        list the firmware and handheld files this\n"
    "                                  program carries\n"
    "  update host|boot                replace the unit's host or boot software with\n"
    "                                  the carried image (do not switch the unit off)\n\n"
    "Remote control over Bluetooth (the handheld remote's link):\n"
    "  remote list                     units found by inquiry\n"
    "  remote status                   power, volume, source, output group, mute\n"
    "  remote power on|off             switch on or to standby\n"
    "  remote volume DB                set the volume (rounded to the unit's step)\n"
    "  remote mute on|off              mute (or fade, as the remote is set up)\n"
    "  remote source NAME              choose a source by its name\n"
    "  remote options: --address XX:XX:XX:XX:XX:XX (else the remote's default\n"
    "                  unit, else the first found), --timeout MS (default 5000)\n\n"
    "Options:\n"
    "  --json      machine-readable output\n"
    "  --help      this text\n"
    "  --version   program version\n\n"
    "Environment: MRX_RUNTIME_DIR (device directory and simulated Bluetooth\n"
    "stack), MRX_TRACE=1 (print every frame on standard error), WAVRIX_BLUETOOTH\n"
    "(bluez or sim), WAVRIX_HANDHELD (the handheld tree with the known units).\n\n"
    "Exit codes:\n"
    "  0   success\n"
    "  64  usage error\n"
    "  65  bad data (a file that does not fit the module, a source the unit\n"
    "      does not have)\n"
    "  69  no unit attached, or no such module; no unit found or answering over\n"
    "      Bluetooth, or no Bluetooth adapter\n"
    "  70  the carried package set lacks the image\n"
    "  74  an exchange with the unit failed, an update failed, or a file could\n"
    "      not be written; the unit did not report the change asked for\n";

struct Context {
  ul::CTiroUSB& usb;
  std::ostream& out;
  std::ostream& err;
  platform::Clock& clock;
  bool terminal = false;
  bool json = false;
};

std::string Format(const char* fmt, auto... args) {
  char buf[256];
  std::snprintf(buf, sizeof buf, fmt, args...);
  return buf;
}

std::string ModelName(const ul::ModuleInfo& m) {
  if (m.address == 0) return std::string(pu::kMainUnit.model);
  if (auto type = pu::FindModuleType(m.Fields().type)) return std::string(type->model);
  return "unknown";
}

std::string VersionText(const pu::ModuleDescriptor& f) {
  return Format("V%d.%03d", f.versionMajor, f.versionMinor);
}

std::string DateText(const pu::ModuleDescriptor& f) {
  if (f.versionYear == 0) return "";
  return Format("%02d.%02d.%04d", f.versionDay, f.versionMonth, 2000 + f.versionYear);
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) < 0x20) {
      out += Format("\\u%04x", c);
      continue;
    }
    out += c;
  }
  return out + "\"";
}

int NoUnit(Context& ctx) {
  ctx.err << "mrxctl: no MRX520 unit found: nothing answers at "
          << (platform::RuntimeDir() / pu::kDeviceName).string()
          << ".\nConnect the unit, or start the simulator (mrx520-sim).\n";
  return kExitUnavailable;
}

std::optional<unsigned> ParseAddress(const std::string& text) {
  if (text.empty() || text.size() > 2) return std::nullopt;
  unsigned v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  if (v > 15) return std::nullopt;
  return v;
}

// Finds a module by address through discovery, as the desktop program does.
int FindModule(Context& ctx, const std::string& addressText, ul::ModuleInfo& module) {
  const auto address = ParseAddress(addressText);
  if (!address) {
    ctx.err << "mrxctl: '" << addressText << "' is not a module address (0-15)\n";
    return kExitUsage;
  }
  const ul::Discovery d = ul::DiscoverModules(ctx.usb);
  if (!d.unitPresent) return NoUnit(ctx);
  if (*address == 0) {
    module = d.mainUnit;
    return kExitOk;
  }
  for (const ul::ModuleInfo& card : d.cards) {
    if (card.address == *address) {
      module = card;
      return kExitOk;
    }
  }
  ctx.err << "mrxctl: no module at address " << *address << "\n";
  return kExitUnavailable;
}

int Discover(Context& ctx) {
  const ul::Discovery d = ul::DiscoverModules(ctx.usb);
  if (!d.unitPresent) return NoUnit(ctx);
  std::vector<ul::ModuleInfo> all{d.mainUnit};
  all.insert(all.end(), d.cards.begin(), d.cards.end());
  if (ctx.json) {
    ctx.out << "[\n";
    for (std::size_t i = 0; i < all.size(); ++i) {
      const auto& m = all[i];
      const auto f = m.Fields();
      ctx.out << "  {\"address\": " << int(m.address) << ", \"subAddress\": " << int(m.subAddress)
              << ", \"type\": " << int(f.type) << ", \"model\": " << JsonString(ModelName(m))
              << ", \"settingsLength\": " << f.settingsLength
              << ", \"version\": " << JsonString(VersionText(f))
              << ", \"date\": " << JsonString(DateText(f)) << ", \"status\": " << int(f.status)
              << ", \"slotCount\": " << int(f.slotCount) << ", \"hasClock\": " << int(f.hasClock)
              << ", \"versionMajor\": " << f.versionMajor
              << ", \"versionMinor\": " << f.versionMinor
              << ", \"versionDay\": " << int(f.versionDay)
              << ", \"versionMonth\": " << int(f.versionMonth)
              << ", \"versionYear\": " << int(f.versionYear) << ", \"flags\": " << int(f.flags)
              << ", \"descriptor\": " << JsonString(platform::HexBytes(m.descriptor)) << "}"
              << (i + 1 < all.size() ? "," : "") << "\n";
    }
    ctx.out << "]\n";
    return kExitOk;
  }
  ctx.out << "ADDR SUB TYPE MODEL     VERSION  DATE        SETTINGS  TAB\n";
  for (const auto& m : all) {
    const auto f = m.Fields();
    std::string tab = m.address == 0 ? "CPropertyMRX520" : "-";
    if (auto type = pu::FindModuleType(f.type); type && m.address != 0) tab = type->pageClass;
    ctx.out << Format("%4d %3d %4d %-9s %-8s %-10s %9u  %s\n", m.address, m.subAddress, f.type,
                      ModelName(m).c_str(), VersionText(f).c_str(), DateText(f).c_str(),
                      f.settingsLength, tab.c_str());
  }
  return kExitOk;
}

int SettingsRead(Context& ctx, const std::vector<std::string>& args) {
  if (args.size() < 1 || args.size() > 2) {
    ctx.err << "mrxctl: usage: settings read ADDRESS [FILE]\n";
    return kExitUsage;
  }
  ul::ModuleInfo m;
  if (int rc = FindModule(ctx, args[0], m); rc != kExitOk) return rc;
  const std::size_t length = ul::SettingsLength(m);
  std::vector<std::uint8_t> image(pu::SettingsImage::kMaxSize);
  if (!ul::ReadSettingsImage(ctx.usb, m.address, length, false, image)) {
    ctx.err << "mrxctl: reading the settings of module " << int(m.address)
            << " failed part way; nothing was saved\n";
    return kExitIoError;
  }
  image.resize(length);
  if (args.size() == 1) {
    if (ctx.json) {
      ctx.out << "{\"address\": " << int(m.address) << ", \"settingsLength\": " << length
              << ", \"image\": " << JsonString(platform::HexBytes(image)) << "}\n";
    } else {
      for (std::size_t i = 0; i < image.size(); i += 16) {
        const auto row = std::span(image).subspan(i, std::min<std::size_t>(16, image.size() - i));
        ctx.out << Format("%04zx  ", i) << platform::HexBytes(row) << "\n";
      }
    }
    return kExitOk;
  }
  std::string error;
  if (!platform::WriteFileAtomically(
          args[1], std::string_view(reinterpret_cast<const char*>(image.data()), image.size()),
          error)) {
    ctx.err << "mrxctl: cannot write " << error << "\n";
    return kExitIoError;
  }
  ctx.out << "saved " << length << " bytes of module " << int(m.address) << " (" << ModelName(m)
          << ") to " << args[1] << "\n";
  return kExitOk;
}

int SettingsWrite(Context& ctx, const std::vector<std::string>& args) {
  if (args.size() != 2) {
    ctx.err << "mrxctl: usage: settings write ADDRESS FILE\n";
    return kExitUsage;
  }
  std::string content;
  if (!platform::ReadWholeFile(args[1], content)) {
    ctx.err << "mrxctl: cannot read " << args[1] << "\n";
    return kExitIoError;
  }
  ul::ModuleInfo m;
  if (int rc = FindModule(ctx, args[0], m); rc != kExitOk) return rc;
  const std::size_t length = ul::SettingsLength(m);
  if (length == 0) {
    ctx.err << "mrxctl: module " << int(m.address) << " (" << ModelName(m)
            << ") has no settings image\n";
    return kExitDataError;
  }
  if (content.size() != length) {
    ctx.err << "mrxctl: " << args[1] << " holds " << content.size() << " bytes, but module "
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

int SettingsReset(Context& ctx, const std::vector<std::string>& args) {
  const bool newIdentity = args.size() == 2 && args[1] == "--new-identity";
  if (args.empty() || args.size() > 2 || (args.size() == 2 && !newIdentity)) {
    ctx.err << "mrxctl: usage: settings reset ADDRESS [--new-identity]\n";
    return kExitUsage;
  }
  ul::ModuleInfo m;
  if (int rc = FindModule(ctx, args[0], m); rc != kExitOk) return rc;
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

int Clock(Context& ctx, const std::vector<std::string>& args) {
  if (args.size() != 1 || (args[0] != "get" && args[0] != "sync")) {
    ctx.err << "mrxctl: usage: clock get|sync\n";
    return kExitUsage;
  }
  ul::ModuleInfo main;
  if (!ul::ReadModuleDescriptor(ctx.usb, 0, main)) return NoUnit(ctx);
  if (main.Fields().hasClock == 0) {
    ctx.err << "mrxctl: the unit reports no real-time clock\n";
    return kExitUnavailable;
  }
  if (args[0] == "sync" && !ul::SetClock(ctx.usb, main.address, platform::DefaultClock().Now())) {
    ctx.err << "mrxctl: setting the clock failed\n";
    return kExitIoError;
  }
  platform::LocalTime t;
  if (!ul::ReadClock(ctx.usb, main.address, t)) {
    ctx.err << "mrxctl: the unit gave no clock reading\n";
    return kExitIoError;
  }
  if (ctx.json) {
    ctx.out << "{\"clock\": " << JsonString(ClockText(t)) << "}\n";
  } else {
    ctx.out << ClockText(t) << "\n";
  }
  return kExitOk;
}

int Status(Context& ctx, const std::vector<std::string>& args) {
  if (args.size() > 1) {
    ctx.err << "mrxctl: usage: status [ADDRESS]\n";
    return kExitUsage;
  }
  std::vector<ul::ModuleInfo> modules;
  if (args.size() == 1) {
    ul::ModuleInfo m;
    if (int rc = FindModule(ctx, args[0], m); rc != kExitOk) return rc;
    modules.push_back(m);
  } else {
    const ul::Discovery d = ul::DiscoverModules(ctx.usb);
    if (!d.unitPresent) return NoUnit(ctx);
    modules.push_back(d.mainUnit);
    modules.insert(modules.end(), d.cards.begin(), d.cards.end());
  }
  int rc = kExitOk;
  if (ctx.json) ctx.out << "[\n";
  for (std::size_t i = 0; i < modules.size(); ++i) {
    const auto& m = modules[i];
    std::array<std::uint8_t, pu::StatusRecord::kSize> status{};
    const bool ok = ul::ReadStatus(ctx.usb, m.address, status);
    if (!ok) rc = kExitIoError;
    const std::string state = !ok                                     ? "no answer"
                              : pu::StatusRecord::EepromError(status) ? "EEPROM-ERROR"
                                                                      : "OK";
    if (ctx.json) {
      ctx.out << "  {\"address\": " << int(m.address) << ", \"model\": " << JsonString(ModelName(m))
              << ", \"status\": " << JsonString(state)
              << ", \"record\": " << JsonString(ok ? platform::HexBytes(status) : "") << "}"
              << (i + 1 < modules.size() ? "," : "") << "\n";
    } else {
      ctx.out << Format("%4d %-9s %-13s %s\n", m.address, ModelName(m).c_str(), state.c_str(),
                        ok ? platform::HexBytes(status).c_str() : "");
    }
  }
  if (ctx.json) ctx.out << "]\n";
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
  if (ctx.json) ctx.out << "[\n";
  if (!ctx.json) {
    ctx.out << "KIND MODEL       COMPONENT      VERSION  DATE                     SIZE  CHECKSUM\n";
  }
  for (const fw::_DoloPacket* p = head; !fw::IsDoloListEnd(p); p = p->next) {
    const auto model = fw::ModelName(p->model);
    const auto component = fw::ComponentName(p->component);
    if (ctx.json) {
      ctx.out << "  {\"kind\": " << p->kind << ", \"model\": " << p->model
              << ", \"modelName\": " << JsonString(std::string(model))
              << ", \"component\": " << p->component
              << ", \"componentName\": " << JsonString(std::string(component))
              << ", \"version\": " << JsonString(fw::DoloVersionText(p->version))
              << ", \"date\": " << JsonString(PackageDate(*p))
              << ", \"segments\": " << fw::DoloSegmentCount(*p)
              << ", \"size\": " << fw::DoloImageSize(*p) << ", \"checksum\": " << p->checksum << "}"
              << (fw::IsDoloListEnd(p->next) ? "" : ",") << "\n";
    } else {
      ctx.out << Format(
          "%4u %-11s %-14s %-8s %s %8u  0x%08X\n", p->kind, CodeWithName(p->model, model).c_str(),
          CodeWithName(p->component, component).c_str(), fw::DoloVersionText(p->version).c_str(),
          PackageDate(*p).c_str(), fw::DoloImageSize(*p), p->checksum);
    }
  }
  if (ctx.json) ctx.out << "]\n";
  return kExitOk;
}

// Draws the worker's reports: a bar that is redrawn in place on a terminal,
// one line per report elsewhere.
class ProgressView {
 public:
  explicit ProgressView(Context& ctx) : ctx_(ctx) {}
  void Status(unsigned percentage, const std::string& text) {
    // Progress texts begin with their percentage; every other line stands alone.
    const bool progress =
        !text.empty() && text[0] >= '0' && text[0] <= '9' && text.find("%: ") != std::string::npos;
    if (!progress) {
      EndBar();
      if (percentage == 100) ctx_.out << Bar(100) << "\n";
      (text.starts_with("ERROR") || text.starts_with("FATAL") ? ctx_.err : ctx_.out)
          << text << "\n";
      return;
    }
    if (ctx_.terminal) {
      ctx_.out << "\r" << Bar(percentage) << " " << text << "\x1b[K" << std::flush;
      barShown_ = true;
    } else {
      ctx_.out << Bar(percentage) << " " << text << "\n";
    }
  }
  void EndBar() {
    if (barShown_) ctx_.out << "\n";
    barShown_ = false;
  }

 private:
  static std::string Bar(unsigned percentage) {
    constexpr unsigned kWidth = 30;
    const unsigned filled = std::min(percentage, 100u) * kWidth / 100;
    return "[" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "]" +
           Format("%4u%%", percentage);
  }
  Context& ctx_;
  bool barShown_ = false;
};

// After a host update the unit restarts: wait for it (up to kComeBackMs) and
// show what it runs now. The boot version is read with command 26.
void ReportNewVersion(Context& ctx, bool boot) {
  constexpr std::uint32_t kComeBackMs = 15000, kStepMs = 250;
  std::uint32_t waited = 0;
  while (!ctx.usb.IsDevicePresent() && waited < kComeBackMs) {
    ctx.clock.Sleep(kStepMs);
    waited += kStepMs;
  }
  ul::ModuleInfo main;
  if (boot) {
    if (ctx.usb.ReadBootDescriptor(main.descriptor.data())) {
      const auto f = main.Fields();
      ctx.out << "The unit reports boot software " << VersionText(f) << " of " << DateText(f)
              << ".\n";
      return;
    }
  } else if (ul::ReadModuleDescriptor(ctx.usb, 0, main)) {
    const auto f = main.Fields();
    ctx.out << "The unit reports host software " << VersionText(f) << " of " << DateText(f)
            << ".\n";
    return;
  }
  ctx.err << "mrxctl: the download succeeded, but the unit has not answered since; "
             "switch it off and on if it does not return\n";
}

int Update(Context& ctx, const std::vector<std::string>& args) {
  if (args.size() != 1 || (args[0] != "host" && args[0] != "boot")) {
    ctx.err << "mrxctl: usage: update host|boot\n";
    return kExitUsage;
  }
  const bool boot = args[0] == "boot";
  ul::ModuleInfo main;
  if (!ul::ReadModuleDescriptor(ctx.usb, 0, main)) return NoUnit(ctx);
  // The boot version comes with command 26; a unit that lacks it still takes the update.
  if (boot && !ctx.usb.ReadBootDescriptor(main.descriptor.data())) main.descriptor = {};
  ctx.out << "Updating the " << (boot ? "boot" : "host") << " software of the MRX520 (now "
          << VersionText(main.Fields()) << "). Do not switch the unit off or disconnect it.\n";

  // The worker talks to module 0 through the transport's default address.
  ctx.usb.SetDefaultAddress(0);
  platform::QueueTarget queue;
  fw::CDoloThread worker(boot, queue, ctx.usb, ctx.clock);
  worker.Resume();
  ProgressView view(ctx);
  bool finished = false, ok = false, notFound = false;
  while (!finished) {
    const auto message = queue.Take(std::chrono::milliseconds(500));
    if (!message) continue;
    if (message->id == fw::WM_WORKER_STATUS) {
      view.Status(static_cast<unsigned>(message->wParam), message->text);
      notFound = notFound || message->text == fw::CDoloThread::kTextNotFound;
    } else if (message->id == fw::WM_WORKER_FINISHED) {
      finished = true;
      ok = message->wParam == 1;
    }
  }
  worker.Join();
  view.EndBar();
  if (ok) ReportNewVersion(ctx, boot);
  if (!ok) {
    ctx.err << "mrxctl: the " << (boot ? "boot" : "host") << " update failed\n";
    return notFound ? kExitSoftware : kExitIoError;
  }
  return kExitOk;
}

}  // namespace

int Run(const std::vector<std::string>& argsIn, ul::CTiroUSB& usb, std::ostream& out,
        std::ostream& err, platform::Clock& clock, bool terminal) {
  Context ctx{usb, out, err, clock, terminal};
  std::vector<std::string> args;
  for (const std::string& a : argsIn) {
    if (a == "--help" || a == "-h") {
      out << kUsage;
      return kExitOk;
    }
    if (a == "--version") {
      out << "mrxctl 1.0.0\n";
      return kExitOk;
    }
    if (a == "--json") {
      ctx.json = true;
      continue;
    }
    args.push_back(a);
  }
  if (args.empty()) {
    err << kUsage;
    return kExitUsage;
  }
  const std::string command = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "discover" && rest.empty()) return Discover(ctx);
  if (command == "settings" && !rest.empty()) {
    const std::vector<std::string> more(rest.begin() + 1, rest.end());
    if (rest[0] == "read") return SettingsRead(ctx, more);
    if (rest[0] == "write") return SettingsWrite(ctx, more);
    if (rest[0] == "reset") return SettingsReset(ctx, more);
  }
  if (command == "clock") return Clock(ctx, rest);
  if (command == "status") return Status(ctx, rest);
  if (command == "packages" && rest.empty()) return Packages(ctx);
  if (command == "update") return Update(ctx, rest);
  if (command == "remote") return RunRemote(rest, ctx.json, out, err);
  err << "mrxctl: unknown command '" << command << "'\n" << kUsage;
  return kExitUsage;
}

}  // namespace tools::mrxctl
