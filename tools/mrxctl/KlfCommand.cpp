#include "tools/mrxctl/KlfCommand.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "desktop/firmware/DoloPacket.h"
#include "desktop/firmware/UpdateRunner.h"
#include "desktop/roomcorrection/CKLF310Thread.h"
#include "desktop/roomcorrection/KlfCardHost.h"
#include "desktop/roomcorrection/KlfCurveRetry.h"
#include "desktop/roomcorrection/KlfLink.h"
#include "desktop/unitlink/UnitProtocol.h"
#include "platform/AtomicFile.h"
#include "platform/Bytes.h"
#include "platform/PrintableText.h"
#include "protocol/klf/KlfMessage.h"
#include "protocol/klf/MeasurementText.h"
#include "protocol/klf/SlopeFile.h"
#include "protocol/unit/Klf310Image.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "tools/mrxctl/BackupCommand.h"
#include "tools/mrxctl/InterruptGuard.h"
#include "tools/mrxctl/Mrxctl.h"
#include "tools/mrxctl/ProgressView.h"

namespace tools::mrxctl {

namespace {

namespace ul = desktop::unitlink;
namespace pu = protocol::unit;
namespace pk = protocol::klf;
namespace rc = desktop::roomcorrection;
namespace fw = desktop::firmware;
using Json = nlohmann::ordered_json;
using Img = pu::Klf310Image;

constexpr const char* kTextNoConnection =
    "Unable to connect to KLF310. Please check cable or IP settings!";
// A slope or measurement file is a few hundred kilobytes at most.
constexpr std::size_t kMaxTextFile = 4 << 20;
// How long `klf update` waits for the card before it gives up.
constexpr std::uint64_t kWaitLimitMs = 30000;
// After the start command the card restarts: the page's re-reads, 20 at 500 ms.
constexpr int kVersionReads = 20;
constexpr std::uint32_t kVersionReadMs = 500;

struct Klf {
  Context& ctx;
  std::optional<unsigned> module;
  std::string ip;
  bool noBackup = false;
};

// The card as its USB side tells it.
struct Card {
  ul::ModuleInfo info;
  std::vector<std::uint8_t> image;
  std::string host;  // dotted, from --ip or the settings

  std::string Address(std::size_t at) const {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", image[at], image[at + 1], image[at + 2],
                  image[at + 3]);
    return text;
  }
  std::string Mac() const {
    char text[18];
    std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", image[Img::kMac],
                  image[Img::kMac + 1], image[Img::kMac + 2], image[Img::kMac + 3],
                  image[Img::kMac + 4], image[Img::kMac + 5]);
    return text;
  }
  int Channels() const {
    return std::min<int>(platform::GetU16(image, Img::kConfig) & Img::kChannelCountMask,
                         Img::kChannelCount);
  }
  std::string Name(int channel) const {
    const auto at = Img::ChannelNameOffset(static_cast<std::size_t>(channel));
    const auto begin = image.begin() + static_cast<std::ptrdiff_t>(at);
    return {begin, std::find(begin, begin + pu::Klf310Channel::kNameSize - 1, 0)};
  }
  pu::Klf310VersionEntry Version(std::size_t offset) const {
    return pu::Klf310VersionEntry::Decode(std::span(info.descriptor).subspan(offset));
  }
};

std::string VersionText(const pu::Klf310VersionEntry& v) {
  if (!v.valid) return "";
  char text[40];
  std::snprintf(text, sizeof text, "V%d.%03d, %02d.%02d.%04d", v.major, v.minor, v.day, v.month,
                v.year);
  return text;
}

// Finds the card (first KLF310, or --module) and reads its settings.
int FindCard(Klf& k, Card& card) {
  const ul::Discovery found = ul::DiscoverModules(k.ctx.usb);
  if (!found.unitPresent) return NoUnitAnswers(k.ctx);
  const ul::ModuleInfo* klf = nullptr;
  for (const ul::ModuleInfo& m : found.cards) {
    if (m.Fields().type != pu::type::kKLF310) continue;
    if (k.module && m.address != *k.module) continue;
    klf = &m;
    break;
  }
  if (klf == nullptr) {
    k.ctx.err << "mrxctl: the unit has no KLF310 card"
              << (k.module ? " at module " + std::to_string(*k.module) : std::string()) << "\n";
    return kExitUnavailable;
  }
  card.info = *klf;
  const std::size_t length = card.info.Fields().settingsLength;
  card.image.assign(std::max(length, Img::kEnd), 0);
  if (length < Img::kEnd ||
      !ul::ReadSettingsImage(k.ctx.usb, card.info.address, length, false, card.image)) {
    k.ctx.err << "mrxctl: the KLF310 card did not give its settings\n";
    return kExitIoError;
  }
  card.host = k.ip.empty() ? rc::KlfCardHost(card.image) : k.ip;
  return kExitOk;
}

int Info(Klf& k) {
  Card card;
  if (int rc = FindCard(k, card); rc != kExitOk) return rc;
  const std::string boot = VersionText(card.Version(pu::Klf310VersionEntry::kBootDescriptorOffset));
  const std::string app = VersionText(card.Version(pu::Klf310VersionEntry::kMainDescriptorOffset));
  if (k.ctx.json) {
    Json j = {{"module", card.info.address},
              {"ip", card.Address(Img::kIp)},
              {"subnetMask", card.Address(Img::kSubnet)},
              {"mac", card.Mac()},
              {"channels", card.Channels()},
              {"boot", boot},
              {"application", app}};
    k.ctx.out << j.dump(2) << "\n";
    return kExitOk;
  }
  k.ctx.out << "KLF310 at module " << int(card.info.address) << "\n"
            << "IP address:   " << card.Address(Img::kIp) << "\n"
            << "Subnet mask:  " << card.Address(Img::kSubnet) << "\n"
            << "MAC address:  " << card.Mac() << "\n"
            << "Channels:     " << card.Channels() << "\n"
            << "Boot:         " << (boot.empty() ? "(none)" : boot) << "\n"
            << "Application:  " << (app.empty() ? "(none)" : app) << "\n";
  return kExitOk;
}

// The whole curve of one channel; false (said) when the card cannot be reached.
bool ReadCurve(Klf& k, const Card& card, rc::KlfLink& link, int channel,
               std::vector<pk::CurveBin>& bins) {
  bins.assign(pk::CurveBin::kBinCount, {});
  if (!rc::ReadCurveAsked(link, card.host, static_cast<std::uint16_t>(channel), bins)) {
    k.ctx.err << "mrxctl: the KLF310 at " << card.host << " did not give the curve of channel "
              << channel << "\n";
    return false;
  }
  return true;
}

bool Connect(Klf& k, const Card& card, rc::KlfLink& link) {
  if (link.Connect(card.host, pk::kCurvePort)) return true;
  k.ctx.err << "mrxctl: " << kTextNoConnection << " (" << card.host << ")\n";
  return false;
}

bool WriteText(Klf& k, const std::filesystem::path& file, const std::string& text) {
  std::string error;
  k.ctx.out.flush();  // the curve may go to the same standard output
  if (platform::WriteOutputFile(file.string(), text, error)) return true;
  SayCannotWrite(k.ctx, error);
  return false;
}

// Names from the card reach the terminal escaped; a path is shown whole.
constexpr std::size_t kShownPathBytes = 4096;

// A channel name as a file name: no folders, nothing a shell would trip on.
std::string FileSafe(std::string name) {
  for (char& c : name) {
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < ' ' || c == 0x7F) c = '_';
  }
  return name;
}

int CurveGet(Klf& k, int channel, const std::string& file) {
  Card card;
  if (int rc = FindCard(k, card); rc != kExitOk) return rc;
  rc::KlfLink link;
  std::vector<pk::CurveBin> bins;
  if (!Connect(k, card, link) || !ReadCurve(k, card, link, channel, bins)) return kExitIoError;
  link.Close();
  return WriteText(k, file, pk::SlopeFile::Write(bins)) ? kExitOk : kExitIoError;
}

int CurveGetAll(Klf& k, const std::string& dir) {
  Card card;
  if (int rc = FindCard(k, card); rc != kExitOk) return rc;
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (!std::filesystem::is_directory(dir)) {
    k.ctx.err << "mrxctl: cannot make the folder " << dir << "\n";
    return kExitIoError;
  }
  rc::KlfLink link;
  if (!Connect(k, card, link)) return kExitIoError;
  const int channels = card.Channels() > 0 ? card.Channels() : int{Img::kChannelCount};
  for (int channel = 0; channel < channels; ++channel) {
    std::vector<pk::CurveBin> bins;
    if (!ReadCurve(k, card, link, channel, bins)) return kExitIoError;
    const auto file = std::filesystem::path(dir) /
                      pk::SlopeFile::ProposedFileName(channel, FileSafe(card.Name(channel)));
    if (!WriteText(k, file, pk::SlopeFile::Write(bins))) return kExitIoError;
    if (!k.ctx.json) k.ctx.out << platform::PrintableUtf8(file.string(), kShownPathBytes) << "\n";
  }
  return kExitOk;
}

// kExitOk, or the exit code of a file that cannot be read (kExitIoError) or
// is too large to be a slope file (kExitDataError).
int ReadText(Klf& k, const std::string& file, std::string& text) {
  std::string error;
  bool tooLarge = false;
  if (platform::ReadFileUpTo(file, kMaxTextFile, text, error, &tooLarge)) return kExitOk;
  k.ctx.err << "mrxctl: Can't open file " << file << ". (" << error << ")\n";
  return tooLarge ? kExitDataError : kExitIoError;
}

// Reads the card's curve, changes it with `change` and writes it back whole.
template <typename Change>
int ChangeCurve(Klf& k, int channel, Change change) {
  Card card;
  if (int rc = FindCard(k, card); rc != kExitOk) return rc;
  rc::KlfLink link;
  std::vector<pk::CurveBin> bins;
  if (!Connect(k, card, link) || !ReadCurve(k, card, link, channel, bins)) return kExitIoError;
  change(bins);
  if (!rc::WriteCurveAsked(link, card.host, static_cast<std::uint16_t>(channel), bins)) {
    k.ctx.err << "mrxctl: the KLF310 at " << card.host << " did not take the curve of channel "
              << channel << "\n";
    return kExitIoError;
  }
  return kExitOk;
}

int CurvePut(Klf& k, int channel, const std::string& file) {
  std::string text;
  if (const int rc = ReadText(k, file, text); rc != kExitOk) return rc;
  // Parsed whole before the card is asked anything: a bad file changes nothing.
  const pk::SlopeFile::Parsed parsed = pk::SlopeFile::Parse(text);
  if (!parsed.ok) {
    k.ctx.err << "mrxctl: " << file << " line " << parsed.error.line << ": " << parsed.error.message
              << "\n";
    return kExitDataError;
  }
  return ChangeCurve(k, channel, [&](std::vector<pk::CurveBin>& bins) {
    pk::SlopeFile::ApplyTo(parsed.rows, bins);
  });
}

int CurveImport(Klf& k, int channel, const std::string& file, int column) {
  std::string text;
  if (const int rc = ReadText(k, file, text); rc != kExitOk) return rc;
  const pk::MeasurementText::Parsed parsed = pk::MeasurementText::Parse(text);
  if (!parsed.ok) {
    k.ctx.err << "mrxctl: " << file << " line " << parsed.error.line << ": " << parsed.error.message
              << "\n";
    return kExitDataError;
  }
  std::vector<pk::CurveBin> probe(pk::CurveBin::kBinCount);
  if (!pk::MeasurementText::ApplyToColumn(parsed.points, column, probe)) {
    k.ctx.err << "mrxctl: " << file << " cannot go into column " << column
              << (column == 2 ? " (the measurement has no phase)" : "") << "\n";
    return kExitDataError;
  }
  return ChangeCurve(k, channel, [&](std::vector<pk::CurveBin>& bins) {
    pk::MeasurementText::ApplyToColumn(parsed.points, column, bins);
  });
}

// Why the update failed, from its reason code.
std::string FailureText(fw::UpdateReason reason, const std::string& host) {
  switch (reason) {
    case fw::UpdateReason::kCardSilent:
      return "the card at " + host + " stopped answering";
    case fw::UpdateReason::kBlockRefused:
      return "the card at " + host + " did not take every block; it keeps no whole software";
    case fw::UpdateReason::kCancelled:
      return "stopped before anything was erased";
    case fw::UpdateReason::kNotFound:
      return "this program carries no KLF310 software";
    default:
      return "the card did not finish it";
  }
}

int Update(Klf& k) {
  Card card;
  if (int rc = FindCard(k, card); rc != kExitOk) return rc;
  const fw::_DoloPacket* image = fw::FindDoloPacket(
      ::GetDoloBase(), fw::kDoloKlf310, rc::CKLF310Thread::kModel, rc::CKLF310Thread::kComponent);
  if (image == nullptr) {
    k.ctx.err << "mrxctl: " << rc::CKLF310Thread::kTextNotFound << "\n";
    return kExitSoftware;
  }
  // The card's curves are part of what an update may lose, so they are in it.
  SafetyBackup safety;
  safety.options.klfHost = k.ip;
  if (int rc = BackupBeforeUpdate(k.ctx, k.noBackup, safety); rc != kExitOk) return rc;
  k.ctx.out << "Updating the KLF310 software at " << card.host << " (now "
            << VersionText(card.Version(pu::Klf310VersionEntry::kMainDescriptorOffset))
            << "). Do not switch the unit off meanwhile.\n";
  ProgressView view(k.ctx.out, k.ctx.err, k.ctx.terminal);
  view.CountRepeated(fw::UpdateReason::kBlockRefused);
  fw::UpdateRunner runner([&](const fw::UpdateStatus& status) { view.Status(status); });
  runner.OnWaiting([&view](std::uint64_t ms) { view.Waiting(ms); });
  InterruptGuard guard(
      "stopping now leaves the KLF310 card without working software; it then needs the update "
      "run again");
  runner.OnUnsafe([&guard](bool unsafe) { guard.SetUnsafe(unsafe); });
  rc::CKLF310Thread worker(runner.Target(), card.host, k.ctx.clock);
  // The card does not come: nothing has been erased yet, so the wait ends.
  runner.SetWaitLimit(kWaitLimitMs, [&worker] { worker.Cancel(); });
  fw::UpdateResult result = runner.Run(worker);
  view.Finish();
  // An unanswered end or start is decided by the version the card reports.
  if (!result.Done() && result.reason != fw::UpdateReason::kUnanswered) {
    k.ctx.err << "mrxctl: the KLF310 update failed: " << FailureText(result.reason, card.host)
              << "\n";
    return UpdateExitCode(result.reason);
  }
  // The card restarts with the new software; its descriptor tells when.
  const fw::SoftwareVersion carried = fw::DoloSoftwareVersion(image->version);
  std::string now;
  fw::UpdateRunner::ReadBack(
      result,
      [&]() -> std::optional<fw::SoftwareVersion> {
        std::optional<fw::SoftwareVersion> last;
        for (int i = 0; i < kVersionReads; ++i) {
          ul::ModuleInfo info;
          if (ul::ReadModuleDescriptor(k.ctx.usb, card.info.address, info)) {
            card.info = info;
            const auto v = card.Version(pu::Klf310VersionEntry::kMainDescriptorOffset);
            now = VersionText(v);
            last = v.valid ? std::optional(fw::SoftwareVersion{v.major, v.minor}) : std::nullopt;
            if (last == carried) break;
          }
          k.ctx.clock.Sleep(kVersionReadMs);
        }
        return last;
      },
      carried);
  const char* unanswered =
      result.decidedByReadBack ? "the card did not answer every closing command, and " : "";
  if (!result.Done()) {
    k.ctx.err << "mrxctl: the KLF310 update failed: " << unanswered << "the card now reports "
              << (now.empty() ? "no application" : now) << ", not the carried "
              << fw::DoloVersionText(image->version) << "\n";
    return kExitIoError;
  }
  if (result.decidedByReadBack) {
    k.ctx.out << "The card did not answer every closing command, but it now reports " << now
              << ".\n";
  }
  k.ctx.out << "The KLF310 reports " << now << ".\n";
  CompareAfterUpdate(k.ctx, safety);
  return kExitOk;
}

}  // namespace

void AddKlfCommand(CLI::App& app, Context& ctx, std::function<int()>& action) {
  auto klf = std::make_shared<Klf>(Klf{ctx, {}, {}, false});
  auto* group = app.add_subcommand(
      "klf", "the KLF310 room-correction card: network identity, curves, software update");
  group->fallthrough();
  group->require_subcommand(1);
  group->add_option("--ip", klf->ip, "the card's IPv4 address (else from its settings)")
      ->type_name("ADDRESS")
      ->check(CLI::ValidIPV4);
  group->add_option("--module", klf->module, "the card's module address (else the first KLF310)")
      ->type_name("ADDRESS")
      ->check(CLI::Range(1, 15));

  group->add_subcommand("info", "IP address, subnet mask, MAC, channel count and versions")
      ->callback([klf, &action] { action = [klf] { return Info(*klf); }; });

  struct Args {
    int channel = 0;
    std::string file;
    bool all = false;
    int column = 1;
  };
  auto args = std::make_shared<Args>();
  auto* curve = group->add_subcommand("curve", "a channel's 2048-bin correction curve");
  curve->fallthrough();
  curve->require_subcommand(1);
  auto* get = curve->add_subcommand(
      "get", "save CHANNEL's curve as a slope file, or with --all every channel into a folder");
  get->add_flag("--all", args->all, "every channel, into the folder FILE names");
  get->add_option("CHANNEL_OR_DIR", args->file, "channel 0-15 then FILE; or with --all the folder")
      ->required();
  auto fileAfter = std::make_shared<std::string>();
  get->add_option("FILE", *fileAfter, "the slope file to write");
  get->callback([klf, args, fileAfter, &action] {
    if (args->all) {
      if (!fileAfter->empty()) throw CLI::ValidationError("--all takes the folder only");
      action = [klf, args] { return CurveGetAll(*klf, args->file); };
      return;
    }
    const std::string& channel = args->file;
    int n = -1;
    const auto [end, ec] = std::from_chars(channel.data(), channel.data() + channel.size(), n);
    if (ec != std::errc() || end != channel.data() + channel.size() || n < 0 || n > 15)
      throw CLI::ValidationError("CHANNEL", "'" + channel + "' is not a channel (0-15)");
    if (fileAfter->empty()) throw CLI::RequiredError("FILE");
    action = [klf, n, fileAfter] { return CurveGet(*klf, n, *fileAfter); };
  });

  auto* put = curve->add_subcommand("put", "write a slope file into CHANNEL's curve");
  put->add_option("CHANNEL", args->channel, "channel 0-15")->required()->check(CLI::Range(0, 15));
  put->add_option("FILE", args->file, "the slope file ([SLOPE], 2048 lines)")->required();
  put->callback([klf, args, &action] {
    action = [klf, args] { return CurvePut(*klf, args->channel, args->file); };
  });

  auto* import = curve->add_subcommand(
      "import", "put a measurement's text export (Hz, dB, optional phase) into one column");
  import->add_option("CHANNEL", args->channel, "channel 0-15")
      ->required()
      ->check(CLI::Range(0, 15));
  import->add_option("FILE", args->file, "the measurement text")->required();
  import->add_option("--column", args->column, "1 amplitude, 2 phase, 3-6 rooms 1-4 (default 1)")
      ->check(CLI::Range(1, 6));
  import->callback([klf, args, &action] {
    action = [klf, args] {
      return CurveImport(*klf, args->channel, args->file, args->column);
};
}  // namespace tools::mrxctl
);

auto* update =
    group->add_subcommand("update", "replace the card's software with the carried image");
update->add_flag("--no-backup", klf->noBackup,
                 "update without a backup of the settings first (one that cannot read every module "
                 "stops the update)");
update->callback([klf, &action] { action = [klf] { return Update(*klf); }; });
}

}  // namespace tools::mrxctl
