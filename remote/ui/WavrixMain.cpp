#include <QApplication>
#include <string>
#include <vector>

#include "remote/ui/CWavrixApp.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::vector<std::string> arguments(argv + 1, argv + argc);
  remote::ui::CWavrixApp wavrix(arguments);
  return wavrix.Run();
}
