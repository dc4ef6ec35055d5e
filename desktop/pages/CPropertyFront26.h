#pragma once

#include <filesystem>
#include <optional>

#include "desktop/pages/CMRXPropertyPage.h"
#include "desktop/unitlink/DisplayPicture.h"
#include "protocol/unit/DisplayLevels.h"

class QLabel;

namespace desktop::pages {

// The front panel's tab: the unit's eight display and indicator settings as
// sliders, each sent to the unit as it moves, and a picture of what the
// display shows that can be saved as an image file. It keeps no settings image.
class CPropertyFront26 : public CMRXPropertyPage {
 public:
  static constexpr int kIdd = 109;
  static constexpr int kBrightnessOn = 1011;
  static constexpr int kBrightnessOff = 1015;
  static constexpr int kBrightnessAlternate = 1094;
  static constexpr int kContrast = 1016;
  static constexpr int kPeakmeterDelay = 1019;
  static constexpr int kLedTWR520 = 1095;
  static constexpr int kLedZEL520Front = 1018;
  static constexpr int kLedZEL520Rear = 1020;
  static constexpr int kPicture = 1007;
  static constexpr int kScreenshot = 1008;
  static constexpr int kSaveScreen = 1009;

  // A slider and the setting of the command 33 reply it shows and sets.
  struct Slider {
    int id;
    protocol::unit::DisplaySetting setting;
  };
  static const Slider kSliders[protocol::unit::DisplayLevels::kCount];

  explicit CPropertyFront26(PageSite& site, QWidget* parent = nullptr);
  const char* GetRuntimeClassName() const override { return "CPropertyFront26"; }

  int UpdateControls() override;
  // Reads the display row by row into the picture; a row the unit does not
  // answer ends the reading and keeps what the picture held there.
  void Screenshot();
  // Saves the picture in the format of the path's extension; nothing is
  // written for an extension no encoder claims.
  bool SaveScreen(const std::filesystem::path& path) const;
  const unitlink::DisplayPicture& Picture() const { return picture_; }

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(bool saveAndValidate) override;
  // The save dialog of "Save Screen"; nothing when the user cancels.
  virtual std::optional<std::filesystem::path> AskSavePath();

 private:
  void OnSliderMoved(const Slider& slider);
  void ShowPicture();

  unitlink::DisplayPicture picture_;
};

}  // namespace desktop::pages
