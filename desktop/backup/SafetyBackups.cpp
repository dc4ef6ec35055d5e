#include "desktop/backup/SafetyBackups.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <system_error>
#include <vector>

#include "desktop/backup/BackupFile.h"

namespace desktop::backup {

namespace fs = std::filesystem;

namespace {

// "20240305T140211Z-00.mrxb": UTC, so names sort by time across daylight
// saving changes; the number tells apart backups of the same second.
const std::regex kName(R"(\d{8}T\d{6}Z-\d{2}\.mrxb)");
constexpr int kSameSecond = 100;

}  // namespace

fs::path SafetyBackups::Folder(std::string& error) {
  // Relative values are to be ignored, as the base directory rules say.
  const char* data = std::getenv("XDG_DATA_HOME");
  fs::path base;
  if (data != nullptr && fs::path(data).is_absolute()) {
    base = data;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    base = fs::path(home) / ".local" / "share";
  } else {
    error = "neither XDG_DATA_HOME nor HOME is set, so there is no folder for backups";
    return {};
  }
  return base / "mrx520" / "backups";
}

fs::path SafetyBackups::Save(const UnitBackup& backup, std::time_t now, std::string& error) {
  const fs::path root = Folder(error);
  if (root.empty()) return {};
  char serial[8];
  std::snprintf(serial, sizeof serial, "%04u", unsigned{backup.serial});
  const fs::path folder = root / serial;
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) {
    error = "cannot make the folder " + folder.string();
    return {};
  }
  std::tm utc{};
  gmtime_r(&now, &utc);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
  fs::path file;
  for (int n = 0; n < kSameSecond && file.empty(); ++n) {
    char name[48];
    std::snprintf(name, sizeof name, "%s-%02d.mrxb", stamp, n);
    if (!fs::exists(folder / name, ec)) file = folder / name;
  }
  if (file.empty()) {
    error = "too many backups in " + folder.string() + " within one second";
    return {};
  }
  if (!BackupFile::Save(file, backup, error)) return {};
  // Only once the new one is there whole: the oldest of ours beyond the last kKeep.
  std::vector<fs::path> ours;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file(ec) && std::regex_match(name, kName) && entry.path() != file) {
      ours.push_back(entry.path());
    }
  }
  std::sort(ours.begin(), ours.end());
  if (ours.size() + 1 > kKeep) {
    for (std::size_t i = 0; i < ours.size() + 1 - kKeep; ++i) fs::remove(ours[i], ec);
  }
  return file;
}

}  // namespace desktop::backup
