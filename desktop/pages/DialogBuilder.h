#pragma once

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <map>

#include "desktop/pages/DialogTemplate.h"

class QWidget;

namespace desktop::pages {

// Dialog units of a font: x · average character width / 4, y · height / 8.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  int X(int du) const { return (du * charWidth_ + 2) / 4; }
  int Y(int du) const { return (du * charHeight_ + 4) / 8; }
  QRect Rect(int x, int y, int w, int h) const { return {X(x), Y(y), X(w), Y(h)}; }
  QSize Size(int w, int h) const { return {X(w), Y(h)}; }

 private:
  int charWidth_;
  int charHeight_;
};

// Turns a dialog template into child widgets of `parent`, placed by their
// dialog units, and finds them again by id.
class DialogBuilder {
 public:
  // Builds every control; `parent` gets the template's size.
  void Build(QWidget* parent, const DialogTemplate& dialog);
  // The control with this id, or null (also before Build).
  QWidget* Control(int id) const;
  template <typename T>
  T* Get(int id) const {
    return dynamic_cast<T*>(Control(id));
  }
  bool Built() const { return built_; }

 private:
  std::map<int, QWidget*> controls_;
  bool built_ = false;
};

}  // namespace desktop::pages
