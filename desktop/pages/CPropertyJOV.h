#pragma once

#include "desktop/pages/CardPage.h"

namespace desktop::pages {

// The tab of the JOV520 drive card: its name and the brightness of the blue
// LED on the front, which the card shows while the slider moves.
class CPropertyJOV : public CardPage {
 public:
  static constexpr int kIdd = 114;
  static constexpr int kName = 1044;
  static constexpr int kBrightness = 1006;

  explicit CPropertyJOV(PageSite& site, QWidget* parent = nullptr);

  const char* GetRuntimeClassName() const override { return "CPropertyJOV"; }

 protected:
  void InitCard() override;
  void ShowCard(std::span<std::uint8_t> held) override;
  void TakeCard(std::span<std::uint8_t> held) override;

 private:
  bool showing_ = false;
};

}  // namespace desktop::pages
