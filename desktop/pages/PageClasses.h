#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "desktop/pages/PageSite.h"

namespace desktop::pages {

// A card tab class and the descriptor type code it serves.
struct PageClass {
  std::uint8_t typeCode;
  std::string_view name;
  CMRXPropertyPage* (*create)(PageSite& site);
};

// The card tabs this program has, by type code. A card whose type has no row
// gets no tab; rows are added here as the card tabs are written.
std::span<const PageClass> CardPageClasses();

// A new page for a card of this type from `table`, or null when none serves it.
CMRXPropertyPage* CreateCardPage(std::span<const PageClass> table, std::uint8_t type,
                                 PageSite& site);

}  // namespace desktop::pages
