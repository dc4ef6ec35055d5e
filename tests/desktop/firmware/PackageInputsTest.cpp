// The generator's readers: Intel HEX, the manifest, and the invariants of a
// well-formed package list, each failure named by file, line and reason.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "../../support/RunProgram.h"
#include "../../support/TempDir.h"
#include "desktop/firmware/PackageInputs.h"

namespace desktop::firmware {
namespace {

// Two contiguous segments at 0x10000 (split by the second type-04 record), a
// gap, then one that crosses the 64 KiB boundary at 0x20000.
constexpr const char* kGoodHex =
    ":020000040001F9\n"
    ":04000000DEADBEEFC4\n"
    ":020000040001F9\n"
    ":02000400A55AFB\n"
    ":020000040001F9\n"
    ":02FFFE000102FE\n"  // 0x1FFFE..0x1FFFF, then on across the boundary
    ":020000040002F8\n"
    ":020000000506F3\n"
    ":00000001FF\n";

TEST(IntelHexTest, ReadsSegmentsAsWritten) {
  std::vector<InputSegment> segments;
  InputError error;
  ASSERT_TRUE(ParseIntelHex(kGoodHex, "good.hex", segments, error)) << error.Text();
  ASSERT_EQ(segments.size(), 3u);
  EXPECT_EQ(segments[0].address, 0x10000u);
  EXPECT_EQ(segments[0].data, (std::vector<std::uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
  EXPECT_EQ(segments[1].address, 0x10004u) << "contiguous, yet its own segment";
  EXPECT_EQ(segments[2].address, 0x1FFFEu);
  EXPECT_EQ(segments[2].data, (std::vector<std::uint8_t>{1, 2, 5, 6}))
      << "carried on across 0x20000";
  EXPECT_EQ(segments[2].line, 6);
}

TEST(IntelHexTest, WriterAndReaderAgreeSegmentForSegment) {
  std::vector<InputSegment> in = {
      {0x10000, std::vector<std::uint8_t>(40, 1), 0},
      {0x10028, std::vector<std::uint8_t>(10, 2), 0},
      {0x1FFF0, std::vector<std::uint8_t>(100, 3), 0},
      {0x4003FFF0, std::vector<std::uint8_t>(16, 4), 0},
  };
  std::vector<InputSegment> out;
  InputError error;
  ASSERT_TRUE(ParseIntelHex(WriteIntelHex(in), "x.hex", out, error)) << error.Text();
  ASSERT_EQ(out.size(), in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    EXPECT_EQ(out[i].address, in[i].address) << i;
    EXPECT_EQ(out[i].data, in[i].data) << i;
  }
}

struct BadHex {
  const char* name;
  const char* text;
  int line;
  const char* reason;
};
void PrintTo(const BadHex& row, std::ostream* os) {
  *os << row.name;
}
const BadHex kBadHex[] = {
    {"ChecksumMismatch", ":0400000001020304F1\n:00000001FF\n", 1, "checksum mismatch"},
    {"NoColon", "0400000001020304F2\n", 1, "must begin with ':'"},
    {"NotHex", ":04000000010203G4F2\n", 1, "not hex"},
    {"LengthMismatch", ":05000000010203040E\n", 1, "does not match the line"},
    {"NoEndOfFile", ":0400000001020304F2\n", 2, "no end-of-file record"},
    {"DataAfterEnd", ":00000001FF\n:0400000001020304F2\n", 2, "after the end-of-file record"},
    {"UnknownType", ":00000006FA\n:00000001FF\n", 1, "unknown record type 6"},
    {"CrossesBoundary", ":04FFFE0001020304F5\n:00000001FF\n", 1, "crosses a 64 KiB boundary"},
    {"ShortExtended", ":0100000401FA\n:00000001FF\n", 1, "must hold 2 bytes"},
};

class BadHexTest : public ::testing::TestWithParam<BadHex> {};

TEST_P(BadHexTest, SaysFileLineAndReason) {
  std::vector<InputSegment> segments;
  InputError error;
  ASSERT_FALSE(ParseIntelHex(GetParam().text, "bad.hex", segments, error));
  EXPECT_EQ(error.file, "bad.hex");
  EXPECT_EQ(error.line, GetParam().line);
  EXPECT_NE(error.reason.find(GetParam().reason), std::string::npos) << error.Text();
}

INSTANTIATE_TEST_SUITE_P(Rows, BadHexTest, ::testing::ValuesIn(kBadHex),
                         [](const auto& testRow) { return std::string(testRow.param.name); });

std::string Hex(std::vector<InputSegment> segments) {
  return WriteIntelHex(segments);
}

InputSegment Seg(std::uint32_t address, std::size_t length) {
  return {address, std::vector<std::uint8_t>(length, 0x11), 0};
}

const char* kHead = "1 0 0 0 2009-01-27 20:02:54 -\n";

// A manifest and its files, built and checked in memory.
struct SetCase {
  const char* name;
  std::string manifest;
  std::map<std::string, std::string> files;
  const char* file;  // where the error is reported
  int line;
  const char* reason;
};
void PrintTo(const SetCase& row, std::ostream* os) {
  *os << row.name;
}

std::vector<SetCase> BadSets() {
  const std::string even = Hex({Seg(0x10000, 52), Seg(0x10040, 12)});
  return {
      {"HeadNotFirst",
       "6 1 2 V4.000 2009-01-27 20:01:52 h.hex\n",
       {{"h.hex", even}},
       "m.txt",
       1,
       "first row must be the kind-1 head"},
      {"SecondHead",
       std::string(kHead) + "1 0 0 0 2009-01-27 20:02:54 -\n",
       {},
       "m.txt",
       2,
       "may only stand in the first row"},
      {"UnknownKind",
       std::string(kHead) + "7 1 2 0 head head h.hex\n",
       {{"h.hex", even}},
       "m.txt",
       2,
       "kind 7 is not a package kind"},
      {"OddLengthInUnitImage",
       std::string(kHead) + "6 1 2 V4.000 head head h.hex\n",
       {{"h.hex", Hex({Seg(0x10000, 52), Seg(0x10040, 13)})}},
       "h.hex",
       7,
       "odd length"},
      {"OddAddressInUnitImage",
       std::string(kHead) + "6 1 2 V4.000 head head h.hex\n",
       {{"h.hex", Hex({Seg(0x10001, 52)})}},
       "h.hex",
       2,
       "odd address"},
      {"Overlap",
       std::string(kHead) + "10 1 39 0 head head k.hex\n",
       {{"k.hex", Hex({Seg(0x10000, 52), Seg(0x10030, 4)})}},
       "k.hex",
       7,
       "overlaps the segment before it"},
      {"Descending",
       std::string(kHead) + "10 1 39 0 head head k.hex\n",
       {{"k.hex", Hex({Seg(0x20000, 4), Seg(0x10000, 4)})}},
       "k.hex",
       4,
       "must ascend"},
      {"SecondPartFirst",
       std::string(kHead) + "3 4 19 0 head head b.hex\n5 4 19 0 head head a.hex\n",
       {{"a.hex", even}, {"b.hex", even}},
       "m.txt",
       2,
       "needs its kind-5 first part"},
      {"DuplicateKey",
       std::string(kHead) + "9 6 151 0 head head f\n9 6 151 0 head head g\n",
       {{"f", "x"}, {"g", "y"}},
       "m.txt",
       3,
       "same kind, model and component as line 2"},
      {"MissingFile",
       std::string(kHead) + "9 6 151 0 head head nothere\n",
       {},
       "m.txt",
       2,
       "cannot read input file 'nothere'"},
      {"EmptyHandheldFile",
       std::string(kHead) + "9 6 151 0 head head f\n",
       {{"f", ""}},
       "f",
       0,
       "must not be empty"},
      {"BadHexInside",
       std::string(kHead) + "6 1 2 0 head head h.hex\n",
       {{"h.hex", ":0400000001020304F1\n"}},
       "h.hex",
       1,
       "checksum mismatch"},
      {"NoData",
       std::string(kHead) + "6 1 2 0 head head h.hex\n",
       {{"h.hex", ":00000001FF\n"}},
       "h.hex",
       0,
       "holds no data"},
      {"BadDate",
       std::string(kHead) + "9 6 151 0 2009-13-01 10:00:00 f\n",
       {{"f", "x"}},
       "m.txt",
       2,
       "is not YYYY-MM-DD"},
      {"BadTime",
       std::string(kHead) + "9 6 151 0 2009-12-01 10:60:00 f\n",
       {{"f", "x"}},
       "m.txt",
       2,
       "is not HH:MM:SS"},
      {"BadVersion",
       std::string(kHead) + "9 6 151 V1.1 head head f\n",
       {{"f", "x"}},
       "m.txt",
       2,
       "version 'V1.1'"},
      {"TooFewFields", std::string(kHead) + "9 6 151 0 head f\n", {}, "m.txt", 2, "needs 7 fields"},
      {"PathLeavesFolder",
       std::string(kHead) + "9 6 151 0 head head ../f\n",
       {},
       "m.txt",
       2,
       "plain name inside the input folder"},
      {"HeadWithFile", "1 0 0 0 2009-01-27 20:02:54 h\n", {}, "m.txt", 1, "takes no file"},
      {"EmptyManifest", "# nothing\n", {}, "m.txt", 0, "holds no rows"},
      {"WildcardModel",
       std::string(kHead) + "9 65535 151 0 head head f\n",
       {},
       "m.txt",
       2,
       "is not a code"},
  };
}

class BadSetTest : public ::testing::TestWithParam<SetCase> {};

TEST_P(BadSetTest, StopsWithFileLineAndReason) {
  const SetCase& c = GetParam();
  std::vector<ManifestRow> rows;
  std::vector<PackageRecord> records;
  InputError error;
  const auto load = [&](const std::string& name, std::string& content) {
    auto it = c.files.find(name);
    if (it == c.files.end()) return false;
    content = it->second;
    return true;
  };
  const bool ok = ParseManifest(c.manifest, "m.txt", rows, error) &&
                  BuildPackageSet(rows, "m.txt", load, records, error);
  ASSERT_FALSE(ok);
  EXPECT_EQ(error.file, c.file) << error.Text();
  EXPECT_EQ(error.line, c.line) << error.Text();
  EXPECT_NE(error.reason.find(c.reason), std::string::npos) << error.Text();
}

INSTANTIATE_TEST_SUITE_P(Rows, BadSetTest, ::testing::ValuesIn(BadSets()),
                         [](const auto& testRow) { return std::string(testRow.param.name); });

TEST(PackageSetTest, AGoodSetGetsItsChecksumsAndHeadDates) {
  const std::string manifest = std::string(kHead) +
                               "5 4 19 V2.009 2008-08-24 17:01:53 a.hex  # first part\n"
                               "3 4 19 0x242 2008-08-24 17:01:53 b.hex\n"
                               "9 6 151 0 head head f\n";
  const std::map<std::string, std::string> files = {
      {"a.hex", Hex({{0x10000, {0xFF, 0x01, 0x02}, 0}})},
      {"b.hex", Hex({{0x18000, {0x10, 0x20}, 0}})},
      {"f", "abc"}};
  std::vector<ManifestRow> rows;
  std::vector<PackageRecord> records;
  InputError error;
  ASSERT_TRUE(ParseManifest(manifest, "m.txt", rows, error)) << error.Text();
  ASSERT_TRUE(BuildPackageSet(
      rows, "m.txt",
      [&](const std::string& name, std::string& content) {
        content = files.at(name);
        return true;
      },
      records, error))
      << error.Text();
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[1].checksum, 0x102u);
  EXPECT_EQ(records[2].checksum, 0x30u);
  EXPECT_EQ(records[1].row.version, 0x0242);
  EXPECT_EQ(records[2].row.version, 0x0242);
  EXPECT_EQ(records[3].checksum, 0u) << "handheld files carry no checksum";
  EXPECT_EQ(records[3].row.hour, 20);
  EXPECT_EQ(records[3].row.second, 54) << "head time";
  EXPECT_EQ(records[3].segments.at(0).address, 0u);
  EXPECT_EQ(records[3].segments.at(0).data.size(), 3u);
}

// The build-time program itself: a bad input stops it with a compiler-style
// message and a non-zero exit, so the build stops there.
TEST(GeneratorProcessTest, ABadInputStopsTheBuildWithFileLineAndReason) {
  testing_support::TempDir dir;
  std::ofstream(dir.path() / "manifest.txt") << kHead << "6 1 2 V4.000 head head host.hex\n";
  std::ofstream(dir.path() / "host.hex") << ":020000040001F9\n:03000000010203F7\n:00000001FF\n";
  const std::string command =
      std::string(MRX_BINARY_DIR "/desktop/firmware/mrx_generate_packages") + " --manifest " +
      (dir.path() / "manifest.txt").string() + " --inputs " + dir.path().string() +
      " --out-source " + (dir.path() / "out.cpp").string() + " --out-data " +
      (dir.path() / "out.bin").string() + " 2>&1";
  std::string text;
  EXPECT_EQ(testing_support::RunProgram(command, text), 65);
  EXPECT_NE(text.find((dir.path() / "host.hex").string() +
                      ":2: error: segment at 0x10000 has an odd length"),
            std::string::npos)
      << text;
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.cpp")) << "nothing half-made is left";

  // The same inputs, mended, generate the list.
  std::ofstream(dir.path() / "host.hex") << ":020000040001F9\n:0400000001020304F2\n:00000001FF\n";
  EXPECT_EQ(testing_support::RunProgram(command, text), 0) << text;
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "out.bin"), 4u);
}

}  // namespace
}  // namespace desktop::firmware
