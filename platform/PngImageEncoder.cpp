#include "platform/PngImageEncoder.h"

#include <png.h>

#include <csetjmp>

namespace platform {

namespace {

void AppendToString(png_structp png, png_bytep data, png_size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))
      ->append(reinterpret_cast<const char*>(data), length);
}

void NoFlush(png_structp) {}

// Bits per index: the fewest that hold every palette entry.
int IndexDepth(std::size_t paletteSize) {
  if (paletteSize <= 2) return 1;
  if (paletteSize <= 4) return 2;
  if (paletteSize <= 16) return 4;
  return 8;
}

// libpng reports errors by longjmp; nothing with a destructor lives in here.
bool Write(png_structp png, png_infop info, const EncoderPicture& picture, png_colorp palette,
           png_bytepp rows, std::string* out) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  png_set_write_fn(png, out, AppendToString, NoFlush);
  const auto width = static_cast<png_uint_32>(picture.width);
  const auto height = static_cast<png_uint_32>(picture.height);
  if (picture.kind == EncoderPicture::Kind::Rgb) {
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  } else {
    png_set_IHDR(png, info, width, height, IndexDepth(picture.palette.size()),
                 PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, palette, static_cast<int>(picture.palette.size()));
  }
  png_write_info(png, info);
  if (picture.kind == EncoderPicture::Kind::Indexed) png_set_packing(png);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

bool PngImageEncoder::Encode(const EncoderPicture& picture, std::string_view /*extension*/,
                             std::string& bytes) const {
  if (!picture.IsValid()) return false;
  std::vector<png_color> palette;
  for (const EncoderColour& c : picture.palette) palette.push_back({c.r, c.g, c.b});
  const std::size_t stride =
      static_cast<std::size_t>(picture.width) * (picture.kind == EncoderPicture::Kind::Rgb ? 3 : 1);
  std::vector<std::uint8_t> pixels = picture.pixels;  // libpng takes rows as non-const
  std::vector<png_bytep> rows(static_cast<std::size_t>(picture.height));
  for (std::size_t y = 0; y < rows.size(); ++y) rows[y] = pixels.data() + y * stride;

  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  std::string out;
  const bool ok = info != nullptr && Write(png, info, picture, palette.data(), rows.data(), &out);
  png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
  if (!ok) return false;
  bytes = std::move(out);
  return true;
}

}  // namespace platform
