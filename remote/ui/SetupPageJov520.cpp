#include "remote/ui/SetupPageJov520.h"

#include <QCheckBox>
#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>

#include "protocol/remote/LiveValue.h"
#include "protocol/remote/RemoteProtocol.h"
#include "protocol/unit/Jov520Image.h"

namespace remote::ui {

namespace {
using Img = protocol::unit::Jov520Image;
}  // namespace

SetupPageJov520::SetupPageJov520(link::UnitState& state, int slot, QWidget* parent)
    : SetupPageCard(state, slot, Img::kEnd, parent) {
  auto* c = Content();
  autoRepeat_ = new QCheckBox("Auto repeat");
  c->addWidget(autoRepeat_);
  Bindings().Check(autoRepeat_, Img::kAutoRepeatField);
  name_ = controls::AddName(c, "Name");
  Bindings().Name(name_, Img::kNameField);
  led_ = controls::AddLevel(c, "Front LED");
  Bindings().Level(led_.bar, Img::kLedBrightnessField);
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
