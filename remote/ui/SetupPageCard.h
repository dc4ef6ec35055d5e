#pragma once

#include <cstddef>

#include "remote/ui/SetupPage.h"

namespace remote::ui {

// A card's page: its controls bound to fields of the card's settings image as
// the block carries it. The write sends the image's bytes up to `imageEnd`.
class SetupPageCard : public SetupPage {
  Q_OBJECT

 public:
  SetupPageCard(link::UnitState& state, int slot, std::size_t imageEnd, QWidget* parent = nullptr);

 protected:
  void FillControls(const Block& block) override;
  std::size_t FillBlock(Block& block) override;
  // After the bindings showed the block: texts that follow the controls.
  virtual void Filled(const Block& /*block*/) {}

  BlockBindings& Bindings() { return bindings_; }
  // True while the block is being shown: control changes are not the user's.
  bool Filling() const { return filling_; }

 private:
  BlockBindings bindings_;
  std::size_t settingsSize_;
  bool filling_ = false;
};

}  // namespace remote::ui
