#include "desktop/pages/CPropertyNVO310.h"

#include <QCheckBox>
#include <QRadioButton>

#include "desktop/pages/CardFields.h"
#include "protocol/unit/Nvo310Image.h"

namespace desktop::pages {

namespace {

using C = ControlKind;
using P = CPropertyNVO310;
using Img = protocol::unit::Nvo310Image;

// The "Active" button of each group and the group value it stands for.
struct ActiveButton {
  int id;
  std::uint8_t group;
};
constexpr ActiveButton kActive[] = {{P::kActiveStereo, Img::kGroupStereo},
                                    {P::kActiveMc51, Img::kGroupMc51},
                                    {P::kActiveMc71, Img::kGroupMc71}};

// Dialog 112: the three input groups below the identity.
constexpr ControlTemplate kOwn[] = {
    {0, C::kGroup, "Stereo", 8, 76, 292, 110},
    {P::kEnable[0], C::kCheckBox, "1: Stereo", 18, 94, 70, 12},
    {P::kName[0], C::kEdit, "", 96, 93, 120, 13, {}, card::kNameChars},
    {P::kEnable[1], C::kCheckBox, "2: Stereo", 18, 114, 70, 12},
    {P::kName[1], C::kEdit, "", 96, 113, 120, 13, {}, card::kNameChars},
    {P::kEnable[2], C::kCheckBox, "3: Stereo", 18, 134, 70, 12},
    {P::kName[2], C::kEdit, "", 96, 133, 120, 13, {}, card::kNameChars},
    {P::kEnable[3], C::kCheckBox, "4: Stereo", 18, 154, 70, 12},
    {P::kName[3], C::kEdit, "", 96, 153, 120, 13, {}, card::kNameChars},
    {P::kActiveStereo, C::kRadio, "Active", 230, 94, 60, 12},
    {0, C::kGroup, "Multichannel 5.1 + Stereo", 308, 76, 284, 56},
    {P::kEnable[4], C::kCheckBox, "1: MC5.1", 318, 94, 70, 12},
    {P::kName[4], C::kEdit, "", 396, 93, 120, 13, {}, card::kNameChars},
    {P::kEnable[5], C::kCheckBox, "2: Stereo", 318, 114, 70, 12},
    {P::kName[5], C::kEdit, "", 396, 113, 120, 13, {}, card::kNameChars},
    {P::kActiveMc51, C::kRadio, "Active", 526, 94, 60, 12},
    {0, C::kGroup, "Multichannel 7.1", 308, 140, 284, 46},
    {P::kEnable[6], C::kCheckBox, "1: MC7.1", 318, 160, 70, 12},
    {P::kName[6], C::kEdit, "", 396, 159, 120, 13, {}, card::kNameChars},
    {P::kActiveMc71, C::kRadio, "Active", 526, 160, 60, 12},
    {P::kHighPass, C::kCheckBox, "High pass filter 1Hz/-3dB", 18, 200, 200, 12},
};
constexpr auto kControls = card::Controls(kOwn, 236);
constexpr DialogTemplate kDialog = card::Dialog(P::kIdd, "NVO310", kControls);

// No "CD" flags and no column buttons.
constexpr card::Inputs kInputs{P::kEnable, {}, P::kName, Img::kFirstName, Img::kDisable, 0};

}  // namespace

CPropertyNVO310::CPropertyNVO310(PageSite& site, QWidget* parent)
    : CardPage(kDialog, site, parent) {}

void CPropertyNVO310::InitCard() {
  AttachInputs(kInputs);
  MarkDirtyOnChange(kHighPass);
  for (const ActiveButton& a : kActive) {
    MarkDirtyOnChange(a.id);
    // One group plays at a time: choosing one clears the others.
    OnClick(a.id, [this, id = a.id] {
      for (const ActiveButton& other : kActive)
        Get<QRadioButton>(other.id)->setChecked(other.id == id);
    });
  }
}

void CPropertyNVO310::ShowCard(std::span<std::uint8_t> held) {
  ShowInputs(kInputs, held);
  const std::uint8_t flags = card::U8(held, Img::kFlags);
  Get<QCheckBox>(kHighPass)->setChecked((flags & Img::kHighPassBit) != 0);
  for (const ActiveButton& a : kActive) {
    Get<QRadioButton>(a.id)->setChecked((flags & Img::kGroupMask) == a.group);
  }
}

void CPropertyNVO310::TakeCard(std::span<std::uint8_t> held) {
  TakeInputs(kInputs, held);
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
