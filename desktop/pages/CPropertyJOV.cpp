#include "desktop/pages/CPropertyJOV.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <algorithm>

#include "desktop/pages/CardFields.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "protocol/unit/Jov520Image.h"
#include "protocol/unit/SettingsImage.h"

namespace desktop::pages {

namespace {

namespace pu = protocol::unit;
using C = ControlKind;
using P = CPropertyJOV;
using Img = pu::Jov520Image;
constexpr int kNameChars = pu::SettingsImage::kNameSize - 1;

// Dialog 114: identity on top, name and LED below it.
constexpr ControlTemplate kControls[] = {
    {0, C::kGroup, "Module", 8, 6, 292, 60},
    {0, C::kLabel, "SNR", 18, 24, 72, 10},
    {common::kSerial, C::kEdit, "", 96, 22, 50, 13, {}, 4},
    {0, C::kLabel, "Delivery", 18, 44, 72, 10},
    {common::kDelivery, C::kDatePicker, "", 96, 42, 150, 13},
    {0, C::kLabel, "Name", 18, 84, 60, 10},
    {P::kName, C::kEdit, "", 84, 82, 120, 13, {}, kNameChars},
    {0, C::kGroup, "Front - Blue LED", 8, 106, 292, 50},
    {0, C::kLabel, "Off", 18, 128, 20, 10},
    {P::kBrightness, C::kSlider, "", 40, 122, 220, 22},
    {0, C::kLabel, "Max", 266, 128, 24, 10},
    {common::kStatusLine, C::kLabel, "", 8, 166, 292, 14},
    {0, C::kLine, "", 8, 362, 584, 2},
    {common::kDefault, C::kButton, "Default Settings", 332, 372, 84, 16},
    {common::kRead, C::kButton, "Read Settings", 420, 372, 84, 16},
    {common::kWrite, C::kButton, "Write Settings", 508, 372, 84, 16},
};
constexpr DialogTemplate kDialog{P::kIdd, "JOV520", 600, 398, kControls};

}  // namespace

CPropertyJOV::CPropertyJOV(PageSite& site, QWidget* parent)
    : CMRXPropertyPage(kDialog, site, parent) {}

bool CPropertyJOV::OnInitDialog() {
  if (!CMRXPropertyPage::OnInitDialog()) return false;
  for (int id : {kName, common::kSerial, common::kDelivery}) MarkDirtyOnChange(id);
  auto* slider = Get<QSlider>(kBrightness);
  slider->setRange(Img::kLedBrightnessField.min, Img::kLedBrightnessField.max);
  slider->setTickInterval(10);
  connect(slider, &QSlider::valueChanged, this, [this](int value) {
    if (showing_) return;
    unitlink::theTiroUSB.SetJovValue(Address(), static_cast<std::uint8_t>(value));
    SetModified();
  });
  auto click = [this](int id, auto handler) {
    connect(Get<QPushButton>(id), &QPushButton::clicked, this, handler);
  };
  click(common::kRead, [this] { ReadSettings(1, true); });
  click(common::kWrite, [this] { WriteSettings(1); });
  click(common::kDefault, [this] { DefaultSettings(); });
  return true;
}

int CPropertyJOV::UpdateControls() {
  if (!HasWindow()) return 0;
  card::ShowIdentity(*this);
  const auto held = card::Held(*this);
  Get<QLineEdit>(kName)->setText(QString::fromStdString(card::NameAt(held, Img::kName)));
  showing_ = true;
  Get<QSlider>(kBrightness)
      ->setValue(std::min(int{card::U8(held, Img::kLedBrightness)}, Img::kLedBrightnessField.max));
  showing_ = false;
  ReadStatus();
  return CMRXPropertyPage::UpdateControls();
}

void CPropertyJOV::UpdateImage() {
  if (!HasWindow()) return;
  CMRXPropertyPage::UpdateImage();
  card::TakeIdentity(*this);
  const auto held = card::Held(*this);
  card::PutNameZeroed(held, Img::kName, Get<QLineEdit>(kName)->text().toStdString());
  const int brightness = std::clamp(Get<QSlider>(kBrightness)->value(),
                                    Img::kLedBrightnessField.min, Img::kLedBrightnessField.max);
  card::PutU8(held, Img::kLedBrightness, static_cast<std::uint8_t>(brightness));
}

}  // namespace desktop::pages
