#include "remote/ui/CMainFrame.h"

#include <QCloseEvent>
#include <QScreen>

#include "remote/ui/CWavrixView.h"

namespace remote::ui {

CMainFrame::CMainFrame(QWidget* parent) : QWidget(parent) {
  setWindowTitle(QStringLiteral("WavrixBTMS"));
}

void CMainFrame::SetView(CWavrixView* view) {
  view_ = view;
  view_->setParent(this);
  view_->move(0, 0);
  view_->afterDialog = [this] { CoverScreen(); };
  setFocusProxy(view_);
  CoverScreen();
}

bool CMainFrame::HandheldScreen() const {
  const QScreen* s = screen();
  if (s == nullptr) return false;
  const QSize size = s->size();
  return size.width() <= CWavrixView::kWidth && size.height() <= CWavrixView::kHeight;
}

void CMainFrame::CoverScreen() {
  if (HandheldScreen()) {
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setWindowFlag(Qt::FramelessWindowHint, true);
    setGeometry(screen()->geometry());
    if (isVisible()) showFullScreen();
  } else {
    setFixedSize(CWavrixView::kWidth, CWavrixView::kHeight);
  }
  if (view_ != nullptr) {
    // Centred on a screen larger than the view's, at the top-left on its own size.
    view_->move(std::max(0, (width() - CWavrixView::kWidth) / 2),
                std::max(0, (height() - CWavrixView::kHeight) / 2));
  }
}

bool CMainFrame::event(QEvent* event) {
  const bool handled = QWidget::event(event);
  if (event->type() == QEvent::ScreenChangeInternal ||
      event->type() == QEvent::ApplicationFontChange ||
      event->type() == QEvent::ApplicationPaletteChange) {
    CoverScreen();
  }
  return handled;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (view_ != nullptr) view_->Leave();
  event->accept();
}

}  // namespace remote::ui
