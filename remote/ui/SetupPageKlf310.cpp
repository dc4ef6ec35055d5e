#include "remote/ui/SetupPageKlf310.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>
#include <bit>
#include <cmath>
#include <string>

#include "platform/Bytes.h"
#include "platform/CodePage.h"
#include "protocol/remote/RemoteProtocol.h"
#include "remote/ui/BlockBindings.h"
#include "remote/ui/SetupPageControls.h"

namespace remote::ui {

namespace {

using Img = protocol::unit::Klf310Image;
using Ch = protocol::unit::Klf310Channel;
constexpr int kLowestHz = 10;
constexpr int kHighestHz = 20000;
constexpr int kMaxDelay = 2000;  // hundredths of a ms
constexpr int kFractions = 12;
constexpr std::size_t kBlockSize = BlockBindings::Block{}.size();

float GetF32(std::span<const std::uint8_t> b, std::size_t at) {
  return std::bit_cast<float>(platform::GetU32(b, at));
}
void PutF32(std::span<std::uint8_t> b, std::size_t at, float v) {
  platform::PutU32(b, at, std::bit_cast<std::uint32_t>(v));
}
int ToSlider(float v, int low, int high) {
  return std::isfinite(v) ? std::clamp(static_cast<int>(std::lround(v)), low, high) : low;
}

}  // namespace

std::size_t SetupPageKlf310::BandOffset(std::size_t band) {
  return BlockBindings::CardOffset(Img::ChannelOffset(band));
}

SetupPageKlf310::SetupPageKlf310(link::UnitState& state, int slot, QWidget* parent)
    : SetupPage(state, slot, 0, parent) {
  auto* c = Content();
  tabs_ = new QTabBar;
  tabs_->setExpanding(false);
  tabs_->setUsesScrollButtons(true);
  c->addWidget(tabs_);
  active_ = new QCheckBox("Active");
  c->addWidget(active_);
  name_ = controls::AddName(c, "Name");
  name_->setMaxLength(static_cast<int>(Ch::kNameSize - 1));
  QStringList fractions = {"1 Octave"};
  for (int f = 2; f <= kFractions; ++f) fractions << QString("1/%1 Octave").arg(f);
  fraction_ = controls::AddCombo(c, "", fractions);
  auto addSlider = [&](QLabel*& text, int low, int high) {
    text = new QLabel;
    c->addWidget(text);
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setRange(low, high);
    c->addWidget(slider);
    connect(slider, &QSlider::valueChanged, this, &SetupPageKlf310::Changed);
    return slider;
  };
  start_ = addSlider(startText_, kLowestHz, kHighestHz);
  stop_ = addSlider(stopText_, kLowestHz, kHighestHz);
  delay_ = addSlider(delayText_, 0, kMaxDelay);
  c->addStretch(1);
  UpdateLabels();

  live_.setSingleShot(true);
  live_.setInterval(kLiveDelayMs);
  connect(&live_, &QTimer::timeout, this, &SetupPageKlf310::SendBand);
  connect(active_, &QCheckBox::toggled, this, &SetupPageKlf310::Changed);
  connect(name_, &QLineEdit::textChanged, this, &SetupPageKlf310::Changed);
  connect(fraction_, &QComboBox::activated, this, &SetupPageKlf310::Changed);
  connect(tabs_, &QTabBar::currentChanged, this, [this] {
    if (!filling_) ShowBand();
  });
}

void SetupPageKlf310::FillControls(const Block& block) {
  filling_ = true;
  bands_.clear();
  for (std::size_t k = 0; k < Img::kChannelCount && BandOffset(k) + Ch::kSize <= kBlockSize; ++k) {
    Band band{};
    std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(BandOffset(k)), band.size(),
                band.begin());
    if ((platform::GetU32(band, Ch::kFlags) & Ch::kInUseBit) == 0) break;
    bands_.push_back(band);
  }
  receivedBands_ = bands_;
  while (tabs_->count() > 0) tabs_->removeTab(0);
  for (std::size_t k = 0; k < bands_.size(); ++k) tabs_->addTab(QString::number(k + 1));
  filling_ = false;
  ShowBand();
}

void SetupPageKlf310::ShowBand() {
  const int k = tabs_->currentIndex();
  const bool have = k >= 0 && static_cast<std::size_t>(k) < bands_.size();
  for (QWidget* w :
       std::initializer_list<QWidget*>{active_, name_, fraction_, start_, stop_, delay_}) {
    w->setEnabled(have);
  }
  if (!have) return;
  filling_ = true;
  const Band& band = bands_[static_cast<std::size_t>(k)];
  const std::uint32_t flags = platform::GetU32(band, Ch::kFlags);
  active_->setChecked((flags & Ch::kActiveBit) != 0);
  const auto first = band.begin() + Ch::kName;
  const std::string name(first, std::find(first, first + Ch::kNameSize - 1, std::uint8_t{0}));
  name_->setText(QString::fromStdString(platform::CodePageToUtf8(name)));
  const int fraction = static_cast<int>((flags >> Ch::kFractionShift) & Ch::kFractionMask);
  fraction_->setCurrentIndex(fraction >= 1 && fraction <= kFractions ? fraction - 1 : -1);
  start_->setValue(ToSlider(GetF32(band, Ch::kStart), kLowestHz, kHighestHz));
  stop_->setValue(ToSlider(GetF32(band, Ch::kStop), kLowestHz, kHighestHz));
  delay_->setValue(ToSlider(GetF32(band, Ch::kDelay) * 100.0f, 0, kMaxDelay));
  UpdateLabels();
  filling_ = false;
}

void SetupPageKlf310::UpdateLabels() {
  startText_->setText(QString::asprintf("fStart %ld Hz", static_cast<long>(start_->value())));
  stopText_->setText(QString::asprintf("fStop %ld Hz", static_cast<long>(stop_->value())));
  delayText_->setText(QString::asprintf("Delay %.2lf ms", delay_->value() * 0.01));
}

SetupPageKlf310::Band SetupPageKlf310::LiveRecord() const {
  const int k = tabs_->currentIndex();
  if (k < 0 || static_cast<std::size_t>(k) >= bands_.size()) return {};
  Band band = bands_[static_cast<std::size_t>(k)];
  std::uint32_t flags = platform::GetU32(band, Ch::kFlags);
  flags &= ~(Ch::kActiveBit | (Ch::kFractionMask << Ch::kFractionShift) |
             (Ch::kIndexMask << Ch::kIndexShift));
  if (active_->isChecked()) flags |= Ch::kActiveBit;
  const int fraction =
      fraction_->currentIndex() >= 0
          ? fraction_->currentIndex() + 1
          : static_cast<int>((platform::GetU32(band, Ch::kFlags) >> Ch::kFractionShift) &
                             Ch::kFractionMask);
  flags |= (static_cast<std::uint32_t>(fraction) & Ch::kFractionMask) << Ch::kFractionShift;
  flags |= (static_cast<std::uint32_t>(k) & Ch::kIndexMask) << Ch::kIndexShift;
  platform::PutU32(band, Ch::kFlags, flags);
  const int low = std::min(start_->value(), stop_->value());
  const int high = std::max(start_->value(), stop_->value());
  PutF32(band, Ch::kStart, static_cast<float>(low));
  PutF32(band, Ch::kStop, static_cast<float>(high));
  PutF32(band, Ch::kDelay, static_cast<float>(delay_->value() * 0.01));
  const std::string name = platform::Utf8ToCodePage(name_->text().toStdString(), Ch::kNameSize);
  std::fill_n(band.begin() + Ch::kName, Ch::kNameSize, std::uint8_t{0});
  std::copy_n(name.begin(), std::min(name.size(), Ch::kNameSize - 1), band.begin() + Ch::kName);
  return band;
}

void SetupPageKlf310::Changed() {
  UpdateLabels();
  if (filling_) return;
  const int k = tabs_->currentIndex();
  if (k < 0 || static_cast<std::size_t>(k) >= bands_.size()) return;
  bands_[static_cast<std::size_t>(k)] = LiveRecord();
  live_.start();
}

void SetupPageKlf310::SendBand() {
  live_.stop();
  const Band band = LiveRecord();
  if (tabs_->currentIndex() < 0) return;
  SendLive(protocol::remote::kCmdLiveValue63, band);
}

std::size_t SetupPageKlf310::FillBlock(Block& block) {
  for (std::size_t k = 0; k < bands_.size(); ++k) {
    // Bands the user left alone go back as they came.
    if (bands_[k] == receivedBands_[k]) continue;
    std::copy(bands_[k].begin(), bands_[k].end(),
              block.begin() + static_cast<std::ptrdiff_t>(BandOffset(k)));
  }
  // The image is longer than a block: its tail stays out of the remote's reach.
  return std::min(Img::kEnd - protocol::unit::IdentityRecord::kSize,
                  protocol::remote::ModuleBlock::kMaxSettings);
}

}  // namespace remote::ui
