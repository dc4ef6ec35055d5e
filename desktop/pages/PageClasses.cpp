#include "desktop/pages/PageClasses.h"

#include <array>

#include "desktop/pages/CMRXPropertyPage.h"
#include "desktop/pages/CPropertyFront26.h"
#include "protocol/unit/ModuleCatalogue.h"

namespace desktop::pages {

namespace {

template <typename Page>
CMRXPropertyPage* Create(PageSite& site) {
  return new Page(site);
}

// One row per card tab; the class name is the catalogue's.
constexpr PageClass Row(std::uint8_t type, CMRXPropertyPage* (*create)(PageSite&)) {
  return {type, protocol::unit::FindModuleType(type)->pageClass, create};
}

constexpr PageClass kCardPages[] = {
    Row(protocol::unit::type::kFront26, Create<CPropertyFront26>),
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
