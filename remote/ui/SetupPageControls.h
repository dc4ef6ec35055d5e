#pragma once

#include <QString>
#include <QStringList>

#include "remote/link/UnitState.h"

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QMenuBar;
class QScrollBar;
class QVBoxLayout;
class QWidget;

// The controls the setup pages share, laid out for the 240-pixel-wide screen.
namespace remote::ui::controls {

// A level in tenths of a dB as every program shows one ("-12.5 dB").
QString LevelText(int tenths);

// A caption with the value text at its right, and a horizontal scroll bar under it.
struct LevelRow {
  QScrollBar* bar;
  QLabel* value;
};
LevelRow AddLevel(QVBoxLayout* layout, const QString& caption);

// A caption and a name edit on one line.
QLineEdit* AddName(QVBoxLayout* layout, const QString& caption);

// A caption and a drop-down list on one line.
QComboBox* AddCombo(QVBoxLayout* layout, const QString& caption, const QStringList& items);

// The channels a channel combo offers: the eight fixed ones, and the room
// correction card's channels when the unit has that card.
QStringList ChannelNames(const link::UnitState& state);

// The page's menu bar: small enough that every item fits the screen's width.
void StyleMenuBar(QMenuBar* menuBar);

// A bold group caption.
QLabel* AddCaption(QVBoxLayout* layout, const QString& text);

}  // namespace remote::ui::controls
