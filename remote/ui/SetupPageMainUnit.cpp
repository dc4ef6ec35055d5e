#include "remote/ui/SetupPageMainUnit.h"

#include <QComboBox>
#include <QLabel>
#include <QVBoxLayout>
#include <cmath>

#include "platform/Bytes.h"
#include "protocol/remote/MainUnitBlock.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "remote/ui/SetupPageControls.h"

namespace remote::ui {

namespace {
using Rec = protocol::remote::MainUnitBlock;
}  // namespace

SetupPageMainUnit::SetupPageMainUnit(link::UnitState& state, QWidget* parent)
    : SetupPage(state, protocol::unit::kMainUnitAddress, Rec::kSubAddress, parent) {
  auto* c = Content();
  volumeStep_ = controls::AddCombo(c, "Volume step", {});
  for (int tenths : {1, 2, 5, 10}) volumeStep_->addItem(controls::LevelText(tenths));
  language_ = controls::AddCombo(c, "Display language", {"English", "Deutsch"});
  clockDisplay_ = controls::AddCombo(c, "Clock display", {"off", "on"});
  for (QComboBox* combo : {volumeStep_, language_, clockDisplay_}) combo->setCurrentIndex(-1);
  c->addSpacing(8);
  firmware_ = new QLabel;
  serial_ = new QLabel;
  for (QLabel* label : {firmware_, serial_}) {
    label->setWordWrap(true);
    c->addWidget(label);
  }
  c->addStretch(1);
}

void SetupPageMainUnit::FillControls(const Block& block) {
  const Rec r = Rec::Decode(block);
  const QString step = controls::LevelText(r.volumeStep);
  // A step the list does not offer is shown as it is, not replaced.
  if (volumeStep_->findText(step) < 0) volumeStep_->addItem(step);
  volumeStep_->setCurrentIndex(volumeStep_->findText(step));
  language_->setCurrentIndex(r.language ? 1 : 0);
  clockDisplay_->setCurrentIndex(r.clockDisplay ? 1 : 0);
  firmware_->setText(QString::asprintf("Firmware V%d.%03d - %02d.%02d.%04d", r.firmwareMajor,
                                       r.firmwareMinor, r.firmwareDay, r.firmwareMonth,
                                       r.firmwareYear));
  const Rec::Date date = Rec::DecodeDate(r.deliveryDate);
  serial_->setText(QString::asprintf("Serial-# 01-%04d - %02d.%02d.2%03d", r.serial, date.day,
                                     date.month, date.year - 2000));
}

std::size_t SetupPageMainUnit::FillBlock(Block& block) {
  std::uint16_t options = platform::GetU16(block, Rec::kOffOptions);
  options &= static_cast<std::uint16_t>(
      ~(Rec::kVolumeStepMask | Rec::kLanguageBit | Rec::kClockDisplayBit));
  bool ok = false;
  const double step = volumeStep_->currentText().section(' ', 0, 0).toDouble(&ok);
  const long tenths = ok ? std::lround(step * 10) : 0;
  options |= static_cast<std::uint16_t>(std::clamp<long>(tenths, 0, Rec::kVolumeStepMask));
  if (language_->currentIndex() == 1) options |= Rec::kLanguageBit;
  if (clockDisplay_->currentIndex() == 1) options |= Rec::kClockDisplayBit;
  platform::PutU16(block, Rec::kOffOptions, options);
  return Rec::kSettingsSize;
}

}  // namespace remote::ui
