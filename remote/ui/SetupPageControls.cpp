#include "remote/ui/SetupPageControls.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

#include "protocol/unit/FieldRow.h"
#include "protocol/unit/ModuleCatalogue.h"

namespace remote::ui::controls {

namespace {
// Channels of the room correction card a channel combo offers after the fixed ones.
constexpr int kRoomChannels = 14;
}  // namespace

QString LevelText(int tenths) {
  return QString::fromStdString(protocol::unit::LevelText(tenths));
}

LevelRow AddLevel(QVBoxLayout* layout, const QString& caption) {
  auto* row = new QHBoxLayout;
  auto* label = new QLabel(caption);
  auto* value = new QLabel(LevelText(-300));
  value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  row->addWidget(label, 1);
  row->addWidget(value);
  layout->addLayout(row);
  auto* bar = new QScrollBar(Qt::Horizontal);
  bar->setMinimumHeight(16);
  layout->addWidget(bar);
  return {bar, value};
}

QLineEdit* AddName(QVBoxLayout* layout, const QString& caption) {
  auto* row = new QHBoxLayout;
  auto* label = new QLabel(caption);
  label->setMinimumWidth(70);
  auto* edit = new QLineEdit;
  row->addWidget(label);
  row->addWidget(edit, 1);
  layout->addLayout(row);
  return edit;
}

QComboBox* AddCombo(QVBoxLayout* layout, const QString& caption, const QStringList& items) {
  auto* row = new QHBoxLayout;
  auto* combo = new QComboBox;
  combo->addItems(items);
  // Long items must not widen the page past the screen.
  combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  combo->setMinimumContentsLength(4);  // it still takes the row's free width
  if (!caption.isEmpty()) {
    auto* label = new QLabel(caption);
    // The caption is read whole; the list gives way.
    label->setMinimumWidth(std::max(70, label->sizeHint().width()));
    row->addWidget(label);
  }
  row->addWidget(combo, 1);
  layout->addLayout(row);
  return combo;
}

QStringList ChannelNames(const link::UnitState& state) {
  QStringList names = {"Front Left", "Front Right", "Rear Left", "Rear Right",
                       "Centre",     "Subwoofer",   "Mid Left",  "Mid Right"};
  const auto& modules = state.Modules();
  const bool room = std::any_of(modules.begin(), modules.end(), [](const link::UnitEntry& e) {
    return e.type == protocol::unit::type::kKLF310;
  });
  if (room) {
    for (int k = 1; k <= kRoomChannels; ++k) {
      names << QString::asprintf("Channel %d %s", (k - 1) / 2 + 1, k % 2 == 1 ? "Left" : "Right");
    }
  }
  return names;
}

void StyleMenuBar(QMenuBar* menuBar) {
  QFont font = menuBar->font();
  font.setPixelSize(10);
  font.setBold(false);
  menuBar->setFont(font);
  menuBar->setStyleSheet("QMenuBar::item { padding: 2px 3px; }");
}

QLabel* AddCaption(QVBoxLayout* layout, const QString& text) {
  auto* label = new QLabel(text);
  QFont font = label->font();
  font.setUnderline(true);
  label->setFont(font);
  layout->addWidget(label);
  return label;
}

}  // namespace remote::ui::controls
