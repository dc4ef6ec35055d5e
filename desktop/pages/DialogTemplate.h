#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

namespace desktop::pages {

// What a control of a dialog template becomes.
enum class ControlKind : std::uint8_t {
  kLabel,        // static text, left aligned
  kLabelCentre,  // static text, centred
  kLabelRight,   // static text, right aligned
  kGroup,        // group box around other controls
  kLine,         // horizontal etched line
  kPicture,      // picture static
  kEdit,
  kButton,
  kCheckBox,
  kRadio,     // radio button; the page keeps one of a group checked
  kDropList,  // drop-down list with fixed items
  kDatePicker,
  kProgress,
  kSlider,       // horizontal trackbar
  kLevelSlider,  // horizontal trackbar of class CmySliderCtrl
  kScrollBar,    // horizontal scroll bar
  kComboEdit,    // drop-down combo box with an edit field
  kNumberEdit,   // numeric edit field of class CEditCtrl
};

// One control of a dialog: its id (0 for decoration nobody looks up), kind,
// caption, position and size in dialog units, and the fixed items of a list.
struct ControlTemplate {
  int id;
  ControlKind kind;
  std::string_view caption;
  int x, y, w, h;
  std::span<const std::string_view> items = {};
  int maxLength = 0;  // edits: most characters, 0 = no limit
};

// A dialog resource: the page's caption, size in dialog units, and controls in
// tab order.
struct DialogTemplate {
  int id;
  std::string_view caption;
  int w, h;
  std::span<const ControlTemplate> controls;
};

}  // namespace desktop::pages
