#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct EncoderColour {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
  friend bool operator==(const EncoderColour&, const EncoderColour&) = default;
};

// A picture to save, rows from the top. An indexed picture holds one palette
// index per pixel (a 1-bit picture is one with two palette entries); an RGB
// picture three bytes per pixel.
struct EncoderPicture {
  enum class Kind { Indexed, Rgb };
  static constexpr int kMaxSide = 65535;

  Kind kind = Kind::Indexed;
  int width = 0;
  int height = 0;
  std::vector<EncoderColour> palette;  // indexed: 1–256 entries
  std::vector<std::uint8_t> pixels;

  // Sides of 1 … kMaxSide, the pixel count that goes with them, and every
  // index inside the palette.
  bool IsValid() const;
};

// One file format: writes a whole file's bytes in memory, so that a failure
// never leaves part of a file behind.
class ImageEncoder {
 public:
  virtual ~ImageEncoder() = default;
  // The file extensions it writes, lower case, without the dot.
  virtual std::vector<std::string> Extensions() const = 0;
  // The file for `picture` in the format of `extension` (one of Extensions()).
  virtual bool Encode(const EncoderPicture& picture, std::string_view extension,
                      std::string& bytes) const = 0;
};

}  // namespace platform
