#include "remote/ui/SetupPagePhono.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <string>

#include "platform/CodePage.h"
#include "protocol/remote/LiveValue.h"
#include "protocol/remote/RemoteProtocol.h"
#include "protocol/unit/PhonoImage.h"
#include "protocol/unit/SettingsImage.h"
#include "remote/ui/ResponseGraph.h"

namespace remote::ui {

namespace {
using Img = protocol::unit::PhonoImage;
using CurveSlot = protocol::unit::PhonoCurveSlot;
using W = BlockBindings::Width;
}  // namespace

SetupPagePhono::SetupPagePhono(link::UnitState& state, int slot, QWidget* parent)
    : SetupPageCard(state, slot, Img::kEnd, parent) {
  auto* c = Content();
  gain_ = controls::AddLevel(c, "Level");
  gain_.value->setText(controls::LevelText(0));
  Bindings().Level(gain_.bar, Img::kGainField);
  connect(gain_.bar, &QScrollBar::valueChanged, this, &SetupPagePhono::GainMoved);
  curve_ = controls::AddCombo(c, "Curve", {});
  for (std::size_t k = 0; k < Img::kSlotCount; ++k) curve_->addItem(QString("Curve %1").arg(k + 1));
  Bindings().Combo(curve_, BlockBindings::CardOffset(Img::kSelectedCurve), W::kU8);
  connect(curve_, &QComboBox::activated, this, &SetupPagePhono::CurveChosen);
  name_ = controls::AddName(c, "Name");
  Bindings().Name(name_, BlockBindings::CardOffset(Img::kName),
                  protocol::unit::SettingsImage::kNameSize);
  graph_ = new ResponseGraph;
  c->addWidget(graph_, 1);
  highPass_ = new QCheckBox("High pass filter");
  c->addWidget(highPass_);
  Bindings().Check(highPass_, BlockBindings::CardOffset(Img::kFlags), Img::kHighPassBit);
}

void SetupPagePhono::FillControls(const Block& block) {
  // The curve list carries the slots' own names; an unnamed slot keeps its number.
  for (std::size_t k = 0; k < Img::kSlotCount; ++k) {
    const std::size_t at = BlockBindings::CardOffset(Img::SlotOffset(k) + CurveSlot::kName);
    const auto first = block.begin() + static_cast<std::ptrdiff_t>(at);
    const auto last = first + static_cast<std::ptrdiff_t>(CurveSlot::kNameSize - 1);
    const std::string name(first, std::find(first, last, std::uint8_t{0}));
    curve_->setItemText(static_cast<int>(k),
                        name.empty() ? QString("Curve %1").arg(k + 1)
                                     : QString::fromStdString(platform::CodePageToUtf8(name)));
  }
  SetupPageCard::FillControls(block);
}

void SetupPagePhono::Filled(const Block& /*block*/) {
  gain_.value->setText(controls::LevelText(gain_.bar->value()));
  ShowCurve();
}

void SetupPagePhono::ShowCurve() {
  std::array<std::uint16_t, 4> times{};
  const int k = curve_->currentIndex();
  if (k >= 0) {
    for (std::size_t i = 0; i < times.size(); ++i) {
      times[i] = static_cast<std::uint16_t>(BlockBindings::Read(
          Edited(),
          BlockBindings::CardOffset(Img::SlotOffset(static_cast<std::size_t>(k)) +
                                    CurveSlot::TimeOffset(i)),
          W::kU16));
    }
  }
  graph_->SetTimeConstants(times);
}

void SetupPagePhono::GainMoved() {
  gain_.value->setText(controls::LevelText(gain_.bar->value()));
  if (Filling()) return;
  SendLive(protocol::remote::kCmdLiveValue67,
           protocol::remote::LiveValue::Encode67(Slot(), gain_.bar->value(),
                                                 std::max(curve_->currentIndex(), 0)));
}

void SetupPagePhono::CurveChosen() {
  ShowCurve();
  if (curve_->currentIndex() < 0) return;
  SendLive(protocol::remote::kCmdLiveValue56,
           protocol::remote::LiveValue::Encode56(Slot(), curve_->currentIndex()));
}

}  // namespace remote::ui
