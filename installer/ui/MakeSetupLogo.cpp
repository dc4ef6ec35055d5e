// mrx_make_setup_logo: draws the installer's logo once at build time and
// writes it as the 8-bit bitmap the storage card carries.
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>

#include "platform/qt/QtLeakSuppressions.h"

MRX_QT_LEAK_SUPPRESSIONS()

namespace {

constexpr int kWidth = 240;
constexpr int kHeight = 272;

QImage Draw() {
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, kHeight);
  sky.setColorAt(0, QColor(16, 40, 84));
  sky.setColorAt(1, QColor(4, 8, 20));
  p.fillRect(image.rect(), sky);

  // Three waves under the name: the remote's link to the unit.
  for (int i = 0; i < 3; ++i) {
    QPainterPath wave;
    const double base = 150 + i * 18;
    wave.moveTo(0, base);
    for (int x = 0; x <= kWidth; x += 4) {
      wave.lineTo(x, base + std::sin((x + i * 25) / 24.0) * (10 - i * 3));
    }
    p.setPen(QPen(QColor(80 + i * 50, 190 + i * 20, 230), 3 - i * 0.8));
    p.drawPath(wave);
  }

  QFont title("DejaVu Sans", 30, QFont::Bold);
  p.setFont(title);
  p.setPen(Qt::white);
  p.drawText(QRect(0, 60, kWidth, 56), Qt::AlignCenter, "Wavrix");
  QFont small("DejaVu Sans", 11);
  p.setFont(small);
  p.setPen(QColor(170, 200, 230));
  p.drawText(QRect(0, 108, kWidth, 24), Qt::AlignCenter, "MRX520 remote control");
  p.drawText(QRect(0, 214, kWidth, 24), Qt::AlignCenter, "Setup");
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Usage: mrx_make_setup_logo OUT.bmp\n");
    return 64;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QImage image = Draw().convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
  if (!image.save(QString::fromLocal8Bit(argv[1]), "BMP")) {
    std::fprintf(stderr, "mrx_make_setup_logo: cannot write %s\n", argv[1]);
    return 73;
  }
  return 0;
}
