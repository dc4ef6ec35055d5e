#include "platform/BmpImageEncoder.h"

#include <algorithm>
#include <cstdint>

namespace platform {

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::int32_t kPixelsPerMetre = 2835;  // 72 dpi

void Put16(std::string& out, std::uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}

void Put32(std::string& out, std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

}  // namespace

bool BmpImageEncoder::Encode(const EncoderPicture& picture, std::string_view /*extension*/,
                             std::string& bytes) const {
  if (!picture.IsValid()) return false;
  const bool rgb = picture.kind == EncoderPicture::Kind::Rgb;
  const std::uint16_t bits = rgb ? 24 : picture.palette.size() <= 2 ? 1 : 8;
  const std::uint32_t colours = rgb ? 0 : (bits == 1 ? 2u : 256u);
  const auto width = static_cast<std::uint32_t>(picture.width);
  const auto height = static_cast<std::uint32_t>(picture.height);
  // Rows are padded to whole 32-bit words.
  const std::uint32_t stride = ((width * bits + 31) / 32) * 4;
  const std::uint32_t dataOffset = kFileHeaderSize + kInfoHeaderSize + colours * 4;
  const std::uint32_t imageSize = stride * height;

  std::string out;
  out.reserve(dataOffset + imageSize);
  out += "BM";
  Put32(out, dataOffset + imageSize);
  Put32(out, 0);
  Put32(out, dataOffset);
  Put32(out, kInfoHeaderSize);
  Put32(out, width);
  Put32(out, height);  // positive: the bottom row comes first
  Put16(out, 1);
  Put16(out, bits);
  Put32(out, 0);  // no compression
  Put32(out, imageSize);
  Put32(out, static_cast<std::uint32_t>(kPixelsPerMetre));
  Put32(out, static_cast<std::uint32_t>(kPixelsPerMetre));
  Put32(out, colours);
  Put32(out, 0);
  for (std::uint32_t i = 0; i < colours; ++i) {
    const EncoderColour c = i < picture.palette.size() ? picture.palette[i] : EncoderColour{};
    out.push_back(static_cast<char>(c.b));
    out.push_back(static_cast<char>(c.g));
    out.push_back(static_cast<char>(c.r));
    out.push_back(0);
  }

  std::string row(stride, '\0');
  for (std::uint32_t y = height; y-- > 0;) {
    std::fill(row.begin(), row.end(), '\0');
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::size_t at = std::size_t{y} * width + x;
      if (rgb) {
        const std::uint8_t* p = &picture.pixels[at * 3];
        row[x * 3] = static_cast<char>(p[2]);
        row[x * 3 + 1] = static_cast<char>(p[1]);
        row[x * 3 + 2] = static_cast<char>(p[0]);
      } else if (bits == 1) {
        if (picture.pixels[at] != 0) row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
      } else {
        row[x] = static_cast<char>(picture.pixels[at]);
      }
    }
    out += row;
  }
  bytes = std::move(out);
  return true;
}

}  // namespace platform
