#pragma once

#include <array>

#include "protocol/remote/MainUnitBlock.h"
#include "remote/ui/SetupPage.h"
#include "remote/ui/SetupPageControls.h"

class QComboBox;

namespace remote::ui {

// The front display's eight levels, each within the range the unit gives,
// and the alternate-screen timer; every change goes to the unit at once.
class SetupPageDisplay final : public SetupPage {
  Q_OBJECT

 public:
  using Rec = protocol::remote::DisplayBlock;
  SetupPageDisplay(link::UnitState& state, int slot, QWidget* parent = nullptr);

  // In the unit's level order (the block's), not in screen order.
  const std::array<controls::LevelRow, Rec::kLevelCount>& Levels() const { return levels_; }
  QComboBox* AltScreen() const { return altScreen_; }

  // The alternate-screen item for a time in seconds; -1 when none matches.
  static int AltScreenIndex(std::uint16_t seconds);
  static std::uint16_t AltScreenSeconds(int index);

 protected:
  void FillControls(const Block& block) override;
  std::size_t FillBlock(Block& block) override;

 private:
  void LevelMoved(std::size_t n);
  void AltScreenChosen();

  std::array<controls::LevelRow, Rec::kLevelCount> levels_{};
  std::array<int, Rec::kLevelCount> shown_{};
  QComboBox* altScreen_;
  int shownAlt_ = -1;
  bool filling_ = false;
};

}  // namespace remote::ui
