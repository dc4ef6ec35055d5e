#include <gtest/gtest.h>

#include <fstream>

#include "../support/TempDir.h"
#include "platform/AtomicFile.h"
#include "platform/Registry.h"

namespace platform {
namespace {

using testing_support::TempDir;

TEST(RegistryHiveTest, TextFormKeepsEveryByteAndType) {
  RegistryHive hive;
  hive.Set("SOFTWARE\\Valdur\\Wavrix", "DefaultName", {kRegSz, {'K', 0xFC, 'c', 0}});
  hive.Set("SOFTWARE\\Valdur\\Wavrix", "DefaultBDAddr", {kRegBinary, {1, 2, 3, 4, 5, 6, 7, 8}});
  hive.Set("software\\valdur\\wavrix", "Odd \"name\" \\", {kRegDword, {1, 0, 0, 0}});
  hive.Set("SOFTWARE\\Empty", "", {kRegBinary, {}});
  const std::string text = hive.Serialize(Hive::kLocalMachine);
  EXPECT_TRUE(text.starts_with("REGEDIT4\n"));
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Valdur\\Wavrix]"), std::string::npos);
  EXPECT_NE(text.find("\"DefaultName\"=hex(1):4b,fc,63,00"), std::string::npos) << text;
  RegistryHive back;
  std::string error;
  ASSERT_TRUE(RegistryHive::Parse(text, back, error)) << error;
  EXPECT_EQ(back, hive);
  ASSERT_NE(back.Query("Software\\VALDUR\\Wavrix", "defaultname"), nullptr) << "names ignore case";
}

TEST(RegistryHiveTest, ReadsWhatTheEditorWritesAndRefusesTheRest) {
  const std::string editor =
      "REGEDIT4\r\n\r\n; a comment\r\n[HKEY_CURRENT_USER\\Control Panel\\Owner]\r\n"
      "\"Name\"=\"Max \\\"M\\\"\"\r\n\"Flags\"=dword:0000000a\r\n"
      "\"Long\"=hex:01,02,\\\r\n  03,04\r\n@=hex(7):41,00,00\r\n";
  RegistryHive hive;
  std::string error;
  ASSERT_TRUE(RegistryHive::Parse(editor, hive, error)) << error;
  EXPECT_EQ(hive.Query("Control Panel\\Owner", "Name")->data,
            (std::vector<std::uint8_t>{'M', 'a', 'x', ' ', '"', 'M', '"', 0}));
  EXPECT_EQ(*hive.Query("Control Panel\\Owner", "Flags"),
            (RegistryValue{kRegDword, {10, 0, 0, 0}}));
  EXPECT_EQ(hive.Query("Control Panel\\Owner", "Long")->data,
            (std::vector<std::uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(hive.Query("Control Panel\\Owner", "")->type, 7u);

  struct Row {
    const char* name;
    const char* text;
  } rows[] = {
      {"NoHeader", "[HKEY_LOCAL_MACHINE\\A]\n"},
      {"UnknownRoot", "REGEDIT4\n[HKEY_NOWHERE\\A]\n"},
      {"ValueOutsideKey", "REGEDIT4\n\"a\"=hex:00\n"},
      {"BadHexByte", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=hex:0g\n"},
      {"ThreeDigitByte", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=hex:100\n"},
      {"UnterminatedName", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a=hex:00\n"},
      {"ShortDword", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=dword:1\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_FALSE(RegistryHive::Parse(r.text, hive, error));
    EXPECT_TRUE(error.starts_with("line ")) << error;
  }
}

TEST(FileRegistryTest, ABrokenHiveIsReportedAndLeftAsItWas) {
  TempDir dir;
  FileRegistry registry(dir.path());
  std::string error;
  ASSERT_TRUE(registry.Modify(
      Hive::kLocalMachine,
      [](RegistryHive& h) {
        h.Set("A", "v", {kRegBinary, {1}});
      },
      error))
      << error;
  RegistryHive hive;
  ASSERT_TRUE(registry.Read(Hive::kLocalMachine, hive, error));
  EXPECT_NE(hive.Query("A", "v"), nullptr);
  // The handheld's settings are for its user alone.
  for (const auto& path :
       {registry.HivePath(Hive::kLocalMachine),
        std::filesystem::path(registry.HivePath(Hive::kLocalMachine).string() + ".lock")}) {
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write)
        << path;
  }
  EXPECT_TRUE(registry.Read(Hive::kCurrentUser, hive, error)) << "a hive not written yet is empty";

  std::ofstream(registry.HivePath(Hive::kLocalMachine)) << "garbage\n";
  EXPECT_FALSE(registry.Read(Hive::kLocalMachine, hive, error));
  EXPECT_FALSE(registry.Modify(
      Hive::kLocalMachine, [](RegistryHive& h) { h.Set("B", "v", {}); }, error));
  EXPECT_NE(error.find("HKLM.reg"), std::string::npos) << error;
  std::string content;
  ReadWholeFile(registry.HivePath(Hive::kLocalMachine), content);
  EXPECT_EQ(content, "garbage\n");
}

}  // namespace
}  // namespace platform
