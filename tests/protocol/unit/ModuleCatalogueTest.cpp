#include <gtest/gtest.h>

#include <string>

#include "protocol/unit/ModuleCatalogue.h"

namespace protocol::unit {
namespace {

struct Row {
  int code;
  const char* model;
  const char* pageClass;
};

// The type table of the unit link and the desktop's tab classes, side by side.
constexpr Row kExpected[] = {
    {1, "QVI520", "CPropertyQVI520"},  {2, "QVO520", "CPropertyQVO520"},
    {3, "QVO520", "CPropertyQVO520"},  {4, "HEJ520", "CPropertyHEJ520"},
    {5, "SIV520", "CPropertySIV520"},  {6, "TWR310i", "CPropertyTWR310i"},
    {7, "NVO310", "CPropertyNVO310"},  {8, "BUZ310", "CPropertyBUZ310"},
    {9, "JOV520", "CPropertyJOV"},     {10, "YOR310", "CPropertyYOR310"},
    {11, "KLF310", "CPropertyKLF310"}, {16, "Front26", "CPropertyFront26"},
};

TEST(ModuleCatalogueTest, EveryCodeMapsToItsModelTabAndSetupPage) {
  int mapped = 0;
  for (int code = 0; code < 256; ++code) {
    SCOPED_TRACE("type " + std::to_string(code));
    const auto type = FindModuleType(static_cast<std::uint8_t>(code));
    const Row* row = nullptr;
    for (const Row& r : kExpected) {
      if (r.code == code) row = &r;
    }
    if (row == nullptr) {
      EXPECT_FALSE(type) << "a code outside the table gets no tab";
      continue;
    }
    ++mapped;
    ASSERT_TRUE(type);
    EXPECT_EQ(type->code, code);
    EXPECT_EQ(type->model, row->model);
    EXPECT_EQ(type->pageClass, row->pageClass);
  }
  EXPECT_EQ(mapped, 12);
}

TEST(ModuleCatalogueTest, NamedCodesAndTheMainUnit) {
  EXPECT_EQ(FindModuleType(type::kQVI520)->model, "QVI520");
  EXPECT_EQ(FindModuleType(type::kQVO520)->model, "QVO520");
  EXPECT_EQ(FindModuleType(type::kQVO520b)->model, "QVO520");
  EXPECT_EQ(FindModuleType(type::kHEJ520)->model, "HEJ520");
  EXPECT_EQ(FindModuleType(type::kSIV520)->model, "SIV520");
  EXPECT_EQ(FindModuleType(type::kTWR310i)->model, "TWR310i");
  EXPECT_EQ(FindModuleType(type::kNVO310)->model, "NVO310");
  EXPECT_EQ(FindModuleType(type::kBUZ310)->model, "BUZ310");
  EXPECT_EQ(FindModuleType(type::kJOV520)->model, "JOV520");
  EXPECT_EQ(FindModuleType(type::kYOR310)->model, "YOR310");
  EXPECT_EQ(FindModuleType(type::kKLF310)->model, "KLF310");
  EXPECT_EQ(FindModuleType(type::kFront26)->model, "Front26");
  // The remote lists this code without a page of its own.
  EXPECT_EQ(type::kNoSetupPage, 17);
  EXPECT_FALSE(FindModuleType(type::kNoSetupPage));
  EXPECT_EQ(kMainUnitAddress, 0);
  EXPECT_EQ(kMainUnit.model, "MRX520");
  EXPECT_EQ(kMainUnit.pageClass, "CPropertyMRX520");
}

TEST(ModuleCatalogueTest, ModuleModelByAddressAndType) {
  EXPECT_EQ(ModuleModel(0, 0), "MRX520");
  EXPECT_EQ(ModuleModel(0, type::kQVO520),
            "MRX520");  // address 0 is the main unit whatever it says
  EXPECT_EQ(ModuleModel(3, type::kQVO520b), "QVO520");
  EXPECT_EQ(ModuleModel(12, 12), "unknown");
}

}  // namespace
}  // namespace protocol::unit
