#include "desktop/pages/CPropertyHEJ520.h"

#include <QCheckBox>

#include "desktop/pages/CardFields.h"
#include "protocol/unit/Hej520Image.h"

namespace desktop::pages {

namespace {

using C = ControlKind;
using P = CPropertyHEJ520;
using Img = protocol::unit::Hej520Image;

constexpr int Row(int i) {
  return 112 + 18 * i;
}

// Dialog 106: the inputs on the left, rate and channels on the right, below the identity.
constexpr ControlTemplate kOwn[] = {
    {0, C::kGroup, "Input", 8, 76, 292, 96},
    {P::kEnableColumn, C::kButton, "Enable", 18, 90, 70, 14},
    {P::kCdColumn, C::kButton, "CD", 96, 90, 30, 14},
    {P::kEnable[0], C::kCheckBox, "1: AES", 18, Row(0), 74, 12},
    {P::kCd[0], C::kCheckBox, "CD", 96, Row(0), 34, 12},
    {P::kName[0], C::kEdit, "", 136, Row(0) - 1, 120, 13, {}, card::kNameChars},
    {P::kEnable[1], C::kCheckBox, "2: S/PDIF", 18, Row(1), 74, 12},
    {P::kCd[1], C::kCheckBox, "CD", 96, Row(1), 34, 12},
    {P::kName[1], C::kEdit, "", 136, Row(1) - 1, 120, 13, {}, card::kNameChars},
    {P::kEnable[2], C::kCheckBox, "3: Toslink", 18, Row(2), 74, 12},
    {P::kCd[2], C::kCheckBox, "CD", 96, Row(2), 34, 12},
    {P::kName[2], C::kEdit, "", 136, Row(2) - 1, 120, 13, {}, card::kNameChars},
    {0, C::kGroup, "Outut Data Rate && Channel Settings", 308, 76, 284, 124},
    {P::kRate[0], C::kCheckBox, "44.1kHz/24bit", 318, 94, 90, 12},
    {P::kRate[1], C::kCheckBox, "48kHz/24bit", 318, 112, 90, 12},
    {P::kRate[2], C::kCheckBox, "96kHz/24bit", 318, 130, 90, 12},
    {0, C::kLabel, "Channel 1", 318, 156, 60, 10},
    {P::kAssign1, C::kDropList, "", 384, 154, 120, 14},
    {0, C::kLabel, "Channel 2", 318, 176, 60, 10},
    {P::kAssign2, C::kDropList, "", 384, 174, 120, 14},
};
constexpr auto kControls = card::Controls(kOwn, 210);
constexpr DialogTemplate kDialog = card::Dialog(P::kIdd, "HEJ520", kControls);

constexpr card::Inputs kInputs{P::kEnable,    P::kCd,   P::kName,         Img::kFirstName,
                               Img::kDisable, Img::kCd, P::kEnableColumn, P::kCdColumn};
constexpr card::Assignments kChannels{P::kAssign1, P::kAssign2, Img::kAssign1, Img::kAssign2};

}  // namespace

CPropertyHEJ520::CPropertyHEJ520(PageSite& site, QWidget* parent)
    : CardPage(kDialog, site, parent) {}

void CPropertyHEJ520::InitCard() {
  AttachInputs(kInputs);
  for (int id : kRate) {
    // One rate at a time; the clicked box keeps what the click made it.
    OnClick(id, [this, id] {
      for (int other : kRate) {
        if (other != id) Get<QCheckBox>(other)->setChecked(false);
      }
      SetModified();
    });
  }
  AttachAssignments(kChannels);
}

bool CPropertyHEJ520::OnSetActive() {
  FillAssignments(kChannels);
  return CardPage::OnSetActive();
}

void CPropertyHEJ520::ShowCard(std::span<std::uint8_t> held) {
  ShowInputs(kInputs, held);
  ShowAssignments(kChannels, held);
  const std::uint8_t rate = card::U8(held, Img::kRate);
  for (std::size_t r = 0; r < std::size(kRate); ++r)
    Get<QCheckBox>(kRate[r])->setChecked(rate == r);
}

void CPropertyHEJ520::TakeCard(std::span<std::uint8_t> held) {
  card::Zero(held, Img::kFirstName, Img::kAssign1);
  TakeInputs(kInputs, held);
  TakeAssignments(kChannels, held);
  std::uint8_t rate = 0;  // none checked stores 44.1 kHz
  for (std::size_t r = 0; r < std::size(kRate); ++r) {
    if (Get<QCheckBox>(kRate[r])->isChecked()) rate = static_cast<std::uint8_t>(r);
  }
  card::PutU8(held, Img::kRate, rate);
}

}  // namespace desktop::pages
