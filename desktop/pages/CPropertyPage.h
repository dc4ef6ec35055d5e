#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "desktop/pages/DialogBuilder.h"
#include "desktop/pages/DialogTemplate.h"
#include "platform/CObject.h"

namespace desktop::pages {

// One tab of a property sheet, built from its dialog template when it first
// becomes the current tab. The sheet activates and deactivates it; a page
// refuses to be left by returning false from OnKillActive.
class CPropertyPage : public QWidget, public platform::CObject {
 public:
  explicit CPropertyPage(const DialogTemplate& dialog, QWidget* parent = nullptr);

  const char* GetRuntimeClassName() const override { return "CPropertyPage"; }
  QString Caption() const;
  const DialogTemplate& Template() const { return dialog_; }

  // The page's controls exist (after the first activation).
  bool HasWindow() const { return builder_.Built(); }
  QWidget* Control(int id) const { return builder_.Control(id); }
  template <typename T>
  T* Get(int id) const {
    return builder_.Get<T>(id);
  }

  // The sheet's entry points: builds the controls on first use, then runs the
  // activation handler. Returns false when the page could not be created.
  bool Activate();
  // Creates the controls without activating (headless pictures, tests).
  bool EnsureWindow();

  virtual bool OnSetActive();
  virtual bool OnKillActive();

  // The page's own dialogs worth a picture in the screenshot run, filled with
  // what the page holds and named by their window titles; none by default.
  virtual std::vector<QWidget*> PictureDialogs() { return {}; }

  // Data exchange between the page's members and its controls.
  bool UpdateData(bool saveAndValidate);

 protected:
  virtual bool OnInitDialog();
  virtual void DoDataExchange(bool saveAndValidate);

  // Exchange helpers for DoDataExchange.
  void DdxText(bool save, int id, std::string& value);

 private:
  const DialogTemplate& dialog_;
  DialogBuilder builder_;
  bool firstSetActive_ = true;
  bool initFailed_ = false;
};

}  // namespace desktop::pages
