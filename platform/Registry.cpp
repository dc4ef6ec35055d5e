#include "platform/Registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/AtomicFile.h"
#include "platform/PrintableText.h"

namespace platform {

namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kLocalMachine = "HKEY_LOCAL_MACHINE";
constexpr std::string_view kCurrentUser = "HKEY_CURRENT_USER";
// Far above anything the programs store; keeps a broken file from costing much.
constexpr std::size_t kMaxValueBytes = 1 << 16;
constexpr std::size_t kMaxHiveBytes = std::size_t{4} << 20;
constexpr std::size_t kShownLineBytes = 60;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// "a\\b\\" and "\\a\\b" name the same key as "a\\b".
std::string_view TrimKey(std::string_view key) {
  while (!key.empty() && key.front() == '\\') key.remove_prefix(1);
  while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
  return key;
}

std::string_view RootName(Hive hive) {
  return hive == Hive::kLocalMachine ? kLocalMachine : kCurrentUser;
}

std::string Quote(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// Reads a quoted text at `pos`; on success `pos` is past the closing quote.
bool Unquote(std::string_view line, std::size_t& pos, std::string& out) {
  if (pos >= line.size() || line[pos] != '"') return false;
  out.clear();
  for (++pos; pos < line.size(); ++pos) {
    char c = line[pos];
    if (c == '"') {
      ++pos;
      return true;
    }
    if (c == '\\') {
      if (++pos >= line.size()) return false;
      c = line[pos];
    }
    out += c;
  }
  return false;
}

bool ParseHexBytes(std::string_view text, std::vector<std::uint8_t>& out) {
  out.clear();
  std::size_t i = 0;
  auto skipBlanks = [&] {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  };
  skipBlanks();
  if (i == text.size()) return true;
  for (;;) {
    skipBlanks();
    unsigned value = 0;
    int digits = 0;
    while (i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])) && digits < 3) {
      const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
      value = value * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : c - 'a' + 10);
      ++digits;
      ++i;
    }
    if (digits == 0 || digits > 2 || out.size() >= kMaxValueBytes) return false;
    out.push_back(static_cast<std::uint8_t>(value));
    skipBlanks();
    if (i == text.size()) return true;
    if (text[i] != ',') return false;
    ++i;
  }
}

bool ParseData(std::string_view text, RegistryValue& value) {
  if (text.starts_with("\"")) {
    std::size_t pos = 0;
    std::string s;
    if (!Unquote(text, pos, s) || pos != text.size()) return false;
    value.type = kRegSz;
    value.data.assign(s.begin(), s.end());
    value.data.push_back(0);
    return true;
  }
  if (text.starts_with("dword:")) {
    const std::string_view digits = text.substr(6);
    if (digits.size() != 8) return false;
    std::uint32_t v = 0;
    for (char c : digits) {
      if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
      const char l = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      v = v * 16 + static_cast<std::uint32_t>(l <= '9' ? l - '0' : l - 'a' + 10);
    }
    value.type = kRegDword;
    value.data = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                  static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
    return true;
  }
  if (text.starts_with("hex:")) {
    value.type = kRegBinary;
    return ParseHexBytes(text.substr(4), value.data);
  }
  if (text.starts_with("hex(")) {
    const auto close = text.find("):");
    if (close == std::string_view::npos || close == 4 || close > 12) return false;
    std::uint32_t type = 0;
    for (char c : text.substr(4, close - 4)) {
      if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
      const char l = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      type = type * 16 + static_cast<std::uint32_t>(l <= '9' ? l - '0' : l - 'a' + 10);
    }
    value.type = type;
    return ParseHexBytes(text.substr(close + 2), value.data);
  }
  return false;
}

}  // namespace

bool RegistryHive::HasKey(std::string_view key) const {
  return keys_.count(Lower(TrimKey(key))) != 0;
}

void RegistryHive::CreateKey(std::string_view key) {
  key = TrimKey(key);
  auto& k = keys_[Lower(key)];
  if (k.name.empty()) k.name = std::string(key);
}

const RegistryValue* RegistryHive::Query(std::string_view key, std::string_view name) const {
  const auto k = keys_.find(Lower(TrimKey(key)));
  if (k == keys_.end()) return nullptr;
  const auto v = k->second.values.find(Lower(name));
  return v == k->second.values.end() ? nullptr : &v->second.second;
}

void RegistryHive::Set(std::string_view key, std::string_view name, RegistryValue value) {
  CreateKey(key);
  auto& values = keys_[Lower(TrimKey(key))].values;
  auto& slot = values[Lower(name)];
  if (slot.first.empty()) slot.first = std::string(name);
  slot.second = std::move(value);
}

bool RegistryHive::DeleteKey(std::string_view key) {
  const std::string lower = Lower(TrimKey(key));
  bool any = false;
  for (auto it = keys_.begin(); it != keys_.end();) {
    if (it->first == lower || it->first.starts_with(lower + "\\")) {
      it = keys_.erase(it);
      any = true;
    } else {
      ++it;
    }
  }
  return any;
}

std::string RegistryHive::Serialize(Hive hive) const {
  std::string out(kHeader);
  out += "\n";
  for (const auto& [lower, key] : keys_) {
    out += "\n[";
    out += RootName(hive);
    if (!key.name.empty()) out += "\\" + key.name;
    out += "]\n";
    for (const auto& [lowerName, entry] : key.values) {
      const auto& [name, value] = entry;
      out += name.empty() ? std::string("@") : Quote(name);
      char prefix[24];
      if (value.type == kRegBinary) {
        std::snprintf(prefix, sizeof prefix, "=hex:");
      } else {
        std::snprintf(prefix, sizeof prefix, "=hex(%x):", static_cast<unsigned>(value.type));
      }
      out += prefix;
      for (std::size_t i = 0; i < value.data.size(); ++i) {
        char b[4];
        std::snprintf(b, sizeof b, i == 0 ? "%02x" : ",%02x", value.data[i]);
        out += b;
      }
      out += "\n";
    }
  }
  return out;
}

bool RegistryHive::Parse(std::string_view text, RegistryHive& out, std::string& error) {
  out = RegistryHive{};
  std::string current;
  bool inKey = false;
  bool sawHeader = false;
  int lineNo = 0;
  std::size_t pos = 0;
  std::string_view shown;  // the line a fault is in, quoted with the reason
  auto fail = [&](const char* why) {
    error = "line " + std::to_string(lineNo) + ": " + why;
    if (!shown.empty()) error += ": " + Printable(shown, kShownLineBytes);
    return false;
  };
  while (pos < text.size()) {
    // A logical line: physical lines joined where one ends in a backslash.
    std::string line;
    for (;;) {
      const std::size_t end = std::min(text.find('\n', pos), text.size());
      std::string_view part = text.substr(pos, end - pos);
      pos = end + 1;
      ++lineNo;
      if (!part.empty() && part.back() == '\r') part.remove_suffix(1);
      if (!line.empty()) {
        while (!part.empty() && (part.front() == ' ' || part.front() == '\t'))
          part.remove_prefix(1);
      }
      if (!part.empty() && part.back() == '\\' && part.front() != '[' && pos < text.size()) {
        line.append(part.substr(0, part.size() - 1));
        continue;
      }
      line.append(part);
      break;
    }
    std::string_view l = line;
    while (!l.empty() && (l.back() == ' ' || l.back() == '\t')) l.remove_suffix(1);
    shown = l;
    if (l.empty() || l.front() == ';') continue;
    if (!sawHeader) {
      if (l != kHeader) return fail("not a REGEDIT4 file");
      sawHeader = true;
      continue;
    }
    if (l.front() == '[') {
      if (l.back() != ']' || l.size() < 3) return fail("bad key line");
      std::string_view path = l.substr(1, l.size() - 2);
      std::string_view root = path.substr(0, path.find('\\'));
      if (root != kLocalMachine && root != kCurrentUser) return fail("unknown root key");
      path.remove_prefix(root.size());
      current = std::string(TrimKey(path));
      out.CreateKey(current);
      inKey = true;
      continue;
    }
    if (!inKey) return fail("value outside a key");
    std::string name;
    std::size_t at = 0;
    if (l.front() == '@') {
      at = 1;
    } else if (!Unquote(l, at, name)) {
      return fail("bad value name");
    }
    if (at >= l.size() || l[at] != '=') return fail("missing '='");
    RegistryValue value;
    if (!ParseData(l.substr(at + 1), value)) return fail("bad value data");
    out.Set(current, name, std::move(value));
  }
  if (!sawHeader && !text.empty()) {
    error = "line 1: not a REGEDIT4 file";  // nothing but blanks and comments
    return false;
  }
  return true;
}

std::filesystem::path FileRegistry::HivePath(Hive hive) const {
  return directory_ / (hive == Hive::kLocalMachine ? "HKLM.reg" : "HKCU.reg");
}

namespace {

bool ReadHive(const std::filesystem::path& path, RegistryHive& out, std::string& error) {
  std::string text;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    out = RegistryHive{};
    return true;
  }
  if (!ReadFileUpTo(path, kMaxHiveBytes, text, error)) return false;
  std::string why;
  if (!RegistryHive::Parse(text, out, why)) {
    error = path.string() + ": " + why;
    return false;
  }
  return true;
}

}  // namespace

bool FileRegistry::Read(Hive hive, RegistryHive& out, std::string& error) {
  return ReadHive(HivePath(hive), out, error);
}

bool FileRegistry::Modify(Hive hive, const std::function<void(RegistryHive&)>& change,
                          std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(directory_, ec);
  const std::filesystem::path path = HivePath(hive);
  const std::string lockPath = path.string() + ".lock";
  const int lock = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lock < 0) {
    error = lockPath + ": " + std::strerror(errno);
    return false;
  }
  while (flock(lock, LOCK_EX) != 0) {
    if (errno != EINTR) {
      error = lockPath + ": " + std::strerror(errno);
      close(lock);
      return false;
    }
  }
  RegistryHive content;
  bool ok = ReadHive(path, content, error);  // a broken hive is left as it is
  if (ok) {
    change(content);
    // The handheld's settings are this user's own: others may not read or change them.
    ok = WriteFileAtomically(path, content.Serialize(hive), error, 0600);
  }
  flock(lock, LOCK_UN);
  close(lock);
  return ok;
}

bool MemoryRegistry::Read(Hive hive, RegistryHive& out, std::string&) {
  std::lock_guard lock(mutex_);
  out = hives_[hive];
  return true;
}

bool MemoryRegistry::Modify(Hive hive, const std::function<void(RegistryHive&)>& change,
                            std::string&) {
  std::lock_guard lock(mutex_);
  change(hives_[hive]);
  return true;
}

}  // namespace platform
