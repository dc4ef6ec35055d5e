#include "desktop/pages/CPropertySIV520.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "desktop/pages/CardFields.h"
#include "protocol/unit/SettingsImage.h"
#include "protocol/unit/Siv520Image.h"

namespace desktop::pages {

namespace {

namespace pu = protocol::unit;
using C = ControlKind;
using P = CPropertySIV520;
using Img = pu::Siv520Image;
constexpr int kNameChars = pu::SettingsImage::kNameSize - 1;

constexpr int Row(int i) {
  return 112 + 18 * i;
}

// Dialog 105: identity on top, the eight inputs in one group below it.
constexpr ControlTemplate kControls[] = {
    {0, C::kGroup, "Module", 8, 6, 292, 60},
    {0, C::kLabel, "SNR", 18, 24, 72, 10},
    {common::kSerial, C::kEdit, "", 96, 22, 50, 13, {}, 4},
    {0, C::kLabel, "Delivery", 18, 44, 72, 10},
    {common::kDelivery, C::kDatePicker, "", 96, 42, 150, 13},
    {0, C::kGroup, "Input", 8, 76, 292, 186},
    {P::kEnableColumn, C::kButton, "Enable", 18, 90, 70, 14},
    {P::kCdColumn, C::kButton, "CD", 96, 90, 30, 14},
    {P::kEnable[0], C::kCheckBox, "1: S/PDIF", 18, Row(0), 74, 12},
    {P::kCd[0], C::kCheckBox, "CD", 96, Row(0), 34, 12},
    {P::kName[0], C::kEdit, "", 136, Row(0) - 1, 120, 13, {}, kNameChars},
    {P::kEnable[1], C::kCheckBox, "2: Toslink", 18, Row(1), 74, 12},
    {P::kCd[1], C::kCheckBox, "CD", 96, Row(1), 34, 12},
    {P::kName[1], C::kEdit, "", 136, Row(1) - 1, 120, 13, {}, kNameChars},
    {P::kEnable[2], C::kCheckBox, "3: S/PDIF", 18, Row(2), 74, 12},
    {P::kCd[2], C::kCheckBox, "CD", 96, Row(2), 34, 12},
    {P::kName[2], C::kEdit, "", 136, Row(2) - 1, 120, 13, {}, kNameChars},
    {P::kEnable[3], C::kCheckBox, "4: Toslink", 18, Row(3), 74, 12},
    {P::kCd[3], C::kCheckBox, "CD", 96, Row(3), 34, 12},
    {P::kName[3], C::kEdit, "", 136, Row(3) - 1, 120, 13, {}, kNameChars},
    {P::kEnable[4], C::kCheckBox, "5: S/PDIF", 18, Row(4), 74, 12},
    {P::kCd[4], C::kCheckBox, "CD", 96, Row(4), 34, 12},
    {P::kName[4], C::kEdit, "", 136, Row(4) - 1, 120, 13, {}, kNameChars},
    {P::kEnable[5], C::kCheckBox, "6: Toslink", 18, Row(5), 74, 12},
    {P::kCd[5], C::kCheckBox, "CD", 96, Row(5), 34, 12},
    {P::kName[5], C::kEdit, "", 136, Row(5) - 1, 120, 13, {}, kNameChars},
    {P::kEnable[6], C::kCheckBox, "7: S/PDIF", 18, Row(6), 74, 12},
    {P::kCd[6], C::kCheckBox, "CD", 96, Row(6), 34, 12},
    {P::kName[6], C::kEdit, "", 136, Row(6) - 1, 120, 13, {}, kNameChars},
    {P::kEnable[7], C::kCheckBox, "8: Toslink", 18, Row(7), 74, 12},
    {P::kCd[7], C::kCheckBox, "CD", 96, Row(7), 34, 12},
    {P::kName[7], C::kEdit, "", 136, Row(7) - 1, 120, 13, {}, kNameChars},
    {common::kStatusLine, C::kLabel, "", 8, 270, 292, 14},
    {0, C::kLine, "", 8, 362, 584, 2},
    {common::kDefault, C::kButton, "Default Settings", 332, 372, 84, 16},
    {common::kRead, C::kButton, "Read Settings", 420, 372, 84, 16},
    {common::kWrite, C::kButton, "Write Settings", 508, 372, 84, 16},
};
constexpr DialogTemplate kDialog{P::kIdd, "SIV520", 600, 398, kControls};

}  // namespace

CPropertySIV520::CPropertySIV520(PageSite& site, QWidget* parent)
    : CMRXPropertyPage(kDialog, site, parent) {}

bool CPropertySIV520::OnInitDialog() {
  if (!CMRXPropertyPage::OnInitDialog()) return false;
  for (std::size_t i = 0; i < Img::kInputCount; ++i) {
    for (int id : {kEnable[i], kCd[i], kName[i]}) MarkDirtyOnChange(id);
  }
  for (int id : {common::kSerial, common::kDelivery}) MarkDirtyOnChange(id);
  auto click = [this](int id, auto handler) {
    connect(Get<QPushButton>(id), &QPushButton::clicked, this, handler);
  };
  click(kEnableColumn, [this] {
    card::SwitchColumn(*this, kEnable);
    SetModified();
  });
  click(kCdColumn, [this] {
    card::SwitchColumn(*this, kCd);
    SetModified();
  });
  click(common::kRead, [this] { ReadSettings(1, true); });
  click(common::kWrite, [this] { WriteSettings(1); });
  click(common::kDefault, [this] { DefaultSettings(); });
  return true;
}

int CPropertySIV520::UpdateControls() {
  if (!HasWindow()) return 0;
  card::ShowIdentity(*this);
  const auto held = card::Held(*this);
  for (std::size_t i = 0; i < Img::kInputCount; ++i) {
    const auto bit = static_cast<unsigned>(i);
    Get<QLineEdit>(kName[i])->setText(
        QString::fromStdString(card::NameAt(held, Img::NameOffset(i))));
    Get<QCheckBox>(kEnable[i])->setChecked(!card::Bit(held, Img::kDisable, bit));
    Get<QCheckBox>(kCd[i])->setChecked(card::Bit(held, Img::kCd, bit));
  }
  ReadStatus();
  return CMRXPropertyPage::UpdateControls();
}

void CPropertySIV520::UpdateImage() {
  if (!HasWindow()) return;
  CMRXPropertyPage::UpdateImage();
  card::TakeIdentity(*this);
  const auto held = card::Held(*this);
  card::Zero(held, Img::kFirstName, Img::kDisable);
  for (std::size_t i = 0; i < Img::kInputCount; ++i) {
    const auto bit = static_cast<unsigned>(i);
    card::PutNameTerminated(held, Img::NameOffset(i),
                            Get<QLineEdit>(kName[i])->text().toStdString());
    card::SetBit(held, Img::kDisable, bit, !Get<QCheckBox>(kEnable[i])->isChecked());
    card::SetBit(held, Img::kCd, bit, Get<QCheckBox>(kCd[i])->isChecked());
  }
}

}  // namespace desktop::pages
