#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "installer/LogoBitmap.h"

namespace installer {
namespace {

const std::filesystem::path kFixtures =
    std::filesystem::path(MRX_SOURCE_DIR) / "fuzz" / "corpus" / "logo_bitmap";

struct Fixture {
  const char* file;
  bool loads;
  const char* reason;  // part of the refusal
};

class LogoBitmapFixtureTest : public ::testing::TestWithParam<Fixture> {};

TEST_P(LogoBitmapFixtureTest, LoadsOrRefusesWithoutReadingPastTheFile) {
  const Fixture& f = GetParam();
  LogoBitmap logo;
  std::string error;
  const bool loaded = LogoBitmap::Load(kFixtures / f.file, logo, error);
  ASSERT_EQ(loaded, f.loads) << error;
  if (!loaded) {
    EXPECT_NE(error.find(f.reason), std::string::npos) << error;
    EXPECT_TRUE(logo.pixels.empty());
    return;
  }
  // Every pixel can be read through the stride the header promises.
  ASSERT_GE(logo.pixels.size(), logo.Stride() * static_cast<std::size_t>(logo.height));
  for (int y = 0; y < logo.height; ++y) {
    for (int x = 0; x < logo.width; ++x) logo.Pixel(x, y);
  }
}

void PrintTo(const Fixture& f, std::ostream* os) {
  *os << f.file;
}

INSTANTIATE_TEST_SUITE_P(
    , LogoBitmapFixtureTest,
    ::testing::Values(Fixture{"good_24bit_2x2.bmp", true, ""},
                      Fixture{"good_8bit_two_colours.bmp", true, ""},
                      Fixture{"good_1bit_top_down.bmp", true, ""},
                      // The pixels are there; the header's file size does not cut them short.
                      Fixture{"regression_file_size_field_small.bmp", true, ""},
                      Fixture{"regression_width_height_wrap.bmp", false, "out of range"},
                      Fixture{"regression_width_times_bits_wrap.bmp", false, "out of range"},
                      Fixture{"regression_negative_width.bmp", false, "out of range"},
                      Fixture{"regression_height_int_min.bmp", false, "out of range"},
                      Fixture{"regression_zero_height.bmp", false, "out of range"},
                      Fixture{"regression_palette_count_past_file.bmp", false, "colour table"},
                      Fixture{"regression_pixel_offset_past_file.bmp", false, "pixel offset"},
                      Fixture{"regression_pixels_short.bmp", false, "pixel data"},
                      Fixture{"regression_header_size_12.bmp", false, "40-byte"},
                      Fixture{"regression_header_size_huge.bmp", false, "40-byte"},
                      Fixture{"regression_truncated_header.bmp", false, "headers"},
                      Fixture{"regression_rle_compressed.bmp", false, "compressed"}),
    [](const auto& row) {
      std::string name = row.param.file;
      name = name.substr(0, name.find('.'));
      std::erase(name, '_');
      return name;
    });

TEST(LogoBitmapTest, ReadsColoursOfEveryFormatTheLogoUses) {
  struct Case {
    const char* file;
    std::vector<std::uint32_t> topRow;
    std::vector<std::uint32_t> bottomRow;
  };
  const Case cases[] = {
      // Rows are stored bottom first: the file's first row is the picture's last.
      {"good_24bit_2x2.bmp", {0xFF0000FF, 0xFFFFFFFF}, {0xFFFF0000, 0xFF00FF00}},
      {"good_8bit_two_colours.bmp", {0xFF000000, 0xFFFFFFFF, 0xFF000000}, {}},
      {"good_1bit_top_down.bmp",
       {0xFFFF0000, 0xFFFF0000, 0xFFFF0000, 0xFFFF0000, 0xFF000000, 0xFF000000, 0xFF000000,
        0xFF000000},
       {0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000, 0xFFFF0000, 0xFFFF0000, 0xFFFF0000,
        0xFFFF0000}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    LogoBitmap logo;
    std::string error;
    ASSERT_TRUE(LogoBitmap::Load(kFixtures / c.file, logo, error)) << error;
    std::vector<std::uint32_t> top, bottom;
    for (int x = 0; x < logo.width; ++x) {
      top.push_back(logo.Pixel(x, 0));
      if (logo.height > 1) bottom.push_back(logo.Pixel(x, logo.height - 1));
    }
    EXPECT_EQ(top, c.topRow);
    EXPECT_EQ(bottom, c.bottomRow);
  }
}

TEST(LogoBitmapTest, APaletteIndexPastTheColoursUsedIsBlackNotARead) {
  std::ifstream in(kFixtures / "good_8bit_two_colours.bmp", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  bytes[bytes.size() - 4] = static_cast<char>(200);  // the first pixel names entry 200 of 2
  LogoBitmap logo;
  std::string error;
  ASSERT_TRUE(LogoBitmap::Parse({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()},
                                logo, error));
  EXPECT_EQ(logo.Pixel(0, 0), 0xFF000000u);
}

}  // namespace
}  // namespace installer

namespace installer {
namespace {

// The logo the build draws is one the installer shows, not just any bitmap.
TEST(LogoBitmapTest, TheBuildsOwnLogoLoads) {
  const auto logo =
      std::filesystem::path(MRX_BINARY_DIR) / "desktop/firmware/generated/standins/Logo.bmp";
  if (!std::filesystem::exists(logo)) GTEST_SKIP() << "built with real package inputs";
  LogoBitmap bitmap;
  std::string error;
  ASSERT_TRUE(LogoBitmap::Load(logo, bitmap, error)) << error;
  EXPECT_EQ(bitmap.bitsPerPixel, 8);
  EXPECT_GT(bitmap.width, 100);
  std::set<std::uint32_t> colours;
  for (int y = 0; y < bitmap.height; ++y) colours.insert(bitmap.Pixel(bitmap.width / 2, y));
  EXPECT_GT(colours.size(), 3u) << "a drawn picture, not one colour";
}

}  // namespace
}  // namespace installer
