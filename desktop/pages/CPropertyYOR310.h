#pragma once

#include "desktop/pages/CardPage.h"
#include "desktop/pages/LinkedSliders.h"

namespace desktop::pages {

// The tab of the YOR310 card: its name and two offset levels that the running
// card follows while a slider moves. Moving a slider alone leaves nothing to
// save: the card already plays the new offset.
class CPropertyYOR310 : public CardPage {
 public:
  static constexpr int kIdd = 115;
  static constexpr int kName = 1044;
  static constexpr int kOffset1 = 1104;
  static constexpr int kOffset1Text = 1102;
  static constexpr int kOffset2 = 1105;
  static constexpr int kOffset2Text = 1106;
  static constexpr int kLink = 1063;

  explicit CPropertyYOR310(PageSite& site, QWidget* parent = nullptr);

  const char* GetRuntimeClassName() const override { return "CPropertyYOR310"; }

 protected:
  void InitCard() override;
  void ShowCard(std::span<std::uint8_t> held) override;
  void TakeCard(std::span<std::uint8_t> held) override;
  void Shown() override;

 private:
  LinkedSliders offsets_;
};

}  // namespace desktop::pages
