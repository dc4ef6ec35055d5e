#pragma once

#include <array>

#include "remote/ui/SetupPageCard.h"
#include "remote/ui/SetupPageControls.h"

class QComboBox;
class QLineEdit;

namespace remote::ui {

// TWR310i converter card: name, two output levels sent live, two channel
// assignments written at once.
class SetupPageTwr310i final : public SetupPageCard {
  Q_OBJECT

 public:
  SetupPageTwr310i(link::UnitState& state, int slot, QWidget* parent = nullptr);

  QLineEdit* NameEdit() const { return name_; }
  const std::array<controls::LevelRow, 2>& Levels() const { return levels_; }
  const std::array<QComboBox*, 2>& Channels() const { return channels_; }

 protected:
  void Filled(const Block& block) override;

 private:
  void LevelMoved();

  QLineEdit* name_;
  std::array<controls::LevelRow, 2> levels_;
  std::array<QComboBox*, 2> channels_;
};

}  // namespace remote::ui
