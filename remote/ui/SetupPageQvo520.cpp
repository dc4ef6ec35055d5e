#include "remote/ui/SetupPageQvo520.h"

#include <QComboBox>
#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>

#include "protocol/remote/LiveValue.h"
#include "protocol/remote/RemoteProtocol.h"
#include "protocol/unit/Qvo520Image.h"

namespace remote::ui {

namespace {
using Img = protocol::unit::Qvo520Image;
// Command 69 carries a channel in four bits.
constexpr int kMaxLiveChannel = 15;
}  // namespace

SetupPageQvo520::SetupPageQvo520(link::UnitState& state, int slot, QWidget* parent)
    : SetupPageCard(state, slot, Img::kEnd, parent) {
  auto* c = Content();
  mode_ = controls::AddCombo(c, "Mode", {"Mono - Bi-Amping", "Stereo (ZEL520)"});
  Bindings().Combo(mode_, Img::kModeField);
  name_ = controls::AddName(c, "Name");
  Bindings().Name(name_, Img::kNameField);
  controls::AddCaption(c, "Offset & Channel Settings");
  const QStringList channels = controls::ChannelNames(state);
  for (std::size_t i = 0; i < levels_.size(); ++i) {
    levels_[i] = controls::AddLevel(c, QString("Level %1").arg(i + 1));
    Bindings().Level(levels_[i].bar, Img::kLevelFields[i]);
    connect(levels_[i].bar, &QScrollBar::valueChanged, this, &SetupPageQvo520::LevelMoved);
    channels_[i] = controls::AddCombo(c, QString("Channel %1").arg(i + 1), channels);
    Bindings().Combo(channels_[i], Img::kAssignFields[i]);
    connect(channels_[i], &QComboBox::activated, this, &SetupPageQvo520::ChannelChanged);
  }
  c->addStretch(1);
}

void SetupPageQvo520::Filled(const Block& /*block*/) {
  for (auto& level : levels_) level.value->setText(controls::LevelText(level.bar->value()));
}

void SetupPageQvo520::LevelMoved() {
  for (auto& level : levels_) level.value->setText(controls::LevelText(level.bar->value()));
  if (Filling()) return;
  std::array<std::uint16_t, 4> values{};
  for (std::size_t i = 0; i < values.size(); ++i) {
    values[i] = static_cast<std::uint16_t>(levels_[i].bar->value());
  }
  SendLive(protocol::remote::kCmdLiveValue66,
           protocol::remote::LiveValue::Encode66(Slot(), values));
}

void SetupPageQvo520::ChannelChanged() {
  std::array<std::uint8_t, 4> values{};
  for (std::size_t i = 0; i < values.size(); ++i) {
    const int index = channels_[i]->currentIndex();
    // A channel the command cannot carry (or none) goes to the unit with the save.
    if (index < 0 || index > kMaxLiveChannel) return;
    values[i] = static_cast<std::uint8_t>(index);
  }
  SendLive(protocol::remote::kCmdLiveValue69,
           protocol::remote::LiveValue::Encode69(Slot(), false, values));
}

}  // namespace remote::ui
