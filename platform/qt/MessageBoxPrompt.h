#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/Prompt.h"

namespace platform::qt {

// Shows the prompts of core code as modal message boxes over `parent`.
class MessageBoxPrompt final : public Prompt {
 public:
  explicit MessageBoxPrompt(QWidget* parent = nullptr) : parent_(parent) {}
  void Error(std::string_view title, std::string_view text) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace platform::qt
