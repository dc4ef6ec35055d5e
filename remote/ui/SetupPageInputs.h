#pragma once

#include <QStringList>
#include <cstddef>
#include <vector>

#include "remote/ui/SetupPageCard.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace remote::ui {

// The digital input cards: per input a check box (checked = switched on) and
// a name edit. The HEJ520 adds its output rate and two channel assignments,
// which the unit applies at once; the SIV520 writes only on save.
class SetupPageInputs final : public SetupPageCard {
  Q_OBJECT

 public:
  // The type decides the layout: HEJ520 or SIV520.
  SetupPageInputs(link::UnitState& state, int slot, std::uint8_t type, QWidget* parent = nullptr);

  const std::vector<QCheckBox*>& Enables() const { return enables_; }
  const std::vector<QLineEdit*>& Names() const { return names_; }
  QComboBox* Rate() const { return rate_; }
  const std::vector<QComboBox*>& Channels() const { return channels_; }

 private:
  std::vector<QCheckBox*> enables_;
  std::vector<QLineEdit*> names_;
  QComboBox* rate_ = nullptr;
  std::vector<QComboBox*> channels_;
};

}  // namespace remote::ui
