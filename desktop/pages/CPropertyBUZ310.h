#pragma once

#include "desktop/pages/CPropertyPhono.h"

namespace desktop::pages {

// The BUZ310 phono card's tab: the phono page with its high-pass switch shown.
class CPropertyBUZ310 : public CPropertyPhono {
 public:
  explicit CPropertyBUZ310(PageSite& site, QWidget* parent = nullptr);
  const char* GetRuntimeClassName() const override { return "CPropertyBUZ310"; }

 protected:
  bool OnInitDialog() override;
};

}  // namespace desktop::pages
