#include "platform/qt/MessageBoxPrompt.h"

#include <QMessageBox>

namespace platform::qt {

namespace {
QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

void MessageBoxPrompt::Error(std::string_view title, std::string_view text) {
  QMessageBox::critical(parent_.data(), Text(title), Text(text));
}

}  // namespace platform::qt
