#include "remote/ui/SetupPageOutput.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFont>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "protocol/remote/UnitInfoRecord.h"
#include "remote/ui/SetupPage.h"
#include "remote/ui/SetupPageControls.h"

namespace remote::ui {

SetupPageOutput::SetupPageOutput(link::UnitState& state, QWidget* parent)
    : QWidget(parent), state_(state), menuBar_(new QMenuBar(this)) {
  QFont font = this->font();
  font.setFamily("Century Gothic");
  font.setPixelSize(12);
  font.setBold(true);
  setFont(font);
  setFixedSize(SetupPage::kWidth, SetupPage::kHeight);
  controls::StyleMenuBar(menuBar_);
  menuBar_->addAction("&Restore", this, &SetupPageOutput::Restore);
  menuBar_->addAction("&Default", this, &SetupPageOutput::Default);
  menuBar_->addAction("&Exit and save!", this, &SetupPageOutput::ExitAndSave);

  auto* layout = new QVBoxLayout(this);
  layout->setMenuBar(menuBar_);
  layout->setContentsMargins(4, 4, 4, 4);
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(4);
  grid->setVerticalSpacing(2);
  grid->addWidget(new QLabel("Output"), 0, 0);
  auto* exclusive = new QButtonGroup(this);
  for (int g = 0; g < kGroups; ++g) {
    auto* button = new QPushButton(QString(QChar('A' + g)));
    button->setCheckable(true);
    button->setFixedWidth(30);
    exclusive->addButton(button, g);
    groups_[static_cast<std::size_t>(g)] = button;
    grid->addWidget(button, 0, g + 1, Qt::AlignHCenter);
    // The group the unit plays now; choosing one switches the unit to it.
    connect(button, &QPushButton::clicked, this, [this, g] { state_.SetGroup(g); });
  }
  const QStringList channelNames = controls::ChannelNames(state);
  for (int c = 0; c < kChannels; ++c) {
    auto* name = new QLineEdit(channelNames.value(c));
    names_[static_cast<std::size_t>(c)] = name;
    grid->addWidget(name, c + 1, 0);
    for (int g = 0; g < kGroups; ++g) {
      auto* box = new QCheckBox;
      boxes_[static_cast<std::size_t>(g)][static_cast<std::size_t>(c)] = box;
      grid->addWidget(box, c + 1, g + 1, Qt::AlignHCenter);
    }
  }
  grid->setColumnStretch(0, 1);
  layout->addLayout(grid);
  layout->addStretch(1);
  const auto current = static_cast<int>(state_.Status().Group());
  if (current >= 0 && current < kGroups)
    groups_[static_cast<std::size_t>(current)]->setChecked(true);
  Show(state_.Info().groupMasks);
}

void SetupPageOutput::Show(const Masks& masks) {
  for (int g = 0; g < kGroups; ++g) {
    for (int c = 0; c < kChannels; ++c) {
      Box(g, c)->setChecked((masks[static_cast<std::size_t>(g)] & (1u << c)) != 0);
    }
  }
}

SetupPageOutput::Masks SetupPageOutput::Shown() const {
  Masks masks{};
  for (int g = 0; g < kGroups; ++g) {
    for (int c = 0; c < kChannels; ++c) {
      if (Box(g, c)->isChecked()) {
        masks[static_cast<std::size_t>(g)] |= static_cast<std::uint8_t>(1u << c);
      }
    }
  }
  return masks;
}

bool SetupPageOutput::Send(const Masks& masks, bool regardless) {
  if (!regardless && masks == state_.Info().groupMasks) return true;
  return state_.SendGroupMasks(masks);
}

void SetupPageOutput::Restore() {
  Show(state_.Info().groupMasks);
}

void SetupPageOutput::Default() {
  Show(protocol::remote::UnitInfoRecord::kDefaultGroupMasks);
  Send(Shown(), true);
}

void SetupPageOutput::ExitAndSave() {
  if (closed_ || !Send(Shown(), false)) return;
  closed_ = true;
  emit Closed();
  close();
}

}  // namespace remote::ui
