#include "desktop/pages/CPropertyHEJ520.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "desktop/pages/CardFields.h"
#include "protocol/unit/Hej520Image.h"
#include "protocol/unit/SettingsImage.h"

namespace desktop::pages {

namespace {

namespace pu = protocol::unit;
using C = ControlKind;
using P = CPropertyHEJ520;
using Img = pu::Hej520Image;
constexpr int kNameChars = pu::SettingsImage::kNameSize - 1;

constexpr int Row(int i) {
  return 112 + 18 * i;
}

// Dialog 106: identity on top, the inputs on the left, rate and channels on the right.
constexpr ControlTemplate kControls[] = {
    {0, C::kGroup, "Module", 8, 6, 292, 60},
    {0, C::kLabel, "SNR", 18, 24, 72, 10},
    {common::kSerial, C::kEdit, "", 96, 22, 50, 13, {}, 4},
    {0, C::kLabel, "Delivery", 18, 44, 72, 10},
    {common::kDelivery, C::kDatePicker, "", 96, 42, 150, 13},
    {0, C::kGroup, "Input", 8, 76, 292, 96},
    {P::kEnableColumn, C::kButton, "Enable", 18, 90, 70, 14},
    {P::kCdColumn, C::kButton, "CD", 96, 90, 30, 14},
    {P::kEnable[0], C::kCheckBox, "1: AES", 18, Row(0), 74, 12},
    {P::kCd[0], C::kCheckBox, "CD", 96, Row(0), 34, 12},
    {P::kName[0], C::kEdit, "", 136, Row(0) - 1, 120, 13, {}, kNameChars},
    {P::kEnable[1], C::kCheckBox, "2: S/PDIF", 18, Row(1), 74, 12},
    {P::kCd[1], C::kCheckBox, "CD", 96, Row(1), 34, 12},
    {P::kName[1], C::kEdit, "", 136, Row(1) - 1, 120, 13, {}, kNameChars},
    {P::kEnable[2], C::kCheckBox, "3: Toslink", 18, Row(2), 74, 12},
    {P::kCd[2], C::kCheckBox, "CD", 96, Row(2), 34, 12},
    {P::kName[2], C::kEdit, "", 136, Row(2) - 1, 120, 13, {}, kNameChars},
    {0, C::kGroup, "Outut Data Rate && Channel Settings", 308, 76, 284, 124},
    {P::kRate[0], C::kCheckBox, "44.1kHz/24bit", 318, 94, 90, 12},
    {P::kRate[1], C::kCheckBox, "48kHz/24bit", 318, 112, 90, 12},
    {P::kRate[2], C::kCheckBox, "96kHz/24bit", 318, 130, 90, 12},
    {0, C::kLabel, "Channel 1", 318, 156, 60, 10},
    {P::kAssign1, C::kDropList, "", 384, 154, 120, 14},
    {0, C::kLabel, "Channel 2", 318, 176, 60, 10},
    {P::kAssign2, C::kDropList, "", 384, 174, 120, 14},
    {common::kStatusLine, C::kLabel, "", 8, 210, 292, 14},
    {0, C::kLine, "", 8, 362, 584, 2},
    {common::kDefault, C::kButton, "Default Settings", 332, 372, 84, 16},
    {common::kRead, C::kButton, "Read Settings", 420, 372, 84, 16},
    {common::kWrite, C::kButton, "Write Settings", 508, 372, 84, 16},
};
constexpr DialogTemplate kDialog{P::kIdd, "HEJ520", 600, 398, kControls};

}  // namespace

CPropertyHEJ520::CPropertyHEJ520(PageSite& site, QWidget* parent)
    : CMRXPropertyPage(kDialog, site, parent) {}

bool CPropertyHEJ520::OnInitDialog() {
  if (!CMRXPropertyPage::OnInitDialog()) return false;
  for (std::size_t i = 0; i < Img::kInputCount; ++i) {
    for (int id : {kEnable[i], kCd[i], kName[i]}) MarkDirtyOnChange(id);
  }
  for (int id : {common::kSerial, common::kDelivery}) MarkDirtyOnChange(id);
  auto click = [this](int id, auto handler) {
    connect(Get<QAbstractButton>(id), &QAbstractButton::clicked, this, handler);
  };
  for (int id : kRate) {
    // One rate at a time; the clicked box keeps what the click made it.
    click(id, [this, id] {
      for (int other : kRate) {
        if (other != id) Get<QCheckBox>(other)->setChecked(false);
      }
      SetModified();
    });
  }
  for (int id : {kAssign1, kAssign2}) {
    connect(Get<QComboBox>(id), &QComboBox::activated, this, [this] {
      SetModified();
      SendAssignments();
    });
  }
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

bool CPropertyHEJ520::OnSetActive() {
  // The KLF310's channel names may have changed on its own tab.
  FillChannelList(Get<QComboBox>(kAssign1));
  FillChannelList(Get<QComboBox>(kAssign2));
  return CMRXPropertyPage::OnSetActive();
}

int CPropertyHEJ520::UpdateControls() {
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
  card::ShowAssignment(*this, kAssign1, card::U16(held, Img::kAssign1));
  card::ShowAssignment(*this, kAssign2, card::U16(held, Img::kAssign2));
  const std::uint8_t rate = card::U8(held, Img::kRate);
  for (std::size_t r = 0; r < std::size(kRate); ++r)
    Get<QCheckBox>(kRate[r])->setChecked(rate == r);
  ReadStatus();
  return CMRXPropertyPage::UpdateControls();
}

void CPropertyHEJ520::UpdateImage() {
  if (!HasWindow()) return;
  CMRXPropertyPage::UpdateImage();
  card::TakeIdentity(*this);
  const auto held = card::Held(*this);
  card::Zero(held, Img::kFirstName, Img::kAssign1);
  for (std::size_t i = 0; i < Img::kInputCount; ++i) {
    const auto bit = static_cast<unsigned>(i);
    card::PutNameTerminated(held, Img::NameOffset(i),
                            Get<QLineEdit>(kName[i])->text().toStdString());
    card::SetBit(held, Img::kDisable, bit, !Get<QCheckBox>(kEnable[i])->isChecked());
    card::SetBit(held, Img::kCd, bit, Get<QCheckBox>(kCd[i])->isChecked());
  }
  card::PutU16(held, Img::kAssign1, card::Assignment(*this, kAssign1, Img::kAssign1));
  card::PutU16(held, Img::kAssign2, card::Assignment(*this, kAssign2, Img::kAssign2));
  std::uint8_t rate = 0;  // none checked stores 44.1 kHz
  for (std::size_t r = 0; r < std::size(kRate); ++r) {
    if (Get<QCheckBox>(kRate[r])->isChecked()) rate = static_cast<std::uint8_t>(r);
  }
  card::PutU8(held, Img::kRate, rate);
}

void CPropertyHEJ520::SendAssignments() {
  SetLiveWords(card::Assignment(*this, kAssign1, Img::kAssign1),
               card::Assignment(*this, kAssign2, Img::kAssign2), 0, 0);
}

}  // namespace desktop::pages
