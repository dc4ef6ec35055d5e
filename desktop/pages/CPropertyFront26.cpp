#include "desktop/pages/CPropertyFront26.h"

#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>
#include <cstring>

#include "desktop/unitlink/CTiroUSB.h"
#include "platform/qt/ImageEncoders.h"
#include "platform/qt/WaitCursor.h"
#include "protocol/unit/DisplayRow.h"
#include "protocol/unit/Frame.h"
#include "protocol/unit/ModuleCatalogue.h"

namespace desktop::pages {

namespace {

namespace pu = protocol::unit;
using pu::DisplaySetting;
using P = CPropertyFront26;
using C = ControlKind;
// Seven sliders are the project's level slider, 1094 the plain one; neither adds
// behaviour, so the page reads all of them as plain sliders.

constexpr ControlTemplate kControls[] = {
    {0, C::kGroup, "Display brightness (Power on)", 8, 4, 288, 42},
    {P::kBrightnessOn, C::kLevelSlider, "", 16, 20, 272, 18},
    {0, C::kGroup, "Display brightness (Power off)", 8, 50, 288, 42},
    {P::kBrightnessOff, C::kLevelSlider, "", 16, 66, 272, 18},
    {0, C::kGroup, "Display brightness (alternate screen)", 8, 96, 288, 42},
    {P::kBrightnessAlternate, C::kSlider, "", 16, 112, 272, 18},
    {0, C::kGroup, "Display contrast", 8, 142, 288, 42},
    {P::kContrast, C::kLevelSlider, "", 16, 158, 272, 18},
    {0, C::kGroup, "Peakmeter Delay", 304, 4, 288, 42},
    {P::kPeakmeterDelay, C::kLevelSlider, "", 312, 20, 272, 18},
    {0, C::kGroup, "TWR520 - Blue LED", 304, 50, 288, 42},
    {P::kLedTWR520, C::kLevelSlider, "", 312, 66, 272, 18},
    {0, C::kGroup, "ZEL520 - Blue LED (FRONT)", 304, 96, 288, 42},
    {P::kLedZEL520Front, C::kLevelSlider, "", 312, 112, 272, 18},
    {0, C::kGroup, "ZEL520 - Blue LED (REAR)", 304, 142, 288, 42},
    {P::kLedZEL520Rear, C::kLevelSlider, "", 312, 158, 272, 18},
    {P::kScreenshot, C::kButton, "Screenshot", 214, 188, 84, 14},
    {P::kSaveScreen, C::kButton, "Save Screen", 302, 188, 84, 14},
    {P::kPicture, C::kPicture, "", 0, 204, 600, 194},
};
constexpr DialogTemplate kDialog{P::kIdd, "Display", 600, 398, kControls};

constexpr const char* kSaveFilter = "BMP files (*.bmp);;GIF files (*.gif);;All Files (*)";
constexpr const char* kDefaultSuffix = "gif";

const pu::DisplaySettingCommand& CommandOf(DisplaySetting setting) {
  for (const pu::DisplaySettingCommand& row : pu::kDisplaySettingCommands) {
    if (row.setting == setting) return row;
  }
  return pu::kDisplaySettingCommands[0];  // every setting has a row
}

}  // namespace

const CPropertyFront26::Slider CPropertyFront26::kSliders[] = {
    {kBrightnessOn, DisplaySetting::kBrightnessOn},
    {kBrightnessOff, DisplaySetting::kBrightnessOff},
    {kBrightnessAlternate, DisplaySetting::kBrightnessAlternate},
    {kContrast, DisplaySetting::kContrast},
    {kPeakmeterDelay, DisplaySetting::kPeakmeterDelay},
    {kLedTWR520, DisplaySetting::kLedTWR520},
    {kLedZEL520Front, DisplaySetting::kLedZEL520Front},
    {kLedZEL520Rear, DisplaySetting::kLedZEL520Rear},
};

CPropertyFront26::CPropertyFront26(PageSite& site, QWidget* parent)
    : CMRXPropertyPage(kDialog, site, parent) {}

bool CPropertyFront26::OnInitDialog() {
  if (!CMRXPropertyPage::OnInitDialog()) return false;
  for (const Slider& slider : kSliders) {
    auto* control = Get<QSlider>(slider.id);
    connect(control, &QSlider::valueChanged, this, [this, &slider] { OnSliderMoved(slider); });
  }
  connect(Get<QPushButton>(kScreenshot), &QPushButton::clicked, this, [this] { Screenshot(); });
  connect(Get<QPushButton>(kSaveScreen), &QPushButton::clicked, this, [this] {
    if (const auto path = AskSavePath()) SaveScreen(*path);
  });

  // The picture at its own size, centred, its bottom edge where the template has it.
  auto* picture = Get<QLabel>(kPicture);
  picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  const QRect box = picture->geometry();
  const int w = unitlink::DisplayPicture::kWidth, h = unitlink::DisplayPicture::kHeight;
  picture->setGeometry((width() - w) / 2, box.y() + box.height() - h, w, h);
  Screenshot();
  return true;
}

void CPropertyFront26::DoDataExchange(bool /*saveAndValidate*/) {
  // The sliders hold nothing for the page: each move goes to the unit at once.
}

int CPropertyFront26::UpdateControls() {
  std::uint8_t reply[pu::kFrameSize] = {};
  // A failed exchange leaves the reply zero: every slider gets 0 ... 0.
  unitlink::theTiroUSB.SendCommand(reply, pu::Code(pu::UnitCommand::kReadDisplayLevels),
                                   pu::kMainUnitAddress, 0, 0, 0, 0, nullptr);
  const auto levels = pu::DisplayLevels::Decode(
      std::span<const std::uint8_t>(reply + pu::ReplyHeader::kData, pu::DisplayLevels::kSize));
  for (const Slider& slider : kSliders) {
    auto* control = Get<QSlider>(slider.id);
    if (control == nullptr) continue;
    const pu::DisplayLevel& level = levels[slider.setting];
    // Setting the range and position is not a user's move: nothing is sent.
    const QSignalBlocker quiet(control);
    control->setRange(level.min, std::max(level.min, level.max));
    control->setValue(level.value);  // held inside the range
  }
  return CMRXPropertyPage::UpdateControls();
}

void CPropertyFront26::OnSliderMoved(const Slider& slider) {
  const auto* control = Get<QSlider>(slider.id);
  // The slider keeps its position within the range the unit reported.
  const int value = std::clamp(control->value(), control->minimum(), control->maximum());
  unitlink::theTiroUSB.SendCommand(nullptr, pu::Code(CommandOf(slider.setting).command),
                                   pu::kMainUnitAddress, 0, static_cast<std::uint8_t>(value), 0, 0,
                                   nullptr);
}

void CPropertyFront26::Screenshot() {
  {
    platform::qt::WaitCursor wait;
    picture_.DrawFrame();
    for (int row = 0; row < static_cast<int>(pu::DisplayRow::kHeight); ++row) {
      std::uint8_t buffer[pu::DisplayRow::kSize] = {static_cast<std::uint8_t>(row)};
      if (ReadDisplayRow(buffer) == 0) break;
      picture_.DrawRow(row, buffer);
    }
  }
  ShowPicture();
}

void CPropertyFront26::ShowPicture() {
  auto* label = Get<QLabel>(kPicture);
  if (label == nullptr) return;
  const platform::EncoderPicture& p = picture_.Picture();
  QImage image(p.width, p.height, QImage::Format_Indexed8);
  QList<QRgb> colours;
  for (const platform::EncoderColour& c : p.palette) colours.push_back(qRgb(c.r, c.g, c.b));
  image.setColorTable(colours);
  for (int y = 0; y < p.height; ++y) {
    std::memcpy(image.scanLine(y), p.pixels.data() + static_cast<std::size_t>(y) * p.width,
                static_cast<std::size_t>(p.width));
  }
  label->setPixmap(QPixmap::fromImage(image));
  label->update();
}

bool CPropertyFront26::SaveScreen(const std::filesystem::path& path) const {
  std::string error;
  // A refused extension or a failed write is not reported to the user.
  return platform::qt::MakeImageEncoders().Save(picture_.Picture(), path, error);
}

std::optional<std::filesystem::path> CPropertyFront26::AskSavePath() {
  QFileDialog dialog(this);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilters(QString::fromLatin1(kSaveFilter).split(QStringLiteral(";;")));
  dialog.setDefaultSuffix(QString::fromLatin1(kDefaultSuffix));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return std::filesystem::path(dialog.selectedFiles().front().toStdString());
}

}  // namespace desktop::pages
