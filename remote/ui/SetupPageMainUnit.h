#pragma once

#include "remote/ui/SetupPage.h"

class QComboBox;
class QLabel;

namespace remote::ui {

// The main unit's own options (volume step, language, clock display) and what
// it tells of itself (firmware, serial number, delivery date).
class SetupPageMainUnit final : public SetupPage {
  Q_OBJECT

 public:
  explicit SetupPageMainUnit(link::UnitState& state, QWidget* parent = nullptr);

  QComboBox* VolumeStep() const { return volumeStep_; }
  QComboBox* Language() const { return language_; }
  QComboBox* ClockDisplay() const { return clockDisplay_; }
  QLabel* Firmware() const { return firmware_; }
  QLabel* Serial() const { return serial_; }

 protected:
  void FillControls(const Block& block) override;
  std::size_t FillBlock(Block& block) override;

 private:
  QComboBox* volumeStep_;
  QComboBox* language_;
  QComboBox* clockDisplay_;
  QLabel* firmware_;
  QLabel* serial_;
};

}  // namespace remote::ui
