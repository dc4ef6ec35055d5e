#include "remote/ui/SetupPageYor310.h"

#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>

#include "protocol/remote/LiveValue.h"
#include "protocol/remote/RemoteProtocol.h"
#include "protocol/unit/Yor310Image.h"

namespace remote::ui {

namespace {
using Img = protocol::unit::Yor310Image;
}  // namespace

SetupPageYor310::SetupPageYor310(link::UnitState& state, int slot, QWidget* parent)
    : SetupPageCard(state, slot, Img::kEnd, parent) {
  auto* c = Content();
  name_ = controls::AddName(c, "Name");
  Bindings().Name(name_, Img::kNameField);
  controls::AddCaption(c, "Offset");
  const char* captions[] = {"Left", "Right"};
  const protocol::unit::FieldRow* fields[] = {&Img::kOffset1Field, &Img::kOffset2Field};
  for (std::size_t i = 0; i < offsets_.size(); ++i) {
    offsets_[i] = controls::AddLevel(c, captions[i]);
    Bindings().Level(offsets_[i].bar, *fields[i]);
    connect(offsets_[i].bar, &QScrollBar::valueChanged, this, &SetupPageYor310::OffsetMoved);
  }
  c->addStretch(1);
}

void SetupPageYor310::Filled(const Block& /*block*/) {
  for (auto& o : offsets_) o.value->setText(controls::LevelText(o.bar->value()));
}

void SetupPageYor310::OffsetMoved() {
  for (auto& o : offsets_) o.value->setText(controls::LevelText(o.bar->value()));
  if (Filling()) return;
  SendLive(protocol::remote::kCmdLiveValue66,
           protocol::remote::LiveValue::Encode66(
               Slot(), {static_cast<std::uint16_t>(offsets_[0].bar->value()),
                        static_cast<std::uint16_t>(offsets_[1].bar->value()), 0, 0}));
}

}  // namespace remote::ui
