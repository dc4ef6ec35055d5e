#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace protocol::unit {

// One row of the front display's picture: reply data of command 17. Sixteen
// u16; word 0 is not drawn, words 1-15 hold the 240 pixels, bit 15 first.
struct DisplayRow {
  static constexpr std::size_t kWidth = 240;   // display pixels
  static constexpr std::size_t kHeight = 128;  // rows, requested by number in arg2
  static constexpr std::size_t kSize = 32;
  static constexpr std::size_t kFirstPixelWord = 1;
  static constexpr std::size_t kPixelsPerWord = 16;

  using Bytes = std::array<std::uint8_t, kSize>;

  // Whether pixel x (0-239) is lit; `row` holds the 32 row bytes.
  static bool Lit(std::span<const std::uint8_t> row, std::size_t x);
  static void Light(std::span<std::uint8_t> row, std::size_t x);
};

}  // namespace protocol::unit
