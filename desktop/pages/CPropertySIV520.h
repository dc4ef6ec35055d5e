#pragma once

#include "desktop/pages/CardPage.h"

namespace desktop::pages {

// The tab of the SIV520 digital input card: eight inputs, each with its
// switch, "CD" flag and name, and a button per column that switches it whole.
class CPropertySIV520 : public CardPage {
 public:
  static constexpr int kIdd = 105;
  static constexpr int kEnable[] = {1015, 1027, 1018, 1039, 1021, 1042, 1024, 1045};
  static constexpr int kCd[] = {1017, 1029, 1020, 1041, 1023, 1044, 1026, 1047};
  static constexpr int kName[] = {1016, 1028, 1019, 1040, 1022, 1043, 1025, 1046};
  static constexpr int kEnableColumn = 1030;
  static constexpr int kCdColumn = 1031;

  explicit CPropertySIV520(PageSite& site, QWidget* parent = nullptr);

  const char* GetRuntimeClassName() const override { return "CPropertySIV520"; }

 protected:
  void InitCard() override;
  void ShowCard(std::span<std::uint8_t> held) override;
  void TakeCard(std::span<std::uint8_t> held) override;
};

}  // namespace desktop::pages
