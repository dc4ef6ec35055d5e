#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace installer {

// The installer's logo: a device-independent bitmap read from "logo.bmp",
// with a 40-byte information header and no compression beyond colour masks.
// Every size in the file is checked against the file itself before anything
// is read through it, so a broken or hostile bitmap is refused, never drawn
// past its end.
struct LogoBitmap {
  static constexpr std::size_t kFileHeaderSize = 14;
  static constexpr std::size_t kInfoHeaderSize = 40;
  static constexpr std::uint16_t kMagic = 0x4D42;  // "BM"
  static constexpr std::int32_t kMaxSide = 4096;   // far beyond any handheld's screen
  static constexpr std::size_t kMaxFileBytes = 64u << 20;

  std::int32_t width = 0;
  std::int32_t height = 0;  // rows, always positive
  bool topDown = false;
  std::uint16_t bitsPerPixel = 0;
  std::uint32_t compression = 0;
  std::vector<std::uint32_t> colours;  // palette entries or the three masks
  std::vector<std::uint8_t> pixels;    // rows of Stride() bytes

  std::size_t Stride() const;
  // 0xAARRGGBB of the pixel at (x, y), y = 0 the top row.
  std::uint32_t Pixel(std::int32_t x, std::int32_t y) const;

  // False with the reason when the bytes are not a bitmap the installer can show.
  static bool Parse(std::span<const std::uint8_t> file, LogoBitmap& out, std::string& error);
  static bool Load(const std::filesystem::path& path, LogoBitmap& out, std::string& error);
};

}  // namespace installer
