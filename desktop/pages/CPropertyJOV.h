#pragma once

#include "desktop/pages/CMRXPropertyPage.h"

namespace desktop::pages {

// The tab of the JOV520 drive card: its name and the brightness of the blue
// LED on the front, which the card shows while the slider moves.
class CPropertyJOV : public CMRXPropertyPage {
 public:
  static constexpr int kIdd = 114;
  static constexpr int kName = 1044;
  static constexpr int kBrightness = 1006;

  explicit CPropertyJOV(PageSite& site, QWidget* parent = nullptr);

  const char* GetRuntimeClassName() const override { return "CPropertyJOV"; }

  int UpdateControls() override;
  void UpdateImage() override;

 protected:
  bool OnInitDialog() override;

 private:
  bool showing_ = false;
};

}  // namespace desktop::pages
