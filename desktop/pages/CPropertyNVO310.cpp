#include "desktop/pages/CPropertyNVO310.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "desktop/pages/CardFields.h"
#include "protocol/unit/Nvo310Image.h"
#include "protocol/unit/SettingsImage.h"

namespace desktop::pages {

namespace {

namespace pu = protocol::unit;
using C = ControlKind;
using P = CPropertyNVO310;
using Img = pu::Nvo310Image;
constexpr int kNameChars = pu::SettingsImage::kNameSize - 1;

// The "Active" button of each group and the group value it stands for.
struct ActiveButton {
  int id;
  std::uint8_t group;
};
constexpr ActiveButton kActive[] = {{P::kActiveStereo, Img::kGroupStereo},
                                    {P::kActiveMc51, Img::kGroupMc51},
                                    {P::kActiveMc71, Img::kGroupMc71}};

// Dialog 112: identity on top, the three input groups below it.
constexpr ControlTemplate kControls[] = {
    {0, C::kGroup, "Module", 8, 6, 292, 60},
    {0, C::kLabel, "SNR", 18, 24, 72, 10},
    {common::kSerial, C::kEdit, "", 96, 22, 50, 13, {}, 4},
    {0, C::kLabel, "Delivery", 18, 44, 72, 10},
    {common::kDelivery, C::kDatePicker, "", 96, 42, 150, 13},
    {0, C::kGroup, "Stereo", 8, 76, 292, 110},
    {P::kEnable[0], C::kCheckBox, "1: Stereo", 18, 94, 70, 12},
    {P::kName[0], C::kEdit, "", 96, 93, 120, 13, {}, kNameChars},
    {P::kEnable[1], C::kCheckBox, "2: Stereo", 18, 114, 70, 12},
    {P::kName[1], C::kEdit, "", 96, 113, 120, 13, {}, kNameChars},
    {P::kEnable[2], C::kCheckBox, "3: Stereo", 18, 134, 70, 12},
    {P::kName[2], C::kEdit, "", 96, 133, 120, 13, {}, kNameChars},
    {P::kEnable[3], C::kCheckBox, "4: Stereo", 18, 154, 70, 12},
    {P::kName[3], C::kEdit, "", 96, 153, 120, 13, {}, kNameChars},
    {P::kActiveStereo, C::kRadio, "Active", 230, 94, 60, 12},
    {0, C::kGroup, "Multichannel 5.1 + Stereo", 308, 76, 284, 56},
    {P::kEnable[4], C::kCheckBox, "1: MC5.1", 318, 94, 70, 12},
    {P::kName[4], C::kEdit, "", 396, 93, 120, 13, {}, kNameChars},
    {P::kEnable[5], C::kCheckBox, "2: Stereo", 318, 114, 70, 12},
    {P::kName[5], C::kEdit, "", 396, 113, 120, 13, {}, kNameChars},
    {P::kActiveMc51, C::kRadio, "Active", 526, 94, 60, 12},
    {0, C::kGroup, "Multichannel 7.1", 308, 140, 284, 46},
    {P::kEnable[6], C::kCheckBox, "1: MC7.1", 318, 160, 70, 12},
    {P::kName[6], C::kEdit, "", 396, 159, 120, 13, {}, kNameChars},
    {P::kActiveMc71, C::kRadio, "Active", 526, 160, 60, 12},
    {P::kHighPass, C::kCheckBox, "High pass filter 1Hz/-3dB", 18, 200, 200, 12},
    {common::kStatusLine, C::kLabel, "", 8, 236, 292, 14},
    {0, C::kLine, "", 8, 362, 584, 2},
    {common::kDefault, C::kButton, "Default Settings", 332, 372, 84, 16},
    {common::kRead, C::kButton, "Read Settings", 420, 372, 84, 16},
    {common::kWrite, C::kButton, "Write Settings", 508, 372, 84, 16},
};
constexpr DialogTemplate kDialog{P::kIdd, "NVO310", 600, 398, kControls};

}  // namespace

CPropertyNVO310::CPropertyNVO310(PageSite& site, QWidget* parent)
    : CMRXPropertyPage(kDialog, site, parent) {}

bool CPropertyNVO310::OnInitDialog() {
  if (!CMRXPropertyPage::OnInitDialog()) return false;
  for (int id : kEnable) MarkDirtyOnChange(id);
  for (int id : kName) MarkDirtyOnChange(id);
  for (int id : {kHighPass, common::kSerial, common::kDelivery}) MarkDirtyOnChange(id);
  for (const ActiveButton& a : kActive) {
    MarkDirtyOnChange(a.id);
    // One group plays at a time: choosing one clears the others.
    connect(Get<QRadioButton>(a.id), &QRadioButton::clicked, this, [this, id = a.id] {
      for (const ActiveButton& other : kActive)
        Get<QRadioButton>(other.id)->setChecked(other.id == id);
    });
  }
  connect(Get<QPushButton>(common::kRead), &QPushButton::clicked, this,
          [this] { ReadSettings(1, true); });
  connect(Get<QPushButton>(common::kWrite), &QPushButton::clicked, this,
          [this] { WriteSettings(1); });
  connect(Get<QPushButton>(common::kDefault), &QPushButton::clicked, this,
          [this] { DefaultSettings(); });
  return true;
}

int CPropertyNVO310::UpdateControls() {
  if (!HasWindow()) return 0;
  card::ShowIdentity(*this);
  const auto held = card::Held(*this);
  for (std::size_t i = 0; i < Img::kInputCount; ++i) {
    Get<QLineEdit>(kName[i])->setText(
        QString::fromStdString(card::NameAt(held, Img::NameOffset(i))));
    Get<QCheckBox>(kEnable[i])
        ->setChecked(!card::Bit(held, Img::kDisable, static_cast<unsigned>(i)));
  }
  const std::uint8_t flags = card::U8(held, Img::kFlags);
  Get<QCheckBox>(kHighPass)->setChecked((flags & Img::kHighPassBit) != 0);
  for (const ActiveButton& a : kActive) {
    Get<QRadioButton>(a.id)->setChecked((flags & Img::kGroupMask) == a.group);
  }
  ReadStatus();
  return CMRXPropertyPage::UpdateControls();
}

void CPropertyNVO310::UpdateImage() {
  if (!HasWindow()) return;
  CMRXPropertyPage::UpdateImage();
  card::TakeIdentity(*this);
  const auto held = card::Held(*this);
  for (std::size_t i = 0; i < Img::kInputCount; ++i) {
    card::PutNameTerminated(held, Img::NameOffset(i),
                            Get<QLineEdit>(kName[i])->text().toStdString());
    card::SetBit(held, Img::kDisable, static_cast<unsigned>(i),
                 !Get<QCheckBox>(kEnable[i])->isChecked());
  }
  std::uint8_t flags = card::U8(held, Img::kFlags);
  flags = Get<QCheckBox>(kHighPass)->isChecked()
              ? static_cast<std::uint8_t>(flags | Img::kHighPassBit)
              : static_cast<std::uint8_t>(flags & ~Img::kHighPassBit);
  for (const ActiveButton& a : kActive) {
    if (Get<QRadioButton>(a.id)->isChecked()) {
      flags = static_cast<std::uint8_t>((flags & ~Img::kGroupMask) | a.group);
    }
  }
  card::PutU8(held, Img::kFlags, flags);
}

}  // namespace desktop::pages
