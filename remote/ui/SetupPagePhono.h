#pragma once

#include "remote/ui/SetupPageCard.h"
#include "remote/ui/SetupPageControls.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace remote::ui {

class ResponseGraph;

// The phono equaliser cards (QVI520 and BUZ310): gain and the selected curve
// sent live, name, the selected curve's response and the high-pass filter.
class SetupPagePhono final : public SetupPageCard {
  Q_OBJECT

 public:
  SetupPagePhono(link::UnitState& state, int slot, QWidget* parent = nullptr);

  const controls::LevelRow& Gain() const { return gain_; }
  QComboBox* Curve() const { return curve_; }
  QLineEdit* NameEdit() const { return name_; }
  ResponseGraph* Graph() const { return graph_; }
  QCheckBox* HighPass() const { return highPass_; }

 protected:
  void FillControls(const Block& block) override;
  void Filled(const Block& block) override;

 private:
  void GainMoved();
  void CurveChosen();
  void ShowCurve();

  controls::LevelRow gain_;
  QComboBox* curve_;
  QLineEdit* name_;
  ResponseGraph* graph_;
  QCheckBox* highPass_;
};

}  // namespace remote::ui
