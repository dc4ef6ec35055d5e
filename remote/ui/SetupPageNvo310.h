#pragma once

#include <array>

#include "remote/ui/SetupPageCard.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace remote::ui {

// NVO310 converter card: the active input group, the high-pass filter and the
// names of its seven inputs; written on save only.
class SetupPageNvo310 final : public SetupPageCard {
  Q_OBJECT

 public:
  SetupPageNvo310(link::UnitState& state, int slot, QWidget* parent = nullptr);

  QComboBox* Group() const { return group_; }
  QCheckBox* HighPass() const { return highPass_; }
  const std::array<QLineEdit*, 7>& Names() const { return names_; }

 private:
  QComboBox* group_;
  QCheckBox* highPass_;
  std::array<QLineEdit*, 7> names_{};
};

}  // namespace remote::ui
