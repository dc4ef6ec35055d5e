#include <gtest/gtest.h>

#include "platform/PrintableText.h"

namespace platform {
namespace {

TEST(PrintableTextTest, RawBytesComeOutEscaped) {
  using namespace std::string_view_literals;
  struct Row {
    const char* name;
    std::string_view bytes;
    const char* eightBit;  // Printable
    const char* utf8;      // PrintableUtf8
  } rows[] = {
      {"PlainText", "DefaultName=1", "DefaultName=1", "DefaultName=1"},
      {"Nul", "a\0b"sv, "a\\x00b", "a\\x00b"},
      {"Backslash", "SOFTWARE\\Valdur", "SOFTWARE\\\\Valdur", "SOFTWARE\\\\Valdur"},
      {"TerminalEscape", "\x1B[31mred", "\\x1B[31mred", "\\x1B[31mred"},
      {"LineEndAndTab", "a\r\n\t", "a\\x0D\\x0A\\x09", "a\\x0D\\x0A\\x09"},
      {"Delete", "\x7F", "\\x7F", "\\x7F"},
      {"Utf8Letter",
       "K\xC3\xBC"
       "che",
       "K\\xC3\\xBCche",
       "K\xC3\xBC"
       "che"},
      {"Utf8Euro", "\xE2\x82\xAC", "\\xE2\\x82\\xAC", "\xE2\x82\xAC"},
      {"C1Control", "\xC2\x9B", "\\xC2\\x9B", "\\xC2\\x9B"},
      {"CodePageByte", "\xE9t\xE9", "\\xE9t\\xE9", "\\xE9t\\xE9"},
      {"CutUtf8", "\xE2\x82", "\\xE2\\x82", "\\xE2\\x82"},
      {"Surrogate", "\xED\xA0\x80", "\\xED\\xA0\\x80", "\\xED\\xA0\\x80"},
      {"Overlong", "\xC0\xAF", "\\xC0\\xAF", "\\xC0\\xAF"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(Printable(r.bytes), r.eightBit);
    EXPECT_EQ(PrintableUtf8(r.bytes), r.utf8);
  }
}

TEST(PrintableTextTest, LongTextIsCutAndMarked) {
  EXPECT_EQ(Printable(std::string(10, 'a'), 10), std::string(10, 'a'));
  EXPECT_EQ(Printable(std::string(11, 'a'), 10), std::string(10, 'a') + "...");
  EXPECT_EQ(PrintableUtf8(std::string(3, '\0'), 2), "\\x00\\x00...");
}

}  // namespace
}  // namespace platform
