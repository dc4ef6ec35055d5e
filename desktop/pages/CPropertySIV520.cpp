#include "desktop/pages/CPropertySIV520.h"

#include "desktop/pages/CardFields.h"
#include "protocol/unit/Siv520Image.h"

namespace desktop::pages {

namespace {

using C = ControlKind;
using P = CPropertySIV520;
using Img = protocol::unit::Siv520Image;

constexpr int Row(int i) {
  return 112 + 18 * i;
}

// Dialog 105: the eight inputs in one group below the identity.
constexpr ControlTemplate kOwn[] = {
    {0, C::kGroup, "Input", 8, 76, 292, 186},
    {P::kEnableColumn, C::kButton, "Enable", 18, 90, 70, 14},
    {P::kCdColumn, C::kButton, "CD", 96, 90, 30, 14},
    {P::kEnable[0], C::kCheckBox, "1: S/PDIF", 18, Row(0), 74, 12},
    {P::kCd[0], C::kCheckBox, "CD", 96, Row(0), 34, 12},
    {P::kName[0], C::kEdit, "", 136, Row(0) - 1, 120, 13, {}, card::kNameChars},
    {P::kEnable[1], C::kCheckBox, "2: Toslink", 18, Row(1), 74, 12},
    {P::kCd[1], C::kCheckBox, "CD", 96, Row(1), 34, 12},
    {P::kName[1], C::kEdit, "", 136, Row(1) - 1, 120, 13, {}, card::kNameChars},
    {P::kEnable[2], C::kCheckBox, "3: S/PDIF", 18, Row(2), 74, 12},
    {P::kCd[2], C::kCheckBox, "CD", 96, Row(2), 34, 12},
    {P::kName[2], C::kEdit, "", 136, Row(2) - 1, 120, 13, {}, card::kNameChars},
    {P::kEnable[3], C::kCheckBox, "4: Toslink", 18, Row(3), 74, 12},
    {P::kCd[3], C::kCheckBox, "CD", 96, Row(3), 34, 12},
    {P::kName[3], C::kEdit, "", 136, Row(3) - 1, 120, 13, {}, card::kNameChars},
    {P::kEnable[4], C::kCheckBox, "5: S/PDIF", 18, Row(4), 74, 12},
    {P::kCd[4], C::kCheckBox, "CD", 96, Row(4), 34, 12},
    {P::kName[4], C::kEdit, "", 136, Row(4) - 1, 120, 13, {}, card::kNameChars},
    {P::kEnable[5], C::kCheckBox, "6: Toslink", 18, Row(5), 74, 12},
    {P::kCd[5], C::kCheckBox, "CD", 96, Row(5), 34, 12},
    {P::kName[5], C::kEdit, "", 136, Row(5) - 1, 120, 13, {}, card::kNameChars},
    {P::kEnable[6], C::kCheckBox, "7: S/PDIF", 18, Row(6), 74, 12},
    {P::kCd[6], C::kCheckBox, "CD", 96, Row(6), 34, 12},
    {P::kName[6], C::kEdit, "", 136, Row(6) - 1, 120, 13, {}, card::kNameChars},
    {P::kEnable[7], C::kCheckBox, "8: Toslink", 18, Row(7), 74, 12},
    {P::kCd[7], C::kCheckBox, "CD", 96, Row(7), 34, 12},
    {P::kName[7], C::kEdit, "", 136, Row(7) - 1, 120, 13, {}, card::kNameChars},
};
constexpr auto kControls = card::Controls(kOwn, 270);
constexpr DialogTemplate kDialog = card::Dialog(P::kIdd, "SIV520", kControls);

constexpr card::Inputs kInputs{P::kEnable,    P::kCd,   P::kName,         Img::kFirstName,
                               Img::kDisable, Img::kCd, P::kEnableColumn, P::kCdColumn};

}  // namespace

CPropertySIV520::CPropertySIV520(PageSite& site, QWidget* parent)
    : CardPage(kDialog, site, parent) {}

void CPropertySIV520::InitCard() {
  AttachInputs(kInputs);
}

void CPropertySIV520::ShowCard(std::span<std::uint8_t> held) {
  ShowInputs(kInputs, held);
}

void CPropertySIV520::TakeCard(std::span<std::uint8_t> held) {
  card::Zero(held, Img::kFirstName, Img::kDisable);
  TakeInputs(kInputs, held);
}

}  // namespace desktop::pages
