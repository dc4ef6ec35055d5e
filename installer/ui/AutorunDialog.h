#pragma once

#include <QDialog>
#include <QImage>
#include <QProgressBar>
#include <QTimer>
#include <memory>

#include "installer/InstallThread.h"
#include "installer/Installer.h"

namespace installer::ui {

// "Wavrix Setup": the logo at the origin and a progress bar at the bottom,
// while the install thread works; it closes by itself when the thread ends.
class AutorunDialog final : public QDialog {
 public:
  static constexpr int kProgressId = 1000;
  static constexpr int kTimerId = 1000;
  static constexpr int kTimerMs = 100;
  // The dialog's size and the bar's place in dialog units.
  static constexpr int kWidthDu = 138, kHeightDu = 154;
  static constexpr int kBarX = 61, kBarY = 143, kBarWidth = 70, kBarHeight = 8;

  explicit AutorunDialog(Installer& installer, QWidget* parent = nullptr);
  ~AutorunDialog() override;

  // Start-up: false when the dialog ends at once (no logo).
  bool Begin();
  // After the dialog ended: the remote is installed or started.
  bool Succeeded() const { return succeeded_; }
  // Shows the window as it is while copying, for a picture of it.
  void ShowProgressForPicture(int percent);

  static QImage LogoImage(const LogoBitmap& logo);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Tick();

  Installer& installer_;
  QImage logo_;
  QProgressBar* bar_;
  QTimer timer_;
  std::unique_ptr<InstallThread> worker_;
  bool succeeded_ = false;
};

}  // namespace installer::ui
