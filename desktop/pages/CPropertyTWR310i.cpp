#include "desktop/pages/CPropertyTWR310i.h"

#include "desktop/pages/CardFields.h"
#include "protocol/unit/Twr310iImage.h"

namespace desktop::pages {

namespace {

using C = ControlKind;
using P = CPropertyTWR310i;
using Img = protocol::unit::Twr310iImage;

// Dialog 113: the levels and channels below the identity.
constexpr ControlTemplate kOwn[] = {
    {0, C::kGroup, "Offset, Delay && Channel Settings", 8, 76, 584, 150},
    {0, C::kLabel, "Name", 18, 96, 60, 10},
    {P::kName, C::kEdit, "", 84, 94, 120, 13, {}, card::kNameChars},
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
};
constexpr auto kControls = card::Controls(kOwn, 236);
constexpr DialogTemplate kDialog = card::Dialog(P::kIdd, "TWR310", kControls);

constexpr card::Assignments kChannels{P::kAssign1, P::kAssign2, Img::kAssign1, Img::kAssign2};

}  // namespace

CPropertyTWR310i::CPropertyTWR310i(PageSite& site, QWidget* parent)
    : CardPage(kDialog, site, parent),
      levels_(*this, {kLevel1, kLevel1Text, kLevel2, kLevel2Text, kLink}, Img::kLevel1Field) {}

void CPropertyTWR310i::InitCard() {
  MarkDirtyOnChange(kName);
  levels_.Attach([this] { SetModified(); });
  AttachAssignments(kChannels);
}

bool CPropertyTWR310i::OnSetActive() {
  FillAssignments(kChannels);
  return CardPage::OnSetActive();
}

void CPropertyTWR310i::ShowCard(std::span<std::uint8_t> held) {
  ShowName(kName, held, Img::kName);
  levels_.Show(card::I16(held, Img::kLevel1), card::I16(held, Img::kLevel2));
  ShowAssignments(kChannels, held);
}

void CPropertyTWR310i::TakeCard(std::span<std::uint8_t> held) {
  TakeName(kName, held, Img::kName);
  card::PutI16(held, Img::kLevel1, static_cast<std::int16_t>(levels_.Level1()));
  card::PutI16(held, Img::kLevel2, static_cast<std::int16_t>(levels_.Level2()));
  TakeAssignments(kChannels, held);
}

// The running card follows what the tab shows after a read or a reset.
void CPropertyTWR310i::Shown() {
  levels_.SendLevels();
}

}  // namespace desktop::pages
