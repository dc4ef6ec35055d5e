#include "desktop/pages/Logo.h"

#include <QFont>
#include <QList>
#include <QPainter>
#include <QPixmap>
#include <cstdint>

#include "desktop/pages/LogoData.h"

namespace desktop::pages {

QImage ValdurLogo() {
  QList<QRgb> colours(kLogoColours);
  for (int i = 0; i < kLogoColours; ++i) {
    const std::uint8_t* c = mrx_logo_data + 4 * i;
    colours[i] = qRgb(c[2], c[1], c[0]);
  }
  // The pixels stay where they are in the program's constant data.
  QImage image(mrx_logo_data + kLogoPixelsOffset, kLogoWidth, kLogoHeight, kLogoWidth,
               QImage::Format_Indexed8);
  image.setColorTable(colours);
  return image;
}

QIcon ValdurIcon() {
  QPixmap pixmap(64, 64);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x1f, 0x4e, 0x79));
  p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setPixelSize(40);
  f.setBold(true);
  p.setFont(f);
  p.setPen(QColor(0xf2, 0xf5, 0xf8));
  p.drawText(QRect(0, 0, 64, 64), Qt::AlignCenter, QStringLiteral("V"));
  p.end();
  return QIcon(pixmap);
}

}  // namespace desktop::pages
