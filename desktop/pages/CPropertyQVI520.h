#pragma once

#include "desktop/pages/CPropertyPhono.h"

namespace desktop::pages {

// The QVI520 input card's tab: the phono page; its high-pass bit is kept as
// read but not offered.
class CPropertyQVI520 : public CPropertyPhono {
 public:
  explicit CPropertyQVI520(PageSite& site, QWidget* parent = nullptr);
  const char* GetRuntimeClassName() const override { return "CPropertyQVI520"; }
};

}  // namespace desktop::pages
