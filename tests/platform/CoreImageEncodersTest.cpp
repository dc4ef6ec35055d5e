// The encoders of programs without Qt: BMP bytes as the format lays them out,
// and every format read back by an independent decoder.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/BmpImageEncoder.h"
#include "platform/CoreImageEncoders.h"
#include "tests/platform/ImageFixtures.h"
#include "tests/support/TempDir.h"

namespace platform {
namespace {

TEST(BmpImageEncoder, TwoColourPictureIsOneBitBottomUpWithPaddedRows) {
  EncoderPicture p;
  p.width = 3;
  p.height = 2;
  p.palette = {{255, 255, 255}, {0, 0, 255}};
  p.pixels = {1, 0, 0,   // top row
              0, 1, 1};  // bottom row
  std::string bytes;
  ASSERT_TRUE(BmpImageEncoder().Encode(p, "bmp", bytes));
  const unsigned char expected[] = {
      'B',  'M',  0x46, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x3E, 0x00, 0x00, 0x00,  // file
      0x28, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,  // size, w, h
      0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00,  // planes, bits
      0x13, 0x0B, 0x00, 0x00, 0x13, 0x0B, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,  // 72 dpi, colours
      0x00, 0x00, 0x00, 0x00,                                                  // important
      0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0x00,  // white, blue (B, G, R, 0)
      0x60, 0x00, 0x00, 0x00,                          // bottom row: 0 1 1
      0x80, 0x00, 0x00, 0x00,                          // top row: 1 0 0
  };
  EXPECT_EQ(bytes, std::string(reinterpret_cast<const char*>(expected), sizeof expected));
}

TEST(CoreImageEncoders, EveryFormatOpensInAnIndependentDecoder) {
  EncoderPicture threeColours;
  threeColours.width = 5;
  threeColours.height = 3;
  threeColours.palette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}};
  threeColours.pixels = {0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2};
  EncoderPicture rgb;
  rgb.kind = EncoderPicture::Kind::Rgb;
  rgb.width = 2;
  rgb.height = 2;
  rgb.pixels = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
  const struct {
    const char* file;
    EncoderPicture picture;
    const char* identified;
  } rows[] = {
      {"display.bmp", testing_support::DisplayPicture(), "BMP3 483x259 2"},
      {"display.gif", testing_support::DisplayPicture(), "GIF 483x259 2"},
      {"display.png", testing_support::DisplayPicture(), "PNG 483x259 2"},
      {"three.bmp", threeColours, "BMP3 5x3 3"},
      {"three.png", threeColours, "PNG 5x3 3"},
      {"rgb.bmp", rgb, "BMP3 2x2 4"},
      {"rgb.png", rgb, "PNG 2x2 4"},
  };
  testing_support::TempDir dir;
  const ImageEncoderRegistry encoders = MakeCoreImageEncoders();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file);
    std::string error;
    ASSERT_TRUE(encoders.Save(row.picture, dir.path() / row.file, error)) << error;
    EXPECT_EQ(testing_support::Identify(dir.path() / row.file), row.identified);
  }
  std::string error;
  EXPECT_FALSE(encoders.Save(rgb, dir.path() / "rgb.jpg", error));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "rgb.jpg"));
}

}  // namespace
}  // namespace platform
