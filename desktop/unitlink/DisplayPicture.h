#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "desktop/unitlink/CTiroUSB.h"
#include "platform/ImageEncoder.h"
#include "protocol/unit/DisplayRow.h"

namespace desktop::unitlink {

// The picture of the front display: 483 x 259 pixels, one bit each, white (0)
// and blue (1). Every display pixel is a 2 x 2 block, display pixel (x, y) at
// (2 + 2x, 2 + 2y), inside a blue frame along the outermost rows and columns.
class DisplayPicture {
 public:
  static constexpr int kWidth = 483;
  static constexpr int kHeight = 259;
  static constexpr std::uint8_t kWhite = 0;
  static constexpr std::uint8_t kBlue = 1;
  static constexpr int kOrigin = 2;  // of display pixel (0, 0)
  static constexpr int kScale = 2;

  DisplayPicture();

  // Sets the two colours and draws the frame; the inside stays as it was.
  void DrawFrame();
  // Draws display row `row` (0-127) from the 32 bytes of a command 17 reply:
  // a lit pixel white, an unlit one blue. Rows outside the display are ignored.
  void DrawRow(int row, std::span<const std::uint8_t, protocol::unit::DisplayRow::kSize> bytes);

  std::uint8_t Pixel(int x, int y) const {
    return picture_.pixels[static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)];
  }
  const platform::EncoderPicture& Picture() const { return picture_; }

 private:
  void Set(int x, int y, std::uint8_t index);

  platform::EncoderPicture picture_;
};

// Reads the display of the Front26 module at `address`/`subAddress` row by row
// (command 17) into `picture`, stopping at the first row the unit does not
// answer. Returns the number of rows read.
int ReadDisplayPicture(CTiroUSB& usb, std::uint8_t address, std::uint8_t subAddress,
                       DisplayPicture& picture);

}  // namespace desktop::unitlink
