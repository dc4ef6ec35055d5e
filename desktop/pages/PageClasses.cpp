#include "desktop/pages/PageClasses.h"

#include "desktop/pages/CMRXPropertyPage.h"
#include "desktop/pages/CPropertyFront26.h"
#include "desktop/pages/CPropertyHEJ520.h"
#include "desktop/pages/CPropertyJOV.h"
#include "desktop/pages/CPropertyNVO310.h"
#include "desktop/pages/CPropertyQVO520.h"
#include "desktop/pages/CPropertySIV520.h"
#include "desktop/pages/CPropertyTWR310i.h"
#include "desktop/pages/CPropertyYOR310.h"
#include "protocol/unit/ModuleCatalogue.h"

namespace desktop::pages {

namespace {

namespace type = protocol::unit::type;

template <typename Page>
CMRXPropertyPage* Create(PageSite& site) {
  return new Page(site);
}

// The tab class the catalogue names for a type code.
consteval std::string_view ClassOf(std::uint8_t code) {
  return protocol::unit::FindModuleType(code)->pageClass;
}

// One row per card tab; the catalogue marks the same types as having a tab.
constexpr PageClass kCardPages[] = {
    {type::kHEJ520, ClassOf(type::kHEJ520), &Create<CPropertyHEJ520>},
    {type::kSIV520, ClassOf(type::kSIV520), &Create<CPropertySIV520>},
    {type::kTWR310i, ClassOf(type::kTWR310i), &Create<CPropertyTWR310i>},
    {type::kNVO310, ClassOf(type::kNVO310), &Create<CPropertyNVO310>},
    {type::kJOV520, ClassOf(type::kJOV520), &Create<CPropertyJOV>},
    {type::kYOR310, ClassOf(type::kYOR310), &Create<CPropertyYOR310>},
    {type::kFront26, ClassOf(type::kFront26), &Create<CPropertyFront26>},
    {type::kQVO520, ClassOf(type::kQVO520), &Create<CPropertyQVO520>},
    {type::kQVO520b, ClassOf(type::kQVO520b), &Create<CPropertyQVO520>},
};

}  // namespace

std::span<const PageClass> CardPageClasses() {
  return kCardPages;
}

CMRXPropertyPage* CreateCardPage(std::span<const PageClass> table, std::uint8_t type,
                                 PageSite& site) {
  for (const PageClass& row : table) {
    if (row.typeCode == type) return row.create(site);
  }
  return nullptr;
}

}  // namespace desktop::pages
