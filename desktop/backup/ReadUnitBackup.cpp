#include "desktop/backup/ReadUnitBackup.h"

#include <algorithm>
#include <map>
#include <optional>
#include <span>

#include "desktop/backup/UnitAccess.h"
#include "desktop/roomcorrection/KlfCardHost.h"
#include "desktop/roomcorrection/KlfCurveRetry.h"
#include "desktop/roomcorrection/KlfLink.h"
#include "protocol/klf/KlfMessage.h"
#include "protocol/unit/IdentityRecord.h"
#include "protocol/unit/Klf310Image.h"
#include "protocol/unit/ModuleCatalogue.h"

namespace desktop::backup {

namespace pk = protocol::klf;
namespace pu = protocol::unit;
namespace rc = roomcorrection;
namespace ul = unitlink;

namespace {

using Status = ReadResult::Status;

ReadResult Failed(ReadResult result, Status status, std::string error) {
  result.status = status;
  result.error = std::move(error);
  result.backup = {};  // never half a unit
  return result;
}

ModuleBackup Entry(const ul::ModuleInfo& m) {
  const auto f = m.Fields();
  ModuleBackup b;
  b.address = m.address;
  b.subAddress = m.subAddress;
  b.type = f.type;
  b.versionMajor = f.versionMajor;
  b.versionMinor = f.versionMinor;
  b.versionDay = f.versionDay;
  b.versionMonth = f.versionMonth;
  b.versionYear = f.versionYear;
  return b;
}

bool IsKlf310(const ModuleBackup& m) {
  return m.address != pu::kMainUnitAddress && m.type == pu::type::kKLF310 &&
         m.image.size() >= pu::Klf310Image::kEnd;
}

}  // namespace

ReadResult ReadUnitBackup(ul::CTiroUSB& usb, const ReadOptions& options,
                          const BackupProgress& progress, platform::Clock& clock) {
  ReadResult result;
  ul::Discovery found;
  std::vector<std::uint8_t> silent;
  std::string error;
  switch (DiscoverUnit(usb, found, silent, error, clock)) {
    case Found::kUnit:
      break;
    case Found::kNoUnit:
      return Failed(std::move(result), Status::kNoUnit, error);
    case Found::kNoAnswer:
      return Failed(std::move(result), Status::kFailed, error);
  }
  if (!found.mainUnit.Fields().SoftwareRunning()) {
    return Failed(std::move(result), Status::kNoHostSoftware,
                  "the unit is not running its host software (only its boot software answers), "
                  "so it shows no settings to read");
  }
  const auto modules = AllModules(found);
  unsigned klfCards = 0;
  for (const auto& m : modules) {
    if (m.address != pu::kMainUnitAddress && m.Fields().type == pu::type::kKLF310) ++klfCards;
  }
  const unsigned total = static_cast<unsigned>(modules.size() + silent.size()) +
                         (options.curves ? klfCards * unsigned{pu::Klf310Image::kChannelCount} : 0);
  unsigned step = 0;
  UnitBackup& backup = result.backup;
  // Modules that gave no settings yet, by address, with their descriptor when
  // they gave that.
  std::map<std::uint8_t, std::optional<ul::ModuleInfo>> unread;
  for (std::uint8_t a : silent) unread[a] = std::nullopt;
  const auto read = [&](const ul::ModuleInfo& m) {
    if (!m.Fields().SoftwareRunning()) {
      result.notes.push_back(ModuleName(m) +
                             " is not running its software: its settings are not in the backup");
      unread.erase(m.address);
      return;
    }
    ModuleBackup entry = Entry(m);
    if (ul::SettingsLength(m) > 0 && !ReadImage(usb, m, false, entry.image)) {
      unread[m.address] = m;
      return;
    }
    unread.erase(m.address);
    backup.modules.push_back(std::move(entry));
  };
  for (const ul::ModuleInfo& m : modules) {
    if (progress.Cancelled()) return Failed(std::move(result), Status::kCancelled, "cancelled");
    progress.Report(++step, total, "Reading the settings of " + ModuleName(m));
    read(m);
  }
  // Once more after the others: a card busy for a moment answers now.
  for (const auto& [address, known] : std::map(unread)) {
    if (progress.Cancelled()) return Failed(std::move(result), Status::kCancelled, "cancelled");
    progress.Report(++step, total, "Asking module " + std::to_string(address) + " again");
    ul::ModuleInfo m;
    if (known) {
      m = *known;
    } else if (const std::uint8_t at = address;
               !Asked([&] { return ul::ReadModuleDescriptor(usb, at, m); })) {
      continue;
    }
    read(m);
  }
  std::sort(backup.modules.begin(), backup.modules.end(),
            [](const ModuleBackup& x, const ModuleBackup& y) { return x.address < y.address; });
  if (unread.contains(pu::kMainUnitAddress)) {
    return Failed(std::move(result), Status::kFailed,
                  "reading the settings of the main unit (module 0) failed");
  }
  const ModuleBackup* main = backup.FindModule(pu::kMainUnitAddress);
  if (main != nullptr && main->image.size() >= pu::IdentityRecord::kSize) {
    backup.serial = pu::IdentityRecord::Decode(main->image).serial;
  }
  for (const auto& [address, known] : unread) {
    backup.missingModules.push_back(address);
    result.missing.push_back(known ? ModuleName(*known) + ": its settings could not be read"
                                   : "module " + std::to_string(address) + " did not answer");
    if (options.curves && known && known->Fields().type == pu::type::kKLF310) {
      backup.missingCurves.push_back(address);
      result.missing.push_back("the curves of the KLF310 at module " + std::to_string(address) +
                               ": its network address could not be read");
    }
  }
  if (options.curves) {
    for (const ModuleBackup& m : backup.modules) {
      if (!IsKlf310(m)) continue;
      const std::string host = options.klfHost.empty() ? rc::KlfCardHost(m.image) : options.klfHost;
      CurveBackup curves;
      curves.address = m.address;
      rc::KlfLink link;
      rc::ConnectCurvePort(link, host, clock, [&] {
        progress.Report(step, total, "Waiting for the KLF310 at " + host);
        return !progress.Cancelled();
      });
      for (std::uint16_t c = 0; c < pu::Klf310Image::kChannelCount; ++c) {
        if (progress.Cancelled()) return Failed(std::move(result), Status::kCancelled, "cancelled");
        progress.Report(++step, total,
                        "Reading curve " + std::to_string(c) + " of the KLF310 at " + host);
        std::vector<pk::CurveBin> bins(pk::CurveBin::kBinCount);
        if (!rc::ReadCurveAsked(link, host, c, bins)) {
          result.curvesFailed = true;
          result.missing.push_back("the KLF310 at module " + std::to_string(m.address) + " (" +
                                   host + ") did not give the curve of channel " +
                                   std::to_string(c));
          curves.channels.clear();
          break;
        }
        curves.channels.push_back(std::move(bins));
      }
      if (curves.channels.empty()) {
        backup.missingCurves.push_back(m.address);
      } else {
        backup.curves.push_back(std::move(curves));
      }
    }
    std::sort(backup.missingCurves.begin(), backup.missingCurves.end());
  }
  backup.written = clock.Now();
  if (!result.missing.empty()) {
    for (const std::string& line : result.missing) {
      result.error += (result.error.empty() ? "" : "; ") + line;
    }
    result.status = Status::kIncomplete;
    return result;
  }
  result.status = Status::kComplete;
  return result;
}

}  // namespace desktop::backup
