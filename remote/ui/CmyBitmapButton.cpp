#include "remote/ui/CmyBitmapButton.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>

namespace remote::ui {

CmyBitmapButton::CmyBitmapButton(int id, artwork::Face face, Kind kind, QWidget* parent)
    : QAbstractButton(parent), id_(id), face_(face), kind_(kind) {
  setCheckable(kind != Kind::kTap);
  setFocusPolicy(Qt::NoFocus);
  hold_.setSingleShot(true);
  connect(&hold_, &QTimer::timeout, this, [this] { OnHold(); });
  connect(&repeat_, &QTimer::timeout, this, [this] { OnRepeat(); });
  gesture_.setSingleShot(true);
  connect(&gesture_, &QTimer::timeout, this, [this] { OnGestureHold(); });
}

void CmyBitmapButton::SetContextHandler(ContextHandler handler, int holdMs) {
  context_ = std::move(handler);
  gesture_.setInterval(holdMs);
}

void CmyBitmapButton::SetFace(artwork::Face face) {
  face_ = face;
  update();
}

void CmyBitmapButton::SetLabel(const QString& label) {
  if (label == label_) return;
  label_ = label;
  update();
}

void CmyBitmapButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton && context_) {
    // The context gesture follows: the press is ours, not the view's menu's.
    event->accept();
    return;
  }
  if (event->button() != Qt::LeftButton || !isEnabled()) {
    event->ignore();
    return;
  }
  pressed_ = true;
  repetitions_ = 0;
  lookBefore_ = isChecked();
  setDown(true);
  if (context_ && gesture_.interval() > 0) {
    // Tap or tap-and-hold: which one is known only when let go or when held long enough.
    gesture_.start();
    return;
  }
  if (holdMs_ > 0) {
    hold_.start(holdMs_);
  } else {
    Fire();
  }
  if (repeatFirstMs_ > 0) repeat_.start(repeatFirstMs_);
}

void CmyBitmapButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  Release();
}

void CmyBitmapButton::Release() {
  if (!pressed_) return;
  pressed_ = false;
  repeat_.stop();
  if (gesture_.isActive()) {
    gesture_.stop();
    Fire();
  }
  if (hold_.isActive()) {
    // Let go too early: as if it had never been touched.
    hold_.stop();
    setChecked(lookBefore_);
  }
  setDown(false);
}

void CmyBitmapButton::contextMenuEvent(QContextMenuEvent* event) {
  if (!context_) {
    event->ignore();
    return;
  }
  Release();
  context_(id_);
}

void CmyBitmapButton::OnGestureHold() {
  if (!pressed_) return;
  pressed_ = false;
  setDown(false);
  setChecked(lookBefore_);
  context_(id_);
}

void CmyBitmapButton::OnHold() {
  if (pressed_) Fire();
}

void CmyBitmapButton::OnRepeat() {
  if (!pressed_) {
    repeat_.stop();
    return;
  }
  ++repetitions_;
  repeat_.setInterval(repetitions_ >= kFastAfter ? kFastRepeatMs : kRepeatMs);
  if (send_) send_(id_, isChecked());
}

void CmyBitmapButton::Fire() {
  if (kind_ == Kind::kToggle) setChecked(!isChecked());
  if (kind_ == Kind::kSelect) setChecked(true);
  if (send_) send_(id_, isChecked());
}

void CmyBitmapButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const bool look = isDown() || isChecked();
  artwork::DrawButton(p, QRectF(rect()), face_, look, isEnabled());
  if (label_.isEmpty()) return;
  QFont font = p.font();
  font.setPixelSize(face_ == artwork::Face::kSource ? 14 : 11);
  font.setWeight(face_ == artwork::Face::kSource ? QFont::DemiBold : QFont::Normal);
  p.setFont(font);
  p.setPen(!isEnabled() ? QColor(150, 154, 160) : look ? Qt::white : QColor(40, 44, 52));
  const QString text = QFontMetrics(font).elidedText(label_, Qt::ElideRight, width() - 6);
  p.drawText(rect(), Qt::AlignCenter, text);
}

}  // namespace remote::ui
