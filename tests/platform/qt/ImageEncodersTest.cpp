#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/AtomicFile.h"
#include "platform/GifImageEncoder.h"
#include "platform/qt/ImageEncoders.h"
#include "tests/platform/ImageFixtures.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/SimProcess.h"

namespace platform::qt {
namespace {

using testing_support::DisplayPicture;
using testing_support::FilesIn;
using testing_support::Identify;

class ImageEncoders : public ::testing::Test {
 protected:
  ImageEncoders() { testing_support::TestApplication(); }
  ImageEncoderRegistry registry_ = MakeImageEncoders();
  testing_support::TempDir dir_;
};

TEST_F(ImageEncoders, DisplayPictureOpensInAnIndependentDecoder) {
  struct Case {
    const char* file;
    const char* identified;
  };
  // BMP3: the bitmap with the Windows 3 info header, as the display's is.
  const Case cases[] = {{"screen.bmp", "BMP3 483x259 2"},
                        {"screen.gif", "GIF 483x259 2"},
                        {"screen.png", "PNG 483x259 2"},
                        {"SCREEN.BMP", "BMP3 483x259 2"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string error;
    ASSERT_TRUE(registry_.Save(DisplayPicture(), dir_.path() / c.file, error)) << error;
    EXPECT_EQ(Identify(dir_.path() / c.file), c.identified);
  }
  auto files = FilesIn(dir_.path());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files,
            (std::vector<std::string>{"SCREEN.BMP", "screen.bmp", "screen.gif", "screen.png"}));
}

TEST_F(ImageEncoders, BitmapOfTwoColoursHasOneBitPerPixel) {
  std::string error;
  ASSERT_TRUE(registry_.Save(DisplayPicture(), dir_.path() / "screen.bmp", error)) << error;
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(dir_.path() / "screen.bmp", bytes));
  ASSERT_GT(bytes.size(), 62u);
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  // Info header: bits per pixel at 28; the two colours follow the headers.
  EXPECT_EQ(static_cast<unsigned char>(bytes[28]), 1);
  EXPECT_EQ(bytes.substr(54, 8), std::string("\xFF\xFF\xFF\x00\xFF\x00\x00\x00", 8));
}

TEST_F(ImageEncoders, GifIsGiflibsWhateverQtOffers) {
  EXPECT_NE(dynamic_cast<const GifImageEncoder*>(registry_.Find("x.gif")), nullptr);
  EXPECT_NE(dynamic_cast<const GifImageEncoder*>(registry_.Find("x.Gif")), nullptr);
  const auto extensions = registry_.Extensions();
  for (const char* wanted : {"bmp", "gif", "png"}) {
    EXPECT_NE(std::find(extensions.begin(), extensions.end(), wanted), extensions.end()) << wanted;
  }
}

TEST_F(ImageEncoders, RgbPictureKeepsItsColours) {
  EncoderPicture picture;
  picture.kind = EncoderPicture::Kind::Rgb;
  picture.width = 30;
  picture.height = 20;
  for (int i = 0; i < 600; ++i) {
    const std::uint8_t colours[3][3] = {{200, 0, 0}, {0, 200, 0}, {128, 128, 255}};
    const auto& c = colours[(i % 30) / 10];
    picture.pixels.insert(picture.pixels.end(), {c[0], c[1], c[2]});
  }
  for (const char* file : {"graph.bmp", "graph.png", "graph.gif"}) {
    SCOPED_TRACE(file);
    std::string error;
    ASSERT_TRUE(registry_.Save(picture, dir_.path() / file, error)) << error;
    const std::string seen = Identify(dir_.path() / file);
    EXPECT_EQ(seen.substr(seen.find(' ')), " 30x20 3");
  }
}

TEST_F(ImageEncoders, UnclaimedExtensionWritesNothing) {
  for (const char* file : {"screen.txt", "screen", "screen.gif.doc"}) {
    SCOPED_TRACE(file);
    std::string error;
    EXPECT_FALSE(registry_.Save(DisplayPicture(), dir_.path() / file, error));
    EXPECT_TRUE(FilesIn(dir_.path()).empty());
  }
}

TEST_F(ImageEncoders, FailedBitmapSaveLeavesNothingBehind) {
  std::filesystem::create_directory(dir_.path() / "taken.bmp");
  std::string error;
  EXPECT_FALSE(registry_.Save(DisplayPicture(), dir_.path() / "taken.bmp", error));
  EXPECT_FALSE(registry_.Save(DisplayPicture(), dir_.path() / "missing" / "x.png", error));
  EXPECT_EQ(FilesIn(dir_.path()), std::vector<std::string>{"taken.bmp"});
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path() / "taken.bmp"));
}

}  // namespace
}  // namespace platform::qt
