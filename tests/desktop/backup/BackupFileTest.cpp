// The settings backup file: a literal backup read and written byte for byte,
// and every way a damaged or edited file is refused, naming its line.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "desktop/backup/BackupFile.h"
#include "platform/AtomicFile.h"
#include "tests/support/TempDir.h"

namespace desktop::backup {
namespace {

// Module 0: bytes 0-9. Module 3: bytes 0, 3, 6, ... (60 bytes, two base64
// lines). Checksums and base64 computed outside this program.
const std::string kFixture =
    "MRX520 settings backup 1\n"
    "serial 1234\n"
    "written 2024-03-05 14:02:11\n"
    "module 0 sub=0 type=0 model=MRX520 version=V2.105 date=2024-03-05 length=10\n"
    "module 3 sub=1 type=2 model=QVO520 version=V1.020 date=- length=60\n"
    "module 14 sub=0 type=16 model=Front26 version=V1.000 date=2024-01-01 length=0\n"
    "begin module 0 length=10 crc32=456cd746\n"
    "AAECAwQFBgcICQ==\n"
    "end module 0\n"
    "begin module 3 length=60 crc32=0442018c\n"
    "AAMGCQwPEhUYGx4hJCcqLTAzNjk8P0JFSEtOUVRXWl1gY2ZpbG9ydXh7foGEh4qNkJOWmZyfoqWo\n"
    "q66x\n"
    "end module 3\n";

UnitBackup FixtureValues() {
  UnitBackup b;
  b.serial = 1234;
  b.written = {2024, 3, 5, 14, 2, 11};
  ModuleBackup main;
  main.versionMajor = 2;
  main.versionMinor = 105;
  main.versionDay = 5;
  main.versionMonth = 3;
  main.versionYear = 24;
  for (std::uint8_t i = 0; i < 10; ++i) main.image.push_back(i);
  ModuleBackup qvo;
  qvo.address = 3;
  qvo.subAddress = 1;
  qvo.type = 2;
  qvo.versionMajor = 1;
  qvo.versionMinor = 20;
  for (int i = 0; i < 60; ++i) qvo.image.push_back(static_cast<std::uint8_t>(i * 3));
  ModuleBackup front;
  front.address = 14;
  front.type = 16;
  front.versionMajor = 1;
  front.versionDay = 1;
  front.versionMonth = 1;
  front.versionYear = 24;
  b.modules = {main, qvo, front};
  return b;
}

TEST(BackupFileTest, ReadsALiteralBackup) {
  const auto parsed = BackupFile::Parse(kFixture);
  ASSERT_TRUE(parsed.ok) << parsed.line << ": " << parsed.message;
  const UnitBackup& b = parsed.backup;
  const UnitBackup expected = FixtureValues();
  EXPECT_EQ(b.serial, 1234);
  EXPECT_EQ(b.written.hour, 14);
  EXPECT_EQ(b.written.second, 11);
  ASSERT_EQ(b.modules.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(b.modules[i].address, expected.modules[i].address);
    EXPECT_EQ(b.modules[i].subAddress, expected.modules[i].subAddress);
    EXPECT_EQ(b.modules[i].type, expected.modules[i].type);
    EXPECT_EQ(b.modules[i].VersionText(), expected.modules[i].VersionText());
    EXPECT_EQ(b.modules[i].DateText(), expected.modules[i].DateText());
    EXPECT_EQ(b.modules[i].image, expected.modules[i].image);
  }
  EXPECT_TRUE(b.curves.empty());
}

TEST(BackupFileTest, WritesTheFormatByteForByte) {
  EXPECT_EQ(BackupFile::Write(FixtureValues()), kFixture);
}

TEST(BackupFileTest, CurvesTravelAsSectionsPerChannel) {
  UnitBackup b = FixtureValues();
  ModuleBackup klf;
  klf.address = 11;
  klf.type = 11;
  klf.image = {1, 2};
  b.modules.insert(b.modules.begin() + 2, klf);
  CurveBackup curves;
  curves.address = 11;
  curves.channels.assign(2, std::vector<protocol::klf::CurveBin>(2048));
  curves.channels[1][2047].phase = -5;
  curves.channels[1][0].roomLevel = {1, 2, 3, 1020};
  b.curves.push_back(curves);

  const std::string text = BackupFile::Write(b);
  // 16384 zero bytes: 287 lines of 76 'A's and one of 36 (with its padding).
  const std::string zeros = "begin curve 11 channel 0 length=16384 crc32=ab54d286\n";
  const auto at = text.find(zeros);
  ASSERT_NE(at, std::string::npos) << text.substr(0, 800);
  EXPECT_NE(text.find("curves 11 channels=2 bins=2048\nbegin module 0"), std::string::npos);
  const std::string line(76, 'A');
  EXPECT_EQ(text.substr(at + zeros.size(), 77), line + "\n");
  EXPECT_NE(text.find("\n" + std::string(34, 'A') + "==\nend curve 11 channel 0\n"),
            std::string::npos);

  const auto parsed = BackupFile::Parse(text);
  ASSERT_TRUE(parsed.ok) << parsed.line << ": " << parsed.message;
  ASSERT_EQ(parsed.backup.curves.size(), 1u);
  EXPECT_EQ(parsed.backup.curves[0].channels, curves.channels);
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const auto at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// A partial backup names what it lacks in its header, between the module
// (and curves) lines and the sections; files without such lines read whole.
const std::string kPartial =
    Replace(kFixture, "begin module 0",
            "missing module 5\nmissing module 11\nmissing curves 11\nbegin module 0");

TEST(BackupFileTest, APartialBackupNamesWhatItLacks) {
  const auto whole = BackupFile::Parse(kFixture);
  ASSERT_TRUE(whole.ok);
  EXPECT_FALSE(whole.backup.Partial());

  const auto parsed = BackupFile::Parse(kPartial);
  ASSERT_TRUE(parsed.ok) << parsed.line << ": " << parsed.message;
  EXPECT_EQ(parsed.backup.missingModules, (std::vector<std::uint8_t>{5, 11}));
  EXPECT_EQ(parsed.backup.missingCurves, (std::vector<std::uint8_t>{11}));
  EXPECT_EQ(parsed.backup.MissingText(), "module 5, module 11, the curves of module 11");
  EXPECT_EQ(parsed.backup.modules.size(), 3u);

  UnitBackup b = FixtureValues();
  b.missingModules = {5, 11};
  b.missingCurves = {11};
  EXPECT_EQ(BackupFile::Write(b), kPartial);
}

TEST(BackupFileTest, RefusesDamagedOrEditedFilesNamingTheLine) {
  struct Row {
    const char* name;
    std::string text;
    std::size_t line;
    const char* message;
  } rows[] = {
      {"a changed byte in a section", Replace(kFixture, "AAECAwQFBgcICQ==", "AAECAwQFBgcICg=="), 7,
       "section 'module 0' checksum does not match: the file was changed or is damaged"},
      {"cut after a whole section", kFixture.substr(0, kFixture.find("begin module 3")), 10,
       "section 'module 3' (announced on line 5) is missing"},
      {"cut inside a section", kFixture.substr(0, kFixture.find("q66x")), 11,
       "section 'module 3' (begun on line 10) has no end line"},
      {"cut inside a line", kFixture.substr(0, kFixture.size() - 3), 13,
       "the last line has no line end"},
      {"bad base64", Replace(kFixture, "AAECAwQF", "AAECAw*F"), 8,
       "section 'module 0' holds bad base64"},
      {"base64 after the padding", Replace(kFixture, "ICQ==\n", "ICQ==\nAAAA\n"), 9,
       "goes on after its last base64 line"},
      {"another format version", Replace(kFixture, "backup 1", "backup 2"), 1,
       "the backup is of format 2, which this program does not read"},
      {"not a backup", "hello\n", 1, "this is not an MRX520 settings backup"},
      {"empty", "", 1, "the file is empty"},
      {"a section twice",
       kFixture + "begin module 0 length=10 crc32=456cd746\nAAECAwQFBgcICQ==\nend module 0\n", 14,
       "section 'module 0' appears twice"},
      {"section length differs from its module line",
       Replace(kFixture, "length=10 crc32", "length=11 crc32"), 7,
       "section 'module 0' says 11 bytes, but its module line says 10"},
      {"fewer bytes than announced", Replace(kFixture, "q66x\n", ""), 10,
       "section 'module 3' holds 57 bytes, not 60"},
      {"a section no module announced",
       Replace(kFixture, "begin module 0 length=10", "begin module 5 length=10"), 7,
       "section 'module 5' belongs to no module or curves line"},
      {"an unknown line", Replace(kFixture, "module 3 sub", "colour blue\nmodule 3 sub"), 5,
       "a line this program does not understand: 'colour blue'"},
      {"terminal codes in a line", Replace(kFixture, "module 3 sub", "\x1b[2J\x07\nmodule 3 sub"),
       5, "a line this program does not understand: '\\x1B[2J\\x07'"},
      {"model and type disagree", Replace(kFixture, "type=2 model=QVO520", "type=4 model=QVO520"),
       5, "module 3 is of type 4, which is model HEJ520, not 'model=QVO520'"},
      {"a module twice",
       Replace(kFixture, "module 14 sub",
               "module 3 sub=1 type=2 model=QVO520 version=V1.020 "
               "date=- length=60\nmodule 14 sub"),
       6, "module 3 comes after module 3"},
      {"an address beyond 15", Replace(kFixture, "module 14 sub", "module 16 sub"), 6,
       "a module line reads"},
      {"an image beyond 2048 bytes", Replace(kFixture, "date=- length=60", "date=- length=2049"), 5,
       "a module line reads"},
      {"a date that does not exist", Replace(kFixture, "date=2024-01-01", "date=2023-02-29"), 6,
       "the date of module 14 is not a date"},
      {"a line longer than 76",
       Replace(kFixture, "AAECAwQFBgcICQ==", std::string(80, 'A') + "AAECAwQFBgcICQ=="), 8,
       "longer than 76 characters"},
      {"curves for a card that is no KLF310",
       Replace(kFixture, "begin module 0", "curves 3 channels=16 bins=2048\nbegin module 0"), 7,
       "curves for module 3, which the backup does not list as a KLF310"},
      {"a module listed and missing", Replace(kPartial, "missing module 5", "missing module 3"), 7,
       "module 3 is listed and missing at once"},
      {"a module missing twice", Replace(kPartial, "module 11\n", "module 5\n"), 8,
       "module 5 is listed missing twice"},
      {"the main unit missing", Replace(kPartial, "missing module 5", "missing module 0"), 7,
       "the main unit (module 0) cannot be missing"},
      {"curves missing of a card that is no KLF310",
       Replace(kPartial, "missing curves 11", "missing curves 3"), 9,
       "curves of module 3 missing, but the backup lists it neither"},
      {"a missing line without an address", Replace(kPartial, "missing module 5", "missing module"),
       7, "a missing line reads 'missing module ADDRESS'"},
      {"a module line after the missing lines",
       Replace(kPartial, "missing curves 11\n",
               "missing curves 11\nmodule 15 sub=0 type=16 "
               "model=Front26 version=V1.000 date=- length=0\n"),
       10, "a line this program does not understand"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto parsed = BackupFile::Parse(row.text);
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ(parsed.line, row.line) << parsed.message;
    EXPECT_NE(parsed.message.find(row.message), std::string::npos) << parsed.message;
    EXPECT_TRUE(parsed.backup.modules.empty()) << "nothing of a refused file is kept";
  }
}

TEST(BackupFileTest, LoadNamesTheFileAndSaveWritesItWhole) {
  testing_support::TempDir dir;
  const auto file = dir.path() / "backup.mrxb";
  std::string error;
  ASSERT_TRUE(BackupFile::Save(file, FixtureValues(), error)) << error;
  std::string written;
  ASSERT_TRUE(platform::ReadWholeFile(file, written));
  EXPECT_EQ(written, kFixture);
  UnitBackup loaded;
  ASSERT_TRUE(BackupFile::Load(file, loaded, error)) << error;
  EXPECT_EQ(loaded.modules.size(), 3u);

  ASSERT_TRUE(platform::WriteFileAtomically(
      file, Replace(kFixture, "AAECAwQFBgcICQ==", "AAECAwQFBgcICg=="), error));
  EXPECT_FALSE(BackupFile::Load(file, loaded, error));
  EXPECT_EQ(error, file.string() +
                       " line 7: section 'module 0' checksum does not match: the file was "
                       "changed or is damaged");
  EXPECT_FALSE(BackupFile::Load(dir.path() / "missing.mrxb", loaded, error));
}

}  // namespace
}  // namespace desktop::backup
