#include "desktop/firmware/IntelHex.h"

#include <algorithm>
#include <cstdio>

namespace desktop::firmware {

namespace {

constexpr std::uint8_t kData = 0x00;
constexpr std::uint8_t kEndOfFile = 0x01;
constexpr std::uint8_t kExtendedSegment = 0x02;
constexpr std::uint8_t kStartSegment = 0x03;
constexpr std::uint8_t kExtendedLinear = 0x04;
constexpr std::uint8_t kStartLinear = 0x05;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The bytes of one record line after the colon; false when a character is not hex.
bool DecodeHexBytes(std::string_view text, std::vector<std::uint8_t>& out) {
  if (text.size() % 2 != 0) return false;
  out.clear();
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
  }
  return true;
}

}  // namespace

std::string InputError::Text() const {
  std::string text = file;
  if (line > 0) text += ":" + std::to_string(line);
  return text + ": " + reason;
}

bool ParseIntelHex(std::string_view text, const std::string& fileName,
                   std::vector<InputSegment>& segments, InputError& error) {
  segments.clear();
  auto fail = [&](int line, std::string reason) {
    error = {fileName, line, std::move(reason)};
    return false;
  };
  std::uint32_t base = 0;
  bool open = false;  // the last segment may grow
  bool ended = false;
  int lineNo = 0;
  std::vector<std::uint8_t> bytes;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    if (ended) return fail(lineNo, "data after the end-of-file record");
    if (line.front() != ':') return fail(lineNo, "a record must begin with ':'");
    if (!DecodeHexBytes(line.substr(1), bytes)) {
      return fail(lineNo,
                  "a record holds an odd count of characters or a character that is not hex");
    }
    if (bytes.size() < 5) return fail(lineNo, "record too short");
    const std::size_t count = bytes[0];
    if (bytes.size() != count + 5) {
      return fail(lineNo, "record length " + std::to_string(count) + " does not match the line");
    }
    std::uint8_t sum = 0;
    for (std::uint8_t b : bytes) sum = static_cast<std::uint8_t>(sum + b);
    if (sum != 0) return fail(lineNo, "checksum mismatch");
    const std::uint32_t offset = static_cast<std::uint32_t>(bytes[1] << 8 | bytes[2]);
    const std::uint8_t type = bytes[3];
    const std::uint8_t* data = bytes.data() + 4;
    switch (type) {
      case kData: {
        if (count == 0) break;
        if (offset + count > 0x10000) return fail(lineNo, "data record crosses a 64 KiB boundary");
        const std::uint32_t address = base + offset;
        if (!open || address != segments.back().address + segments.back().data.size()) {
          segments.push_back({address, {}, lineNo});
          open = true;
        }
        segments.back().data.insert(segments.back().data.end(), data, data + count);
        break;
      }
      case kEndOfFile:
        if (count != 0) return fail(lineNo, "end-of-file record with data");
        ended = true;
        break;
      case kExtendedSegment:
      case kExtendedLinear: {
        if (count != 2) return fail(lineNo, "extended address record must hold 2 bytes");
        const std::uint32_t value = static_cast<std::uint32_t>(data[0] << 8 | data[1]);
        base = type == kExtendedLinear ? value << 16 : value << 4;
        // A new base starts a new segment, unless it only carries the open
        // segment on across a 64 KiB boundary.
        open = open && segments.back().address + segments.back().data.size() == base;
        break;
      }
      case kStartSegment:
      case kStartLinear:
        if (count != 4) return fail(lineNo, "start address record must hold 4 bytes");
        break;
      default:
        return fail(lineNo, "unknown record type " + std::to_string(type));
    }
  }
  if (!ended) return fail(lineNo + 1, "no end-of-file record");
  return true;
}

std::string WriteIntelHex(const std::vector<InputSegment>& segments) {
  std::string out;
  char line[64];
  auto record = [&](std::uint8_t type, std::uint16_t offset, const std::uint8_t* data,
                    std::size_t count) {
    unsigned sum = static_cast<unsigned>(count) + (offset >> 8) + (offset & 0xFF) + type;
    int n = std::snprintf(line, sizeof line, ":%02zX%04X%02X", count, offset, type);
    out.append(line, static_cast<std::size_t>(n));
    for (std::size_t i = 0; i < count; ++i) {
      n = std::snprintf(line, sizeof line, "%02X", data[i]);
      out.append(line, static_cast<std::size_t>(n));
      sum += data[i];
    }
    n = std::snprintf(line, sizeof line, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
    out.append(line, static_cast<std::size_t>(n));
  };
  for (const InputSegment& s : segments) {
    std::uint32_t upper = s.address >> 16;
    const std::uint8_t ext[2] = {static_cast<std::uint8_t>(upper >> 8),
                                 static_cast<std::uint8_t>(upper)};
    record(kExtendedLinear, 0, ext, 2);
    for (std::size_t i = 0; i < s.data.size();) {
      const std::uint32_t address = s.address + static_cast<std::uint32_t>(i);
      if (address >> 16 != upper) {
        // Crossing 64 KiB inside a segment: the new base carries it on.
        upper = address >> 16;
        const std::uint8_t next[2] = {static_cast<std::uint8_t>(upper >> 8),
                                      static_cast<std::uint8_t>(upper)};
        record(kExtendedLinear, 0, next, 2);
      }
      std::size_t count = std::min<std::size_t>(16, s.data.size() - i);
      count = std::min<std::size_t>(count, 0x10000 - (address & 0xFFFF));
      record(kData, static_cast<std::uint16_t>(address & 0xFFFF), s.data.data() + i, count);
      i += count;
    }
  }
  record(kEndOfFile, 0, nullptr, 0);
  return out;
}

}  // namespace desktop::firmware
