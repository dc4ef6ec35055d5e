#include "remote/ui/RemoteArtwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace remote::ui::artwork {

namespace {

const QColor kIcon(52, 56, 64);
const QColor kIconPressed(255, 255, 255);
const QColor kIconDisabled(150, 154, 160);

QPainterPath Triangle(QPointF a, QPointF b, QPointF c) {
  QPainterPath path;
  path.moveTo(a);
  path.lineTo(b);
  path.lineTo(c);
  path.closeSubpath();
  return path;
}

// The glyph of a face, inside the square `s` centred on the button.
void DrawGlyph(QPainter& p, const QRectF& s, Face face, const QColor& ink) {
  p.setPen(Qt::NoPen);
  p.setBrush(ink);
  const double x = s.x(), y = s.y(), w = s.width(), h = s.height();
  auto at = [&](double fx, double fy) { return QPointF(x + fx * w, y + fy * h); };
  switch (face) {
    case Face::kPlay:
      p.drawPath(Triangle(at(0.28, 0.18), at(0.28, 0.82), at(0.8, 0.5)));
      break;
    case Face::kPause:
      p.drawRect(QRectF(at(0.25, 0.2), at(0.43, 0.8)));
      p.drawRect(QRectF(at(0.57, 0.2), at(0.75, 0.8)));
      break;
    case Face::kStop:
      p.drawRect(QRectF(at(0.25, 0.25), at(0.75, 0.75)));
      break;
    case Face::kEject:
      p.drawPath(Triangle(at(0.2, 0.58), at(0.8, 0.58), at(0.5, 0.18)));
      p.drawRect(QRectF(at(0.2, 0.68), at(0.8, 0.8)));
      break;
    case Face::kPrevious:
      p.drawRect(QRectF(at(0.2, 0.22), at(0.3, 0.78)));
      p.drawPath(Triangle(at(0.78, 0.22), at(0.78, 0.78), at(0.32, 0.5)));
      break;
    case Face::kNext:
      p.drawRect(QRectF(at(0.7, 0.22), at(0.8, 0.78)));
      p.drawPath(Triangle(at(0.22, 0.22), at(0.22, 0.78), at(0.68, 0.5)));
      break;
    case Face::kRewind:
      p.drawPath(Triangle(at(0.5, 0.22), at(0.5, 0.78), at(0.12, 0.5)));
      p.drawPath(Triangle(at(0.88, 0.22), at(0.88, 0.78), at(0.5, 0.5)));
      break;
    case Face::kForward:
      p.drawPath(Triangle(at(0.12, 0.22), at(0.12, 0.78), at(0.5, 0.5)));
      p.drawPath(Triangle(at(0.5, 0.22), at(0.5, 0.78), at(0.88, 0.5)));
      break;
    case Face::kVolumeDown:
      p.drawRect(QRectF(at(0.2, 0.44), at(0.8, 0.56)));
      break;
    case Face::kVolumeUp:
      p.drawRect(QRectF(at(0.2, 0.44), at(0.8, 0.56)));
      p.drawRect(QRectF(at(0.44, 0.2), at(0.56, 0.8)));
      break;
    case Face::kMute:
    case Face::kFade: {
      // A loudspeaker; mute crosses it out, fade shows a falling wedge.
      QPainterPath speaker;
      speaker.moveTo(at(0.12, 0.38));
      speaker.lineTo(at(0.3, 0.38));
      speaker.lineTo(at(0.52, 0.18));
      speaker.lineTo(at(0.52, 0.82));
      speaker.lineTo(at(0.3, 0.62));
      speaker.lineTo(at(0.12, 0.62));
      speaker.closeSubpath();
      p.drawPath(speaker);
      QPen pen(ink, w * 0.08, Qt::SolidLine, Qt::RoundCap);
      p.setPen(pen);
      p.setBrush(Qt::NoBrush);
      if (face == Face::kMute) {
        p.drawLine(at(0.62, 0.36), at(0.88, 0.64));
        p.drawLine(at(0.62, 0.64), at(0.88, 0.36));
      } else {
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawPath(Triangle(at(0.62, 0.3), at(0.9, 0.3), at(0.9, 0.7)));
      }
      break;
    }
    case Face::kPower: {
      QPen pen(ink, w * 0.1, Qt::SolidLine, Qt::RoundCap);
      p.setPen(pen);
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(at(0.2, 0.24), at(0.8, 0.84)), 120 * 16, -240 * 16);
      p.drawLine(at(0.5, 0.14), at(0.5, 0.5));
      break;
    }
    case Face::kLogo:
    case Face::kTrack:
    case Face::kSource:
      break;  // text only
  }
}

void DrawLogo(QPainter& p, const QRectF& r, bool pressed) {
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  g.setColorAt(0, pressed ? QColor(40, 90, 170) : QColor(70, 74, 82));
  g.setColorAt(1, pressed ? QColor(20, 50, 110) : QColor(28, 30, 34));
  p.setPen(QPen(QColor(120, 126, 136), 1));
  p.setBrush(g);
  p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), r.height() / 2, r.height() / 2);
  QFont font = p.font();
  font.setPixelSize(static_cast<int>(r.height() * 0.5));
  font.setWeight(QFont::Bold);
  font.setLetterSpacing(QFont::PercentageSpacing, 115);
  p.setFont(font);
  p.setPen(QColor(235, 238, 242));
  p.drawText(r, Qt::AlignCenter, QStringLiteral("VALDUR"));
}

}  // namespace

void DrawButton(QPainter& p, const QRectF& r, Face face, bool pressed, bool enabled) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  if (face == Face::kLogo) {
    DrawLogo(p, r, pressed);
    p.restore();
    return;
  }
  const QRectF body = r.adjusted(1, 1, -1, -1);
  QLinearGradient g(body.topLeft(), body.bottomLeft());
  if (pressed) {
    g.setColorAt(0, QColor(30, 90, 180));
    g.setColorAt(1, QColor(70, 140, 230));
  } else {
    g.setColorAt(0, QColor(246, 247, 249));
    g.setColorAt(0.5, QColor(214, 218, 224));
    g.setColorAt(1, QColor(180, 186, 194));
  }
  p.setPen(QPen(pressed ? QColor(20, 50, 110) : QColor(96, 102, 112), 1));
  p.setBrush(g);
  const double radius = std::min(body.width(), body.height()) * 0.22;
  p.drawRoundedRect(body, radius, radius);
  const QColor ink = !enabled ? kIconDisabled : pressed ? kIconPressed : kIcon;
  const double side = std::min(body.width(), body.height()) * 0.72;
  const QRectF square(body.center().x() - side / 2, body.center().y() - side / 2, side, side);
  DrawGlyph(p, square, face, ink);
  p.restore();
}

void DrawBackground(QPainter& p, const QRectF& r) {
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  g.setColorAt(0, QColor(44, 48, 56));
  g.setColorAt(1, QColor(16, 18, 22));
  p.fillRect(r, g);
}

void DrawPanel(QPainter& p, const QRectF& r) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  g.setColorAt(0, QColor(236, 238, 240));
  g.setColorAt(1, QColor(196, 200, 206));
  p.setPen(QPen(QColor(110, 116, 126), 1));
  p.setBrush(g);
  p.drawRoundedRect(r.adjusted(2.5, 0.5, -2.5, -0.5), 6, 6);
  p.restore();
}

}  // namespace remote::ui::artwork
