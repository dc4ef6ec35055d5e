#include "remote/ui/SetupPageYor310.h"

#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>

#include "protocol/remote/LiveValue.h"
#include "protocol/remote/RemoteProtocol.h"
#include "protocol/unit/SettingsImage.h"
#include "protocol/unit/Yor310Image.h"

namespace remote::ui {

namespace {
using Img = protocol::unit::Yor310Image;
using W = BlockBindings::Width;
constexpr int kOffsetMax = 480;
}  // namespace

SetupPageYor310::SetupPageYor310(link::UnitState& state, int slot, QWidget* parent)
    : SetupPageCard(state, slot, Img::kEnd, parent) {
  auto* c = Content();
  name_ = controls::AddName(c, "Name");
  Bindings().Name(name_, BlockBindings::CardOffset(Img::kName),
                  protocol::unit::SettingsImage::kNameSize);
  controls::AddCaption(c, "Offset");
  const char* captions[] = {"Left", "Right"};
  const std::size_t at[] = {Img::kOffset1, Img::kOffset2};
  for (std::size_t i = 0; i < offsets_.size(); ++i) {
    offsets_[i] = controls::AddLevel(c, captions[i]);
    Bindings().Level(offsets_[i].bar, BlockBindings::CardOffset(at[i]), W::kI16, 0, kOffsetMax);
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
