#include "desktop/widgets/CEditCtrl.h"

#include <QKeyEvent>
#include <QWheelEvent>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace desktop::widgets {

CEditCtrl::CEditCtrl(QWidget* parent) : QLineEdit(parent) {}

void CEditCtrl::SetRange(double minimum, double maximum) {
  minimum_ = std::min(minimum, maximum);
  maximum_ = std::max(minimum, maximum);
}

double CEditCtrl::Value() const {
  const std::string text = this->text().toStdString();
  const double v = std::strtod(text.c_str(), nullptr);
  return v == v ? v : 0.0;  // "nan" typed in reads as nothing
}

QString CEditCtrl::Format(double value) const {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format_.c_str(), value);
  return QString::fromLatin1(buffer);
}

void CEditCtrl::ShowValue(double value) {
  setText(Format(value));
  selectAll();
}

void CEditCtrl::Move(double delta) {
  const double v = Value();
  ShowValue(delta > 0 ? std::min(v + delta, maximum_) : std::max(v + delta, minimum_));
}

void CEditCtrl::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_PageUp:
      Move(step_ * 100);
      return;
    case Qt::Key_PageDown:
      Move(-step_ * 100);
      return;
    case Qt::Key_Up:
      Move(1);
      return;
    case Qt::Key_Down:
      Move(-1);
      return;
    default:
      QLineEdit::keyPressEvent(event);
  }
}

void CEditCtrl::wheelEvent(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  if (delta != 0) Move(delta > 0 ? step_ : -step_);
  event->accept();
}

void CEditCtrl::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  setText(Format(Value()));
}

}  // namespace desktop::widgets
