#include "platform/qt/QtImageEncoder.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <cstring>

namespace platform::qt {

namespace {

QImage ToQImage(const EncoderPicture& picture) {
  const int w = picture.width;
  const int h = picture.height;
  if (picture.kind == EncoderPicture::Kind::Rgb) {
    QImage image(w, h, QImage::Format_RGB888);
    if (image.isNull()) return image;
    for (int y = 0; y < h; ++y) {
      std::memcpy(image.scanLine(y), picture.pixels.data() + static_cast<std::size_t>(y) * w * 3,
                  static_cast<std::size_t>(w) * 3);
    }
    return image;
  }
  QList<QRgb> table;
  for (const EncoderColour& c : picture.palette) table.append(qRgb(c.r, c.g, c.b));
  const bool oneBit = picture.palette.size() <= 2;
  QImage image(w, h, oneBit ? QImage::Format_Mono : QImage::Format_Indexed8);
  if (image.isNull()) return image;
  image.setColorTable(table);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* row = picture.pixels.data() + static_cast<std::size_t>(y) * w;
    uchar* line = image.scanLine(y);
    if (oneBit) {
      // Most significant bit first.
      std::memset(line, 0, static_cast<std::size_t>(image.bytesPerLine()));
      for (int x = 0; x < w; ++x) {
        if (row[x] != 0) line[x >> 3] |= static_cast<uchar>(0x80 >> (x & 7));
      }
    } else {
      std::memcpy(line, row, static_cast<std::size_t>(w));
    }
  }
  return image;
}

}  // namespace

QtImageEncoder::QtImageEncoder() {
  for (const QByteArray& format : QImageWriter::supportedImageFormats()) {
    extensions_.push_back(format.toLower().toStdString());
  }
}

bool QtImageEncoder::Encode(const EncoderPicture& picture, std::string_view extension,
                            std::string& bytes) const {
  if (!picture.IsValid()) return false;
  const QImage image = ToQImage(picture);
  if (image.isNull()) return false;
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer,
                      QByteArray(extension.data(), static_cast<qsizetype>(extension.size())));
  if (!writer.write(image) || data.isEmpty()) return false;
  bytes.assign(data.constData(), static_cast<std::size_t>(data.size()));
  return true;
}

}  // namespace platform::qt
