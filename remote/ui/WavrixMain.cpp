#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <string>
#include <vector>

#include "remote/ui/CWavrixApp.h"
#include "remote/ui/CWavrixView.h"

namespace {

// Pictures drawn without a display get a screen of the handheld's size, so
// that menus scroll and sub-menus are placed within it as on the handheld.
void UseHandheldScreenForPictures(const QTemporaryDir& dir) {
  const char* shots = std::getenv("WAVRIX_SCREENSHOTS");
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (shots == nullptr || *shots == '\0' || platform == nullptr ||
      std::string(platform) != "offscreen" || !dir.isValid()) {
    return;
  }
  const QString path = dir.filePath(QStringLiteral("handheld-screen.json"));
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return;
  file.write(QStringLiteral("{\"screens\": [{\"name\": \"handheld\", \"x\": 0, \"y\": 0, "
                            "\"width\": %1, \"height\": %2, \"logicalDpi\": 96, "
                            "\"logicalBaseDpi\": 96, \"dpr\": 1}]}\n")
                 .arg(remote::ui::CWavrixView::kWidth)
                 .arg(remote::ui::CWavrixView::kHeight)
                 .toUtf8());
  file.close();
  setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + path).toLocal8Bit().constData(), 1);
}

}  // namespace

int main(int argc, char** argv) {
  const QTemporaryDir screenDir;
  UseHandheldScreenForPictures(screenDir);
  QApplication app(argc, argv);
  std::vector<std::string> arguments(argv + 1, argv + argc);
  remote::ui::CWavrixApp wavrix(arguments);
  return wavrix.Run();
}
