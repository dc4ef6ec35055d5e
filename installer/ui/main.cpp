// Autorun: installs or starts the remote control from the storage card.
#include <QApplication>
#include <QDir>
#include <cstdio>
#include <cstdlib>

#include "installer/Installer.h"
#include "installer/ui/AutorunDialog.h"
#include "platform/HandheldEnv.h"
#include "platform/Registry.h"
#include "platform/qt/MessageBoxPrompt.h"
#include "platform/qt/QtLeakSuppressions.h"
#include "platform/qt/WorkerPrompt.h"

MRX_QT_LEAK_SUPPRESSIONS()

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  platform::HandheldEnv env(platform::HandheldEnv::DefaultRoot());
  std::string error;
  if (!env.LoadConfig(error)) {
    std::fprintf(stderr, "Autorun: %s/handheld.conf: %s\n", env.Root().c_str(), error.c_str());
    return 1;
  }
  std::error_code ec;
  std::filesystem::create_directories(env.RegistryDir(), ec);
  platform::FileRegistry registry(env.RegistryDir());
  platform::qt::MessageBoxPrompt boxes;
  platform::qt::WorkerPrompt prompt(&app, boxes);
  installer::Installer installer(env, registry, prompt, platform::DefaultClock());
  installer::ui::AutorunDialog dialog(installer);

  // A picture of the window while it copies, and nothing installed.
  if (const char* dir = std::getenv("WAVRIX_SCREENSHOTS"); dir != nullptr && *dir != '\0') {
    if (!installer.LoadLogo()) {
      std::fprintf(stderr, "Autorun: no logo.bmp on the storage card\n");
      return 1;
    }
    dialog.ShowProgressForPicture(60);
    dialog.show();
    const QString file = QDir(QString::fromLocal8Bit(dir)).filePath("autorun.png");
    if (!dialog.grab().save(file)) {
      std::fprintf(stderr, "Autorun: cannot write %s\n", file.toLocal8Bit().constData());
      return 1;
    }
    return 0;
  }
  if (!dialog.Begin()) return 0;  // no logo: nothing is copied
  dialog.exec();
  return dialog.Succeeded() ? 0 : 1;  // the user saw why
}
