#pragma once

#include "desktop/pages/CardPage.h"

namespace desktop::pages {

// The tab of the HEJ520 digital input card: three inputs (switch, "CD" flag,
// name), the output data rate and two channel assignments, which reach the
// running card as soon as they are picked.
class CPropertyHEJ520 : public CardPage {
 public:
  static constexpr int kIdd = 106;
  static constexpr int kEnable[] = {1032, 1036, 1037};
  static constexpr int kCd[] = {1038, 1039, 1040};
  static constexpr int kName[] = {1041, 1042, 1043};
  static constexpr int kEnableColumn = 1030;
  static constexpr int kCdColumn = 1031;
  static constexpr int kAssign1 = 1034;
  static constexpr int kAssign2 = 1029;
  // Rate boxes in the order of their value in the image: 44.1, 48, 96 kHz.
  static constexpr int kRate[] = {1046, 1044, 1045};

  explicit CPropertyHEJ520(PageSite& site, QWidget* parent = nullptr);

  const char* GetRuntimeClassName() const override { return "CPropertyHEJ520"; }

  bool OnSetActive() override;

 protected:
  void InitCard() override;
  void ShowCard(std::span<std::uint8_t> held) override;
  void TakeCard(std::span<std::uint8_t> held) override;
};

}  // namespace desktop::pages
