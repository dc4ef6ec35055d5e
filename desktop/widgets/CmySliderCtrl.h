#pragma once

#include <QSlider>

namespace desktop::widgets {

// The level slider of the card tabs: a horizontal trackbar with its ticks
// below. It adds no behaviour, so a page treats it as any slider.
class CmySliderCtrl : public QSlider {
 public:
  explicit CmySliderCtrl(QWidget* parent = nullptr);
};

}  // namespace desktop::widgets
