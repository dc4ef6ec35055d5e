#include "remote/ui/CdPanel.h"

#include <QMouseEvent>
#include <QPainter>

#include "remote/ui/RemoteArtwork.h"

namespace remote::ui {

CdPanel::CdPanel(QWidget* parent) : QWidget(parent) {
  resize(kWidth, kHeight);
}

void CdPanel::SetLines(const QString& first, const QString& second) {
  if (first == first_ && second == second_) return;
  first_ = first;
  second_ = second;
  update();
}

void CdPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  artwork::DrawPanel(p, QRectF(rect()));
  QFont font(QStringLiteral("Century Gothic"));
  font.setPixelSize(second_.isEmpty() ? 22 : 20);
  font.setWeight(QFont::Bold);
  p.setFont(font);
  p.setPen(QColor(64, 64, 64));
  if (second_.isEmpty()) {
    p.drawText(rect(), Qt::AlignCenter, first_);
    return;
  }
  p.drawText(QRect(0, 4, width(), 24), Qt::AlignCenter, first_);
  font.setPixelSize(12);
  font.setWeight(QFont::DemiBold);
  p.setFont(font);
  p.drawText(QRect(4, 30, width() - 8, 18), Qt::AlignCenter, second_);
}

void CdPanel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && onTap) onTap();
}

}  // namespace remote::ui
