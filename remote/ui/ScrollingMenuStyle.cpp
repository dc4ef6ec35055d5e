#include "remote/ui/ScrollingMenuStyle.h"

#include <QApplication>
#include <QMenu>

namespace remote::ui {

ScrollingMenuStyle::ScrollingMenuStyle() : QProxyStyle(QApplication::style()->name()) {}

int ScrollingMenuStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                                  QStyleHintReturn* returnData) const {
  if (hint == SH_Menu_Scrollable) return 1;
  return QProxyStyle::styleHint(hint, option, widget, returnData);
}

void ScrollingMenuStyle::Apply(QMenu& menu) {
  menu.setStyle(this);
}

}  // namespace remote::ui
