#pragma once

#include <QWidget>
#include <array>
#include <cstdint>

#include "remote/link/UnitState.h"

class QCheckBox;
class QLineEdit;
class QMenuBar;
class QPushButton;

namespace remote::ui {

// The output groups A-D: which of the eight channels each group plays. Not a
// module block: the page compares against the masks the unit reported and
// sends command 28 only when one changed.
class SetupPageOutput final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kGroups = 4;
  static constexpr int kChannels = 8;
  using Masks = std::array<std::uint8_t, kGroups>;

  explicit SetupPageOutput(link::UnitState& state, QWidget* parent = nullptr);

  // "&Restore": the masks as the unit last reported them.
  void Restore();
  // "&Default": a fresh unit's groups, sent at once.
  void Default();
  // "&Exit and save!": sends what changed and closes; stays open with the
  // user's choice when the link cannot take it.
  void ExitAndSave();

  Masks Shown() const;
  QCheckBox* Box(int group, int channel) const {
    return boxes_[static_cast<std::size_t>(group)][static_cast<std::size_t>(channel)];
  }
  QPushButton* GroupButton(int group) const { return groups_[static_cast<std::size_t>(group)]; }
  bool IsClosed() const { return closed_; }
  QMenuBar* MenuBar() const { return menuBar_; }

 signals:
  void Closed();

 private:
  void Show(const Masks& masks);
  bool Send(const Masks& masks, bool regardless);

  link::UnitState& state_;
  QMenuBar* menuBar_;
  std::array<std::array<QCheckBox*, kChannels>, kGroups> boxes_{};
  std::array<QPushButton*, kGroups> groups_{};
  std::array<QLineEdit*, kChannels> names_{};
  bool closed_ = false;
};

}  // namespace remote::ui
