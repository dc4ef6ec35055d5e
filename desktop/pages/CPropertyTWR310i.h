#pragma once

#include "desktop/pages/CardPage.h"
#include "desktop/pages/LinkedSliders.h"

namespace desktop::pages {

// The tab of the TWR310i output card: its name, two output levels that the
// running card follows while a slider moves, and two channel assignments.
class CPropertyTWR310i : public CardPage {
 public:
  static constexpr int kIdd = 113;
  static constexpr int kName = 1044;
  static constexpr int kLevel1 = 1081;
  static constexpr int kLevel1Text = 1082;
  static constexpr int kLevel2 = 1083;
  static constexpr int kLevel2Text = 1084;
  static constexpr int kLink = 1063;
  static constexpr int kAssign1 = 1034;
  static constexpr int kAssign2 = 1029;

  explicit CPropertyTWR310i(PageSite& site, QWidget* parent = nullptr);

  const char* GetRuntimeClassName() const override { return "CPropertyTWR310i"; }

  bool OnSetActive() override;

 protected:
  void InitCard() override;
  void ShowCard(std::span<std::uint8_t> held) override;
  void TakeCard(std::span<std::uint8_t> held) override;
  void Shown() override;

 private:
  LinkedSliders levels_;
};

}  // namespace desktop::pages
