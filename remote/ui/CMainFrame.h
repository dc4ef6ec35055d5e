#pragma once

#include <QWidget>

namespace remote::ui {

class CWavrixView;

// The remote's window: it covers the whole screen where the screen is a
// handheld's (240 x 320 or smaller), else it is a 240 x 320 window. Covering
// is done again after every dialog the view opens and after every change of
// the screen's settings.
class CMainFrame final : public QWidget {
 public:
  explicit CMainFrame(QWidget* parent = nullptr);
  // The view becomes the frame's only child.
  void SetView(CWavrixView* view);
  CWavrixView* View() const { return view_; }
  void CoverScreen();
  // The screen is no larger than the view: full screen, above other windows.
  bool HandheldScreen() const;

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  CWavrixView* view_ = nullptr;
};

}  // namespace remote::ui
