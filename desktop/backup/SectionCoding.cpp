#include "desktop/backup/SectionCoding.h"

#include <array>

namespace desktop::backup {

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr int kNotBase64 = -1;

constexpr std::array<int, 256> MakeValues() {
  std::array<int, 256> values{};
  for (int& v : values) v = kNotBase64;
  for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
    values[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int>(i);
  }
  return values;
}
constexpr std::array<int, 256> kValues = MakeValues();

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

std::string Base64Encode(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    for (int shift = 18; shift >= 0; shift -= 6) out += kAlphabet[(v >> shift) & 0x3F];
  }
  const std::size_t left = bytes.size() - i;
  if (left > 0) {
    const std::uint32_t v = (bytes[i] << 16) | (left == 2 ? bytes[i + 1] << 8 : 0);
    out += kAlphabet[(v >> 18) & 0x3F];
    out += kAlphabet[(v >> 12) & 0x3F];
    out += left == 2 ? kAlphabet[(v >> 6) & 0x3F] : '=';
    out += '=';
  }
  return out;
}

bool Base64DecodeLine(std::string_view line, std::vector<std::uint8_t>& out) {
  if (line.empty() || line.size() % 4 != 0) return false;
  std::size_t padding = 0;
  if (line.back() == '=') padding = line[line.size() - 2] == '=' ? 2 : 1;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(line.size() / 4 * 3);
  for (std::size_t i = 0; i < line.size(); i += 4) {
    const bool last = i + 4 == line.size();
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const bool pad = last && k >= 4 - padding;
      const int value = pad ? 0 : kValues[static_cast<unsigned char>(line[i + k])];
      if (value == kNotBase64) return false;
      v = (v << 6) | static_cast<std::uint32_t>(value);
    }
    bytes.push_back(static_cast<std::uint8_t>(v >> 16));
    if (!last || padding < 2) bytes.push_back(static_cast<std::uint8_t>(v >> 8));
    if (!last || padding < 1) bytes.push_back(static_cast<std::uint8_t>(v));
    // Bits the padding leaves over must be zero, so one text means one content.
    if (last && padding == 2 && (v & 0xFFFF) != 0) return false;
    if (last && padding == 1 && (v & 0xFF) != 0) return false;
  }
  out.insert(out.end(), bytes.begin(), bytes.end());
  return true;
}

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::uint8_t b : bytes) c = kCrcTable[(c ^ b) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

}  // namespace desktop::backup
