#include "desktop/pages/CPropertyTWR310i.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "desktop/pages/CardFields.h"
#include "protocol/unit/SettingsImage.h"
#include "protocol/unit/Twr310iImage.h"

namespace desktop::pages {

namespace {

namespace pu = protocol::unit;
using C = ControlKind;
using P = CPropertyTWR310i;
using Img = pu::Twr310iImage;
constexpr int kNameChars = pu::SettingsImage::kNameSize - 1;

// Dialog 113: identity on top, the levels and channels below it.
constexpr ControlTemplate kControls[] = {
    {0, C::kGroup, "Module", 8, 6, 292, 60},
    {0, C::kLabel, "SNR", 18, 24, 72, 10},
    {common::kSerial, C::kEdit, "", 96, 22, 50, 13, {}, 4},
    {0, C::kLabel, "Delivery", 18, 44, 72, 10},
    {common::kDelivery, C::kDatePicker, "", 96, 42, 150, 13},
    {0, C::kGroup, "Offset, Delay && Channel Settings", 8, 76, 584, 150},
    {0, C::kLabel, "Name", 18, 96, 60, 10},
    {P::kName, C::kEdit, "", 84, 94, 120, 13, {}, kNameChars},
    {0, C::kLabel, "Output 1", 18, 124, 60, 10},
    {P::kLevel1, C::kLevelSlider, "", 84, 118, 300, 22},
    {P::kLevel1Text, C::kLabel, "", 392, 120, 90, 16},
    {P::kLink, C::kCheckBox, "Link", 84, 146, 60, 12},
    {0, C::kLabel, "Output 2", 18, 170, 60, 10},
    {P::kLevel2, C::kLevelSlider, "", 84, 164, 300, 22},
    {P::kLevel2Text, C::kLabel, "", 392, 166, 90, 16},
    {0, C::kLabel, "Channel 1", 18, 200, 60, 10},
    {P::kAssign1, C::kDropList, "", 84, 198, 120, 14},
    {0, C::kLabel, "Channel 2", 230, 200, 60, 10},
    {P::kAssign2, C::kDropList, "", 296, 198, 120, 14},
    {common::kStatusLine, C::kLabel, "", 8, 236, 292, 14},
    {0, C::kLine, "", 8, 362, 584, 2},
    {common::kDefault, C::kButton, "Default Settings", 332, 372, 84, 16},
    {common::kRead, C::kButton, "Read Settings", 420, 372, 84, 16},
    {common::kWrite, C::kButton, "Write Settings", 508, 372, 84, 16},
};
constexpr DialogTemplate kDialog{P::kIdd, "TWR310", 600, 398, kControls};

}  // namespace

CPropertyTWR310i::CPropertyTWR310i(PageSite& site, QWidget* parent)
    : CMRXPropertyPage(kDialog, site, parent),
      levels_(*this, {kLevel1, kLevel1Text, kLevel2, kLevel2Text, kLink}, Img::kLevel1Field) {}

bool CPropertyTWR310i::OnInitDialog() {
  if (!CMRXPropertyPage::OnInitDialog()) return false;
  for (int id : {kName, common::kSerial, common::kDelivery}) MarkDirtyOnChange(id);
  levels_.Attach([this] { SetModified(); });
  for (int id : {kAssign1, kAssign2}) {
    connect(Get<QComboBox>(id), &QComboBox::activated, this, [this] {
      SetModified();
      SendAssignments();
    });
  }
  auto click = [this](int id, auto handler) {
    connect(Get<QPushButton>(id), &QPushButton::clicked, this, handler);
  };
  // The running card follows what the tab shows after a read or a reset.
  click(common::kRead, [this] {
    ReadSettings(1, true);
    levels_.SendLevels();
  });
  click(common::kDefault, [this] {
    DefaultSettings();
    levels_.SendLevels();
  });
  click(common::kWrite, [this] { WriteSettings(1); });
  return true;
}

bool CPropertyTWR310i::OnSetActive() {
  // The KLF310's channel names may have changed on its own tab.
  FillChannelList(Get<QComboBox>(kAssign1));
  FillChannelList(Get<QComboBox>(kAssign2));
  return CMRXPropertyPage::OnSetActive();
}

int CPropertyTWR310i::UpdateControls() {
  if (!HasWindow()) return 0;
  card::ShowIdentity(*this);
  const auto held = card::Held(*this);
  Get<QLineEdit>(kName)->setText(QString::fromStdString(card::NameAt(held, Img::kName)));
  levels_.Show(card::I16(held, Img::kLevel1), card::I16(held, Img::kLevel2));
  card::ShowAssignment(*this, kAssign1, card::U16(held, Img::kAssign1));
  card::ShowAssignment(*this, kAssign2, card::U16(held, Img::kAssign2));
  ReadStatus();
  return CMRXPropertyPage::UpdateControls();
}

void CPropertyTWR310i::UpdateImage() {
  if (!HasWindow()) return;
  CMRXPropertyPage::UpdateImage();
  card::TakeIdentity(*this);
  const auto held = card::Held(*this);
  card::PutNameZeroed(held, Img::kName, Get<QLineEdit>(kName)->text().toStdString());
  card::PutI16(held, Img::kLevel1, static_cast<std::int16_t>(levels_.Level1()));
  card::PutI16(held, Img::kLevel2, static_cast<std::int16_t>(levels_.Level2()));
  card::PutU16(held, Img::kAssign1, card::Assignment(*this, kAssign1, Img::kAssign1));
  card::PutU16(held, Img::kAssign2, card::Assignment(*this, kAssign2, Img::kAssign2));
}

void CPropertyTWR310i::SendAssignments() {
  SetLiveWords(card::Assignment(*this, kAssign1, Img::kAssign1),
               card::Assignment(*this, kAssign2, Img::kAssign2), 0, 0);
}

}  // namespace desktop::pages
