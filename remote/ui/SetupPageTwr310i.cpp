#include "remote/ui/SetupPageTwr310i.h"

#include <QComboBox>
#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>

#include "protocol/remote/LiveValue.h"
#include "protocol/remote/RemoteProtocol.h"
#include "protocol/unit/Twr310iImage.h"

namespace remote::ui {

namespace {
using Img = protocol::unit::Twr310iImage;
}  // namespace

SetupPageTwr310i::SetupPageTwr310i(link::UnitState& state, int slot, QWidget* parent)
    : SetupPageCard(state, slot, Img::kEnd, parent) {
  auto* c = Content();
  name_ = controls::AddName(c, "Name");
  Bindings().Name(name_, Img::kNameField);
  controls::AddCaption(c, "Offset & Channel Settings");
  const protocol::unit::FieldRow* levelFields[] = {&Img::kLevel1Field, &Img::kLevel2Field};
  const protocol::unit::FieldRow* assignFields[] = {&Img::kAssign1Field, &Img::kAssign2Field};
  const QStringList channels = controls::ChannelNames(state);
  for (std::size_t i = 0; i < 2; ++i) {
    levels_[i] = controls::AddLevel(c, QString("Level %1").arg(i + 1));
    Bindings().Level(levels_[i].bar, *levelFields[i]);
    connect(levels_[i].bar, &QScrollBar::valueChanged, this, &SetupPageTwr310i::LevelMoved);
    channels_[i] = controls::AddCombo(c, QString("Channel %1").arg(i + 1), channels);
    Bindings().Combo(channels_[i], *assignFields[i]);
    connect(channels_[i], &QComboBox::activated, this, [this] { LiveWrite(); });
  }
  c->addStretch(1);
}

void SetupPageTwr310i::Filled(const Block& /*block*/) {
  for (auto& level : levels_) level.value->setText(controls::LevelText(level.bar->value()));
}

void SetupPageTwr310i::LevelMoved() {
  for (auto& level : levels_) level.value->setText(controls::LevelText(level.bar->value()));
  if (Filling()) return;
  const auto payload = protocol::remote::LiveValue::Encode66(
      Slot(), {static_cast<std::uint16_t>(levels_[0].bar->value()),
               static_cast<std::uint16_t>(levels_[1].bar->value()), 0, 0});
  SendLive(protocol::remote::kCmdLiveValue66, payload);
}

}  // namespace remote::ui
