#include "desktop/backup/Restore.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "desktop/backup/UnitAccess.h"
#include "desktop/roomcorrection/KlfCardHost.h"
#include "desktop/roomcorrection/KlfCurveRetry.h"
#include "desktop/roomcorrection/KlfLink.h"
#include "protocol/klf/KlfMessage.h"
#include "protocol/unit/IdentityRecord.h"
#include "protocol/unit/Klf310Image.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/SettingsFields.h"

namespace desktop::backup {

namespace pk = protocol::klf;
namespace pu = protocol::unit;
namespace rc = roomcorrection;
namespace ul = unitlink;

namespace {

using Kind = RestoreOutcome::Kind;

const ul::ModuleInfo* FindLive(const ul::Discovery& unit, std::uint8_t address) {
  if (address == pu::kMainUnitAddress) return &unit.mainUnit;
  for (const ul::ModuleInfo& card : unit.cards) {
    if (card.address == address) return &card;
  }
  return nullptr;
}

bool Wanted(const RestoreOptions& options, std::uint8_t address) {
  return options.only.empty() ||
         std::find(options.only.begin(), options.only.end(), address) != options.only.end();
}

std::string BackupName(const ModuleBackup& m) {
  return "module " + std::to_string(m.address) + " (" + m.Model() + ")";
}

std::string CurvesName(std::uint8_t address) {
  return "curves of the KLF310 at module " + std::to_string(address);
}

RestoreOutcome Step(std::uint8_t address, bool curves, Kind kind, std::string what,
                    std::string message, bool mismatch = false) {
  RestoreOutcome o;
  o.address = address;
  o.curves = curves;
  o.kind = kind;
  o.what = std::move(what);
  o.message = std::move(message);
  o.mismatch = mismatch;
  return o;
}

std::string Serial(std::span<const std::uint8_t> image) {
  char text[8];
  std::snprintf(text, sizeof text, "%04u", unsigned{pu::IdentityRecord::Decode(image).serial});
  return text;
}

std::string Dotted(std::span<const std::uint8_t> image, std::size_t at) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", image[at], image[at + 1], image[at + 2],
                image[at + 3]);
  return text;
}

std::string MacText(std::span<const std::uint8_t> image) {
  char text[20];
  const std::size_t at = pu::Klf310Image::kMac;
  std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", image[at], image[at + 1],
                image[at + 2], image[at + 3], image[at + 4], image[at + 5]);
  return text;
}

// The image to write for `m` into the module that holds `now`: the backup's
// settings with the module's own identity record and, from another unit's
// backup, a KLF310's own network identity, which its curve link and the
// network it sits on depend on. `kept` says what stayed the module's own.
std::vector<std::uint8_t> ImageFor(const ModuleBackup& m, std::span<const std::uint8_t> now,
                                   bool otherUnit, std::string& kept) {
  std::vector<std::uint8_t> image = m.image;
  kept.clear();
  if (image.size() >= pu::IdentityRecord::kSize && now.size() >= pu::IdentityRecord::kSize) {
    std::copy_n(now.begin(), pu::IdentityRecord::kSize, image.begin());
    if (otherUnit ||
        !std::equal(image.begin(), image.begin() + pu::IdentityRecord::kSize, m.image.begin())) {
      kept = "; it keeps its own serial " + Serial(image) +
             " and delivery date (the backup's: " + Serial(m.image) + ")";
    }
  }
  constexpr std::size_t kNetworkEnd = pu::Klf310Image::kSubnet + pu::Klf310Image::kAddressSize;
  if (otherUnit && m.address != pu::kMainUnitAddress && m.type == pu::type::kKLF310 &&
      image.size() >= kNetworkEnd && now.size() >= kNetworkEnd) {
    std::copy(now.begin() + pu::Klf310Image::kMac, now.begin() + kNetworkEnd,
              image.begin() + pu::Klf310Image::kMac);
    kept += "; it keeps its own network address " + Dotted(now, pu::Klf310Image::kIp) + ", mask " +
            Dotted(now, pu::Klf310Image::kSubnet) + " and MAC address " + MacText(now) +
            " (the backup's: " + Dotted(m.image, pu::Klf310Image::kIp) + ")";
  }
  return image;
}

// Writes the backup's image with what the module keeps of its own, stores it
// and reads the stored copy back.
RestoreOutcome WriteModule(ul::CTiroUSB& usb, const ul::ModuleInfo& live, const ModuleBackup& m,
                           bool otherUnit, std::vector<std::uint8_t>& written) {
  const std::string what = BackupName(m);
  std::vector<std::uint8_t> now;
  if (!ReadImage(usb, live, false, now)) {
    return Step(m.address, false, Kind::kFailed, what,
                "its identity record could not be read: nothing was written");
  }
  std::string kept;
  written = ImageFor(m, now, otherUnit, kept);
  if (!WriteImage(usb, m.address, written)) {
    return Step(m.address, false, Kind::kFailed, what,
                "writing failed; the unit may hold part of the image until it is written again");
  }
  std::vector<std::uint8_t> back;
  if (!ReadImage(usb, live, true, back)) {
    return Step(m.address, false, Kind::kFailed, what,
                "written, but the stored image could not be read back to verify it");
  }
  if (back != written) {
    return Step(m.address, false, Kind::kFailed, what,
                "written, but the unit stored another image than was written");
  }
  return Step(m.address, false, Kind::kVerified, what, "written and verified" + kept);
}

RestoreOutcome WriteCurves(const std::string& host, const CurveBackup& curves,
                           const BackupProgress& progress, unsigned& step, unsigned total) {
  const std::string what = CurvesName(curves.address);
  rc::KlfLink link;
  rc::ConnectCurvePort(link, host, platform::DefaultClock(), [&] {
    progress.Report(step, total, "Waiting for the KLF310 at " + host);
    return !progress.Cancelled();
  });
  for (std::size_t c = 0; c < curves.channels.size(); ++c) {
    progress.Report(++step, total,
                    "Writing curve " + std::to_string(c) + " of the KLF310 at " + host);
    const auto channel = static_cast<std::uint16_t>(c);
    const auto& bins = curves.channels[c];
    std::vector<pk::CurveBin> back(bins.size());
    const bool ok = rc::WriteCurveAsked(link, host, channel, bins) &&
                    rc::ReadCurveAsked(link, host, channel, back);
    if (!ok) {
      return Step(curves.address, true, Kind::kFailed, what,
                  "the KLF310 at " + host + " did not take or give back the curve of channel " +
                      std::to_string(c));
    }
    if (back != bins) {
      return Step(curves.address, true, Kind::kFailed, what,
                  "the curve of channel " + std::to_string(c) + " read back differs");
    }
  }
  return Step(curves.address, true, Kind::kVerified, what,
              std::to_string(curves.channels.size()) + " channels written and verified");
}

std::string RangeEnd(const pu::SettingsField& f, int value) {
  if (f.tenths) return pu::TenthsText(value, f.unit);
  return std::to_string(value) + (f.unit.empty() ? "" : " " + std::string(f.unit));
}

// The fields of the module's image whose values lie outside their field's
// range: "offset 1 -0.1 dB (0.0 dB to 48.0 dB)".
std::vector<std::string> ImpossibleValues(const ModuleBackup& m) {
  std::vector<std::string> found;
  const std::uint8_t type = m.address == pu::kMainUnitAddress ? pu::kMainUnit.code : m.type;
  for (const pu::SettingsField& f : pu::FieldsFor(type)) {
    if (f.min == f.max) continue;
    const std::optional<long> value = pu::FieldNumber(f, m.image);
    if (!value || (*value >= f.min && *value <= f.max)) continue;
    found.push_back(f.name + " " + pu::FormatField(f, m.image) + " (" + RangeEnd(f, f.min) +
                    " to " + RangeEnd(f, f.max) + ")");
  }
  return found;
}

}  // namespace

RestorePlan PlanRestore(const ul::Discovery& unit, const UnitBackup& backup,
                        const RestoreOptions& options, const std::vector<std::uint8_t>& silent) {
  RestorePlan plan;
  for (std::uint8_t address : options.only) {
    if (backup.FindModule(address) == nullptr && !backup.ModuleMissing(address)) {
      plan.steps.push_back(Step(address, false, Kind::kSkipped, "module " + std::to_string(address),
                                "the backup holds no module at this address", true));
    }
  }
  // What a partial backup lacks stays as the unit has it.
  for (std::uint8_t address : backup.missingModules) {
    if (!Wanted(options, address)) continue;
    plan.steps.push_back(Step(address, false, Kind::kSkipped, "module " + std::to_string(address),
                              "the backup lacks it (it could not be read when the backup was "
                              "taken): left as it is"));
  }
  for (std::uint8_t address : backup.missingCurves) {
    if (!Wanted(options, address) || !options.curves) continue;
    plan.steps.push_back(Step(address, true, Kind::kSkipped, CurvesName(address),
                              "the backup lacks them (they could not be read when the backup was "
                              "taken): left as they are"));
  }
  for (const ModuleBackup& m : backup.modules) {
    if (!Wanted(options, m.address)) continue;
    const std::string what = BackupName(m);
    const CurveBackup* curves = options.curves ? backup.FindCurves(m.address) : nullptr;
    if (std::find(silent.begin(), silent.end(), m.address) != silent.end()) {
      plan.steps.push_back(Step(m.address, false, Kind::kFailed, what,
                                "the unit's module at this address does not answer: not written"));
      if (curves != nullptr) {
        plan.steps.push_back(Step(m.address, true, Kind::kFailed, CurvesName(m.address),
                                  "not written, as the card does not answer"));
      }
      continue;
    }
    auto skip = [&](const std::string& why, bool mismatch) {
      plan.steps.push_back(Step(m.address, false, Kind::kSkipped, what, why, mismatch));
      if (curves != nullptr) {
        plan.steps.push_back(Step(m.address, true, Kind::kSkipped, CurvesName(m.address),
                                  "not written, as the card's settings are not", mismatch));
      }
    };
    const ul::ModuleInfo* live = FindLive(unit, m.address);
    if (live == nullptr) {
      skip("the unit has no module at this address: not written", true);
      continue;
    }
    const auto f = live->Fields();
    if (f.type != m.type) {
      skip("the unit has " + ModuleName(*live) + " there, of type " + std::to_string(f.type) +
               " where the backup has type " + std::to_string(m.type) + ": not written",
           true);
      continue;
    }
    if (!f.SoftwareRunning()) {
      skip("it is not running its software: not written", false);
      continue;
    }
    if (ul::SettingsLength(*live) != m.image.size()) {
      skip("its settings image is " + std::to_string(ul::SettingsLength(*live)) +
               " bytes, the backup's " + std::to_string(m.image.size()) + ": not written",
           true);
      continue;
    }
    if (const auto impossible = ImpossibleValues(m); !impossible.empty()) {
      std::string list;
      for (const std::string& value : impossible) list += (list.empty() ? "" : ", ") + value;
      skip("holds values no card takes: " + list + ": not written", true);
      plan.impossible = true;
      continue;
    }
    if (!m.image.empty()) {
      plan.steps.push_back(Step(m.address, false, Kind::kWouldWrite, what,
                                "would be written (" + std::to_string(m.image.size()) + " bytes)"));
    }
    if (curves != nullptr) {
      plan.steps.push_back(
          Step(m.address, true, Kind::kWouldWrite, CurvesName(m.address),
               "would be written (" + std::to_string(curves->channels.size()) + " channels)"));
    }
  }
  return plan;
}

bool RestoreResult::Success() const {
  return status == Status::kDone &&
         std::all_of(outcomes.begin(), outcomes.end(), [](const RestoreOutcome& o) {
           return o.kind == Kind::kVerified || o.kind == Kind::kWouldWrite;
         });
}

RestoreResult Restore(ul::CTiroUSB& usb, const UnitBackup& backup, const RestoreOptions& options,
                      const BackupProgress& progress) {
  RestoreResult result;
  ul::Discovery unit;
  std::vector<std::uint8_t> silent;
  switch (DiscoverUnit(usb, unit, silent, result.error)) {
    case Found::kUnit:
      break;
    case Found::kNoUnit:
      result.status = RestoreResult::Status::kNoUnit;
      return result;
    case Found::kNoAnswer:
      result.status = RestoreResult::Status::kNoAnswer;
      return result;
  }
  const ModuleBackup* main = backup.FindModule(pu::kMainUnitAddress);
  std::vector<std::uint8_t> mainImage;
  const bool compareSerials = main != nullptr && main->image.size() >= pu::IdentityRecord::kSize &&
                              unit.mainUnit.Fields().SoftwareRunning();
  // Whose backup it is decides what may be written: without the unit's
  // serial nothing is.
  if (compareSerials && (!ReadImage(usb, unit.mainUnit, false, mainImage) ||
                         mainImage.size() < pu::IdentityRecord::kSize)) {
    result.status = RestoreResult::Status::kNoAnswer;
    result.error = "the unit's serial could not be read to compare it with the backup's";
    return result;
  }
  if (compareSerials) {
    result.backupSerial = pu::IdentityRecord::Decode(main->image).serial;
    result.unitSerial = pu::IdentityRecord::Decode(mainImage).serial;
    if (result.backupSerial != result.unitSerial) {
      const std::string serials = "the backup was taken from the unit with serial " +
                                  Serial(main->image) + "; this unit's serial is " +
                                  Serial(mainImage);
      if (!options.otherUnit) {
        result.status = RestoreResult::Status::kOtherUnit;
        result.error = serials;
        return result;
      }
      result.notes.push_back(serials +
                             ": each module keeps this unit's serial and delivery date, the "
                             "KLF310 its network address");
    }
  }
  if (backup.Partial()) {
    result.notes.push_back("the backup is partial: it lacks " + backup.MissingText());
  }
  for (std::uint8_t a : silent) {
    if (backup.FindModule(a) == nullptr) {
      result.notes.push_back("module " + std::to_string(a) + " does not answer: left as it is");
    }
  }
  if (options.only.empty()) {
    for (const ul::ModuleInfo& m : AllModules(unit)) {
      if (backup.FindModule(m.address) == nullptr && !backup.ModuleMissing(m.address)) {
        result.notes.push_back(ModuleName(m) + " is not in the backup: left as it is");
      }
    }
  }
  const RestorePlan plan = PlanRestore(unit, backup, options, silent);
  if (plan.impossible) {
    result.status = RestoreResult::Status::kRefused;
    result.error = "The backup holds values no card takes; nothing was written.";
    for (RestoreOutcome s : plan.steps) {
      if (s.kind == Kind::kWouldWrite && !options.dryRun) {
        s.kind = Kind::kSkipped;
        s.message = "not written: the backup holds values no card takes";
      }
      result.outcomes.push_back(s);
    }
    return result;
  }
  // The image each card holds now, or once written: a KLF310's network
  // address comes from it.
  std::vector<std::vector<std::uint8_t>> held(16);
  const auto cardHost = [&](const RestoreOutcome& s, std::string& host) {
    if (!options.klfHost.empty()) {
      host = options.klfHost;
      return true;
    }
    if (held[s.address].empty() &&
        !ReadImage(usb, *FindLive(unit, s.address), false, held[s.address])) {
      return false;
    }
    host = rc::KlfCardHost(held[s.address]);
    return true;
  };
  if (options.dryRun) {
    // Says what each module would keep of its own, and where curves would go.
    for (RestoreOutcome s : plan.steps) {
      if (s.kind == Kind::kWouldWrite && !s.curves) {
        const ul::ModuleInfo& live = *FindLive(unit, s.address);
        std::vector<std::uint8_t> now;
        std::string kept;
        if (ReadImage(usb, live, false, now)) {
          ImageFor(*backup.FindModule(s.address), now, options.otherUnit, kept);
          held[s.address] = now;
          s.message += kept;
        } else {
          s.kind = Kind::kFailed;
          s.message = "its identity record could not be read";
        }
      } else if (s.kind == Kind::kWouldWrite) {
        std::string host;
        if (cardHost(s, host)) {
          s.message += " to the KLF310 at " + host;
        } else {
          s.kind = Kind::kFailed;
          s.message = "the card's network address could not be read";
        }
      }
      result.outcomes.push_back(s);
    }
    return result;
  }
  unsigned total = 0, step = 0;
  for (const RestoreOutcome& s : plan.steps) {
    if (s.kind != Kind::kWouldWrite) continue;
    total += s.curves ? static_cast<unsigned>(backup.FindCurves(s.address)->channels.size()) : 1;
  }
  for (const RestoreOutcome& s : plan.steps) {
    if (s.kind != Kind::kWouldWrite) {
      result.outcomes.push_back(s);
      continue;
    }
    if (progress.Cancelled()) {
      result.status = RestoreResult::Status::kCancelled;
      result.outcomes.push_back(
          Step(s.address, s.curves, Kind::kSkipped, s.what, "not written: cancelled"));
      continue;
    }
    const ul::ModuleInfo& live = *FindLive(unit, s.address);
    if (!s.curves) {
      progress.Report(++step, total, "Writing the settings of " + s.what);
      result.outcomes.push_back(WriteModule(usb, live, *backup.FindModule(s.address),
                                            options.otherUnit, held[s.address]));
      continue;
    }
    std::string host;
    if (!cardHost(s, host)) {
      result.outcomes.push_back(Step(s.address, true, Kind::kFailed, s.what,
                                     "the card's network address could not be read"));
      continue;
    }
    result.outcomes.push_back(
        WriteCurves(host, *backup.FindCurves(s.address), progress, step, total));
  }
  return result;
}

}  // namespace desktop::backup
