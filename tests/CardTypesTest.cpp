// Every list of card types, walked against the catalogue: a card type the
// catalogue lists needs a row in each program's table, and a forgotten row
// fails here naming the type and the program, not later as a card with no
// tab, no fields or 64 zero bytes in the simulator.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/pages/PageClasses.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/SettingsFields.h"
#include "remote/ui/SetupPageFactory.h"
#include "sim/CardModel.h"

namespace {

namespace pu = protocol::unit;

// One list of card types: whose it is and the types it has rows for.
struct TypeList {
  std::string_view what;  // "setup page row in WavrixBTMS"
  std::function<bool(std::uint8_t)> hasRow;
  std::function<std::vector<std::uint8_t>()> rows;
};

std::vector<TypeList> Lists() {
  return {
      {"tab row in myMRX",
       [](std::uint8_t t) {
         const auto pages = desktop::pages::CardPageClasses();
         return std::any_of(pages.begin(), pages.end(),
                            [t](const auto& r) { return r.typeCode == t; });
       },
       [] {
         std::vector<std::uint8_t> codes;
         for (const auto& r : desktop::pages::CardPageClasses()) codes.push_back(r.typeCode);
         return codes;
       }},
      {"setup page row in WavrixBTMS",
       [](std::uint8_t t) {
         const auto pages = remote::ui::CardSetupPages();
         return std::any_of(pages.begin(), pages.end(),
                            [t](const auto& r) { return r.typeCode == t; });
       },
       [] {
         std::vector<std::uint8_t> codes;
         for (const auto& r : remote::ui::CardSetupPages()) codes.push_back(r.typeCode);
         return codes;
       }},
      {"card model row in mrx520-sim",
       [](std::uint8_t t) { return sim::FindCardModel(t) != nullptr; },
       [] {
         std::vector<std::uint8_t> codes;
         for (int t = 0; t < 256; ++t) {
           const auto code = static_cast<std::uint8_t>(t);
           if (code != sim::kMainUnitType && sim::FindCardModel(code) != nullptr)
             codes.push_back(code);
         }
         return codes;
       }},
  };
}

std::string Named(const pu::ModuleType& t) {
  return "type " + std::to_string(t.code) + " (" + std::string(t.model) + ")";
}

// What is missing or extra between `catalogue` and `lists`, one line each.
std::vector<std::string> Mismatches(std::span<const pu::ModuleType> catalogue,
                                    const std::vector<TypeList>& lists) {
  std::vector<std::string> found;
  for (const pu::ModuleType& t : catalogue) {
    for (const TypeList& list : lists) {
      if (!list.hasRow(t.code)) found.push_back(Named(t) + ": no " + std::string(list.what));
    }
    // Only a card the simulator knows to keep no image may name no fields.
    const sim::CardModel* model = sim::FindCardModel(t.code);
    if (t.fields.empty() && (model == nullptr || model->settingsLength > 0))
      found.push_back(Named(t) + ": no field table in the catalogue (the backup's field names)");
  }
  for (const TypeList& list : lists) {
    for (std::uint8_t code : list.rows()) {
      const bool listed = std::any_of(catalogue.begin(), catalogue.end(),
                                      [code](const auto& t) { return t.code == code; });
      if (!listed) {
        found.push_back("type " + std::to_string(code) + ": a " + std::string(list.what) +
                        " but no row in the catalogue");
      }
    }
  }
  return found;
}

TEST(CardTypesTest, EveryCatalogueTypeHasARowInEveryList) {
  for (const std::string& m : Mismatches(pu::kModuleTypes, Lists())) ADD_FAILURE() << m;
}

// The walk itself: a made-up type in the catalogue is missed by each list by
// name, and a row the catalogue does not know is found too.
TEST(CardTypesTest, TheWalkNamesTheTypeAndTheListOfAMissingRow) {
  std::vector<pu::ModuleType> catalogue(std::begin(pu::kModuleTypes), std::end(pu::kModuleTypes));
  catalogue.push_back({12, "ZZZ100", "CPropertyZZZ100", {}});
  const auto found = Mismatches(catalogue, Lists());
  EXPECT_EQ(found, (std::vector<std::string>{
                       "type 12 (ZZZ100): no tab row in myMRX",
                       "type 12 (ZZZ100): no setup page row in WavrixBTMS",
                       "type 12 (ZZZ100): no card model row in mrx520-sim",
                       "type 12 (ZZZ100): no field table in the catalogue (the backup's field "
                       "names)",
                   }));
  const auto fewer = Mismatches(std::span(pu::kModuleTypes).first(1), Lists());
  EXPECT_NE(std::find(fewer.begin(), fewer.end(),
                      "type 10: a setup page row in WavrixBTMS but no row in the catalogue"),
            fewer.end());
}

// The rows agree with each other: the tab is the class the catalogue names;
// every named field lies inside the image the simulated card announces, no
// two fields share a bit, and a new simulated card holds values inside each
// field's range.
TEST(CardTypesTest, RowsAgreeAcrossThePrograms) {
  std::vector<pu::ModuleType> types(std::begin(pu::kModuleTypes), std::end(pu::kModuleTypes));
  types.push_back(pu::kMainUnit);
  for (const pu::ModuleType& t : types) {
    SCOPED_TRACE(Named(t));
    for (const auto& row : desktop::pages::CardPageClasses()) {
      if (row.typeCode == t.code) {
        EXPECT_EQ(row.name, t.pageClass);
      }
    }
    const sim::CardModel* model = sim::FindCardModel(t.code);
    const auto* fields = pu::FindFields(t.code);
    ASSERT_NE(fields, nullptr);
    if (model == nullptr) continue;
    const std::vector<std::uint8_t> image = sim::DefaultSettings(t.code);
    std::vector<std::uint8_t> taken(image.size(), 0);
    for (const pu::SettingsField& f : *fields) {
      ASSERT_LE(f.offset + f.size, model->settingsLength) << f.name;
      for (std::size_t at = 0; at < f.size; ++at) {
        EXPECT_EQ(taken[f.offset + at] & f.CoveredBits(at), 0) << f.name << " overlaps";
        taken[f.offset + at] |= f.CoveredBits(at);
      }
      const auto value = pu::FieldNumber(f, image);
      if (value && f.min != f.max) {
        EXPECT_GE(*value, f.min) << f.name;
        EXPECT_LE(*value, f.max) << f.name;
      }
    }
  }
}

}  // namespace
