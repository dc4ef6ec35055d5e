#include "desktop/pages/CPropertyValdur.h"

#include <QLabel>
#include <QPixmap>
#include <cstdio>

#include "desktop/pages/Logo.h"
#include "protocol/unit/ModelNames.h"

namespace desktop::pages {

namespace {

constexpr ControlTemplate kControls[] = {
    {0, ControlKind::kLabelCentre, "Valdur MRX520 - Management and Configuration Tool", 8, 12, 584,
     10},
    {0, ControlKind::kLine, "", 8, 25, 584, 2},
    {CPropertyValdur::kVersionLine, ControlKind::kLabelCentre, "", 8, 30, 584, 10},
    {CPropertyValdur::kPicture, ControlKind::kPicture, "", 83, 49, 432, 300},
    {0, ControlKind::kLine, "", 8, 370, 584, 2},
    {CPropertyValdur::kWebAddress, ControlKind::kLabelCentre, "www.valdur-audio.example", 8, 374,
     584, 10},
};
constexpr DialogTemplate kDialog{CPropertyValdur::kIdd, "Valdur", 600, 398, kControls};

constexpr std::uint32_t kFirstYear = 2004;

}  // namespace

CPropertyValdur::CPropertyValdur(const firmware::_DoloPacket* list, QWidget* parent)
    : CPropertyPage(kDialog, parent), list_(list) {}

std::string CPropertyValdur::VersionLine(const firmware::_DoloPacket* list) {
  const firmware::_DoloPacket* host =
      firmware::FindDoloPacket(list, firmware::kDoloUnitImage, protocol::unit::model::kMrx,
                               protocol::unit::component::kHost);
  if (host == nullptr) return {};
  char text[64];
  std::snprintf(text, sizeof text, "%u-%u, Version %d.%03d", kFirstYear, unsigned{host->year},
                firmware::DoloMajor(host->version), firmware::DoloMinor(host->version));
  return text;
}

bool CPropertyValdur::OnInitDialog() {
  version_ = VersionLine(list_);
  CPropertyPage::OnInitDialog();
  auto* picture = Get<QLabel>(kPicture);
  const QPixmap logo = QPixmap::fromImage(ValdurLogo());
  picture->setPixmap(logo);
  // Centred in the page, whatever the font made of the template's box.
  const int w = logo.width(), h = logo.height();
  picture->setGeometry((width() - w) / 2, (height() - h) / 2, w, h);
  picture->update();
  return true;
}

void CPropertyValdur::DoDataExchange(bool save) {
  DdxText(save, kVersionLine, version_);
}

}  // namespace desktop::pages
