#pragma once

#include <string>
#include <vector>

namespace desktop::shell {

// The desktop program: reads its one option, runs the sheet until the user
// closes it, and ends. With MRX_SCREENSHOTS=DIR it writes a picture of every
// tab to DIR after discovery instead of waiting for the user.
class CmyMRXApp {
 public:
  static constexpr const char* kServiceOption = "-service";
  static constexpr const char* kRegistryKey = "Valdur";

  // `arguments` are the program's arguments after its name, as given.
  explicit CmyMRXApp(const std::vector<std::string>& arguments);

  // The command line as the program sees it: the arguments joined by blanks.
  static std::string CommandLine(const std::vector<std::string>& arguments);
  // Service mode is on for exactly the command line "-service".
  static bool IsServiceCommandLine(const std::string& commandLine);

  bool ServiceMode() const { return serviceMode_; }
  // Runs the program; the process's exit code.
  int Run();

 private:
  bool serviceMode_;
};

}  // namespace desktop::shell
