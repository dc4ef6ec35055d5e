#include "desktop/backup/ReadUnitBackup.h"

#include <algorithm>
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
  std::string error;
  switch (DiscoverUnit(usb, found, error)) {
    case Found::kUnit:
      break;
    case Found::kNoUnit:
      return Failed(std::move(result), Status::kNoUnit, error);
    case Found::kNoAnswer:
      return Failed(std::move(result), Status::kFailed, error);
  }
  const auto modules = AllModules(found);
  unsigned klfCards = 0;
  for (const auto& m : modules) {
    if (m.address != pu::kMainUnitAddress && m.Fields().type == pu::type::kKLF310) ++klfCards;
  }
  const unsigned total = static_cast<unsigned>(modules.size()) +
                         (options.curves ? klfCards * unsigned{pu::Klf310Image::kChannelCount} : 0);
  unsigned step = 0;
  UnitBackup& backup = result.backup;
  for (const ul::ModuleInfo& m : modules) {
    if (progress.Cancelled()) return Failed(std::move(result), Status::kCancelled, "cancelled");
    progress.Report(++step, total, "Reading the settings of " + ModuleName(m));
    if (!m.Fields().SoftwareRunning()) {
      result.notes.push_back(ModuleName(m) +
                             " is not running its software: its settings are not in the backup");
      continue;
    }
    ModuleBackup entry = Entry(m);
    if (ul::SettingsLength(m) > 0 && !ReadImage(usb, m, false, entry.image)) {
      return Failed(std::move(result), Status::kFailed,
                    "reading the settings of " + ModuleName(m) + " failed");
    }
    backup.modules.push_back(std::move(entry));
  }
  const ModuleBackup* main = backup.FindModule(pu::kMainUnitAddress);
  if (main != nullptr && main->image.size() >= pu::IdentityRecord::kSize) {
    backup.serial = pu::IdentityRecord::Decode(main->image).serial;
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
          return Failed(std::move(result), Status::kFailed,
                        "the KLF310 at module " + std::to_string(m.address) + " (" + host +
                            ") did not give the curve of channel " + std::to_string(c));
        }
        curves.channels.push_back(std::move(bins));
      }
      backup.curves.push_back(std::move(curves));
    }
  }
  backup.written = clock.Now();
  result.status = Status::kComplete;
  return result;
}

}  // namespace desktop::backup
