#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/AtomicFile.h"
#include "platform/GifImageEncoder.h"
#include "platform/ImageEncoderRegistry.h"
#include "tests/platform/ImageFixtures.h"
#include "tests/support/SimProcess.h"

namespace platform {
namespace {

using testing_support::DisplayPicture;
using testing_support::FilesIn;
using testing_support::Identify;

// Claims extensions and writes a marker naming itself.
class MarkerEncoder final : public ImageEncoder {
 public:
  MarkerEncoder(std::string name, std::vector<std::string> extensions)
      : name_(std::move(name)), extensions_(std::move(extensions)) {}
  std::vector<std::string> Extensions() const override { return extensions_; }
  bool Encode(const EncoderPicture&, std::string_view extension,
              std::string& bytes) const override {
    bytes = name_ + ":" + std::string(extension);
    return true;
  }

 private:
  std::string name_;
  std::vector<std::string> extensions_;
};

TEST(ImageEncoderRegistry, FindsTheFirstEncoderOfAnExtensionWhateverItsCase) {
  ImageEncoderRegistry registry;
  registry.Add(std::make_unique<MarkerEncoder>("first", std::vector<std::string>{"gif"}));
  registry.Add(std::make_unique<MarkerEncoder>("second", std::vector<std::string>{"bmp", "gif"}));
  struct Case {
    const char* path;
    const char* written;  // null: refused
  };
  const Case cases[] = {{"x.gif", "first:gif"},  {"x.GIF", "first:gif"},
                        {"x.Bmp", "second:bmp"}, {"dir.gif/x.bmp", "second:bmp"},
                        {"x.txt", nullptr},      {"gif", nullptr},
                        {"x.", nullptr},         {".gif", nullptr},
                        {"x.gif.txt", nullptr}};
  testing_support::TempDir dir;
  std::filesystem::create_directory(dir.path() / "dir.gif");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const auto path = dir.path() / c.path;
    std::string error;
    EXPECT_EQ(registry.Save(DisplayPicture(), path, error), c.written != nullptr) << error;
    std::string content;
    if (c.written != nullptr) {
      ASSERT_TRUE(ReadWholeFile(path, content));
      EXPECT_EQ(content, c.written);
    } else {
      EXPECT_FALSE(std::filesystem::exists(path));
      EXPECT_FALSE(error.empty());
    }
  }
  EXPECT_EQ(registry.Extensions(), (std::vector<std::string>{"gif", "bmp"}));
}

TEST(ImageEncoderRegistry, RefusedExtensionWritesNothing) {
  ImageEncoderRegistry registry;
  registry.Add(std::make_unique<GifImageEncoder>());
  testing_support::TempDir dir;
  std::string error;
  EXPECT_FALSE(registry.Save(DisplayPicture(), dir.path() / "screen.txt", error));
  EXPECT_TRUE(FilesIn(dir.path()).empty());
}

TEST(EncoderPicture, Validity) {
  struct Case {
    const char* name;
    void (*spoil)(EncoderPicture&);
    bool valid;
  };
  const Case cases[] = {
      {"display picture", [](EncoderPicture&) {}, true},
      {"zero width", [](EncoderPicture& p) { p.width = 0; }, false},
      {"negative height", [](EncoderPicture& p) { p.height = -259; }, false},
      {"wider than a GIF can say", [](EncoderPicture& p) { p.width = 70000; }, false},
      {"a pixel short", [](EncoderPicture& p) { p.pixels.pop_back(); }, false},
      {"index past the palette", [](EncoderPicture& p) { p.pixels[500] = 2; }, false},
      {"no palette", [](EncoderPicture& p) { p.palette.clear(); }, false},
      {"RGB, three bytes a pixel",
       [](EncoderPicture& p) {
         p.kind = EncoderPicture::Kind::Rgb;
         p.pixels.assign(483u * 259u * 3u, 7);
       },
       true},
      {"RGB, one byte a pixel", [](EncoderPicture& p) { p.kind = EncoderPicture::Kind::Rgb; },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EncoderPicture picture = DisplayPicture();
    c.spoil(picture);
    EXPECT_EQ(picture.IsValid(), c.valid);
  }
}

TEST(GifImageEncoder, WritesAPaletteGifOfTheTwoColours) {
  ImageEncoderRegistry registry;
  registry.Add(std::make_unique<GifImageEncoder>());
  testing_support::TempDir dir;
  const auto path = dir.path() / "Screen.GIF";
  std::string error;
  ASSERT_TRUE(registry.Save(DisplayPicture(), path, error)) << error;
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(path, bytes));
  EXPECT_EQ(bytes.substr(0, 3), "GIF");
  // Logical screen: 483 × 259 little-endian, a global colour table of two entries.
  EXPECT_EQ(static_cast<unsigned char>(bytes[6]) | static_cast<unsigned char>(bytes[7]) << 8, 483);
  EXPECT_EQ(static_cast<unsigned char>(bytes[8]) | static_cast<unsigned char>(bytes[9]) << 8, 259);
  EXPECT_EQ(static_cast<unsigned char>(bytes[10]) & 0x87, 0x80);
  // The table itself: white, then blue.
  EXPECT_EQ(bytes.substr(13, 6), std::string("\xFF\xFF\xFF\x00\x00\xFF", 6));
  EXPECT_EQ(Identify(path), "GIF 483x259 2");
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"Screen.GIF"});
}

TEST(GifImageEncoder, QuantisesRgbPicturesOfManyColours) {
  EncoderPicture picture;
  picture.kind = EncoderPicture::Kind::Rgb;
  picture.width = 64;
  picture.height = 64;
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      picture.pixels.insert(picture.pixels.end(), {static_cast<std::uint8_t>(x * 4),
                                                   static_cast<std::uint8_t>(y * 4), 128});
    }
  }
  ImageEncoderRegistry registry;
  registry.Add(std::make_unique<GifImageEncoder>());
  testing_support::TempDir dir;
  std::string error;
  ASSERT_TRUE(registry.Save(picture, dir.path() / "ramp.gif", error)) << error;
  const std::string seen = Identify(dir.path() / "ramp.gif");
  ASSERT_EQ(seen.substr(0, 10), "GIF 64x64 ");
  const int colours = std::stoi(seen.substr(10));
  EXPECT_GT(colours, 64);
  EXPECT_LE(colours, 256);
}

TEST(ImageEncoderRegistry, FailedSaveLeavesNothingBehind) {
  ImageEncoderRegistry registry;
  registry.Add(std::make_unique<GifImageEncoder>());
  struct Case {
    const char* name;
    const char* path;
  };
  const Case cases[] = {
      {"folder missing", "missing/screen.gif"},
      {"folder is a file", "file/screen.gif"},
      // The temporary file is written, then cannot take the folder's place.
      {"a folder in the way", "taken.gif"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing_support::TempDir dir;
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(dir.path() / "file", "x", error));
    std::filesystem::create_directory(dir.path() / "taken.gif");
    EXPECT_FALSE(registry.Save(DisplayPicture(), dir.path() / c.path, error));
    EXPECT_FALSE(error.empty());
    auto files = FilesIn(dir.path());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"file", "taken.gif"}));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "taken.gif"));
  }
}

TEST(ImageEncoderRegistry, UnwritableFolderLeavesNothingBehind) {
  ImageEncoderRegistry registry;
  registry.Add(std::make_unique<GifImageEncoder>());
  testing_support::TempDir dir;
  const auto folder = dir.path() / "locked";
  std::filesystem::create_directory(folder);
  namespace fs = std::filesystem;
  fs::permissions(dir.path(),
                  fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                              fs::perms::others_exec);
  const auto save = [&] {
    std::string error;
    return registry.Save(DisplayPicture(), folder / "screen.gif", error);
  };
  if (geteuid() != 0) {
    EXPECT_FALSE(save());
  } else {
    // Folder permissions do not bind the superuser: save as nobody.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const bool dropped = setgid(65534) == 0 && setuid(65534) == 0;
      _exit(!dropped ? 2 : save() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: saved anyway, 2: could not become nobody";
  }
  EXPECT_TRUE(FilesIn(folder).empty());
  fs::permissions(folder, fs::perms::owner_all);
}

TEST(ImageEncoderRegistry, BadPictureKeepsTheOldFile) {
  ImageEncoderRegistry registry;
  registry.Add(std::make_unique<GifImageEncoder>());
  testing_support::TempDir dir;
  const auto path = dir.path() / "screen.gif";
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(path, "old picture", error));
  EncoderPicture picture = DisplayPicture();
  picture.pixels[1000] = 9;  // no such palette entry
  EXPECT_FALSE(registry.Save(picture, path, error));
  std::string content;
  ASSERT_TRUE(ReadWholeFile(path, content));
  EXPECT_EQ(content, "old picture");
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"screen.gif"});
}

}  // namespace
}  // namespace platform
