#include "desktop/pages/DialogBuilder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QString>
#include <QWidget>

#include "desktop/widgets/CEditCtrl.h"
#include "desktop/widgets/CmySliderCtrl.h"

namespace desktop::pages {

namespace {

QString Text(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

QWidget* Make(const ControlTemplate& c, QWidget* parent) {
  switch (c.kind) {
    case ControlKind::kLabel:
    case ControlKind::kLabelCentre:
    case ControlKind::kLabelRight: {
      auto* label = new QLabel(Text(c.caption), parent);
      label->setAlignment(Qt::AlignVCenter |
                          (c.kind == ControlKind::kLabel        ? Qt::AlignLeft
                           : c.kind == ControlKind::kLabelRight ? Qt::AlignRight
                                                                : Qt::AlignHCenter));
      return label;
    }
    case ControlKind::kGroup:
      return new QGroupBox(Text(c.caption), parent);
    case ControlKind::kLine: {
      auto* line = new QFrame(parent);
      line->setFrameShape(QFrame::HLine);
      line->setFrameShadow(QFrame::Sunken);
      return line;
    }
    case ControlKind::kPicture: {
      auto* picture = new QLabel(parent);
      picture->setAlignment(Qt::AlignCenter);
      return picture;
    }
    case ControlKind::kEdit: {
      auto* edit = new QLineEdit(Text(c.caption), parent);
      if (c.maxLength > 0) edit->setMaxLength(c.maxLength);
      return edit;
    }
    case ControlKind::kButton: {
      auto* button = new QPushButton(Text(c.caption), parent);
      // Enter never presses a page button: the sheet swallows it, as it does Escape.
      button->setAutoDefault(false);
      return button;
    }
    case ControlKind::kCheckBox:
      return new QCheckBox(Text(c.caption), parent);
    case ControlKind::kRadio: {
      // Each page decides which of its radio buttons belong together.
      auto* radio = new QRadioButton(Text(c.caption), parent);
      radio->setAutoExclusive(false);
      return radio;
    }
    case ControlKind::kDropList: {
      auto* list = new QComboBox(parent);
      for (std::string_view item : c.items) list->addItem(Text(item));
      return list;
    }
    case ControlKind::kDatePicker: {
      auto* picker = new QDateEdit(parent);
      picker->setCalendarPopup(true);
      return picker;
    }
    case ControlKind::kProgress: {
      auto* bar = new QProgressBar(parent);
      bar->setRange(0, 100);
      bar->setTextVisible(false);
      return bar;
    }
    case ControlKind::kSlider: {
      auto* slider = new QSlider(Qt::Horizontal, parent);
      slider->setTickPosition(QSlider::TicksBelow);
      return slider;
    }
    case ControlKind::kLevelSlider:
      return new widgets::CmySliderCtrl(parent);
    case ControlKind::kScrollBar:
      return new QScrollBar(Qt::Horizontal, parent);
    case ControlKind::kComboEdit: {
      auto* combo = new QComboBox(parent);
      combo->setEditable(true);
      // The page decides what an edit changes; Enter adds no entry.
      combo->setInsertPolicy(QComboBox::NoInsert);
      for (std::string_view item : c.items) combo->addItem(Text(item));
      return combo;
    }
    case ControlKind::kNumberEdit:
      return new widgets::CEditCtrl(parent);
  }
  return new QWidget(parent);
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
  // The average width of the 52 letters, rounded as dialog base units are.
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  charWidth_ = (letters / 26 + 1) / 2;
  charHeight_ = metrics.height();
}

void DialogBuilder::Build(QWidget* parent, const DialogTemplate& dialog) {
  const DialogUnits units(parent->font());
  parent->setFixedSize(units.Size(dialog.w, dialog.h));
  for (const ControlTemplate& c : dialog.controls) {
    QWidget* w = Make(c, parent);
    w->setGeometry(units.Rect(c.x, c.y, c.w, c.h));
    // Pages are built on first activation, when the sheet is already shown.
    w->show();
    if (c.id != 0) {
      w->setObjectName(QStringLiteral("ctl%1").arg(c.id));
      controls_[c.id] = w;
    }
    // Group boxes are drawn behind the controls they hold.
    if (c.kind == ControlKind::kGroup) w->lower();
  }
  built_ = true;
}

QWidget* DialogBuilder::Control(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

}  // namespace desktop::pages
