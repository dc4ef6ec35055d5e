#include "remote/ui/ResponseGraph.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace remote::ui {

namespace {

struct Tick {
  double hz;
  const char* label;
};
constexpr Tick kTicks[] = {{10, "10"}, {50, "50"},   {100, "100"},   {500, "500"},
                           {1000, ""}, {5000, "5k"}, {10000, "10k"}, {30000, "30k"}};
constexpr int kLeft = 24;
constexpr int kTop = 14;
constexpr int kRight = 8;
constexpr int kBottom = 14;

}  // namespace

ResponseGraph::ResponseGraph(QWidget* parent) : QWidget(parent), values_(kPoints, 0.0) {
  setMinimumHeight(110);
  setMouseTracking(false);
}

double ResponseGraph::Frequency(int point) {
  const double low = std::log10(kLowestHz);
  const double high = std::log10(kHighestHz);
  return std::pow(10.0, low + point * (high - low) / (kPoints - 1));
}

double ResponseGraph::Response(double hz, const std::array<std::uint16_t, 4>& times) {
  std::array<double, 4> x{};
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double t = times[i] == 0 ? kDisabledTime : times[i];
    x[i] = 2.0 * std::numbers::pi * hz * t * 1e-6;
  }
  return 10.0 * std::log10(1.0 + 1.0 / (x[1] * x[1])) -
         10.0 * std::log10(1.0 + 1.0 / (x[0] * x[0])) -
         10.0 * std::log10(1.0 + 1.0 / (x[3] * x[3])) - 10.0 * std::log10(1.0 + x[2] * x[2]);
}

void ResponseGraph::SetTimeConstants(const std::array<std::uint16_t, 4>& times) {
  for (int k = 0; k < kPoints; ++k)
    values_[static_cast<std::size_t>(k)] = Response(Frequency(k), times);
  update();
}

QString ResponseGraph::ReadOut() const {
  if (marker_ < 0) return {};
  return QString::asprintf("%.0lfHz, %.2lfdB", Frequency(marker_),
                           values_[static_cast<std::size_t>(marker_)]);
}

QRect ResponseGraph::Plot() const {
  return QRect(kLeft, kTop, std::max(width() - kLeft - kRight, 1),
               std::max(height() - kTop - kBottom, 1));
}

void ResponseGraph::Select(int x) {
  const QRect plot = Plot();
  const int point = x < plot.left() || x > plot.right()
                        ? -1
                        : (x - plot.left()) * (kPoints - 1) / std::max(plot.width() - 1, 1);
  if (point != marker_) {
    marker_ = point;
    update();
  }
}

void ResponseGraph::mousePressEvent(QMouseEvent* event) {
  Select(event->position().toPoint().x());
}

void ResponseGraph::mouseMoveEvent(QMouseEvent* event) {
  Select(event->position().toPoint().x());
}

void ResponseGraph::paintEvent(QPaintEvent* /*event*/) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  const QRect plot = Plot();
  QFont font = p.font();
  font.setPixelSize(9);
  font.setBold(false);
  p.setFont(font);

  double largest = 0;
  for (double v : values_) largest = std::max(largest, std::abs(v));
  const int range = static_cast<int>(largest) + 2;
  const double scale = plot.height() / (2.0 * range);
  const double zero = plot.top() + plot.height() / 2.0;
  auto yOf = [&](double db) { return zero - db * scale; };
  auto xOf = [&](int k) { return plot.left() + k * (plot.width() - 1) / double(kPoints - 1); };

  p.setPen(Qt::black);
  p.drawText(QRect(0, 0, kLeft, kTop), Qt::AlignLeft | Qt::AlignVCenter, "dB");
  const int stepDb = range > 12 ? 6 : 3;
  for (int db = -range + 1; db < range; ++db) {
    if (db % stepDb != 0) continue;
    const int y = static_cast<int>(yOf(db));
    p.setPen(db == 0 ? QPen(Qt::gray) : QPen(QColor(192, 192, 192), 1, Qt::DotLine));
    p.drawLine(plot.left(), y, plot.right(), y);
    p.setPen(Qt::black);
    p.drawText(QRect(0, y - 6, kLeft - 3, 12), Qt::AlignRight | Qt::AlignVCenter,
               QString::asprintf("%3d", db));
  }
  for (const Tick& t : kTicks) {
    const double at = (std::log10(t.hz) - std::log10(kLowestHz)) /
                      (std::log10(kHighestHz) - std::log10(kLowestHz));
    const int x = static_cast<int>(plot.left() + at * (plot.width() - 1));
    p.setPen(QPen(QColor(192, 192, 192), 1, Qt::DotLine));
    p.drawLine(x, plot.top(), x, plot.bottom());
    if (*t.label != '\0') {
      p.setPen(Qt::black);
      const QString text = t.label;
      const int w = p.fontMetrics().horizontalAdvance(text);
      const int left = std::min(x - w / 2, width() - w);
      p.drawText(QRect(left, plot.bottom() + 2, w, kBottom - 2), Qt::AlignLeft | Qt::AlignTop,
                 text);
    }
  }
  p.setPen(Qt::gray);
  p.drawLine(plot.topLeft(), plot.bottomLeft());
  p.drawLine(plot.bottomLeft(), plot.bottomRight());

  QPolygonF curve;
  for (int k = 0; k < kPoints; ++k)
    curve << QPointF(xOf(k), yOf(values_[static_cast<std::size_t>(k)]));
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(128, 128, 255), 2));
  p.drawPolyline(curve);

  if (marker_ >= 0) {
    const QPointF at(xOf(marker_), yOf(values_[static_cast<std::size_t>(marker_)]));
    p.setBrush(Qt::blue);
    p.setPen(Qt::NoPen);
    p.drawEllipse(at, 4, 4);
    p.setPen(Qt::black);
    const QString text = ReadOut();
    const int w = p.fontMetrics().horizontalAdvance(text);
    const int x = at.x() + 7 + w > plot.right() ? static_cast<int>(at.x()) - 7 - w
                                                : static_cast<int>(at.x()) + 7;
    p.drawText(QRect(x, kTop - 12 + 0, w, 12), Qt::AlignLeft | Qt::AlignVCenter, text);
  }
}

}  // namespace remote::ui
