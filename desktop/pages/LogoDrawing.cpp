#include "desktop/pages/LogoDrawing.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

namespace desktop::pages {

namespace {

// The unit's front seen slightly from above: display, knob and two LEDs.
void DrawUnit(QPainter& p, const QRectF& r) {
  QLinearGradient body(r.topLeft(), r.bottomLeft());
  body.setColorAt(0, QColor(0x4a, 0x4f, 0x57));
  body.setColorAt(1, QColor(0x1c, 0x1f, 0x24));
  p.setPen(QPen(QColor(0x8a, 0x90, 0x99), 2));
  p.setBrush(body);
  p.drawRoundedRect(r, 10, 10);

  const QRectF display(r.left() + r.width() * 0.08, r.top() + r.height() * 0.25, r.width() * 0.5,
                       r.height() * 0.5);
  p.setPen(QPen(QColor(0x10, 0x10, 0x10), 2));
  p.setBrush(QColor(0x0b, 0x2a, 0x3c));
  p.drawRoundedRect(display, 4, 4);
  QFont f(QStringLiteral("DejaVu Sans Mono"));
  f.setPixelSize(static_cast<int>(display.height() * 0.32));
  f.setBold(true);
  p.setFont(f);
  p.setPen(QColor(0x6c, 0xd4, 0xff));
  p.drawText(display.adjusted(8, 4, -8, -display.height() / 2), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("MRX520"));
  f.setPixelSize(static_cast<int>(display.height() * 0.22));
  f.setBold(false);
  p.setFont(f);
  p.drawText(display.adjusted(8, display.height() / 2, -8, -4), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("-30.0 dB"));

  const double knobR = r.height() * 0.32;
  const QPointF knob(r.right() - r.width() * 0.17, r.center().y());
  QRadialGradient metal(knob - QPointF(knobR / 3, knobR / 3), knobR * 1.4);
  metal.setColorAt(0, QColor(0xe8, 0xea, 0xee));
  metal.setColorAt(1, QColor(0x5c, 0x61, 0x69));
  p.setPen(QPen(QColor(0x22, 0x22, 0x22), 2));
  p.setBrush(metal);
  p.drawEllipse(knob, knobR, knobR);
  p.setPen(QPen(QColor(0x30, 0x30, 0x30), 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(knob, knob + QPointF(-knobR * 0.55, -knobR * 0.55));

  for (int i = 0; i < 2; ++i) {
    p.setPen(Qt::NoPen);
    p.setBrush(i == 0 ? QColor(0x4c, 0xe0, 0x6a) : QColor(0xff, 0xa6, 0x2b));
    p.drawEllipse(QPointF(display.right() + r.width() * 0.06, display.top() + 8 + i * 18), 4, 4);
  }
}

}  // namespace

QImage DrawValdurLogo() {
  QImage image(640, 480, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, 480);
  sky.setColorAt(0, QColor(0x0e, 0x1b, 0x33));
  sky.setColorAt(1, QColor(0x1f, 0x4e, 0x79));
  p.fillRect(image.rect(), sky);

  // A sound wave across the picture, fading to the right.
  for (int line = 0; line < 3; ++line) {
    QPainterPath wave;
    for (int x = 0; x <= 640; x += 4) {
      const double y = 330 + line * 14 +
                       std::sin(x / (38.0 + line * 9)) * (40 - line * 10) * std::exp(-x / 900.0);
      if (x == 0) {
        wave.moveTo(x, y);
      } else {
        wave.lineTo(x, y);
      }
    }
    p.setPen(QPen(QColor(0x6c, 0xd4, 0xff, 170 - line * 50), 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
  }

  DrawUnit(p, QRectF(120, 150, 400, 120));

  QFont title(QStringLiteral("DejaVu Sans"));
  title.setPixelSize(64);
  title.setBold(true);
  title.setLetterSpacing(QFont::AbsoluteSpacing, 6);
  p.setFont(title);
  p.setPen(QColor(0xf2, 0xf5, 0xf8));
  p.drawText(QRect(0, 30, 640, 90), Qt::AlignCenter, QStringLiteral("VALDUR"));
  QFont sub(QStringLiteral("DejaVu Sans"));
  sub.setPixelSize(20);
  p.setFont(sub);
  p.setPen(QColor(0xa8, 0xc6, 0xe0));
  p.drawText(QRect(0, 400, 640, 40), Qt::AlignCenter,
             QStringLiteral("modular digital audio processor"));
  p.end();
  return image;
}

}  // namespace desktop::pages
