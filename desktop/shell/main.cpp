// myMRX: the desktop manager of an MRX520 unit.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <string>
#include <vector>

#include "desktop/shell/CmyMRXApp.h"
#include "platform/RuntimeDir.h"
#include "platform/qt/QtLeakSuppressions.h"

MRX_QT_LEAK_SUPPRESSIONS()

int main(int argc, char** argv) {
  // The command line as given, before Qt takes the options it knows.
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  QApplication qtApp(argc, argv);
  // Settings and firmware are never sent to a device someone else could have put there.
  if (std::string why; !platform::CheckPrivateDir(platform::RuntimeDir(), false, why)) {
    std::fprintf(stderr, "myMRX: %s\n", why.c_str());
    QMessageBox::critical(nullptr, "myMRX", QString::fromStdString(why));
    return 77;
  }
  desktop::shell::CmyMRXApp app(arguments);
  return app.Run();
}
