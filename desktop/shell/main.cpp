// myMRX: the desktop manager of an MRX520 unit.
#include <QApplication>
#include <string>
#include <vector>

#include "desktop/shell/CmyMRXApp.h"
#include "platform/qt/QtLeakSuppressions.h"

MRX_QT_LEAK_SUPPRESSIONS()

int main(int argc, char** argv) {
  // The command line as given, before Qt takes the options it knows.
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  QApplication qtApp(argc, argv);
  desktop::shell::CmyMRXApp app(arguments);
  return app.Run();
}
