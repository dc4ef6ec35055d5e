#pragma once

#include <QProxyStyle>

class QMenu;

namespace remote::ui {

// Menus on the handheld's small screen: a menu taller than the screen scrolls
// with arrows at its ends instead of spreading into columns past its edge.
class ScrollingMenuStyle final : public QProxyStyle {
 public:
  // Draws as the application's style does.
  ScrollingMenuStyle();

  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override;

  // Gives `menu` this style; the style must outlive the menu.
  void Apply(QMenu& menu);
};

}  // namespace remote::ui
