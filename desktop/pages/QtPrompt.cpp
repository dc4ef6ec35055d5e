#include "desktop/pages/QtPrompt.h"

#include <QApplication>
#include <QMessageBox>

namespace desktop::pages {

Prompt::Answer QtPrompt::Ask(std::string_view text, Buttons buttons, Icon icon) {
  QMessageBox box(parent_);
  box.setWindowTitle(QApplication::applicationDisplayName());
  box.setText(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
  box.setIcon(icon == Icon::kError         ? QMessageBox::Critical
              : icon == Icon::kInformation ? QMessageBox::Information
                                           : QMessageBox::Question);
  switch (buttons) {
    case Buttons::kOk:
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case Buttons::kYesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    case Buttons::kYesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Yes:
      return Answer::kYes;
    case QMessageBox::No:
      return Answer::kNo;
    case QMessageBox::Ok:
      return Answer::kOk;
    default:
      // Closing the box is Cancel where there is one, else the only answer left.
      return buttons == Buttons::kYesNoCancel ? Answer::kCancel
             : buttons == Buttons::kYesNo     ? Answer::kNo
                                              : Answer::kOk;
  }
}

}  // namespace desktop::pages
