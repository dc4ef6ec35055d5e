#pragma once

#include <string_view>

namespace desktop::pages {

// Every question and message box of the desktop program goes through one of
// these, so tests answer them and the program shows them.
class Prompt {
 public:
  enum class Buttons { kOk, kYesNo, kYesNoCancel };
  enum class Icon { kQuestion, kInformation, kError };
  enum class Answer { kOk, kYes, kNo, kCancel };

  virtual ~Prompt() = default;
  virtual Answer Ask(std::string_view text, Buttons buttons, Icon icon = Icon::kQuestion) = 0;
};

}  // namespace desktop::pages
