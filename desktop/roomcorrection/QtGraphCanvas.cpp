#include "desktop/roomcorrection/QtGraphCanvas.h"

#include <QFontMetrics>
#include <QPolygon>
#include <QString>

namespace desktop::roomcorrection {

namespace {

QColor ToQColor(GraphColour colour) {
  return QColor(colour.r, colour.g, colour.b);
}

// b lies on the horizontal segment from a to c.
bool Straight(QPoint a, QPoint b, QPoint c) {
  return a.y() == b.y() && b.y() == c.y() && (a.x() <= b.x()) == (b.x() <= c.x());
}

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QtGraphCanvas::QtGraphCanvas(QImage& image)
    : width_(image.width()), height_(image.height()), painter_(&image) {}

void QtGraphCanvas::Fill(GraphColour colour) {
  painter_.fillRect(0, 0, width_, height_, ToQColor(colour));
}

void QtGraphCanvas::SetFont(std::string_view family, int pixelHeight, int weight) {
  QFont font(ToQString(family));
  font.setPixelSize(pixelHeight);
  font.setWeight(static_cast<QFont::Weight>(weight));
  painter_.setFont(font);
}

GraphTextSize QtGraphCanvas::MeasureText(std::string_view text) const {
  const QFontMetrics metrics(painter_.font());
  return {metrics.horizontalAdvance(ToQString(text)), metrics.height()};
}

void QtGraphCanvas::DrawText(GraphPoint topLeft, std::string_view text, GraphColour colour) {
  painter_.setPen(ToQColor(colour));
  const QFontMetrics metrics(painter_.font());
  painter_.drawText(topLeft.x, topLeft.y + metrics.ascent(), ToQString(text));
}

QPen QtGraphCanvas::ToQPen(const GraphPen& pen) const {
  QPen qpen(ToQColor(pen.colour), pen.width);
  if (pen.style == GraphPenStyle::Dotted) {
    // One pixel on, one off, whatever the pen's width.
    qpen.setDashPattern({1.0 / pen.width, 1.0 / pen.width});
  }
  qpen.setCapStyle(Qt::FlatCap);
  return qpen;
}

void QtGraphCanvas::DrawLine(const GraphPen& pen, GraphPoint from, GraphPoint to) {
  painter_.setRenderHint(QPainter::Antialiasing, false);
  painter_.setPen(ToQPen(pen));
  painter_.drawLine(from.x, from.y, to.x, to.y);
}

void QtGraphCanvas::DrawPolyline(const GraphPen& pen, std::span<const GraphPoint> points) {
  // Points repeat where the grid is finer than the pixels, and a flat stretch
  // (a plateau, the floor outside a band) needs only its ends: the stroke is
  // the same with a fraction of the points.
  QPolygon polygon;
  polygon.reserve(static_cast<qsizetype>(points.size()));
  for (const GraphPoint& p : points) {
    const QPoint point(p.x, p.y);
    const qsizetype n = polygon.size();
    if (n > 0 && polygon[n - 1] == point) continue;
    if (n > 1 &&
        (Straight(polygon[n - 2], polygon[n - 1], point) ||
         Straight(polygon[n - 2].transposed(), polygon[n - 1].transposed(), point.transposed()))) {
      polygon[n - 1] = point;
      continue;
    }
    polygon.append(point);
  }
  // Smooth curves, crisp grid; bevelled joins cost a fraction of round ones.
  painter_.setRenderHint(QPainter::Antialiasing, true);
  QPen qpen = ToQPen(pen);
  qpen.setJoinStyle(Qt::BevelJoin);
  painter_.setPen(qpen);
  painter_.drawPolyline(polygon);
}

void QtGraphCanvas::FillCircle(GraphColour colour, GraphPoint centre, int radius) {
  painter_.setRenderHint(QPainter::Antialiasing, true);
  painter_.setPen(Qt::NoPen);
  painter_.setBrush(ToQColor(colour));
  painter_.drawEllipse(QPoint(centre.x, centre.y), radius, radius);
  painter_.setBrush(Qt::NoBrush);
}

void QtGraphCanvas::SetClip(const GraphRect& clip) {
  painter_.setClipRect(QRect(QPoint(clip.left, clip.top), QPoint(clip.right, clip.bottom)));
}

void QtGraphCanvas::ClearClip() {
  painter_.setClipping(false);
}

}  // namespace desktop::roomcorrection
