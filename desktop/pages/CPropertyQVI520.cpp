#include "desktop/pages/CPropertyQVI520.h"

namespace desktop::pages {

CPropertyQVI520::CPropertyQVI520(PageSite& site, QWidget* parent)
    : CPropertyPhono(kQvi520Dialog, site, parent) {}

}  // namespace desktop::pages
