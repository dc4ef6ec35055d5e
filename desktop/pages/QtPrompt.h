#pragma once

#include "desktop/pages/Prompt.h"

class QWidget;

namespace desktop::pages {

// Message boxes on the screen, over `parent`.
class QtPrompt final : public Prompt {
 public:
  explicit QtPrompt(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  Answer Ask(std::string_view text, Buttons buttons, Icon icon) override;

 private:
  QWidget* parent_;
};

}  // namespace desktop::pages
