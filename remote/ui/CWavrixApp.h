#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace remote::ui {

// The remote's application object: reads its flags, makes the platform's
// services, the frame and the view, and runs them.
class CWavrixApp {
 public:
  static constexpr std::string_view kInitOption = "-init";
  // How long after start a held action key still counts as held at start.
  static constexpr int kServiceKeyWindowMs = 1000;
  // How long the pictures wait for the default unit to answer.
  static constexpr int kPictureWaitMs = 5000;

  explicit CWavrixApp(const std::vector<std::string>& arguments);
  // Runs the program; its exit code.
  int Run();

  bool InitFlag() const { return init_; }
  bool HelpWanted() const { return help_; }
  static std::string HelpText();

 private:
  bool init_ = false;
  bool help_ = false;
};

}  // namespace remote::ui
