// The package list API on the embedded set and on small hand-built lists.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "desktop/firmware/DoloPacket.h"
#include "protocol/unit/ImageStamp.h"
#include "protocol/unit/ModelNames.h"

namespace desktop::firmware {
namespace {

using protocol::unit::ComponentName;
using protocol::unit::ModelName;

const _DoloPacket* Embedded() {
  return GetDoloBase();
}

// The catalogue, in list order.
struct CatalogueRow {
  std::uint32_t kind;
  int model, component;
  std::uint32_t segments;
  const char* version;
  int year, month, day, hour, minute, second;
};
constexpr CatalogueRow kCatalogue[] = {
    {1, 0, 0, 0, "V0.000", 2009, 1, 27, 20, 2, 54},
    {6, 1, 2, 134, "V4.000", 2009, 1, 27, 20, 1, 52},
    {6, 1, 1, 10, "V1.100", 2004, 11, 23, 13, 58, 59},
    {5, 4, 19, 1, "V2.009", 2008, 8, 24, 17, 1, 53},
    {3, 4, 19, 1, "V2.009", 2008, 8, 24, 17, 1, 53},
    {5, 2, 12, 1, "V2.100", 2004, 7, 29, 8, 11, 29},
    {3, 2, 12, 1, "V2.100", 2004, 7, 29, 8, 11, 29},
    {10, 1, 39, 2, "V4.000", 2009, 1, 27, 19, 41, 25},
    {9, 6, 151, 1, "V0.000", 2009, 1, 27, 20, 2, 54},
    {9, 6, 152, 1, "V0.000", 2009, 1, 27, 20, 2, 54},
    {9, 6, 153, 1, "V0.000", 2009, 1, 27, 20, 2, 54},
    {9, 6, 154, 1, "V0.000", 2009, 1, 27, 20, 2, 54},
    {9, 6, 150, 1, "V0.000", 2009, 1, 27, 20, 2, 54},
    {9, 6, 128, 1, "V0.000", 2009, 1, 27, 20, 2, 54},
    {9, 6, 140, 1, "V4.000", 2009, 1, 27, 20, 2, 32},
    {9, 6, 141, 1, "V4.000", 2009, 1, 27, 20, 2, 32},
};

TEST(DoloListTest, TheEmbeddedSetIsTheCatalogueInListOrder) {
  const _DoloPacket* p = Embedded();
  int row = 1;
  for (const CatalogueRow& want : kCatalogue) {
    SCOPED_TRACE("catalogue row " + std::to_string(row++));
    ASSERT_FALSE(IsDoloListEnd(p));
    EXPECT_EQ(p->kind, want.kind);
    EXPECT_EQ(p->format, 1);
    EXPECT_EQ(p->model, want.model);
    EXPECT_EQ(p->component, want.component);
    EXPECT_EQ(DoloSegmentCount(*p), want.segments);
    EXPECT_EQ(DoloVersionText(p->version), want.version);
    EXPECT_EQ(p->year, want.year);
    EXPECT_EQ(p->month, want.month);
    EXPECT_EQ(p->day, want.day);
    EXPECT_EQ(p->hour, want.hour);
    EXPECT_EQ(p->minute, want.minute);
    EXPECT_EQ(p->second, want.second);
    // Checksums are filled for the card DSP pairs (kinds 3 and 5) only.
    if (p->kind == kDoloCardDspFirst || p->kind == kDoloCardDspSecond) {
      EXPECT_EQ(p->checksum, DoloChecksum(*p));
      EXPECT_NE(p->checksum, 0u);
    } else {
      EXPECT_EQ(p->checksum, 0u);
    }
    if (p->kind == kDoloHandheldFile) {
      EXPECT_EQ(p->segments->address, 0u);
      EXPECT_EQ(p->segments->length, DoloImageSize(*p));
    }
    p = p->next;
  }
  EXPECT_TRUE(IsDoloListEnd(p)) << "the set holds exactly rows 1-16";
}

TEST(DoloListTest, TheStandInImagesHaveTheCatalogueShapes) {
  const _DoloPacket* host = FindDoloPacket(Embedded(), 6, 1, 2);
  ASSERT_NE(host, nullptr);
  const DoloSegment* s = host->segments;
  // The first three segments follow each other, a gap after each later one.
  EXPECT_EQ(s->address, 0x10000u);
  EXPECT_EQ(s->address + s->length, s->next->address);
  EXPECT_EQ(s->next->address + s->next->length, s->next->next->address);
  int index = 0;
  for (const DoloSegment* seg = host->segments; seg != nullptr; seg = seg->next, ++index) {
    SCOPED_TRACE("host segment " + std::to_string(index));
    EXPECT_EQ(seg->address % 2, 0u);
    EXPECT_EQ(seg->length % 2, 0u);
    EXPECT_GE(seg->address, 0x10000u);
    EXPECT_LE(seg->address + seg->length, 0x90000u);
    if (index >= 2 && seg->next != nullptr) {
      EXPECT_LT(seg->address + seg->length, seg->next->address);
    }
  }
  const auto stamp =
      protocol::unit::ImageStamp::Decode({host->segments->data, host->segments->length});
  ASSERT_TRUE(stamp);
  EXPECT_EQ(stamp->version, host->version);
  EXPECT_EQ(stamp->year, 2009);

  const _DoloPacket* boot = FindDoloPacket(Embedded(), 6, 1, 1);
  ASSERT_NE(boot, nullptr);
  const DoloSegment* last = nullptr;
  for (const DoloSegment* seg = boot->segments; seg != nullptr; seg = seg->next) {
    const bool low = seg->address + seg->length <= 0x5692;
    const bool top = seg->address >= 0x7FF0 && seg->address + seg->length <= 0x8000;
    EXPECT_TRUE(low || top) << std::hex << seg->address;
    last = seg;
  }
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->address, 0x7FF0u);
  EXPECT_EQ(last->length, 16u);

  struct Pair {
    int model, component;
    std::uint32_t first, second;
  } pairs[] = {{4, 19, 0x10000, 0x18000}, {2, 12, 0x10000, 0x1C000}};
  for (const Pair& pair : pairs) {
    SCOPED_TRACE("DSP pair of model " + std::to_string(pair.model));
    const auto* first = FindDoloPacket(Embedded(), 5, pair.model, pair.component);
    const auto* second = FindDoloPacket(Embedded(), 3, pair.model, pair.component);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->segments->address, pair.first);
    EXPECT_EQ(second->segments->address, pair.second);
  }

  const _DoloPacket* klf = FindDoloPacket(Embedded(), 10, 1, 39);
  ASSERT_NE(klf, nullptr);
  EXPECT_EQ(klf->segments->address, 0x40010000u);
  EXPECT_GT(klf->segments->length, 0x10000u);
  EXPECT_EQ(klf->segments->next->address, 0x4003FFF0u);
  EXPECT_EQ(klf->segments->next->length, 16u);
}

// Lookups on the embedded set, at their edges.
struct LookupRow {
  const char* name;
  std::uint32_t kind;
  std::uint16_t model, component;
  int catalogueRow;  // 0 = none
  int status;
};
void PrintTo(const LookupRow& row, std::ostream* os) {
  *os << row.name;
}
constexpr LookupRow kLookups[] = {
    {"HostImage", 6, 1, 2, 2, kDoloFound},
    {"BootImage", 6, 1, 1, 3, kDoloFound},
    {"WidcommBuildIsAbsent", 9, 6, 130, 0, kDoloNotFound},
    {"WildcardKindFindsTheFirstPart", DOLO_ANY, 4, 19, 4, kDoloFound},
    {"SecondPartAskedExplicitly", 3, 4, 19, 5, kDoloFound},
    {"WildcardKindMatchesTheHead", DOLO_ANY, 0, 0, 1, kDoloFound},
    {"AllWildcardsMatchTheHead", DOLO_ANY, DOLO_ANY, DOLO_ANY, 1, kDoloFound},
    {"Klf310Software", 10, 1, 39, 8, kDoloFound},
    {"WildcardComponent", 9, 6, DOLO_ANY, 9, kDoloFound},
    {"Mobile5Remote", 9, 6, 141, 16, kDoloFound},
};

class DoloLookupTest : public ::testing::TestWithParam<LookupRow> {};

TEST_P(DoloLookupTest, FindsTheFirstMatchInListOrder) {
  const LookupRow& row = GetParam();
  int status = -7;
  const _DoloPacket* found =
      FindDoloPacket(Embedded(), row.kind, row.model, row.component, &status);
  EXPECT_EQ(status, row.status);
  const _DoloPacket* want = nullptr;
  if (row.catalogueRow != 0) {
    want = Embedded();
    for (int i = 1; i < row.catalogueRow; ++i) want = want->next;
  }
  EXPECT_EQ(found, want);
  // The cursor finds the same once attached; and without a status pointer.
  EXPECT_EQ(AttachDoloList(Embedded()), kDoloAttached);
  EXPECT_EQ(FindDoloPacket(row.kind, row.model, row.component), want);
}

INSTANTIATE_TEST_SUITE_P(EmbeddedSet, DoloLookupTest, ::testing::ValuesIn(kLookups),
                         [](const auto& testRow) { return std::string(testRow.param.name); });

// A small list built by hand: head, then one image.
struct SmallList {
  std::array<std::uint8_t, 3> bytes3{0xFF, 0x01, 0x02};
  std::array<std::uint8_t, 30> bytes30{};
  std::array<std::uint8_t, 4> bytes4{};
  DoloSegment c{0x80, 30, nullptr, bytes30.data()};
  DoloSegment b{0x40, 4, &c, bytes4.data()};
  DoloSegment a{0x00, 30, &b, bytes30.data()};
  DoloSegment three{0x00, 3, nullptr, bytes3.data()};
  _DoloPacket image3{nullptr, 5, 1, 4, 19, 0x0242, 1, 1, 2009, 0, 0, 0, 0, &three};
  _DoloPacket image{&image3, 6, 1, 1, 2, 0x0004, 1, 1, 2009, 0, 0, 0, 0, &a};
  _DoloPacket head{&image, 1, 1, 0, 0, 0, 1, 1, 2009, 0, 0, 0, 0, nullptr};
};

TEST(DoloListTest, ChecksumAndSizeExamples) {
  SmallList list;
  EXPECT_EQ(DoloChecksum(list.image3), 0x102u) << "0xFF + 0x01 + 0x02, bytes unsigned";
  EXPECT_EQ(DoloImageSize(list.image), 64u) << "segments of 30, 4 and 30 bytes";
  EXPECT_EQ(DoloImageSize(list.head), 0u);
  EXPECT_EQ(DoloChecksum(list.head), 0u);
}

TEST(DoloListTest, ChecksumWrapsModulo2To32) {
  static std::array<std::uint8_t, 1024> ff;
  ff.fill(0xFF);
  // 2^32 / (1024 * 255) segments would take long; use a chain that repeats one segment.
  std::array<DoloSegment, 17> chain{};
  for (std::size_t i = 0; i < chain.size(); ++i) {
    chain[i] = {0, 1024, i + 1 < chain.size() ? &chain[i + 1] : nullptr, ff.data()};
  }
  const _DoloPacket p{nullptr, 6, 1, 1, 2, 0, 1, 1, 2009, 0, 0, 0, 0, chain.data()};
  EXPECT_EQ(DoloChecksum(p), 17u * 1024u * 255u);
}

TEST(DoloListTest, AHeadOfAnotherKindMakesTheListEmptyAndLeavesTheStatusAlone) {
  SmallList list;
  list.head.kind = 6;
  int status = 42;
  EXPECT_EQ(FindDoloPacket(&list.head, 6, 1, 2, &status), nullptr);
  EXPECT_EQ(status, 42);
  EXPECT_EQ(AttachDoloList(&list.head), kDoloNotAList);
  EXPECT_EQ(FindDoloPacket(6, 1, 2, &status), nullptr);
  EXPECT_EQ(status, 42);
  EXPECT_EQ(FindDoloPacket(nullptr, 6, 1, 2, &status), nullptr);
  EXPECT_EQ(status, 42);
  EXPECT_EQ(AttachDoloList(Embedded()), kDoloAttached);
}

TEST(DoloListTest, AllOnesEndsTheListLikeNull) {
  SmallList list;
  list.image.next = reinterpret_cast<const _DoloPacket*>(UINTPTR_MAX);
  int status = -1;
  EXPECT_EQ(FindDoloPacket(&list.head, 6, 1, 2, &status), &list.image);
  EXPECT_EQ(FindDoloPacket(&list.head, 5, 4, 19, &status), nullptr);
  EXPECT_EQ(status, kDoloNotFound);
}

TEST(DoloListTest, VersionTexts) {
  struct Row {
    std::uint16_t word;
    const char* text;
  } rows[] = {{0x1901, "V1.100"}, {0x0004, "V4.000"},   {0x0242, "V2.009"},
              {0x0000, "V0.000"}, {0xFFFF, "V63.1023"}, {0x1902, "V2.100"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(DoloVersionText(row.word), row.text);
  }
}

// Every code of the name tables, and the empty name for every other code.
TEST(ModelNamesTest, EveryCodeHasItsNameAndOthersAreEmpty) {
  const std::pair<int, const char*> models[] = {{1, "MRX"},    {2, "TWR520"}, {3, "TWR310"},
                                                {4, "ZEL520"}, {5, "GOF310"}, {6, "PocketPC"}};
  for (int code = -1; code < 300; ++code) {
    std::string want;
    for (const auto& [c, n] : models) {
      if (c == code) want = n;
    }
    EXPECT_EQ(ModelName(code), want) << "model " << code;
  }
  const std::pair<int, const char*> components[] = {{1, "Boot"},
                                                    {2, "Host"},
                                                    {3, "Host-FPGA"},
                                                    {4, "Firmware"},
                                                    {5, "QVI520-Equalizer"},
                                                    {6, "QVI520-Decimation"},
                                                    {7, "QVI520-FPGA"},
                                                    {8, "QVO520-DSP98"},
                                                    {9, "QVO520-FPGA"},
                                                    {10, "HEJ520"},
                                                    {11, "HEJ520-FPGA"},
                                                    {12, "DSP"},
                                                    {14, "PANEL-DSP"},
                                                    {15, "PANEL-FPGA"},
                                                    {16, "HDD - USB recording only"},
                                                    {17, "QVO520-DSP65"},
                                                    {18, "PFC"},
                                                    {19, "DSP"},
                                                    {20, "SIV520-DSP"},
                                                    {21, "SIV520-FPGA"},
                                                    {27, "NVO310-DSP"},
                                                    {28, "NVO310-FPGA"},
                                                    {29, "TWR310i-DSP"},
                                                    {30, "TWR310i-FPGA"},
                                                    {31, "JOV520-DSP"},
                                                    {32, "JOV520-FPGA"},
                                                    {33, "GOF310-Boot"},
                                                    {34, "GOF310-Host"},
                                                    {36, "GOF310-FPGA"},
                                                    {37, "GOF310-EQUALIZER"},
                                                    {42, "KLF310"}};
  const int empty[] = {0, 13, 22, 23, 24, 25, 26, 35, 38, 39, 40, 41, 43, 128, 255};
  for (const auto& [code, name] : components) EXPECT_EQ(ComponentName(code), name) << code;
  for (int code : empty) EXPECT_EQ(ComponentName(code), "") << code;
  static_assert(ComponentName(42) == "KLF310", "the tables are usable at compile time");
}

}  // namespace
}  // namespace desktop::firmware
