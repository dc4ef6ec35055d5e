#include "desktop/pages/CPropertyYOR310.h"

#include "desktop/pages/CardFields.h"
#include "protocol/unit/Yor310Image.h"

namespace desktop::pages {

namespace {

using C = ControlKind;
using P = CPropertyYOR310;
using Img = protocol::unit::Yor310Image;

// Dialog 115: name and offsets below the identity.
constexpr ControlTemplate kOwn[] = {
    {0, C::kGroup, "Offset", 8, 76, 584, 124},
    {0, C::kLabel, "Name", 18, 96, 60, 10},
    {P::kName, C::kEdit, "", 84, 94, 120, 13, {}, card::kNameChars},
    {0, C::kLabel, "Offset 1", 18, 124, 60, 10},
    {P::kOffset1, C::kLevelSlider, "", 84, 118, 300, 22},
    {P::kOffset1Text, C::kLabel, "", 392, 120, 90, 16},
    {P::kLink, C::kCheckBox, "Link", 84, 146, 60, 12},
    {0, C::kLabel, "Offset 2", 18, 170, 60, 10},
    {P::kOffset2, C::kLevelSlider, "", 84, 164, 300, 22},
    {P::kOffset2Text, C::kLabel, "", 392, 166, 90, 16},
};
constexpr auto kControls = card::Controls(kOwn, 210);
constexpr DialogTemplate kDialog = card::Dialog(P::kIdd, "YOR310", kControls);

}  // namespace

CPropertyYOR310::CPropertyYOR310(PageSite& site, QWidget* parent)
    : CardPage(kDialog, site, parent),
      offsets_(*this, {kOffset1, kOffset1Text, kOffset2, kOffset2Text, kLink}, Img::kOffset1Field) {
}

void CPropertyYOR310::InitCard() {
  MarkDirtyOnChange(kName);
  offsets_.Attach({});
}

void CPropertyYOR310::ShowCard(std::span<std::uint8_t> held) {
  ShowName(kName, held, Img::kName);
  offsets_.Show(card::I16(held, Img::kOffset1), card::I16(held, Img::kOffset2));
}

void CPropertyYOR310::TakeCard(std::span<std::uint8_t> held) {
  TakeName(kName, held, Img::kName);
  card::PutI16(held, Img::kOffset1, static_cast<std::int16_t>(offsets_.Level1()));
  card::PutI16(held, Img::kOffset2, static_cast<std::int16_t>(offsets_.Level2()));
}

// The running card follows what the tab shows after a read or a reset.
void CPropertyYOR310::Shown() {
  offsets_.SendLevels();
}

}  // namespace desktop::pages
