#include "remote/ui/SetupPageDisplay.h"

#include <QComboBox>
#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/Bytes.h"
#include "protocol/remote/LiveValue.h"
#include "protocol/remote/RemoteProtocol.h"

namespace remote::ui {

namespace {

// Screen order: caption and the level's place in the block.
struct Row {
  const char* caption;
  std::size_t level;
};
constexpr Row kRows[] = {{"Display on", 0},   {"Display off", 1}, {"Display alt.", 7},
                         {"Contrast", 2},     {"Peak meter", 3},  {"TWR520 Front", 6},
                         {"ZEL520 Front", 4}, {"ZEL520 Rear", 5}};
constexpr std::size_t kAltRow = 2;

struct AltItem {
  const char* text;
  std::uint16_t seconds;
};
constexpr AltItem kAltItems[] = {{"off", 0},       {"5 sec", 5},    {"15 sec", 15}, {"30 sec", 30},
                                 {"1 min", 60},    {"2 min", 120},  {"5 min", 300}, {"10 min", 600},
                                 {"30 min", 1800}, {"1 hour", 3600}};

}  // namespace

int SetupPageDisplay::AltScreenIndex(std::uint16_t seconds) {
  for (std::size_t i = 0; i < std::size(kAltItems); ++i) {
    if (kAltItems[i].seconds == seconds) return static_cast<int>(i);
  }
  return -1;
}

std::uint16_t SetupPageDisplay::AltScreenSeconds(int index) {
  return index >= 0 && static_cast<std::size_t>(index) < std::size(kAltItems)
             ? kAltItems[index].seconds
             : 0;
}

SetupPageDisplay::SetupPageDisplay(link::UnitState& state, int slot, QWidget* parent)
    : SetupPage(state, slot, 0, parent) {
  auto* c = Content();
  altScreen_ = nullptr;
  for (std::size_t r = 0; r < std::size(kRows); ++r) {
    const std::size_t n = kRows[r].level;
    levels_[n] = controls::AddLevel(c, kRows[r].caption);
    levels_[n].value->setText("0");
    levels_[n].bar->setRange(0, 0);
    connect(levels_[n].bar, &QScrollBar::valueChanged, this, [this, n] { LevelMoved(n); });
    if (r == kAltRow) {
      QStringList items;
      for (const AltItem& item : kAltItems) items << item.text;
      altScreen_ = controls::AddCombo(c, "", items);
      altScreen_->setCurrentIndex(-1);
      connect(altScreen_, &QComboBox::activated, this, &SetupPageDisplay::AltScreenChosen);
    }
  }
  c->addStretch(1);
}

void SetupPageDisplay::FillControls(const Block& block) {
  filling_ = true;
  for (std::size_t n = 0; n < Rec::kLevelCount; ++n) {
    const std::size_t at = Rec::LevelOffset(n);
    const int low = std::min(block[at + 1], block[at + 2]);
    const int high = std::max(block[at + 1], block[at + 2]);
    levels_[n].bar->setRange(low, high);
    levels_[n].bar->setValue(std::clamp<int>(block[at], low, high));
    levels_[n].value->setText(QString::number(levels_[n].bar->value()));
    shown_[n] = levels_[n].bar->value();
  }
  // A time the list does not offer shows no item and goes back unchanged.
  altScreen_->setCurrentIndex(AltScreenIndex(platform::GetU16(block, Rec::kOffAltScreen)));
  shownAlt_ = altScreen_->currentIndex();
  filling_ = false;
}

std::size_t SetupPageDisplay::FillBlock(Block& block) {
  for (std::size_t n = 0; n < Rec::kLevelCount; ++n) {
    if (levels_[n].bar->value() != shown_[n]) {
      block[Rec::LevelOffset(n)] = static_cast<std::uint8_t>(levels_[n].bar->value());
    }
  }
  if (altScreen_->currentIndex() != shownAlt_ && altScreen_->currentIndex() >= 0) {
    platform::PutU16(block, Rec::kOffAltScreen, AltScreenSeconds(altScreen_->currentIndex()));
  }
  return Rec::kSettingsSize;
}

void SetupPageDisplay::LevelMoved(std::size_t n) {
  levels_[n].value->setText(QString::number(levels_[n].bar->value()));
  if (filling_) return;
  SendLive(
      protocol::remote::kCmdLiveValue70,
      protocol::remote::LiveValue::Encode70(Slot(), static_cast<int>(n), 0,
                                            static_cast<std::uint16_t>(levels_[n].bar->value())));
}

void SetupPageDisplay::AltScreenChosen() {
  if (altScreen_->currentIndex() < 0) return;
  SendLive(protocol::remote::kCmdLiveValue70,
           protocol::remote::LiveValue::Encode70(Slot(), Rec::kAltScreenControl, 0,
                                                 AltScreenSeconds(altScreen_->currentIndex())));
}

}  // namespace remote::ui
