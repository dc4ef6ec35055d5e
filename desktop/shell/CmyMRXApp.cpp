#include "desktop/shell/CmyMRXApp.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "desktop/pages/QtPrompt.h"
#include "desktop/shell/CmyMRXProperty.h"
#include "platform/Clock.h"
#include "platform/qt/FirstPaintProbe.h"

namespace desktop::shell {

CmyMRXApp::CmyMRXApp(const std::vector<std::string>& arguments)
    : serviceMode_(IsServiceCommandLine(CommandLine(arguments))) {}

std::string CmyMRXApp::CommandLine(const std::vector<std::string>& arguments) {
  std::string line;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) line += ' ';
    line += arguments[i];
  }
  return line;
}

bool CmyMRXApp::IsServiceCommandLine(const std::string& commandLine) {
  return commandLine == kServiceOption;
}

int CmyMRXApp::Run() {
  // Where settings would be kept; the program itself stores none.
  QCoreApplication::setOrganizationName(QString::fromLatin1(kRegistryKey));
  QGuiApplication::setApplicationDisplayName(QString::fromLatin1(CmyMRXProperty::kCaption));

  pages::QtPrompt prompt;
  CmyMRXProperty sheet(serviceMode_, prompt, platform::DefaultClock());
  prompt.SetParent(&sheet);
  sheet.WatchDevices();

  if (const char* dir = std::getenv("MRX_SCREENSHOTS"); dir != nullptr && *dir != '\0') {
    sheet.show();
    QCoreApplication::processEvents();
    std::string error;
    if (!sheet.RenderTabs(dir, error)) {
      std::fprintf(stderr, "myMRX: cannot write the tab pictures to %s: %s\n", dir, error.c_str());
      return 1;
    }
    return 0;
  }

  platform::qt::FirstPaintProbe::Watch(&sheet);
  sheet.exec();
  return 0;
}

}  // namespace desktop::shell
