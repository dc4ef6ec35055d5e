#include "desktop/pages/CPropertyYOR310.h"

#include <QLineEdit>
#include <QPushButton>

#include "desktop/pages/CardFields.h"
#include "protocol/unit/SettingsImage.h"
#include "protocol/unit/Yor310Image.h"

namespace desktop::pages {

namespace {

namespace pu = protocol::unit;
using C = ControlKind;
using P = CPropertyYOR310;
using Img = pu::Yor310Image;
constexpr int kNameChars = pu::SettingsImage::kNameSize - 1;

// Dialog 115: identity on top, name and offsets below it.
constexpr ControlTemplate kControls[] = {
    {0, C::kGroup, "Module", 8, 6, 292, 60},
    {0, C::kLabel, "SNR", 18, 24, 72, 10},
    {common::kSerial, C::kEdit, "", 96, 22, 50, 13, {}, 4},
    {0, C::kLabel, "Delivery", 18, 44, 72, 10},
    {common::kDelivery, C::kDatePicker, "", 96, 42, 150, 13},
    {0, C::kGroup, "Offset", 8, 76, 584, 124},
    {0, C::kLabel, "Name", 18, 96, 60, 10},
    {P::kName, C::kEdit, "", 84, 94, 120, 13, {}, kNameChars},
    {0, C::kLabel, "Offset 1", 18, 124, 60, 10},
    {P::kOffset1, C::kLevelSlider, "", 84, 118, 300, 22},
    {P::kOffset1Text, C::kLabel, "", 392, 120, 90, 16},
    {P::kLink, C::kCheckBox, "Link", 84, 146, 60, 12},
    {0, C::kLabel, "Offset 2", 18, 170, 60, 10},
    {P::kOffset2, C::kLevelSlider, "", 84, 164, 300, 22},
    {P::kOffset2Text, C::kLabel, "", 392, 166, 90, 16},
    {common::kStatusLine, C::kLabel, "", 8, 210, 292, 14},
    {0, C::kLine, "", 8, 362, 584, 2},
    {common::kDefault, C::kButton, "Default Settings", 332, 372, 84, 16},
    {common::kRead, C::kButton, "Read Settings", 420, 372, 84, 16},
    {common::kWrite, C::kButton, "Write Settings", 508, 372, 84, 16},
};
constexpr DialogTemplate kDialog{P::kIdd, "YOR310", 600, 398, kControls};

}  // namespace

CPropertyYOR310::CPropertyYOR310(PageSite& site, QWidget* parent)
    : CMRXPropertyPage(kDialog, site, parent),
      offsets_(*this, {kOffset1, kOffset1Text, kOffset2, kOffset2Text, kLink}, Img::kOffset1Field) {
}

bool CPropertyYOR310::OnInitDialog() {
  if (!CMRXPropertyPage::OnInitDialog()) return false;
  for (int id : {kName, common::kSerial, common::kDelivery}) MarkDirtyOnChange(id);
  offsets_.Attach({});
  auto click = [this](int id, auto handler) {
    connect(Get<QPushButton>(id), &QPushButton::clicked, this, handler);
  };
  // The running card follows what the tab shows after a read or a reset.
  click(common::kRead, [this] {
    ReadSettings(1, true);
    offsets_.SendLevels();
  });
  click(common::kDefault, [this] {
    DefaultSettings();
    offsets_.SendLevels();
  });
  click(common::kWrite, [this] { WriteSettings(1); });
  return true;
}

int CPropertyYOR310::UpdateControls() {
  if (!HasWindow()) return 0;
  card::ShowIdentity(*this);
  const auto held = card::Held(*this);
  Get<QLineEdit>(kName)->setText(QString::fromStdString(card::NameAt(held, Img::kName)));
  offsets_.Show(card::I16(held, Img::kOffset1), card::I16(held, Img::kOffset2));
  ReadStatus();
  return CMRXPropertyPage::UpdateControls();
}

void CPropertyYOR310::UpdateImage() {
  if (!HasWindow()) return;
  CMRXPropertyPage::UpdateImage();
  card::TakeIdentity(*this);
  const auto held = card::Held(*this);
  card::PutNameZeroed(held, Img::kName, Get<QLineEdit>(kName)->text().toStdString());
  card::PutI16(held, Img::kOffset1, static_cast<std::int16_t>(offsets_.Level1()));
  card::PutI16(held, Img::kOffset2, static_cast<std::int16_t>(offsets_.Level2()));
}

}  // namespace desktop::pages
