#include "remote/ui/VolumeSlider.h"

#include <QPainter>

namespace remote::ui {

VolumeSlider::VolumeSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setFocusPolicy(Qt::NoFocus);
}

void VolumeSlider::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const double knob = height() - 4.0;
  const double left = knob / 2 + 1, right = width() - knob / 2 - 1;
  const double span = maximum() > minimum() ? maximum() - minimum() : 1;
  const double x = left + (right - left) * (value() - minimum()) / span;
  const double cy = height() / 2.0;
  const QRectF groove(left, cy - 3, right - left, 6);
  p.setPen(QPen(QColor(90, 96, 106), 1));
  p.setBrush(QColor(30, 32, 38));
  p.drawRoundedRect(groove, 3, 3);
  p.setPen(Qt::NoPen);
  p.setBrush(isEnabled() ? QColor(70, 140, 230) : QColor(90, 96, 106));
  p.drawRoundedRect(QRectF(left, cy - 3, x - left, 6), 3, 3);
  QRadialGradient g(QPointF(x - knob * 0.15, cy - knob * 0.15), knob * 0.6);
  g.setColorAt(0, QColor(250, 250, 252));
  g.setColorAt(1, isEnabled() ? QColor(170, 176, 186) : QColor(110, 114, 120));
  p.setPen(QPen(QColor(60, 64, 72), 1));
  p.setBrush(g);
  p.drawEllipse(QPointF(x, cy), knob / 2, knob / 2);
}

}  // namespace remote::ui
