#pragma once

#include <array>

#include "remote/ui/SetupPageCard.h"
#include "remote/ui/SetupPageControls.h"

class QComboBox;
class QLineEdit;

namespace remote::ui {

// QVO520 digital output card: operating mode, name, four output levels and
// four channel assignments, levels and channels sent live.
class SetupPageQvo520 final : public SetupPageCard {
  Q_OBJECT

 public:
  SetupPageQvo520(link::UnitState& state, int slot, QWidget* parent = nullptr);

  QComboBox* Mode() const { return mode_; }
  QLineEdit* NameEdit() const { return name_; }
  const std::array<controls::LevelRow, 4>& Levels() const { return levels_; }
  const std::array<QComboBox*, 4>& Channels() const { return channels_; }

 protected:
  void Filled(const Block& block) override;

 private:
  void LevelMoved();
  void ChannelChanged();

  QComboBox* mode_;
  QLineEdit* name_;
  std::array<controls::LevelRow, 4> levels_;
  std::array<QComboBox*, 4> channels_;
};

}  // namespace remote::ui
