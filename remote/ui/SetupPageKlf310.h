#pragma once

#include <QTimer>
#include <array>
#include <vector>

#include "protocol/unit/Klf310Image.h"
#include "remote/ui/SetupPage.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;
class QTabBar;

namespace remote::ui {

// KLF310 room-correction card: one tab per band record in the block; the
// band being edited goes to the unit 100 ms after a change.
class SetupPageKlf310 final : public SetupPage {
  Q_OBJECT

 public:
  using Band = std::array<std::uint8_t, protocol::unit::Klf310Channel::kSize>;
  static constexpr int kLiveDelayMs = 100;

  SetupPageKlf310(link::UnitState& state, int slot, QWidget* parent = nullptr);

  QTabBar* Tabs() const { return tabs_; }
  QCheckBox* Active() const { return active_; }
  QLineEdit* NameEdit() const { return name_; }
  QComboBox* Fraction() const { return fraction_; }
  QSlider* Start() const { return start_; }
  QSlider* Stop() const { return stop_; }
  QSlider* Delay() const { return delay_; }
  // The 48 bytes command 63 carries for the band on the selected tab.
  Band LiveRecord() const;
  // Sends the pending band record now (the timer's work).
  void SendBand();

 protected:
  void FillControls(const Block& block) override;
  std::size_t FillBlock(Block& block) override;

 private:
  void ShowBand();
  void Changed();
  void UpdateLabels();
  static std::size_t BandOffset(std::size_t band);

  QTabBar* tabs_;
  QCheckBox* active_;
  QLineEdit* name_;
  QComboBox* fraction_;
  QSlider* start_;
  QSlider* stop_;
  QSlider* delay_;
  QLabel* startText_;
  QLabel* stopText_;
  QLabel* delayText_;
  QTimer live_;
  std::vector<Band> bands_;
  std::vector<Band> receivedBands_;
  bool filling_ = false;
};

}  // namespace remote::ui
