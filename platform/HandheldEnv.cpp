#include "platform/HandheldEnv.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/AtomicFile.h"
#include "platform/PrintableText.h"

namespace platform {

namespace {

constexpr const char* kConfigName = "handheld.conf";
constexpr const char* kClockOffsetFile = "Windows/clock-offset";
constexpr std::size_t kMaxConfigBytes = 64 * 1024;  // a few short lines in practice

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

// Made absolute at once: programs started on the handheld run in another
// working folder, where a relative root would name another tree.
HandheldEnv::HandheldEnv(std::filesystem::path root) {
  std::error_code ec;
  root_ = std::filesystem::absolute(root, ec);
  if (ec) root_ = std::move(root);
}

std::filesystem::path HandheldEnv::DefaultRoot() {
  if (const char* h = std::getenv("WAVRIX_HANDHELD"); h != nullptr && *h != '\0') return h;
  if (const char* d = std::getenv("XDG_DATA_HOME"); d != nullptr && *d != '\0') {
    return std::filesystem::path(d) / "wavrix" / "handheld";
  }
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr ? home : "/tmp") / ".local" / "share" / "wavrix" /
         "handheld";
}

bool HandheldEnv::LoadConfig(std::string& error) {
  std::string text;
  const std::filesystem::path file = root_ / kConfigName;
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(file, ec))) return true;  // defaults
  // One that is there but cannot be read is an error, not the defaults.
  if (!ReadFileUpTo(file, kMaxConfigBytes, text, error)) {
    const std::string shown = file.string() + ": ";
    if (error.starts_with(shown)) error.erase(0, shown.size());  // the caller names the file
    return false;
  }
  storageCards_.clear();
  int lineNo = 0;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    const std::size_t end = std::min(text.find('\n', pos), text.size());
    const std::string_view line = Trim(std::string_view(text).substr(pos, end - pos));
    pos = end + 1;
    ++lineNo;
    if (line.empty() || line.front() == '#') continue;
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) {
      error = "line " + std::to_string(lineNo) + ": expected key=value";
      return false;
    }
    const std::string_view key = Trim(line.substr(0, eq));
    const std::string value(Trim(line.substr(eq + 1)));
    auto number = [&](int& out) {
      char* endp = nullptr;
      const long v = std::strtol(value.c_str(), &endp, 10);
      if (value.empty() || *endp != '\0' || v < 0 || v > 255) return false;
      out = static_cast<int>(v);
      return true;
    };
    bool ok = true;
    if (key == "os_major") {
      ok = number(osMajor_);
    } else if (key == "processor_architecture") {
      ok = number(processorArchitecture_);
    } else if (key == "storage_card") {
      ok = !value.empty() && value.find_first_of("/\\") == std::string::npos && value != ".." &&
           value != ".";
      if (ok) storageCards_.push_back(value);
    } else {
      error = "line " + std::to_string(lineNo) + ": unknown key '" + Printable(key) + "'";
      return false;
    }
    if (!ok) {
      error = "line " + std::to_string(lineNo) + ": bad value for " + Printable(key);
      return false;
    }
  }
  return true;
}

std::vector<HandheldEnv::DirEntry> HandheldEnv::ListRoot() const {
  std::vector<DirEntry> entries;
  std::error_code ec;
  for (const auto& item : std::filesystem::directory_iterator(root_, ec)) {
    DirEntry e;
    e.name = item.path().filename().string();
    if (e.name == kConfigName) continue;  // the stand-in's own description
    if (item.is_directory(ec)) {
      e.attributes = kAttrDirectory;
      for (const auto& card : storageCards_) {
        if (SameName(card, e.name)) e.attributes |= kAttrTemporary;
      }
    } else {
      e.attributes = kAttrNormal;
    }
    entries.push_back(std::move(e));
  }
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return entries;
}

std::optional<std::filesystem::path> HandheldEnv::MapPath(std::string_view handheldPath) const {
  std::filesystem::path out = root_;
  std::size_t pos = 0;
  while (pos <= handheldPath.size()) {
    const std::size_t end = std::min(handheldPath.find('\\', pos), handheldPath.size());
    const std::string_view part = handheldPath.substr(pos, end - pos);
    pos = end + 1;
    if (part.empty()) continue;
    if (part == "." || part == ".." || part.find('/') != std::string_view::npos ||
        part.find('\0') != std::string_view::npos) {
      return std::nullopt;
    }
    // The handheld's names ignore case: take an existing entry's spelling.
    std::filesystem::path next = out / std::string(part);
    std::error_code ec;
    if (!std::filesystem::exists(next, ec) && std::filesystem::is_directory(out, ec)) {
      for (const auto& item : std::filesystem::directory_iterator(out, ec)) {
        if (SameName(item.path().filename().string(), part)) {
          next = item.path();
          break;
        }
      }
    }
    out = next;
  }
  return out;
}

std::int64_t HandheldEnv::ClockOffset() const {
  std::string text, error;
  constexpr std::size_t kMaxOffsetBytes = 32;  // one signed number of seconds
  if (!ReadFileUpTo(root_ / kClockOffsetFile, kMaxOffsetBytes, text, error)) return 0;
  return std::strtoll(text.c_str(), nullptr, 10);
}

LocalTime HandheldEnv::Now(Clock& clock) const {
  return ToLocalTime(clock.WallTime() + static_cast<std::time_t>(ClockOffset()));
}

bool HandheldEnv::SetLocalTime(const LocalTime& t, Clock& clock, int& error) {
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour < 0 || t.hour > 23 ||
      t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 59) {
    error = EINVAL;
    return false;
  }
  const std::int64_t offset =
      static_cast<std::int64_t>(FromLocalTime(t)) - static_cast<std::int64_t>(clock.WallTime());
  std::error_code ec;
  std::filesystem::create_directories((root_ / kClockOffsetFile).parent_path(), ec);
  std::string why;
  if (!WriteFileAtomically(root_ / kClockOffsetFile, std::to_string(offset) + "\n", why)) {
    error = errno != 0 ? errno : EIO;
    return false;
  }
  return true;
}

}  // namespace platform
