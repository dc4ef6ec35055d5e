#include "sim/StateFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <string_view>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/PrintableText.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/ProcessorRecord.h"
#include "sim/cards/Klf310Versions.h"

namespace sim {

namespace {

// Files of the first format have no closing line; the second ends with one,
// so a file cut at a line end is told from a whole one.
constexpr std::string_view kHeader = "mrx520-state 2";
constexpr std::string_view kFirstHeader = "mrx520-state 1";
constexpr std::string_view kClosingLine = "end";
// Far above what fifteen KLF310 cards' curves take (about 11 MB).
constexpr std::size_t kMaxStateBytes = 64u << 20;

std::string Hex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const std::uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0xF];
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The words of one line after its key, taken one by one; every word must be
// used, and every number must fit the range it is read for.
class Words {
 public:
  explicit Words(std::string_view rest) {
    std::size_t i = 0;
    while (i < rest.size()) {
      while (i < rest.size() && rest[i] == ' ') ++i;
      const std::size_t start = i;
      while (i < rest.size() && rest[i] != ' ') ++i;
      if (i > start) words_.emplace_back(rest.substr(start, i - start));
    }
  }

  template <typename T>
  bool Number(T& out, std::string& why, T min = std::numeric_limits<T>::min(),
              T max = std::numeric_limits<T>::max()) {
    std::string_view word;
    if (!Next(word, why)) return false;
    long long value = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec != std::errc() || end != word.data() + word.size() ||
        value < static_cast<long long>(min) || value > static_cast<long long>(max)) {
      why = "'" + platform::Printable(word, 40) + "' is not a number from " + std::to_string(min) +
            " to " + std::to_string(max);
      return false;
    }
    out = static_cast<T>(value);
    return true;
  }

  // No bytes at all are written as nothing, leaving the line's last word out.
  bool Bytes(std::vector<std::uint8_t>& out, std::string& why) {
    out.clear();
    if (next_ == words_.size()) return true;
    std::string_view word;
    if (!Next(word, why)) return false;
    for (std::size_t i = 0; i + 1 < word.size(); i += 2) {
      const int high = HexDigit(word[i]), low = HexDigit(word[i + 1]);
      if (high < 0 || low < 0) break;
      out.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    if (out.size() * 2 != word.size()) {
      why = "bytes are not pairs of hexadecimal digits";
      return false;
    }
    return true;
  }

  bool End(std::string& why) {
    if (next_ == words_.size()) return true;
    why = "more words than the record has";
    return false;
  }

  // The next word as it stands.
  bool Next(std::string_view& word, std::string& why) {
    if (next_ == words_.size()) {
      why = "fewer words than the record has";
      return false;
    }
    word = words_[next_++];
    return true;
  }

 private:
  std::vector<std::string_view> words_;
  std::size_t next_ = 0;
};

bool ReadVersion(Words& words, SoftwareVersion& v, std::string& why) {
  // The unit keeps whatever version and date its software carried.
  return words.Number(v.major, why) && words.Number(v.minor, why) && words.Number(v.day, why) &&
         words.Number(v.month, why) && words.Number(v.year, why);
}

void WriteVersion(std::ostream& out, const char* key, const SoftwareVersion& v) {
  out << key << ' ' << v.major << ' ' << v.minor << ' ' << int(v.day) << ' ' << int(v.month) << ' '
      << int(v.year) << "\n";
}

// A module's record for the module and size this scenario has; null (with a
// note) for one of another scenario.
ModuleState* ModuleFor(UnitState& state, std::uint8_t address, const std::filesystem::path& file,
                       int lineNo) {
  auto it = state.modules.find(address);
  if (it != state.modules.end()) return &it->second;
  std::fprintf(stderr, "mrx520-sim: %s line %d: no module at %d in this scenario; skipped\n",
               file.c_str(), lineNo, int(address));
  return nullptr;
}

void OtherSize(const std::filesystem::path& file, int lineNo) {
  std::fprintf(stderr, "mrx520-sim: %s line %d: a record of another size; skipped\n", file.c_str(),
               lineNo);
}

// One kind of line: its key, and how the rest of it is taken into the state.
struct LineKind {
  const char* key;
  bool (*read)(Words& words, UnitState& state, const std::filesystem::path& file, int lineNo,
               std::string& why);
};

const LineKind kLineKinds[] = {
    {"rtc-offset",
     [](Words& w, UnitState& s, const std::filesystem::path&, int, std::string& why) {
       return w.Number(s.rtcOffset, why, -kMaxClockOffsetSeconds, kMaxClockOffsetSeconds);
     }},
    {"host-version",
     [](Words& w, UnitState& s, const std::filesystem::path&, int, std::string& why) {
       return ReadVersion(w, s.modules.at(protocol::unit::kMainUnitAddress).setup.version, why);
     }},
    {"boot-version", [](Words& w, UnitState& s, const std::filesystem::path&, int,
                        std::string& why) { return ReadVersion(w, s.scenario.bootVersion, why); }},
    // An erase that no completed download has followed yet: the unit wakes up
    // with that area still erased.
    {"erased",
     [](Words& w, UnitState& s, const std::filesystem::path&, int, std::string& why) {
       std::string_view area;
       if (!w.Next(area, why) || !w.End(why)) return false;
       if (area != "host" && area != "boot") {
         why = "erased area must be host or boot";
         return false;
       }
       s.erased = area == "host" ? FlashArea::kHost : FlashArea::kBoot;
       return true;
     }},
    {"display",
     [](Words& w, UnitState& s, const std::filesystem::path&, int, std::string& why) {
       std::size_t index = 0;
       if (!w.Number(index, why, std::size_t{0}, protocol::unit::DisplayLevels::kCount - 1)) {
         return false;
       }
       auto& level = s.display.levels[index];
       return w.Number(level.value, why, level.min, level.max);
     }},
    {"stored",
     [](Words& w, UnitState& s, const std::filesystem::path& file, int lineNo, std::string& why) {
       std::uint8_t address = 0;
       std::vector<std::uint8_t> bytes;
       if (!w.Number(address, why) || !w.Bytes(bytes, why) || !w.End(why)) return false;
       if (ModuleState* m = ModuleFor(s, address, file, lineNo)) {
         if (bytes.size() != m->stored.size()) {
           OtherSize(file, lineNo);
         } else {
           m->stored = m->working = bytes;
         }
       }
       return true;
     }},
    {"processor",
     [](Words& w, UnitState& s, const std::filesystem::path& file, int lineNo, std::string& why) {
       std::uint8_t address = 0;
       std::size_t index = 0;
       std::vector<std::uint8_t> bytes;
       if (!w.Number(address, why) || !w.Number(index, why, std::size_t{0}, std::size_t{1}) ||
           !w.Bytes(bytes, why) || !w.End(why)) {
         return false;
       }
       if (ModuleState* m = ModuleFor(s, address, file, lineNo)) {
         if (bytes.size() != protocol::unit::ProcessorRecord::kSize) {
           OtherSize(file, lineNo);
         } else {
           std::copy(bytes.begin(), bytes.end(), m->processors[index].begin());
         }
       }
       return true;
     }},
    {"table",
     [](Words& w, UnitState& s, const std::filesystem::path& file, int lineNo, std::string& why) {
       std::uint8_t address = 0;
       std::size_t index = 0;
       std::vector<std::uint8_t> bytes;
       if (!w.Number(address, why) ||
           !w.Number(index, why, std::size_t{0}, protocol::unit::TableEntry::kEntryCount - 1) ||
           !w.Bytes(bytes, why) || !w.End(why)) {
         return false;
       }
       if (ModuleState* m = ModuleFor(s, address, file, lineNo)) {
         if (bytes.size() != m->table[index].size()) {
           OtherSize(file, lineNo);
         } else {
           std::copy(bytes.begin(), bytes.end(), m->table[index].begin());
         }
       }
       return true;
     }},
    // A KLF310 channel whose curve differs from the factory one: its 2048 bins
    // as the card sends them.
    {"klf-curve",
     [](Words& w, UnitState& s, const std::filesystem::path& file, int lineNo, std::string& why) {
       std::uint8_t address = 0;
       std::size_t channel = 0;
       std::vector<std::uint8_t> bytes;
       if (!w.Number(address, why) ||
           !w.Number(channel, why, std::size_t{0},
                     protocol::unit::Klf310Image::kChannelCount - 1) ||
           !w.Bytes(bytes, why) || !w.End(why)) {
         return false;
       }
       constexpr std::size_t kBins = protocol::klf::CurveBin::kBinCount;
       if (ModuleState* m = ModuleFor(s, address, file, lineNo)) {
         if (m->curves.empty() || bytes.size() != kBins * protocol::klf::CurveBin::kSize) {
           OtherSize(file, lineNo);
         } else {
           for (std::size_t i = 0; i < kBins; ++i) {
             m->curves[channel * kBins + i] = protocol::klf::CurveBin::Decode(
                 std::span(bytes).subspan(i * protocol::klf::CurveBin::kSize));
           }
         }
       }
       return true;
     }},
    // The KLF310 application an update flashed: major, minor, day, month, full year.
    {"klf-application",
     [](Words& w, UnitState& s, const std::filesystem::path& file, int lineNo, std::string& why) {
       std::uint8_t address = 0;
       protocol::unit::Klf310VersionEntry v;
       v.valid = true;
       if (!w.Number(address, why) || !w.Number(v.major, why) || !w.Number(v.minor, why) ||
           !w.Number(v.day, why) || !w.Number(v.month, why) || !w.Number(v.year, why) ||
           !w.End(why)) {
         return false;
       }
       if (ModuleState* m = ModuleFor(s, address, file, lineNo)) m->klfApplication = v;
       return true;
     }},
};

// Only what differs from the factory: most cards keep most channels flat.
void WriteKlfCard(std::ostream& out, std::uint8_t address, const ModuleState& m) {
  constexpr std::size_t kBins = protocol::klf::CurveBin::kBinCount;
  const protocol::klf::CurveBin flat = cards::DefaultCurveBin();
  for (std::size_t channel = 0; channel * kBins < m.curves.size(); ++channel) {
    const auto curve = std::span(m.curves).subspan(channel * kBins, kBins);
    if (std::all_of(curve.begin(), curve.end(), [&](const auto& b) { return b == flat; })) continue;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kBins * protocol::klf::CurveBin::kSize);
    for (const auto& bin : curve) {
      const auto b = bin.Encode();
      bytes.insert(bytes.end(), b.begin(), b.end());
    }
    out << "klf-curve " << int(address) << ' ' << channel << ' ' << Hex(bytes) << "\n";
  }
  if (const auto& v = m.klfApplication) {
    out << "klf-application " << int(address) << ' ' << int(v->major) << ' ' << v->minor << ' '
        << int(v->day) << ' ' << int(v->month) << ' ' << v->year << "\n";
  }
}

}  // namespace

std::string EncodeState(const UnitState& state) {
  std::ostringstream out;
  out << kHeader << "\n";
  out << "rtc-offset " << state.rtcOffset << "\n";
  WriteVersion(out, "host-version",
               state.modules.at(protocol::unit::kMainUnitAddress).setup.version);
  WriteVersion(out, "boot-version", state.scenario.bootVersion);
  if (state.erased != FlashArea::kNone) {
    out << "erased " << (state.erased == FlashArea::kHost ? "host" : "boot") << "\n";
  }
  for (std::size_t i = 0; i < protocol::unit::DisplayLevels::kCount; ++i) {
    out << "display " << i << ' ' << int(state.display.levels[i].value) << "\n";
  }
  for (const auto& [address, m] : state.modules) {
    out << "stored " << int(address) << ' ' << Hex(m.stored) << "\n";
    for (int p = 0; p < 2; ++p) {
      out << "processor " << int(address) << ' ' << p << ' ' << Hex(m.processors[p]) << "\n";
    }
    for (std::size_t t = 0; t < m.table.size(); ++t) {
      out << "table " << int(address) << ' ' << t << ' ' << Hex(m.table[t]) << "\n";
    }
    WriteKlfCard(out, address, m);
  }
  out << kClosingLine << "\n";
  return out.str();
}

bool LoadState(const std::filesystem::path& file, UnitState& state, std::string& error) {
  struct stat st {};
  if (stat(file.c_str(), &st) != 0) {
    if (errno == ENOENT) return true;  // a unit used for the first time
    error = file.string() + ": cannot be read: " + std::strerror(errno);
    return false;
  }
  // A FIFO or a device would hang the start or never end; only a file is state.
  if (!S_ISREG(st.st_mode)) {
    error = file.string() + ": not a regular file";
    return false;
  }
  std::string text;
  if (!platform::ReadFileUpTo(file, kMaxStateBytes, text, error)) return false;
  return ParseState(text, file, state, error);
}

bool ParseState(const std::string& text, const std::filesystem::path& file, UnitState& state,
                std::string& error) {
  UnitState loaded = state;  // taken over only when every line is understood
  std::istringstream lines(text);
  std::string line;
  int lineNo = 0;
  auto fail = [&](const std::string& why) {
    error = file.string() + " line " + std::to_string(lineNo) + ": " + why;
    return false;
  };
  ++lineNo;
  if (!std::getline(lines, line) || (line != kHeader && line != kFirstHeader))
    return fail("not a simulator state file");
  const bool closes = line == kHeader;
  bool closed = false;
  while (std::getline(lines, line)) {
    ++lineNo;
    if (closed) return fail("a record after the closing line");
    if (closes && line == kClosingLine) {
      closed = true;
      continue;
    }
    const std::string_view view(line);
    const std::string_view key = view.substr(0, view.find(' '));
    const LineKind* kind = nullptr;
    for (const LineKind& k : kLineKinds) {
      if (key == k.key) kind = &k;
    }
    if (kind == nullptr) {
      return fail("unknown record '" + platform::Printable(key, 40) + "'");
    }
    Words words(key.size() < view.size() ? view.substr(key.size() + 1) : std::string_view());
    std::string why;
    if (!kind->read(words, loaded, file, lineNo, why)) return fail(why);
    if (!words.End(why)) return fail(why);
  }
  if (!text.empty() && text.back() != '\n') return fail("the last line is cut short");
  if (closes && !closed) return fail("the file ends before its closing line");
  state = std::move(loaded);
  return true;
}

bool LockStateFile(const std::filesystem::path& file, platform::UniqueFd& lock,
                   std::string& error) {
  const std::string lockFile = file.string() + ".lock";
  platform::UniqueFd fd(open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  const auto cannot = [&] {
    error = "cannot save state to " + file.string() + ": " + lockFile + ": " + std::strerror(errno);
    return false;
  };
  if (!fd) return cannot();
  if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) return cannot();
    // The holder wrote its process number in; shown when it can be read.
    char held[16] = {};
    const ssize_t n = pread(fd.Get(), held, sizeof held - 1, 0);
    const long pid = n > 0 ? std::strtol(held, nullptr, 10) : 0;
    error = file.string() + " is in use by another mrx520-sim" +
            (pid > 0 ? " (process " + std::to_string(pid) + ")" : std::string()) +
            "; give it another --state or --no-state";
    return false;
  }
  const std::string pid = std::to_string(getpid()) + "\n";
  const bool noted =
      ftruncate(fd.Get(), 0) == 0 && pwrite(fd.Get(), pid.data(), pid.size(), 0) == std::ssize(pid);
  static_cast<void>(noted);  // the lock holds either way; the number only names the holder
  lock = std::move(fd);
  return true;
}

}  // namespace sim
