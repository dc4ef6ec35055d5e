#pragma once

#include <QApplication>

namespace testing_support {

// The one QApplication of a widget test program (offscreen from the test
// environment), created on first use.
inline QApplication& TestApplication() {
  static int argc = 1;
  static char name[] = "mrx-widget-test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

}  // namespace testing_support
