#include "desktop/pages/PageClasses.h"

#include <array>

#include "desktop/pages/CMRXPropertyPage.h"

namespace desktop::pages {

namespace {

constexpr std::array<PageClass, 0> kCardPages{};

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
