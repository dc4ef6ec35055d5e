#include "desktop/widgets/CmySliderCtrl.h"

namespace desktop::widgets {

CmySliderCtrl::CmySliderCtrl(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setTickPosition(QSlider::TicksBelow);
}

}  // namespace desktop::widgets
