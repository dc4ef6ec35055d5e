#include "desktop/pages/CPropertyJOV.h"

#include <QSlider>
#include <algorithm>

#include "desktop/pages/CardFields.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "protocol/unit/Jov520Image.h"

namespace desktop::pages {

namespace {

using C = ControlKind;
using P = CPropertyJOV;
using Img = protocol::unit::Jov520Image;
constexpr const protocol::unit::FieldRow& kLed = Img::kLedBrightnessField;

// Dialog 114: name and LED below the identity.
constexpr ControlTemplate kOwn[] = {
    {0, C::kLabel, "Name", 18, 84, 60, 10},
    {P::kName, C::kEdit, "", 84, 82, 120, 13, {}, card::kNameChars},
    {0, C::kGroup, "Front - Blue LED", 8, 106, 292, 50},
    {0, C::kLabel, "Off", 18, 128, 20, 10},
    {P::kBrightness, C::kSlider, "", 40, 122, 220, 22},
    {0, C::kLabel, "Max", 266, 128, 24, 10},
};
constexpr auto kControls = card::Controls(kOwn, 166);
constexpr DialogTemplate kDialog = card::Dialog(P::kIdd, "JOV520", kControls);

}  // namespace

CPropertyJOV::CPropertyJOV(PageSite& site, QWidget* parent) : CardPage(kDialog, site, parent) {}

void CPropertyJOV::InitCard() {
  MarkDirtyOnChange(kName);
  auto* slider = Get<QSlider>(kBrightness);
  slider->setRange(kLed.min, kLed.max);
  slider->setTickInterval(10);
  connect(slider, &QSlider::valueChanged, this, [this](int value) {
    if (showing_) return;
    unitlink::theTiroUSB.SetJovValue(Address(), static_cast<std::uint8_t>(value));
    SetModified();
  });
}

void CPropertyJOV::ShowCard(std::span<std::uint8_t> held) {
  ShowName(kName, held, Img::kName);
  showing_ = true;
  Get<QSlider>(kBrightness)->setValue(std::min(int{card::U8(held, Img::kLedBrightness)}, kLed.max));
  showing_ = false;
}

void CPropertyJOV::TakeCard(std::span<std::uint8_t> held) {
  TakeName(kName, held, Img::kName);
  const int brightness = std::clamp(Get<QSlider>(kBrightness)->value(), kLed.min, kLed.max);
  card::PutU8(held, Img::kLedBrightness, static_cast<std::uint8_t>(brightness));
}

}  // namespace desktop::pages
