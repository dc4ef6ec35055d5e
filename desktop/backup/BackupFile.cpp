#include "desktop/backup/BackupFile.h"

#include <charconv>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "desktop/backup/SectionCoding.h"
#include "platform/AtomicFile.h"
#include "platform/PrintableText.h"
#include "protocol/klf/CurveBin.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/SettingsImage.h"

namespace desktop::backup {

namespace {

namespace pk = protocol::klf;
namespace pu = protocol::unit;

constexpr std::size_t kChannelBytes = pk::CurveBin::kBinCount * pk::CurveBin::kSize;
constexpr unsigned kMaxAddress = 15;
constexpr unsigned kMaxChannels = 16;

std::string Format(const char* format, auto... values) {
  char text[160];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

std::string ModuleSection(unsigned address) {
  return "module " + std::to_string(address);
}

std::string CurveSection(unsigned address, unsigned channel) {
  return "curve " + std::to_string(address) + " channel " + std::to_string(channel);
}

void WriteSection(std::string& out, const std::string& name, std::span<const std::uint8_t> bytes) {
  out += Format("begin %s length=%zu crc32=%08x\n", name.c_str(), bytes.size(), Crc32(bytes));
  const std::string text = Base64Encode(bytes);
  for (std::size_t i = 0; i < text.size(); i += BackupFile::kLineWidth) {
    out.append(text, i, BackupFile::kLineWidth);
    out += '\n';
  }
  out += "end " + name + "\n";
}

std::vector<std::uint8_t> CurveBytes(const std::vector<pk::CurveBin>& bins) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(bins.size() * pk::CurveBin::kSize);
  for (const pk::CurveBin& bin : bins) {
    const auto encoded = bin.Encode();
    bytes.insert(bytes.end(), encoded.begin(), encoded.end());
  }
  return bytes;
}

// ---- parsing --------------------------------------------------------------

struct Refusal {
  std::size_t line;
  std::string message;
};

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t at = 0;
  while (at <= line.size()) {
    const std::size_t space = line.find(' ', at);
    const std::size_t end = space == std::string_view::npos ? line.size() : space;
    words.push_back(line.substr(at, end - at));
    at = end + 1;
  }
  return words;
}

// Plain decimal digits up to `max`.
std::optional<unsigned long> Decimal(std::string_view text, unsigned long max) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  unsigned long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value > max) return std::nullopt;
  return value;
}

std::optional<std::uint32_t> Hex32(std::string_view text) {
  if (text.size() != 8) return std::nullopt;
  std::uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// "key=value" with the given key; the value.
std::optional<std::string_view> Keyed(std::string_view word, std::string_view key) {
  if (word.size() <= key.size() || !word.starts_with(key) || word[key.size()] != '=') {
    return std::nullopt;
  }
  return word.substr(key.size() + 1);
}

std::optional<unsigned long> KeyedNumber(std::string_view word, std::string_view key,
                                         unsigned long max) {
  const auto value = Keyed(word, key);
  return value ? Decimal(*value, max) : std::nullopt;
}

bool ValidDate(int year, int month, int day) {
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return !(month == 2 && day == 29 && !leap);
}

// "2024-03-05" with the year 2000 + a byte; fills the descriptor's date bytes.
bool ParseDate(std::string_view text, ModuleBackup& m) {
  if (text == "-") return true;  // no date: year 0
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  const auto year = Decimal(text.substr(0, 4), 2255);
  const auto month = Decimal(text.substr(5, 2), 12);
  const auto day = Decimal(text.substr(8, 2), 31);
  if (!year || !month || !day || *year < 2001) return false;
  if (!ValidDate(static_cast<int>(*year), static_cast<int>(*month), static_cast<int>(*day))) {
    return false;
  }
  m.versionYear = static_cast<std::uint8_t>(*year - 2000);
  m.versionMonth = static_cast<std::uint8_t>(*month);
  m.versionDay = static_cast<std::uint8_t>(*day);
  return true;
}

bool ParseVersion(std::string_view text, ModuleBackup& m) {
  const auto dot = text.find('.');
  if (!text.starts_with('V') || dot == std::string_view::npos) return false;
  const auto major = Decimal(text.substr(1, dot - 1), 0xFFFF);
  const std::string_view minorText = text.substr(dot + 1);
  const auto minor = Decimal(minorText, 0xFFFF);
  if (!major || !minor || minorText.size() < 3) return false;
  m.versionMajor = static_cast<std::uint16_t>(*major);
  m.versionMinor = static_cast<std::uint16_t>(*minor);
  // Written with three digits at least: "V2.5" would read as another version.
  return m.VersionText().substr(1) == text.substr(1);
}

bool ParseWritten(std::string_view text, platform::LocalTime& t) {
  // "2024-03-05 14:02:11"
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
      text[16] != ':') {
    return false;
  }
  const auto year = Decimal(text.substr(0, 4), 9999);
  const auto month = Decimal(text.substr(5, 2), 12);
  const auto day = Decimal(text.substr(8, 2), 31);
  const auto hour = Decimal(text.substr(11, 2), 23);
  const auto minute = Decimal(text.substr(14, 2), 59);
  const auto second = Decimal(text.substr(17, 2), 60);
  if (!year || !month || !day || !hour || !minute || !second ||
      !ValidDate(static_cast<int>(*year), static_cast<int>(*month), static_cast<int>(*day))) {
    return false;
  }
  t.year = static_cast<int>(*year);
  t.month = static_cast<int>(*month);
  t.day = static_cast<int>(*day);
  t.hour = static_cast<int>(*hour);
  t.minute = static_cast<int>(*minute);
  t.second = static_cast<int>(*second);
  return true;
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  std::optional<Refusal> Run(UnitBackup& backup);

 private:
  // The next line without its line end; false at the end of the text.
  bool Next(std::string_view& line);
  std::optional<Refusal> Module(std::string_view line, UnitBackup& backup);
  std::optional<Refusal> Curves(std::string_view line, UnitBackup& backup);
  std::optional<Refusal> Missing(std::string_view line, UnitBackup& backup);
  std::optional<Refusal> Section(std::string_view line, UnitBackup& backup);
  Refusal At(std::string message) const { return {lineNumber_, std::move(message)}; }

  std::string_view text_;
  std::size_t at_ = 0;
  std::size_t lineNumber_ = 0;
  bool lineEndMissing_ = false;
  std::set<std::string> sectionsSeen_;
  // Byte length of every section the header announced.
  std::map<std::string, std::size_t> lengths_;
  // Sections still to come, with the line that announced each.
  std::map<std::string, std::size_t> sectionsDue_;
};

bool Parser::Next(std::string_view& line) {
  if (at_ >= text_.size()) return false;
  ++lineNumber_;
  const std::size_t end = text_.find('\n', at_);
  if (end == std::string_view::npos) {
    line = text_.substr(at_);
    at_ = text_.size();
    lineEndMissing_ = true;
  } else {
    line = text_.substr(at_, end - at_);
    at_ = end + 1;
  }
  if (line.ends_with('\r')) line.remove_suffix(1);  // written on another system
  return true;
}

std::optional<Refusal> Parser::Run(UnitBackup& backup) {
  std::string_view line;
  if (!Next(line)) return Refusal{1, "the file is empty"};
  if (line != BackupFile::kVersionLine) {
    constexpr std::string_view kFamily = "MRX520 settings backup ";
    if (line.starts_with(kFamily)) {
      return At("the backup is of format " + std::string(line.substr(kFamily.size())) +
                ", which this program does not read (it reads format 1)");
    }
    return At("this is not an MRX520 settings backup (the first line is not \"" +
              std::string(BackupFile::kVersionLine) + "\")");
  }
  if (!Next(line) || !line.starts_with("serial ")) return At("the unit's serial line is missing");
  const auto serial = Decimal(line.substr(7), 0xFFFF);
  if (!serial) return At("the unit's serial is not a number of 0-65535");
  backup.serial = static_cast<std::uint16_t>(*serial);
  if (!Next(line) || !line.starts_with("written ") ||
      !ParseWritten(line.substr(8), backup.written)) {
    return At("the line 'written YYYY-MM-DD HH:MM:SS' is missing or not a time");
  }
  enum class Part { kModules, kCurves, kMissing, kSections } part = Part::kModules;
  while (Next(line)) {
    if (lineEndMissing_) return At("the last line has no line end: the file is cut short");
    std::optional<Refusal> refused;
    if (part == Part::kModules && line.starts_with("module ")) {
      refused = Module(line, backup);
    } else if ((part == Part::kModules || part == Part::kCurves) && line.starts_with("curves ")) {
      part = Part::kCurves;
      refused = Curves(line, backup);
    } else if (part != Part::kSections && line.starts_with("missing ")) {
      part = Part::kMissing;
      refused = Missing(line, backup);
    } else if (line.starts_with("begin ")) {
      part = Part::kSections;
      refused = Section(line, backup);
    } else {
      refused = At("a line this program does not understand: '" + std::string(line.substr(0, 40)) +
                   (line.size() > 40 ? "...'" : "'"));
    }
    if (refused) return refused;
  }
  if (backup.modules.empty() || backup.modules.front().address != pu::kMainUnitAddress) {
    return At("the backup has no main unit (module 0)");
  }
  if (!sectionsDue_.empty()) {
    const auto& [name, announced] = *sectionsDue_.begin();
    return Refusal{lineNumber_ + 1, "section '" + name + "' (announced on line " +
                                        std::to_string(announced) +
                                        ") is missing: the file is cut short or was edited"};
  }
  return std::nullopt;
}

std::optional<Refusal> Parser::Module(std::string_view line, UnitBackup& backup) {
  const auto w = Words(line);
  ModuleBackup m;
  std::optional<unsigned long> address, sub, type, length;
  if (w.size() == 8) {
    address = Decimal(w[1], kMaxAddress);
    sub = KeyedNumber(w[2], "sub", 255);
    type = KeyedNumber(w[3], "type", 255);
    length = KeyedNumber(w[7], "length", pu::SettingsImage::kMaxSize);
  }
  if (!address || !sub || !type || !length) {
    return At(
        "a module line reads 'module ADDRESS sub=N type=N model=NAME version=VN.NNN "
        "date=YYYY-MM-DD length=N' (address 0-15, length 0-2048)");
  }
  m.address = static_cast<std::uint8_t>(*address);
  m.subAddress = static_cast<std::uint8_t>(*sub);
  m.type = static_cast<std::uint8_t>(*type);
  const auto model = Keyed(w[4], "model");
  if (!model || *model != m.Model()) {
    return At("module " + std::to_string(m.address) + " is of type " + std::to_string(m.type) +
              ", which is model " + m.Model() + ", not '" + std::string(w[4]) + "'");
  }
  const auto version = Keyed(w[5], "version");
  const auto date = Keyed(w[6], "date");
  if (!version || !ParseVersion(*version, m))
    return At("the version of module " + std::to_string(m.address) + " is not 'VN.NNN'");
  if (!date || !ParseDate(*date, m))
    return At("the date of module " + std::to_string(m.address) +
              " is not a date (YYYY-MM-DD, or '-' for none)");
  if (!backup.modules.empty() && backup.modules.back().address >= m.address) {
    return At("module " + std::to_string(m.address) + " comes after module " +
              std::to_string(backup.modules.back().address) +
              ": modules are listed once each, in address order");
  }
  if (backup.modules.empty() && m.address != pu::kMainUnitAddress) {
    return At("the first module line must be the main unit's (module 0)");
  }
  if (*length > 0) {
    m.image.reserve(*length);
    sectionsDue_[ModuleSection(m.address)] = lineNumber_;
    lengths_[ModuleSection(m.address)] = *length;
  }
  backup.modules.push_back(std::move(m));
  return std::nullopt;
}

std::optional<Refusal> Parser::Curves(std::string_view line, UnitBackup& backup) {
  const auto w = Words(line);
  std::optional<unsigned long> address, channels, bins;
  if (w.size() == 4) {
    address = Decimal(w[1], kMaxAddress);
    channels = KeyedNumber(w[2], "channels", kMaxChannels);
    bins = KeyedNumber(w[3], "bins", 1'000'000);
  }
  if (!address || !channels || *channels == 0 || !bins) {
    return At("a curves line reads 'curves ADDRESS channels=1-16 bins=2048'");
  }
  if (*bins != pk::CurveBin::kBinCount) {
    return At("curves of " + std::to_string(*bins) + " bins: a KLF310 channel has " +
              std::to_string(pk::CurveBin::kBinCount));
  }
  const ModuleBackup* card = backup.FindModule(static_cast<std::uint8_t>(*address));
  if (card == nullptr || card->type != pu::type::kKLF310) {
    return At("curves for module " + std::to_string(*address) +
              ", which the backup does not list as a KLF310");
  }
  if (backup.FindCurves(card->address) != nullptr) {
    return At("curves of module " + std::to_string(*address) + " are listed twice");
  }
  CurveBackup curves;
  curves.address = card->address;
  curves.channels.resize(*channels);
  for (unsigned c = 0; c < *channels; ++c) {
    sectionsDue_[CurveSection(card->address, c)] = lineNumber_;
    lengths_[CurveSection(card->address, c)] = kChannelBytes;
  }
  backup.curves.push_back(std::move(curves));
  return std::nullopt;
}

// "missing module 4" or "missing curves 11": what a partial backup lacks.
std::optional<Refusal> Parser::Missing(std::string_view line, UnitBackup& backup) {
  const auto w = Words(line);
  const auto address = w.size() == 3 ? Decimal(w[2], kMaxAddress) : std::nullopt;
  if (!address || (w[1] != "module" && w[1] != "curves")) {
    return At(
        "a missing line reads 'missing module ADDRESS' or 'missing curves ADDRESS' "
        "(address 0-15)");
  }
  const auto a = static_cast<std::uint8_t>(*address);
  const std::string name = "module " + std::to_string(a);
  if (w[1] == "module") {
    if (a == pu::kMainUnitAddress) return At("the main unit (module 0) cannot be missing");
    if (backup.FindModule(a) != nullptr) return At(name + " is listed and missing at once");
    if (backup.ModuleMissing(a)) return At(name + " is listed missing twice");
    backup.missingModules.push_back(a);
    return std::nullopt;
  }
  const ModuleBackup* card = backup.FindModule(a);
  const bool klf = card != nullptr && card->type == pu::type::kKLF310;
  if (!klf && !backup.ModuleMissing(a)) {
    return At("curves of " + name +
              " missing, but the backup lists it neither as a KLF310 "
              "nor as missing");
  }
  if (backup.FindCurves(a) != nullptr)
    return At("the curves of " + name + " are listed and missing at once");
  if (backup.CurvesMissing(a)) return At("the curves of " + name + " are listed missing twice");
  backup.missingCurves.push_back(a);
  return std::nullopt;
}

std::optional<Refusal> Parser::Section(std::string_view line, UnitBackup& backup) {
  // "begin NAME... length=N crc32=XXXXXXXX"
  const auto w = Words(line);
  if (w.size() < 4) return At("a section begins 'begin NAME length=N crc32=XXXXXXXX'");
  std::string name;
  for (std::size_t i = 1; i + 2 < w.size(); ++i)
    name += (name.empty() ? "" : " ") + std::string(w[i]);
  const auto length = KeyedNumber(w[w.size() - 2], "length", BackupFile::kMaxFileSize);
  const auto crcText = Keyed(w.back(), "crc32");
  const auto crc = crcText ? Hex32(*crcText) : std::nullopt;
  if (!length || !crc) return At("section '" + name + "' begins without 'length=N crc32=XXXXXXXX'");
  const std::size_t begun = lineNumber_;
  if (sectionsSeen_.contains(name)) return At("section '" + name + "' appears twice");
  const auto due = lengths_.find(name);
  if (due == lengths_.end()) {
    return At("section '" + name + "' belongs to no module or curves line of the header");
  }
  if (*length != due->second) {
    return At("section '" + name + "' says " + std::to_string(*length) + " bytes, but " +
              (name.starts_with("module") ? "its module line says " + std::to_string(due->second)
                                          : "a curve channel is " + std::to_string(due->second)));
  }
  sectionsSeen_.insert(name);
  sectionsDue_.erase(name);
  std::vector<std::uint8_t> bytes;
  bytes.reserve(*length);
  const std::string endLine = "end " + name;
  std::string_view text;
  bool ended = false, padded = false;
  while (Next(text)) {
    if (lineEndMissing_) return At("the last line has no line end: the file is cut short");
    if (text == endLine) {
      ended = true;
      break;
    }
    if (padded) return At("section '" + name + "' goes on after its last base64 line");
    if (text.size() > BackupFile::kLineWidth) {
      return At("a base64 line of section '" + name + "' is longer than " +
                std::to_string(BackupFile::kLineWidth) + " characters");
    }
    if (!Base64DecodeLine(text, bytes)) return At("section '" + name + "' holds bad base64");
    if (bytes.size() > *length) {
      return At("section '" + name + "' holds more than its " + std::to_string(*length) + " bytes");
    }
    padded = text.size() < BackupFile::kLineWidth;
  }
  if (!ended)
    return At("section '" + name + "' (begun on line " + std::to_string(begun) +
              ") has no end line: the file is cut short");
  // A wrong length or checksum is named at the line that announced them.
  if (bytes.size() != *length) {
    return Refusal{begun, "section '" + name + "' holds " + std::to_string(bytes.size()) +
                              " bytes, not " + std::to_string(*length) +
                              ": the file was changed or is damaged"};
  }
  if (Crc32(bytes) != *crc) {
    return Refusal{begun, "section '" + name +
                              "' checksum does not match: the file was changed or is damaged"};
  }
  // The name was one of those the header announced, so it is one of these two.
  unsigned address = 0, channel = 0;
  if (std::sscanf(name.c_str(), "curve %u channel %u", &address, &channel) == 2) {
    for (CurveBackup& curves : backup.curves) {
      if (curves.address != address) continue;
      auto& bins = curves.channels[channel];
      bins.resize(pk::CurveBin::kBinCount);
      for (std::size_t i = 0; i < bins.size(); ++i) {
        bins[i] = pk::CurveBin::Decode(std::span(bytes).subspan(i * pk::CurveBin::kSize));
      }
    }
  } else if (std::sscanf(name.c_str(), "module %u", &address) == 1) {
    for (ModuleBackup& m : backup.modules) {
      if (m.address == address) m.image = bytes;
    }
  }
  return std::nullopt;
}

}  // namespace

std::string BackupFile::Write(const UnitBackup& backup) {
  std::string out(kVersionLine);
  out += "\n";
  out += Format("serial %u\n", unsigned{backup.serial});
  const auto& t = backup.written;
  out += Format("written %04d-%02d-%02d %02d:%02d:%02d\n", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  for (const ModuleBackup& m : backup.modules) {
    const std::string date = m.DateText();
    out += Format("module %u sub=%u type=%u model=%s version=%s date=%s length=%zu\n",
                  unsigned{m.address}, unsigned{m.subAddress}, unsigned{m.type}, m.Model().c_str(),
                  m.VersionText().c_str(), date.empty() ? "-" : date.c_str(), m.image.size());
  }
  for (const CurveBackup& c : backup.curves) {
    out += Format("curves %u channels=%zu bins=%d\n", unsigned{c.address}, c.channels.size(),
                  pk::CurveBin::kBinCount);
  }
  for (std::uint8_t a : backup.missingModules) out += Format("missing module %u\n", unsigned{a});
  for (std::uint8_t a : backup.missingCurves) out += Format("missing curves %u\n", unsigned{a});
  for (const ModuleBackup& m : backup.modules) {
    if (!m.image.empty()) WriteSection(out, ModuleSection(m.address), m.image);
  }
  for (const CurveBackup& c : backup.curves) {
    for (std::size_t channel = 0; channel < c.channels.size(); ++channel) {
      WriteSection(out, CurveSection(c.address, static_cast<unsigned>(channel)),
                   CurveBytes(c.channels[channel]));
    }
  }
  return out;
}

namespace {
constexpr std::size_t kShownMessageBytes = 300;
}  // namespace

BackupFile::Parsed BackupFile::Parse(std::string_view text) {
  Parsed parsed;
  if (text.size() > kMaxFileSize) {
    parsed.line = 0;
    parsed.message = "larger than any backup (" + std::to_string(text.size()) + " bytes)";
    return parsed;
  }
  Parser parser(text);
  if (const auto refused = parser.Run(parsed.backup)) {
    parsed.line = refused->line;
    // Refusals quote the file's own words, which may hold terminal codes.
    parsed.message = platform::Printable(refused->message, kShownMessageBytes);
    parsed.backup = {};
    return parsed;
  }
  parsed.ok = true;
  return parsed;
}

bool BackupFile::Save(const std::filesystem::path& path, const UnitBackup& backup,
                      std::string& error) {
  return platform::WriteFileAtomically(path, Write(backup), error, 0600);
}

bool BackupFile::Load(const std::filesystem::path& path, UnitBackup& backup, std::string& error) {
  std::string text;
  if (!platform::ReadFileUpTo(path, kMaxFileSize, text, error)) return false;
  const Parsed parsed = Parse(text);
  if (!parsed.ok) {
    error = path.string() + " line " + std::to_string(parsed.line) + ": " + parsed.message;
    return false;
  }
  backup = parsed.backup;
  return true;
}

}  // namespace desktop::backup
