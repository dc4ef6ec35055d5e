#include "platform/GifImageEncoder.h"

#include <gif_lib.h>

#include <algorithm>
#include <map>
#include <memory>

namespace platform {

namespace {

int AppendToString(GifFileType* gif, const GifByteType* data, int length) {
  static_cast<std::string*>(gif->UserData)
      ->append(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length));
  return length;
}

// Palette indices and the palette of an RGB picture: its own colours when
// there are at most 256, else giflib's quantisation.
bool IndexRgb(const EncoderPicture& picture, std::vector<std::uint8_t>& indices,
              std::vector<EncoderColour>& palette) {
  const std::size_t count = picture.pixels.size() / 3;
  indices.resize(count);
  std::map<std::uint32_t, std::uint8_t> seen;
  bool fits = true;
  for (std::size_t i = 0; i < count && fits; ++i) {
    const std::uint8_t* p = &picture.pixels[i * 3];
    const std::uint32_t key = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
    auto it = seen.find(key);
    if (it == seen.end()) {
      if (seen.size() == 256) {
        fits = false;
        break;
      }
      it = seen.emplace(key, static_cast<std::uint8_t>(seen.size())).first;
      palette.push_back({p[0], p[1], p[2]});
    }
    indices[i] = it->second;
  }
  if (fits) return true;

  std::vector<GifByteType> red(count), green(count), blue(count);
  for (std::size_t i = 0; i < count; ++i) {
    red[i] = picture.pixels[i * 3];
    green[i] = picture.pixels[i * 3 + 1];
    blue[i] = picture.pixels[i * 3 + 2];
  }
  int size = 256;
  std::vector<GifColorType> map(256);
  if (GifQuantizeBuffer(static_cast<unsigned>(picture.width), static_cast<unsigned>(picture.height),
                        &size, red.data(), green.data(), blue.data(), indices.data(),
                        map.data()) != GIF_OK) {
    return false;
  }
  palette.clear();
  for (int i = 0; i < size; ++i) palette.push_back({map[i].Red, map[i].Green, map[i].Blue});
  return true;
}

struct MapDeleter {
  void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

}  // namespace

bool GifImageEncoder::Encode(const EncoderPicture& picture, std::string_view,
                             std::string& bytes) const {
  if (!picture.IsValid()) return false;
  std::vector<std::uint8_t> rgbIndices;
  std::vector<EncoderColour> palette = picture.palette;
  const std::vector<std::uint8_t>* indices = &picture.pixels;
  if (picture.kind == EncoderPicture::Kind::Rgb) {
    palette.clear();
    if (!IndexRgb(picture, rgbIndices, palette)) return false;
    indices = &rgbIndices;
  }

  // A GIF colour table has a power of two entries, at least two.
  int tableSize = 2;
  while (tableSize < static_cast<int>(palette.size())) tableSize *= 2;
  std::vector<GifColorType> colours(static_cast<std::size_t>(tableSize), GifColorType{0, 0, 0});
  for (std::size_t i = 0; i < palette.size(); ++i) {
    colours[i] = {palette[i].r, palette[i].g, palette[i].b};
  }
  const std::unique_ptr<ColorMapObject, MapDeleter> map(
      GifMakeMapObject(tableSize, colours.data()));
  if (!map) return false;

  std::string out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, AppendToString, &error);
  if (gif == nullptr) return false;
  bool ok = EGifPutScreenDesc(gif, picture.width, picture.height, GifBitSize(tableSize), 0,
                              map.get()) == GIF_OK &&
            EGifPutImageDesc(gif, 0, 0, picture.width, picture.height, false, nullptr) == GIF_OK;
  std::vector<GifPixelType> row(static_cast<std::size_t>(picture.width));
  for (int y = 0; ok && y < picture.height; ++y) {
    const auto start = static_cast<std::size_t>(y) * row.size();
    std::copy_n(indices->begin() + static_cast<std::ptrdiff_t>(start), row.size(), row.begin());
    ok = EGifPutLine(gif, row.data(), picture.width) == GIF_OK;
  }
  // Closing writes the trailer and frees the writer in every case.
  ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
  if (ok) bytes = std::move(out);
  return ok;
}

}  // namespace platform
