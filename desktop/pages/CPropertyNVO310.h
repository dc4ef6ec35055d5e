#pragma once

#include "desktop/pages/CardPage.h"

namespace desktop::pages {

// The tab of the NVO310 analogue input card: seven input names and switches
// in three groups, the group the card plays, and its high-pass filter.
class CPropertyNVO310 : public CardPage {
 public:
  static constexpr int kIdd = 112;
  // Switches of stereo inputs 1-4, the 5.1 input, its stereo input, the 7.1 input.
  static constexpr int kEnable[] = {1048, 1049, 1050, 1051, 1058, 1060, 1064};
  static constexpr int kName[] = {1052, 1053, 1054, 1055, 1059, 1061, 1065};
  static constexpr int kHighPass = 1062;
  static constexpr int kActiveStereo = 1069;
  static constexpr int kActiveMc51 = 1072;
  static constexpr int kActiveMc71 = 1071;

  explicit CPropertyNVO310(PageSite& site, QWidget* parent = nullptr);

  const char* GetRuntimeClassName() const override { return "CPropertyNVO310"; }

 protected:
  void InitCard() override;
  void ShowCard(std::span<std::uint8_t> held) override;
  void TakeCard(std::span<std::uint8_t> held) override;
};

}  // namespace desktop::pages
