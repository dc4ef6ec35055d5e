#include "remote/ui/SetupPageNvo310.h"

#include <QCheckBox>
#include <QComboBox>
#include <QVBoxLayout>

#include "protocol/unit/Nvo310Image.h"
#include "protocol/unit/SettingsImage.h"
#include "remote/ui/SetupPageControls.h"

namespace remote::ui {

namespace {
using Img = protocol::unit::Nvo310Image;
}  // namespace

SetupPageNvo310::SetupPageNvo310(link::UnitState& state, int slot, QWidget* parent)
    : SetupPageCard(state, slot, Img::kEnd, parent) {
  auto* c = Content();
  // Items in the order of the group's value: 0, 2, 4 in bits 1-2.
  group_ =
      controls::AddCombo(c, "Active", {"Stereo", "Multichannel 5.1 + Stereo", "Multichannel 7.1"});
  Bindings().Combo(group_, Img::kGroupField);
  highPass_ = new QCheckBox("High pass filter");
  c->addWidget(highPass_);
  Bindings().Check(highPass_, Img::kHighPassField);
  controls::AddCaption(c, "Inputs");
  const char* labels[] = {"1: Stereo", "2: Stereo", "3: Stereo", "4: Stereo",
                          "1: MC5.1",  "2: Stereo", "1: MC7.1"};
  for (std::size_t i = 0; i < names_.size(); ++i) {
    names_[i] = controls::AddName(c, labels[i]);
    Bindings().Name(names_[i], BlockBindings::CardOffset(Img::NameOffset(i)),
                    protocol::unit::SettingsImage::kNameSize);
  }
  c->addStretch(1);
}

}  // namespace remote::ui
