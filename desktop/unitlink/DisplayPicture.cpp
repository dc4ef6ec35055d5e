#include "desktop/unitlink/DisplayPicture.h"

#include <algorithm>

#include "protocol/unit/Frame.h"
#include "protocol/unit/UnitCommand.h"

namespace desktop::unitlink {

namespace pu = protocol::unit;

DisplayPicture::DisplayPicture() {
  picture_.kind = platform::EncoderPicture::Kind::Indexed;
  picture_.width = kWidth;
  picture_.height = kHeight;
  picture_.palette = {{255, 255, 255}, {0, 0, 255}};
  picture_.pixels.assign(static_cast<std::size_t>(kWidth) * kHeight, kWhite);
}

void DisplayPicture::Set(int x, int y, std::uint8_t index) {
  picture_.pixels[static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)] = index;
}

void DisplayPicture::DrawFrame() {
  picture_.palette = {{255, 255, 255}, {0, 0, 255}};
  for (int x = 0; x < kWidth; ++x) {
    Set(x, 0, kBlue);
    Set(x, kHeight - 1, kBlue);
  }
  for (int y = 0; y < kHeight; ++y) {
    Set(0, y, kBlue);
    Set(kWidth - 1, y, kBlue);
  }
}

void DisplayPicture::DrawRow(int row, std::span<const std::uint8_t, pu::DisplayRow::kSize> bytes) {
  if (row < 0 || row >= static_cast<int>(pu::DisplayRow::kHeight)) return;
  const int top = kOrigin + kScale * row;
  for (std::size_t x = 0; x < pu::DisplayRow::kWidth; ++x) {
    const std::uint8_t index = pu::DisplayRow::Lit(bytes, x) ? kWhite : kBlue;
    const int left = kOrigin + kScale * static_cast<int>(x);
    for (int dy = 0; dy < kScale; ++dy) {
      for (int dx = 0; dx < kScale; ++dx) Set(left + dx, top + dy, index);
    }
  }
}

int ReadDisplayPicture(CTiroUSB& usb, std::uint8_t address, std::uint8_t subAddress,
                       DisplayPicture& picture) {
  picture.DrawFrame();
  for (int row = 0; row < static_cast<int>(pu::DisplayRow::kHeight); ++row) {
    std::uint8_t reply[pu::kFrameSize] = {};
    if (!usb.SendCommand(reply, pu::Code(pu::UnitCommand::kReadDisplayRow), address, subAddress,
                         static_cast<std::uint8_t>(row), 0, 0, nullptr)) {
      return row;
    }
    picture.DrawRow(row, std::span<const std::uint8_t, pu::DisplayRow::kSize>(
                             reply + pu::ReplyHeader::kData, pu::DisplayRow::kSize));
  }
  return static_cast<int>(pu::DisplayRow::kHeight);
}

}  // namespace desktop::unitlink
