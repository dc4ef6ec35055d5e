#include "desktop/pages/CPropertyPage.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>

namespace desktop::pages {

CPropertyPage::CPropertyPage(const DialogTemplate& dialog, QWidget* parent)
    : QWidget(parent), dialog_(dialog) {
  // The sheet sizes itself from its pages before any of them is shown.
  setFixedSize(DialogUnits(font()).Size(dialog.w, dialog.h));
}

QString CPropertyPage::Caption() const {
  return QString::fromUtf8(dialog_.caption.data(), static_cast<int>(dialog_.caption.size()));
}

bool CPropertyPage::EnsureWindow() {
  if (initFailed_) return false;
  if (HasWindow()) return true;
  builder_.Build(this, dialog_);
  if (!OnInitDialog()) initFailed_ = true;
  return !initFailed_;
}

bool CPropertyPage::Activate() {
  if (!EnsureWindow()) return false;
  return OnSetActive();
}

bool CPropertyPage::OnInitDialog() {
  UpdateData(false);
  return true;
}

bool CPropertyPage::OnSetActive() {
  if (firstSetActive_) {
    firstSetActive_ = false;
  } else {
    UpdateData(false);
  }
  return true;
}

bool CPropertyPage::OnKillActive() {
  return UpdateData(true);
}

bool CPropertyPage::UpdateData(bool saveAndValidate) {
  if (!HasWindow()) return false;
  DoDataExchange(saveAndValidate);
  return true;
}

void CPropertyPage::DoDataExchange(bool) {}

void CPropertyPage::DdxText(bool save, int id, std::string& value) {
  QWidget* w = Control(id);
  if (w == nullptr) return;
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    if (save) {
      value = edit->text().toStdString();
    } else {
      edit->setText(QString::fromStdString(value));
    }
  } else if (auto* label = qobject_cast<QLabel*>(w)) {
    if (save) {
      value = label->text().toStdString();
    } else {
      label->setText(QString::fromStdString(value));
    }
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    if (save) {
      value = button->text().toStdString();
    } else {
      button->setText(QString::fromStdString(value));
    }
  }
}

}  // namespace desktop::pages
