#include "installer/LogoBitmap.h"

#include <cstddef>

#include "platform/AtomicFile.h"
#include "platform/Bytes.h"

namespace installer {

namespace {

constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kBitFields = 3;

// The colour-table entries a format carries.
std::uint32_t TableEntries(std::uint16_t bits) {
  switch (bits) {
    case 1:
      return 2;
    case 2:
      return 4;
    case 4:
      return 16;
    case 8:
      return 256;
    case 16:
    case 32:
      return 3;  // colour masks
    default:
      return 0;
  }
}

// One masked channel scaled to 8 bits.
std::uint32_t Channel(std::uint32_t value, std::uint32_t mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (((mask >> shift) & 1u) == 0) ++shift;
  const std::uint32_t m = mask >> shift;
  const std::uint32_t v = (value & mask) >> shift;
  return static_cast<std::uint32_t>(std::uint64_t{v} * 255 / m);
}

}  // namespace

std::size_t LogoBitmap::Stride() const {
  return static_cast<std::size_t>(
      (std::uint64_t{static_cast<std::uint32_t>(width)} * bitsPerPixel + 31) / 32 * 4);
}

std::uint32_t LogoBitmap::Pixel(std::int32_t x, std::int32_t y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return 0;
  const std::size_t row = static_cast<std::size_t>(topDown ? y : height - 1 - y) * Stride();
  const std::uint8_t* p = pixels.data() + row;
  auto palette = [&](std::uint32_t index) {
    return index < colours.size() ? 0xFF000000u | (colours[index] & 0xFFFFFFu) : 0xFF000000u;
  };
  const auto ux = static_cast<std::size_t>(x);
  switch (bitsPerPixel) {
    case 1:
      return palette((p[ux / 8] >> (7 - ux % 8)) & 1u);
    case 2:
      return palette((p[ux / 4] >> (6 - 2 * (ux % 4))) & 3u);
    case 4:
      return palette((p[ux / 2] >> (ux % 2 ? 0 : 4)) & 15u);
    case 8:
      return palette(p[ux]);
    case 24:
      return 0xFF000000u | std::uint32_t{p[ux * 3 + 2]} << 16 | std::uint32_t{p[ux * 3 + 1]} << 8 |
             p[ux * 3];
    case 16:
    case 32: {
      const std::uint32_t v = bitsPerPixel == 16 ? platform::GetU16({p, Stride()}, ux * 2)
                                                 : platform::GetU32({p, Stride()}, ux * 4);
      std::uint32_t r = 0x7C00, g = 0x03E0, b = 0x001F;
      if (bitsPerPixel == 32) r = 0xFF0000, g = 0xFF00, b = 0xFF;
      if (compression == kBitFields) r = colours[0], g = colours[1], b = colours[2];
      return 0xFF000000u | Channel(v, r) << 16 | Channel(v, g) << 8 | Channel(v, b);
    }
    default:
      return 0;
  }
}

bool LogoBitmap::Parse(std::span<const std::uint8_t> file, LogoBitmap& out, std::string& error) {
  out = {};
  auto fail = [&](const char* why) {
    error = why;
    out = {};
    return false;
  };
  if (file.size() < kFileHeaderSize) return fail("shorter than a file header");
  if (platform::GetU16(file, 0) != kMagic) return fail("not a bitmap (no \"BM\")");
  const std::uint32_t pixelOffset = platform::GetU32(file, 10);
  if (file.size() < kFileHeaderSize + kInfoHeaderSize) return fail("shorter than its headers");
  const auto info = file.subspan(kFileHeaderSize);
  if (platform::GetU32(info, 0) != kInfoHeaderSize) return fail("not a 40-byte information header");
  const auto width = static_cast<std::int32_t>(platform::GetU32(info, 4));
  const auto height = static_cast<std::int32_t>(platform::GetU32(info, 8));
  const std::uint16_t planes = platform::GetU16(info, 12);
  out.bitsPerPixel = platform::GetU16(info, 14);
  out.compression = platform::GetU32(info, 16);
  const std::uint32_t coloursUsed = platform::GetU32(info, 32);
  if (planes != 1) return fail("more than one plane");
  // Both signs are checked before the height is negated: INT32_MIN has no positive.
  if (width <= 0 || width > kMaxSide || height == 0 || height < -kMaxSide || height > kMaxSide) {
    return fail("width or height out of range");
  }
  out.width = width;
  out.topDown = height < 0;
  out.height = out.topDown ? -height : height;
  const std::uint16_t bits = out.bitsPerPixel;
  if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    return fail("unsupported bits per pixel");
  }
  if (out.compression != kRgb && !(out.compression == kBitFields && (bits == 16 || bits == 32))) {
    return fail("compressed bitmaps are not shown");
  }

  std::uint32_t entries = TableEntries(bits);
  // Masks are only there with the colour-mask compression.
  if ((bits == 16 || bits == 32) && out.compression != kBitFields) entries = 0;
  if (bits <= 8 && coloursUsed != 0 && coloursUsed < entries) entries = coloursUsed;
  const std::size_t tableAt = kFileHeaderSize + kInfoHeaderSize;
  if (file.size() - tableAt < std::size_t{entries} * 4) return fail("colour table past the file");
  for (std::uint32_t i = 0; i < entries; ++i)
    out.colours.push_back(platform::GetU32(file, tableAt + i * 4));

  // 64-bit arithmetic: width x height x bits never wraps below the real size.
  const std::uint64_t needed = std::uint64_t{out.Stride()} * static_cast<std::uint32_t>(out.height);
  if (pixelOffset < tableAt || pixelOffset > file.size()) return fail("pixel offset past the file");
  if (file.size() - pixelOffset < needed) return fail("pixel data past the file");
  out.pixels.assign(file.begin() + pixelOffset,
                    file.begin() + pixelOffset + static_cast<std::ptrdiff_t>(needed));
  return true;
}

bool LogoBitmap::Load(const std::filesystem::path& path, LogoBitmap& out, std::string& error) {
  std::string content;
  if (!platform::ReadFileUpTo(path, kMaxFileBytes, content, error)) return false;
  if (!Parse({reinterpret_cast<const std::uint8_t*>(content.data()), content.size()}, out, error)) {
    error = path.string() + ": " + error;
    return false;
  }
  return true;
}

}  // namespace installer
