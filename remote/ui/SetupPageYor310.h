#pragma once

#include <array>

#include "remote/ui/SetupPageCard.h"
#include "remote/ui/SetupPageControls.h"

class QLineEdit;

namespace remote::ui {

// YOR310 card: name and the two offsets, which move live.
class SetupPageYor310 final : public SetupPageCard {
  Q_OBJECT

 public:
  SetupPageYor310(link::UnitState& state, int slot, QWidget* parent = nullptr);

  QLineEdit* NameEdit() const { return name_; }
  const std::array<controls::LevelRow, 2>& Offsets() const { return offsets_; }

 protected:
  void Filled(const Block& block) override;

 private:
  void OffsetMoved();

  QLineEdit* name_;
  std::array<controls::LevelRow, 2> offsets_;
};

}  // namespace remote::ui
