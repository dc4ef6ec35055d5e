#include "installer/ui/AutorunDialog.h"

#include <QFontMetrics>
#include <QPainter>

namespace installer::ui {

namespace {

// Dialog units: a quarter of the average character width, an eighth of its height.
QRect FromDialogUnits(const QFontMetrics& m, int x, int y, int w, int h) {
  const int cx = m.averageCharWidth(), cy = m.height();
  return {x * cx / 4, y * cy / 8, w * cx / 4, h * cy / 8};
}

}  // namespace

AutorunDialog::AutorunDialog(Installer& installer, QWidget* parent)
    : QDialog(parent), installer_(installer), bar_(new QProgressBar(this)) {
  setWindowTitle(Installer::kCaption);
  const QFontMetrics metrics(font());
  setFixedSize(FromDialogUnits(metrics, 0, 0, kWidthDu, kHeightDu).size());
  bar_->setObjectName(QString::number(kProgressId));
  bar_->setGeometry(FromDialogUnits(metrics, kBarX, kBarY, kBarWidth, kBarHeight));
  bar_->setTextVisible(false);
  bar_->hide();
  timer_.setInterval(kTimerMs);
  connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
}

AutorunDialog::~AutorunDialog() {
  worker_.reset();
}

QImage AutorunDialog::LogoImage(const LogoBitmap& logo) {
  QImage image(logo.width, logo.height, QImage::Format_RGB32);
  for (int y = 0; y < logo.height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < logo.width; ++x) line[x] = logo.Pixel(x, y);
  }
  return image;
}

bool AutorunDialog::Begin() {
  if (!installer_.Start()) return false;
  logo_ = LogoImage(installer_.Logo());
  setWindowIcon(QIcon(QPixmap::fromImage(logo_)));
  worker_ = std::make_unique<InstallThread>(installer_);
  worker_->Resume();
  timer_.start();
  return true;
}

void AutorunDialog::ShowProgressForPicture(int percent) {
  logo_ = LogoImage(installer_.Logo());
  bar_->setRange(0, 100);
  bar_->setValue(percent);
  bar_->show();
}

void AutorunDialog::Tick() {
  const bool shown = installer_.ProgressShown();
  if (shown) {
    // The bar's range counts the program and fonts only: it may run full early.
    const auto range =
        static_cast<int>(std::min<std::uint32_t>(installer_.ProgressRange(), INT32_MAX));
    bar_->setRange(0, range);
    bar_->setValue(static_cast<int>(
        std::min<std::uint32_t>(installer_.BytesCopied(), static_cast<std::uint32_t>(range))));
  }
  bar_->setVisible(shown);
  if (worker_ && worker_->Done()) {
    timer_.stop();
    worker_->Join();
    const auto outcome = worker_->Result();
    succeeded_ = outcome == Installer::Outcome::kInstalled ||
                 outcome == Installer::Outcome::kStartedUnchanged;
    accept();
  }
}

void AutorunDialog::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  QPainter painter(this);
  // The window around the logo takes the logo's own background.
  if (!logo_.isNull()) painter.fillRect(rect(), logo_.pixelColor(0, logo_.height() - 1));
  painter.drawImage(0, 0, logo_);
}

}  // namespace installer::ui
