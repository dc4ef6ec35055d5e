#include "desktop/pages/CPropertyBUZ310.h"

#include <QCheckBox>

namespace desktop::pages {

CPropertyBUZ310::CPropertyBUZ310(PageSite& site, QWidget* parent)
    : CPropertyPhono(kBuz310Dialog, site, parent) {}

bool CPropertyBUZ310::OnInitDialog() {
  if (!CPropertyPhono::OnInitDialog()) return false;
  // The one control the two phono cards differ in: only the BUZ310 has the filter.
  Get<QCheckBox>(kHighPass)->setVisible(true);
  return true;
}

}  // namespace desktop::pages
