#pragma once

#include <QSlider>

namespace remote::ui {

// The view's volume slider: a groove filled up to the volume and a round knob,
// drawn in the remote's own look.
class VolumeSlider final : public QSlider {
 public:
  explicit VolumeSlider(QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace remote::ui
