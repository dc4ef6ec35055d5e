#include "desktop/firmware/PackageInputs.h"

#include <charconv>
#include <cstdio>
#include <map>
#include <sstream>
#include <tuple>

#include "desktop/firmware/DoloPacket.h"

namespace desktop::firmware {

namespace {

bool ParseInt(std::string_view text, long& out, int base = 10) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, out, base);
  return ec == std::errc() && p == end;
}

bool ParseVersion(std::string_view text, std::uint16_t& out) {
  long v = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    if (!ParseInt(text.substr(2), v, 16) || v < 0 || v > 0xFFFF) return false;
    out = static_cast<std::uint16_t>(v);
    return true;
  }
  if (!text.empty() && text[0] == 'V') {
    const auto dot = text.find('.');
    long major = 0, minor = 0;
    if (dot == std::string_view::npos || text.size() - dot - 1 != 3 ||
        !ParseInt(text.substr(1, dot - 1), major) || !ParseInt(text.substr(dot + 1), minor) ||
        major < 0 || major > 0x3F || minor < 0 || minor > 0x3FF) {
      return false;
    }
    out = static_cast<std::uint16_t>(major | minor << 6);
    return true;
  }
  if (!ParseInt(text, v) || v < 0 || v > 0xFFFF) return false;
  out = static_cast<std::uint16_t>(v);
  return true;
}

// "a-b-c" or "a:b:c" with fixed digit counts.
bool ParseTriple(std::string_view text, char sep, int w0, long& a, long& b, long& c) {
  if (text.size() != static_cast<std::size_t>(w0 + 6) || text[w0] != sep || text[w0 + 3] != sep) {
    return false;
  }
  return ParseInt(text.substr(0, w0), a) && ParseInt(text.substr(w0 + 1, 2), b) &&
         ParseInt(text.substr(w0 + 4, 2), c);
}

bool IsAddressKind(std::uint32_t kind) {
  return kind == kDoloCardDspSecond || kind == kDoloCardDspFirst || kind == kDoloUnitImage ||
         kind == kDoloKlf310;
}

std::string Hex32(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", v);
  return text;
}

}  // namespace

bool ParseManifest(std::string_view text, const std::string& fileName,
                   std::vector<ManifestRow>& rows, InputError& error) {
  rows.clear();
  std::istringstream in{std::string(text)};
  std::string line;
  int lineNo = 0;
  auto fail = [&](std::string reason) {
    error = {fileName, lineNo, std::move(reason)};
    return false;
  };
  while (std::getline(in, line)) {
    ++lineNo;
    if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string word; words >> word;) w.push_back(word);
    if (w.empty()) continue;
    if (w.size() != 7) {
      return fail("a row needs 7 fields (kind model component version date time file), not " +
                  std::to_string(w.size()));
    }
    ManifestRow row;
    row.line = lineNo;
    long kind = 0, model = 0, component = 0;
    if (!ParseInt(w[0], kind) || kind < 0 || kind > 0xFFFFFFFFL)
      return fail("bad kind '" + w[0] + "'");
    if (!ParseInt(w[1], model) || model < 0 || model > 0x7FFF) {
      return fail("model '" + w[1] + "' is not a code 0-32767");
    }
    if (!ParseInt(w[2], component) || component < 0 || component > 0x7FFF) {
      return fail("component '" + w[2] + "' is not a code 0-32767");
    }
    row.kind = static_cast<std::uint32_t>(kind);
    row.model = static_cast<std::int16_t>(model);
    row.component = static_cast<std::int16_t>(component);
    if (!ParseVersion(w[3], row.version)) {
      return fail("version '" + w[3] + "' is neither a word nor V<major>.<minor, 3 digits>");
    }
    const bool isHead = row.kind == kDoloHead;
    if (w[4] == "head" || w[5] == "head") {
      if (w[4] != w[5]) return fail("date and time must both be 'head' or neither");
      if (rows.empty() || isHead) return fail("'head' date before there is a head");
      const ManifestRow& head = rows.front();
      row.year = head.year, row.month = head.month, row.day = head.day;
      row.hour = head.hour, row.minute = head.minute, row.second = head.second;
    } else {
      long y, mo, d, h, mi, s;
      if (!ParseTriple(w[4], '-', 4, y, mo, d) || y < 1980 || y > 2099 || mo < 1 || mo > 12 ||
          d < 1 || d > 31) {
        return fail("date '" + w[4] + "' is not YYYY-MM-DD");
      }
      if (!ParseTriple(w[5], ':', 2, h, mi, s) || h > 23 || mi > 59 || s > 59) {
        return fail("time '" + w[5] + "' is not HH:MM:SS");
      }
      row.year = static_cast<std::uint16_t>(y);
      row.month = static_cast<std::uint8_t>(mo), row.day = static_cast<std::uint8_t>(d);
      row.hour = static_cast<std::uint8_t>(h), row.minute = static_cast<std::uint8_t>(mi);
      row.second = static_cast<std::uint8_t>(s);
    }
    row.file = w[6];
    if (isHead != (row.file == "-")) {
      return fail(isHead ? "the head takes no file ('-')" : "a package needs a file");
    }
    if (!isHead && (row.file.front() == '/' || row.file.find("..") != std::string::npos ||
                    row.file.find('\\') != std::string::npos)) {
      return fail("file '" + row.file + "' must be a plain name inside the input folder");
    }
    rows.push_back(std::move(row));
  }
  if (rows.empty()) {
    lineNo = 0;
    return fail("the manifest holds no rows");
  }
  return true;
}

std::uint32_t ByteSum(const std::vector<InputSegment>& segments) {
  std::uint32_t sum = 0;
  for (const InputSegment& s : segments) {
    for (std::uint8_t b : s.data) sum += b;
  }
  return sum;
}

bool BuildPackageSet(const std::vector<ManifestRow>& rows, const std::string& manifestName,
                     const InputLoader& load, std::vector<PackageRecord>& records,
                     InputError& error) {
  records.clear();
  auto failRow = [&](const ManifestRow& row, std::string reason) {
    error = {manifestName, row.line, std::move(reason)};
    return false;
  };
  std::map<std::tuple<std::uint32_t, int, int>, int> seen;  // key -> manifest line
  for (const ManifestRow& row : rows) {
    const bool first = records.empty();
    if (first != (row.kind == kDoloHead)) {
      return failRow(row, first ? "the first row must be the kind-1 head"
                                : "kind 1 (the head) may only stand in the first row");
    }
    if (first && (row.model != 0 || row.component != 0 || row.version != 0)) {
      return failRow(row, "the head has model 0, component 0 and version 0");
    }
    if (!first && !IsAddressKind(row.kind) && row.kind != kDoloHandheldFile) {
      return failRow(
          row, "kind " + std::to_string(row.kind) + " is not a package kind (1, 3, 5, 6, 9 or 10)");
    }
    const auto key = std::make_tuple(row.kind, int{row.model}, int{row.component});
    if (auto it = seen.find(key); it != seen.end()) {
      return failRow(row, "same kind, model and component as line " + std::to_string(it->second) +
                              "; this row could never be found");
    }
    seen[key] = row.line;
    if (row.kind == kDoloCardDspSecond &&
        !seen.contains(std::make_tuple(kDoloCardDspFirst, int{row.model}, int{row.component}))) {
      return failRow(row, "a kind-3 card DSP part needs its kind-5 first part on an earlier row");
    }

    PackageRecord record;
    record.row = row;
    if (!first) {
      std::string content;
      if (!load(row.file, content))
        return failRow(row, "cannot read input file '" + row.file + "'");
      if (row.kind == kDoloHandheldFile) {
        if (content.empty()) {
          error = {row.file, 0, "a handheld file must not be empty"};
          return false;
        }
        record.segments.push_back(
            {0, std::vector<std::uint8_t>(content.begin(), content.end()), 0});
      } else if (!ParseIntelHex(content, row.file, record.segments, error)) {
        return false;
      }
      if (record.segments.empty()) {
        error = {row.file, 0, "the image holds no data"};
        return false;
      }
      std::uint64_t previousEnd = 0;
      for (std::size_t i = 0; i < record.segments.size(); ++i) {
        const InputSegment& s = record.segments[i];
        const std::uint64_t end = std::uint64_t{s.address} + s.data.size();
        auto fail = [&](std::string reason) {
          error = {row.file, s.line, "segment at " + Hex32(s.address) + " " + reason};
          return false;
        };
        if (end > 0x100000000ULL) return fail("runs past the 32-bit address space");
        if (i > 0 && s.address < previousEnd) {
          return fail("lies below or overlaps the segment before it (ends at " +
                      Hex32(static_cast<std::uint32_t>(previousEnd)) +
                      "); segments must ascend without overlap");
        }
        if (row.kind == kDoloUnitImage && (s.address % 2 != 0 || s.data.size() % 2 != 0)) {
          return fail("has " + std::string(s.address % 2 ? "an odd address" : "an odd length") +
                      " (" + std::to_string(s.data.size()) +
                      " bytes); unit images take even addresses and lengths");
        }
        previousEnd = end;
      }
      if (row.kind == kDoloCardDspFirst || row.kind == kDoloCardDspSecond) {
        record.checksum = ByteSum(record.segments);
      }
    }
    records.push_back(std::move(record));
  }
  return true;
}

}  // namespace desktop::firmware
