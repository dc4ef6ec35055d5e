#include "desktop/backup/UnitBackup.h"

#include <algorithm>
#include <cstdio>

#include "protocol/unit/ModuleCatalogue.h"

namespace desktop::backup {

namespace pu = protocol::unit;

std::string ModuleBackup::Model() const {
  return std::string(pu::ModuleModel(address, type));
}

std::string ModuleBackup::VersionText() const {
  char text[24];
  std::snprintf(text, sizeof text, "V%u.%03u", unsigned{versionMajor}, unsigned{versionMinor});
  return text;
}

std::string ModuleBackup::DateText() const {
  if (versionYear == 0) return "";
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", 2000 + versionYear, versionMonth, versionDay);
  return text;
}

const ModuleBackup* UnitBackup::FindModule(std::uint8_t address) const {
  for (const ModuleBackup& m : modules) {
    if (m.address == address) return &m;
  }
  return nullptr;
}

const CurveBackup* UnitBackup::FindCurves(std::uint8_t address) const {
  for (const CurveBackup& c : curves) {
    if (c.address == address) return &c;
  }
  return nullptr;
}

bool UnitBackup::ModuleMissing(std::uint8_t address) const {
  return std::find(missingModules.begin(), missingModules.end(), address) != missingModules.end();
}

bool UnitBackup::CurvesMissing(std::uint8_t address) const {
  return std::find(missingCurves.begin(), missingCurves.end(), address) != missingCurves.end();
}

std::string UnitBackup::MissingText() const {
  std::string text;
  for (std::uint8_t a : missingModules) {
    text += (text.empty() ? "" : ", ") + std::string("module ") + std::to_string(a);
  }
  for (std::uint8_t a : missingCurves) {
    text += (text.empty() ? "" : ", ") + std::string("the curves of module ") + std::to_string(a);
  }
  return text;
}

}  // namespace desktop::backup
