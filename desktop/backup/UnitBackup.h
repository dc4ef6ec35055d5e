#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/LocalTime.h"
#include "protocol/klf/CurveBin.h"

namespace desktop::backup {

// One module's entry in a backup: where it sat, what it was and its settings image.
struct ModuleBackup {
  std::uint8_t address = 0;
  std::uint8_t subAddress = 0;
  std::uint8_t type = 0;
  std::uint16_t versionMajor = 0;
  std::uint16_t versionMinor = 0;
  std::uint8_t versionDay = 0;
  std::uint8_t versionMonth = 0;
  std::uint8_t versionYear = 0;  // year - 2000; 0 = no date
  // Empty for a module without settings image.
  std::vector<std::uint8_t> image;

  // "MRX520" at address 0, the catalogue's model, else "unknown".
  std::string Model() const;
  // "V2.105"
  std::string VersionText() const;
  // "2024-03-05", "" without a date.
  std::string DateText() const;
};

// A KLF310 card's correction curves as its link reads them: channels 0-15,
// kBinCount bins each.
struct CurveBackup {
  std::uint8_t address = 0;
  std::vector<std::vector<protocol::klf::CurveBin>> channels;
};

// The settings of a whole unit at one time.
struct UnitBackup {
  // From the main unit's identity record.
  std::uint16_t serial = 0;
  platform::LocalTime written;
  // Main unit first, then cards in address order.
  std::vector<ModuleBackup> modules;
  std::vector<CurveBackup> curves;
  // A partial backup: modules whose settings, and KLF310 cards whose curves,
  // could not be read when it was taken. Both empty for a whole backup.
  std::vector<std::uint8_t> missingModules;
  std::vector<std::uint8_t> missingCurves;

  bool Partial() const { return !missingModules.empty() || !missingCurves.empty(); }
  bool ModuleMissing(std::uint8_t address) const;
  bool CurvesMissing(std::uint8_t address) const;
  // "module 4, the curves of module 11" (empty for a whole backup).
  std::string MissingText() const;
  const ModuleBackup* FindModule(std::uint8_t address) const;
  const CurveBackup* FindCurves(std::uint8_t address) const;
};

}  // namespace desktop::backup
