#pragma once

#include "remote/ui/SetupPageCard.h"
#include "remote/ui/SetupPageControls.h"

class QCheckBox;
class QLineEdit;

namespace remote::ui {

// JOV520 drive card: auto repeat, name and the front LED, which moves live.
class SetupPageJov520 final : public SetupPageCard {
  Q_OBJECT

 public:
  SetupPageJov520(link::UnitState& state, int slot, QWidget* parent = nullptr);

  QCheckBox* AutoRepeat() const { return autoRepeat_; }
  QLineEdit* NameEdit() const { return name_; }
  const controls::LevelRow& Led() const { return led_; }

 protected:
  void Filled(const Block& block) override;

 private:
  void LedMoved();

  QCheckBox* autoRepeat_;
  QLineEdit* name_;
  controls::LevelRow led_;
};

}  // namespace remote::ui
