// The start-up benchmark's baseline: a bare Qt dialog reporting its first paint.
#include <QApplication>
#include <QDialog>

#include "platform/qt/FirstPaintProbe.h"
#include "platform/qt/QtLeakSuppressions.h"

MRX_QT_LEAK_SUPPRESSIONS()

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QDialog dialog;
  dialog.resize(640, 480);
  platform::qt::FirstPaintProbe::Watch(&dialog);
  dialog.exec();
  return 0;
}
