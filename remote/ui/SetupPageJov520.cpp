#include "remote/ui/SetupPageJov520.h"

#include <QCheckBox>
#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>

#include "protocol/remote/LiveValue.h"
#include "protocol/remote/RemoteProtocol.h"
#include "protocol/unit/Jov520Image.h"
#include "protocol/unit/SettingsImage.h"

namespace remote::ui {

namespace {
using Img = protocol::unit::Jov520Image;
using W = BlockBindings::Width;
}  // namespace

SetupPageJov520::SetupPageJov520(link::UnitState& state, int slot, QWidget* parent)
    : SetupPageCard(state, slot, Img::kEnd, parent) {
  auto* c = Content();
  autoRepeat_ = new QCheckBox("Auto repeat");
  c->addWidget(autoRepeat_);
  Bindings().Check(autoRepeat_, BlockBindings::CardOffset(Img::kFlags), Img::kAutoRepeatBit);
  name_ = controls::AddName(c, "Name");
  Bindings().Name(name_, BlockBindings::CardOffset(Img::kName),
                  protocol::unit::SettingsImage::kNameSize);
  led_ = controls::AddLevel(c, "Front LED");
  Bindings().Level(led_.bar, BlockBindings::CardOffset(Img::kLedBrightness), W::kU8, 0,
                   Img::kMaxBrightness);
  connect(led_.bar, &QScrollBar::valueChanged, this, &SetupPageJov520::LedMoved);
  c->addStretch(1);
}

void SetupPageJov520::Filled(const Block& /*block*/) {
  led_.value->setText(QString::number(led_.bar->value()));
}

void SetupPageJov520::LedMoved() {
  led_.value->setText(QString::number(led_.bar->value()));
  if (Filling()) return;
  SendLive(protocol::remote::kCmdLiveValue70,
           protocol::remote::LiveValue::Encode70(Slot(), 0, 0,
                                                 static_cast<std::uint16_t>(led_.bar->value())));
}

}  // namespace remote::ui
