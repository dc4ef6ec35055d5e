#pragma once

#include <string_view>

namespace platform {

// The message boxes core code needs (MessageBox): the Qt side shows a
// QMessageBox, tests record what would have been shown.
class Prompt {
 public:
  virtual ~Prompt() = default;
  // An error the user acknowledges: `text` in a box titled `title`; returns
  // once it has been dismissed.
  virtual void Error(std::string_view title, std::string_view text) = 0;
};

}  // namespace platform
