#include "remote/ui/SetupPageInputs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "protocol/unit/Hej520Image.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/SettingsImage.h"
#include "protocol/unit/Siv520Image.h"
#include "remote/ui/SetupPageControls.h"

namespace remote::ui {

namespace {

namespace pu = protocol::unit;

struct InputsLayout {
  std::size_t end;
  const pu::FieldRow& disable;
  const pu::FieldRow& names;
  QStringList labels;
};

InputsLayout LayoutOf(std::uint8_t type) {
  if (type == pu::type::kHEJ520) {
    using Img = pu::Hej520Image;
    return {Img::kEnd, Img::kDisableFields, Img::kNameFields, {"AES", "S/PDIF", "Toslink"}};
  }
  using Img = pu::Siv520Image;
  return {Img::kEnd,
          Img::kDisableFields,
          Img::kNameFields,
          {"1:S/PDIF", "2:Toslink", "3:S/PDIF", "4:Toslink", "5:S/PDIF", "6:Toslink", "7:S/PDIF",
           "8:Toslink"}};
}

}  // namespace

SetupPageInputs::SetupPageInputs(link::UnitState& state, int slot, std::uint8_t type,
                                 QWidget* parent)
    : SetupPageCard(state, slot, LayoutOf(type).end, parent) {
  const InputsLayout layout = LayoutOf(type);
  auto* c = Content();
  controls::AddCaption(c, "Inputs");
  for (int i = 0; i < layout.labels.size(); ++i) {
    const auto k = static_cast<std::size_t>(i);
    auto* row = new QHBoxLayout;
    auto* enable = new QCheckBox(layout.labels[i]);
    enable->setMinimumWidth(80);
    auto* name = new QLineEdit;
    row->addWidget(enable);
    row->addWidget(name, 1);
    c->addLayout(row);
    Bindings().Check(enable, layout.disable.At(k), true);
    Bindings().Name(name, layout.names.At(k));
    enables_.push_back(enable);
    names_.push_back(name);
  }
  if (type == pu::type::kHEJ520) {
    using Img = pu::Hej520Image;
    rate_ = controls::AddCombo(c, "Rate", {"44.1kHz/24bit", "48kHz/24bit", "96kHz/24bit"});
    Bindings().Combo(rate_, Img::kRateField);
    connect(rate_, &QComboBox::activated, this, [this] { LiveWrite(); });
    const QStringList channels = controls::ChannelNames(state);
    const pu::FieldRow* assigns[] = {&Img::kAssign1Field, &Img::kAssign2Field};
    for (std::size_t i = 0; i < 2; ++i) {
      auto* combo = controls::AddCombo(c, QString("Channel %1").arg(i + 1), channels);
      Bindings().Combo(combo, *assigns[i]);
      connect(combo, &QComboBox::activated, this, [this] { LiveWrite(); });
      channels_.push_back(combo);
    }
  }
  c->addStretch(1);
}

}  // namespace remote::ui
