// mrx_make_setup_logo: draws the installer's logo once at build time and
// writes it as the 8-bit bitmap the storage card carries.
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>

#include "platform/qt/QtLeakSuppressions.h"

MRX_QT_LEAK_SUPPRESSIONS()

namespace {

// Within the dialog at the handheld's usual font, above the progress bar.
constexpr int kWidth = 200;
constexpr int kHeight = 236;

QImage Draw() {
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  // One flat colour: the 8-bit bitmap keeps it clean, and the dialog fills
  // the rest of its window with it.
  p.fillRect(image.rect(), QColor(12, 28, 60));

  // Three waves under the name: the remote's link to the unit.
  for (int i = 0; i < 3; ++i) {
    QPainterPath wave;
    const double base = 140 + i * 16;
    wave.moveTo(0, base);
    for (int x = 0; x <= kWidth; x += 4) {
      wave.lineTo(x, base + std::sin((x + i * 25) / 24.0) * (10 - i * 3));
    }
    p.setPen(QPen(QColor(80 + i * 50, 190 + i * 20, 230), 3 - i * 0.8));
    p.drawPath(wave);
  }

  QFont title("DejaVu Sans", 26, QFont::Bold);
  p.setFont(title);
  p.setPen(Qt::white);
  p.drawText(QRect(0, 40, kWidth, 56), Qt::AlignCenter, "Wavrix");
  QFont small("DejaVu Sans", 9);
  p.setFont(small);
  p.setPen(QColor(170, 200, 230));
  p.drawText(QRect(0, 92, kWidth, 20), Qt::AlignCenter, "MRX520 remote control");
  p.drawText(QRect(0, 196, kWidth, 20), Qt::AlignCenter, "Setup");
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
