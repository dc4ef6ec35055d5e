#include <gtest/gtest.h>

#include <string>

#include "platform/CodePage.h"

namespace platform {
namespace {

// Every byte 0x80-0x9F with the character it stands for, typed from the
// Windows-1252 table; the five undefined bytes keep their own value.
struct HighByte {
  unsigned char byte;
  const char* utf8;
};
const HighByte kHighBytes[] = {
    {0x80, "€"},      {0x81, "\u0081"}, {0x82, "‚"}, {0x83, "ƒ"},      {0x84, "„"},
    {0x85, "…"},      {0x86, "†"},      {0x87, "‡"}, {0x88, "ˆ"},      {0x89, "‰"},
    {0x8A, "Š"},      {0x8B, "‹"},      {0x8C, "Œ"}, {0x8D, "\u008D"}, {0x8E, "Ž"},
    {0x8F, "\u008F"}, {0x90, "\u0090"}, {0x91, "‘"}, {0x92, "’"},      {0x93, "“"},
    {0x94, "”"},      {0x95, "•"},      {0x96, "–"}, {0x97, "—"},      {0x98, "˜"},
    {0x99, "™"},      {0x9A, "š"},      {0x9B, "›"}, {0x9C, "œ"},      {0x9D, "\u009D"},
    {0x9E, "ž"},      {0x9F, "Ÿ"},
};

TEST(CodePageTest, EveryByteFrom80To9FBothWays) {
  ASSERT_EQ(std::size(kHighBytes), 32u);
  for (std::size_t i = 0; i < std::size(kHighBytes); ++i) {
    const HighByte& h = kHighBytes[i];
    SCOPED_TRACE(static_cast<int>(h.byte));
    ASSERT_EQ(h.byte, 0x80 + i) << "the table walks the whole range in order";
    const std::string byte(1, static_cast<char>(h.byte));
    EXPECT_EQ(CodePageToUtf8(byte), h.utf8);
    EXPECT_EQ(Utf8ToCodePage(h.utf8, 16), byte);
  }
}

TEST(CodePageTest, AsciiLatin1AndTheRest) {
  struct Case {
    const char* name;
    std::string utf8;
    std::string bytes;
  };
  const Case cases[] = {
      {"Ascii", "Valdur MRX520-0007", "Valdur MRX520-0007"},
      {"Latin1", "Caf\u00E9 \u00FF\u00A0", "Caf\xE9 \xFF\xA0"},
      {"EuroAndQuotes", "\u201E5 \u20AC\u201C",
       "\x84"
       "5 \x80\x93"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8ToCodePage(c.utf8, 100), c.bytes);
    EXPECT_EQ(CodePageToUtf8(c.bytes), c.utf8);
  }
  // Characters the code page lacks: C1 controls it uses for other characters, CJK, emoji.
  EXPECT_EQ(Utf8ToCodePage("a\u0080b\u4E2Dc\U0001F600", 100), "a?b?c?");
  // Broken UTF-8 is replaced, never passed on.
  EXPECT_EQ(Utf8ToCodePage("x\x80y\xC3", 100), "x?y?");
  // The limit counts the NUL.
  EXPECT_EQ(Utf8ToCodePage("\u20AC\u20AC\u20AC", 3), "\x80\x80");
  EXPECT_EQ(Utf8ToCodePage("abc", 0), "");
}

TEST(CodePageTest, EveryByteComesBackAsItWent) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToCodePage(CodePageToUtf8(all), 1000), all);
}

}  // namespace
}  // namespace platform
