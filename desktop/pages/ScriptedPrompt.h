#pragma once

#include <deque>
#include <string>
#include <vector>

#include "desktop/pages/Prompt.h"

namespace desktop::pages {

// The test backend: answers from a script in order (Cancel, or the last
// button, when the script runs dry) and keeps every question asked.
class ScriptedPrompt final : public Prompt {
 public:
  void Script(std::vector<Answer> answers) { answers_.assign(answers.begin(), answers.end()); }
  const std::vector<std::string>& Asked() const { return asked_; }
  void Forget() { asked_.clear(); }

  Answer Ask(std::string_view text, Buttons buttons, Icon) override {
    asked_.emplace_back(text);
    if (!answers_.empty()) {
      const Answer a = answers_.front();
      answers_.pop_front();
      return a;
    }
    return buttons == Buttons::kYesNoCancel ? Answer::kCancel
           : buttons == Buttons::kYesNo     ? Answer::kNo
                                            : Answer::kOk;
  }

 private:
  std::deque<Answer> answers_;
  std::vector<std::string> asked_;
};

}  // namespace desktop::pages
