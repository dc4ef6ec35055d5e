#include "desktop/pages/CPropertyMRX520.h"

#include <strings.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "desktop/unitlink/CTiroUSB.h"
#include "desktop/unitlink/UnitProtocol.h"
#include "platform/Bytes.h"
#include "platform/qt/SystemSound.h"
#include "platform/qt/WaitCursor.h"
#include "protocol/unit/ClockRecord.h"
#include "protocol/unit/IdentityRecord.h"
#include "protocol/unit/MainUnitImage.h"
#include "protocol/unit/ModuleDescriptor.h"

namespace desktop::pages {

namespace {

namespace ul = desktop::unitlink;
namespace pu = protocol::unit;
using ul::theTiroUSB;
using C = ControlKind;
using P = CPropertyMRX520;
using Img = pu::MainUnitImage;

constexpr std::string_view kVolumeSteps[] = {"0.1 dB", "0.2 dB", "0.5 dB", "1.0 dB"};
constexpr std::string_view kLanguages[] = {"English", "Deutsch"};
constexpr std::string_view kAltScreens[] = {"off",   "5 sec", "15 sec", "30 sec", "1 min",
                                            "2 min", "5 min", "10 min", "30 min", "1 hour"};
constexpr std::string_view kOffOn[] = {"off", "on"};

// Dialog 102, 600 × 398 dialog units: identity and clock on top, options and
// updates in the middle, progress, versions and the settings buttons below.
constexpr ControlTemplate kControls[] = {
    {0, C::kGroup, "Unit", 8, 6, 292, 60},
    {0, C::kLabel, "SNR", 18, 24, 72, 10},
    {common::kSerial, C::kEdit, "", 96, 22, 50, 13, {}, 4},
    {0, C::kLabel, "Delivery", 18, 44, 72, 10},
    {common::kDelivery, C::kDatePicker, "", 96, 42, 150, 13},
    {0, C::kGroup, "Real Time Clock", 308, 6, 284, 60},
    {P::kClockLine, C::kLabelRight, "", 316, 24, 268, 10},
    {P::kSyncClock, C::kButton, "Sync Real Time Clock", 484, 42, 100, 15},
    {0, C::kGroup, "Settings", 8, 76, 292, 150},
    {0, C::kLabel, "Volume Step", 18, 96, 72, 10},
    {P::kVolumeStep, C::kDropList, "", 96, 94, 90, 14, kVolumeSteps},
    {0, C::kLabel, "Language", 18, 122, 72, 10},
    {P::kLanguage, C::kDropList, "", 96, 120, 90, 14, kLanguages},
    {0, C::kLabel, "Alternative Screen", 18, 148, 72, 10},
    {P::kAltScreen, C::kDropList, "", 96, 146, 90, 14, kAltScreens},
    {0, C::kLabel, "Clock display", 18, 174, 72, 10},
    {P::kClockDisplay, C::kDropList, "", 96, 172, 90, 14, kOffOn},
    {P::kHddOption, C::kCheckBox, "HDD Option", 96, 200, 100, 12},
    {0, C::kGroup, "Unit Software", 308, 76, 284, 150},
    {P::kSoftwareUpdate, C::kButton, "Software Update", 318, 94, 110, 16},
    {P::kBootUpdate, C::kButton, "Boot Update", 318, 120, 110, 16},
    {P::kBtInit, C::kButton, P::kTextBtStart, 318, 146, 110, 16},
    {P::kRemoteUpdate, C::kButton, "Remote Control Update", 318, 172, 110, 16},
    {common::kStatusLine, C::kLabel, "", 8, 236, 292, 14},
    {P::kProgress, C::kProgress, "", 8, 334, 584, 9},
    {P::kVersionLine, C::kLabel, "", 8, 348, 390, 10},
    {P::kBootLine, C::kLabelRight, "", 400, 348, 192, 10},
    {0, C::kLine, "", 8, 362, 584, 2},
    {common::kDefault, C::kButton, "Default Settings", 332, 372, 84, 16},
    {common::kRead, C::kButton, "Read Settings", 420, 372, 84, 16},
    {common::kWrite, C::kButton, "Write Settings", 508, 372, 84, 16},
};
constexpr DialogTemplate kDialog{P::kIdd, "MRX520", 600, 398, kControls};

void Select(QComboBox* list, const std::string& text) {
  if (list == nullptr) return;
  const int index = list->findText(QString::fromStdString(text));
  list->setCurrentIndex(index >= 0 ? index : 0);
}

std::string SelectedText(QComboBox* list) {
  return list != nullptr ? list->currentText().toStdString() : std::string();
}

int SelectedIndex(QComboBox* list) {
  return list != nullptr ? std::max(0, list->currentIndex()) : 0;
}

void SetBit(std::span<std::uint8_t> image, std::size_t at, std::uint16_t bit, bool on) {
  std::uint16_t v = platform::GetU16(image, at);
  v = on ? static_cast<std::uint16_t>(v | bit) : static_cast<std::uint16_t>(v & ~bit);
  platform::PutU16(image, at, v);
}

}  // namespace

CPropertyMRX520::CPropertyMRX520(PageSite& site, QWidget* parent)
    : CMRXPropertyPage(kDialog, site, parent),
      target_(this, [this](const platform::Message& m) { OnWorkerMessage(m); }),
      runner_([this](const firmware::UpdateStatus& status) {
        Get<QProgressBar>(kProgress)->setValue(static_cast<int>(status.percentage));
        version_ = status.text;
        UpdateData(false);
      }) {
  connect(&clockTimer_, &QTimer::timeout, this, [this] { ShowClockLine(); });
}

CPropertyMRX520::~CPropertyMRX520() {
  // The worker cannot be cancelled: its last messages are dropped while the
  // page waits for it, so nothing reaches a page that is going away.
  target_.Close();
  if (workerPrompt_) workerPrompt_->Close();
  worker_.reset();
}

std::string CPropertyMRX520::VolumeStepText(std::uint8_t tenths) {
  return pu::LevelText(tenths);
}

std::uint8_t CPropertyMRX520::VolumeStepValue(const std::string& text) {
  // Truncated like the unit's own reading; the small bias keeps a text such
  // as "0.3" from landing just below its value.
  return static_cast<std::uint8_t>(std::strtod(text.c_str(), nullptr) * 10 + 1e-9);
}

std::string CPropertyMRX520::AlternativeScreenText(std::uint16_t v) {
  char text[16];
  if (v == 0) return "off";
  if (v % 3600 == 0) {
    std::snprintf(text, sizeof text, "%u hour", unsigned{v} / 3600);
  } else if (v % 60 != 0) {
    std::snprintf(text, sizeof text, "%u sec", unsigned{v});
  } else {
    std::snprintf(text, sizeof text, "%u min", unsigned{v} / 60);
  }
  return text;
}

std::uint16_t CPropertyMRX520::AlternativeScreenSeconds(const std::string& text) {
  unsigned number = 0;
  char word[16] = {};
  if (std::sscanf(text.c_str(), "%u %15s", &number, word) < 1) return 0;
  if (strcasecmp(word, "min") == 0) return static_cast<std::uint16_t>(number * 60);
  if (strcasecmp(word, "hour") == 0) return static_cast<std::uint16_t>(number * 3600);
  return static_cast<std::uint16_t>(number);
}

std::string CPropertyMRX520::SoftwareVersionLine() const {
  const pu::ModuleDescriptor f = Fields();
  if (f.status != pu::ModuleDescriptor::kStatusVersionShown || f.versionYear == 0) return {};
  char text[64];
  std::snprintf(text, sizeof text, "V%d.%03d, %02d.%02d.%04d", f.versionMajor, f.versionMinor,
                f.versionDay, f.versionMonth, 2000 + f.versionYear);
  return text;
}

bool CPropertyMRX520::OnInitDialog() {
  if (!CMRXPropertyPage::OnInitDialog()) return false;
  Control(kBootUpdate)->setVisible(ServiceMode());
  Control(kBtInit)->setVisible(ServiceMode());
  Control(kHddOption)->setEnabled(ServiceMode());
  Control(kRemoteUpdate)->hide();
  Control(kProgress)->hide();
  for (int id : {kVolumeStep, kLanguage, kAltScreen, kClockDisplay}) MarkDirtyOnChange(id);
  // The check box and the identity fields are service settings the user edits too.
  for (int id : {kHddOption, common::kSerial, common::kDelivery}) MarkDirtyOnChange(id);

  auto click = [this](int id, auto handler) {
    connect(Get<QPushButton>(id), &QPushButton::clicked, this, handler);
  };
  click(common::kRead, [this] { ReadSettings(1, true); });
  click(common::kWrite, [this] {
    // Bring the image up to the unit's state first, so bytes this page does
    // not edit go back unchanged.
    ReadSettings(0, false);
    WriteSettings(1);
  });
  click(common::kDefault, [this] { DefaultSettings(); });
  click(kSyncClock, [this] { SyncClock(); });
  click(kSoftwareUpdate, [this] { StartUpdate(false); });
  click(kBootUpdate, [this] { StartUpdate(true); });
  click(kBtInit, [this] { ToggleBtInit(); });
  click(kRemoteUpdate, [this] { StartRemoteUpdate(); });

  ReadSettings(0, true);
  btInit_ = false;
  return true;
}

bool CPropertyMRX520::OnSetActive() {
  ShowClockLine();
  clockTimer_.start(kClockTimerMs);
  return CMRXPropertyPage::OnSetActive();
}

void CPropertyMRX520::ShowClockLine() {
  std::uint8_t bytes[pu::ClockRecord::kSize];
  if (!ReadClock(bytes)) return;
  const pu::ClockRecord r = pu::ClockRecord::Decode(bytes);
  char text[48];
  std::snprintf(text, sizeof text, "%d.%02d.%04d, %2d:%02d:%02d", r.day, r.month, r.year, r.hour,
                r.minute, r.second);
  if (auto* line = Get<QLabel>(kClockLine)) line->setText(QString::fromLatin1(text));
}

void CPropertyMRX520::DoDataExchange(bool save) {
  DdxText(save, common::kSerial, serial_);
  DdxText(save, kVersionLine, version_);
  DdxText(save, kBootLine, bootVersion_);
}

int CPropertyMRX520::UpdateControls() {
  if (!HasWindow()) return 0;
  const auto image = Image();
  serial_ = SerialToText(pu::IdentityRecord::Decode(image).serial);
  Get<QCheckBox>(kHddOption)
      ->setChecked((platform::GetU16(image, Img::kHddOption) & Img::kHddOptionBit) != 0);
  const std::uint16_t options = platform::GetU16(image, Img::kOptions);
  Get<QComboBox>(kClockDisplay)->setCurrentIndex((options & Img::kClockDisplayBit) != 0 ? 1 : 0);
  ShowDeliveryDate(Get<QDateEdit>(common::kDelivery));
  ReadStatus();
  version_ = SoftwareVersionLine();

  bootVersion_.clear();
  pu::DescriptorBytes boot{};
  if (theTiroUSB.ReadBootDescriptor(boot.data())) {
    const pu::ModuleDescriptor f = pu::ModuleDescriptor::Decode(boot);
    if (f.versionYear != 0) {
      char text[64];
      std::snprintf(text, sizeof text, "Boot: V%d.%03d, %02d.%02d.%04d", f.versionMajor,
                    f.versionMinor, f.versionDay, f.versionMonth, 2000 + f.versionYear);
      bootVersion_ = text;
    }
  }

  Get<QComboBox>(kLanguage)->setCurrentIndex((options & Img::kLanguageBit) != 0 ? 1 : 0);
  Select(Get<QComboBox>(kVolumeStep), VolumeStepText(image[Img::kVolumeStep]));
  Select(Get<QComboBox>(kAltScreen),
         AlternativeScreenText(platform::GetU16(image, Img::kAltScreen)));
  return CMRXPropertyPage::UpdateControls();
}

void CPropertyMRX520::UpdateImage() {
  if (!HasWindow()) return;
  CMRXPropertyPage::UpdateImage();
  auto image = Image();
  platform::PutU16(image, pu::IdentityRecord::kSerial, SerialFromText(serial_));
  TakeDeliveryDate(Get<QDateEdit>(common::kDelivery));
  SetBit(image, Img::kHddOption, Img::kHddOptionBit, Get<QCheckBox>(kHddOption)->isChecked());
  SetBit(image, Img::kOptions, Img::kLanguageBit, SelectedIndex(Get<QComboBox>(kLanguage)) == 1);
  image[Img::kVolumeStep] = VolumeStepValue(SelectedText(Get<QComboBox>(kVolumeStep)));
  platform::PutU16(image, Img::kAltScreen,
                   AlternativeScreenSeconds(SelectedText(Get<QComboBox>(kAltScreen))));
  SetBit(image, Img::kOptions, Img::kClockDisplayBit,
         SelectedIndex(Get<QComboBox>(kClockDisplay)) == 1);
}

void CPropertyMRX520::EnableControls(bool enable) {
  if (!HasWindow()) return;
  const bool running = worker_ != nullptr;
  const pu::ModuleDescriptor f = Fields();
  const bool settings = enable && f.settingsLength != 0 && f.SoftwareRunning() && !running;
  const bool updates = enable && !running;
  Control(kProgress)->setVisible(running);
  Control(kSoftwareUpdate)->setEnabled(updates);
  Control(kBootUpdate)->setEnabled(updates);
  Control(kSyncClock)->setEnabled(updates && f.SoftwareRunning());
  Control(kRemoteUpdate)->setEnabled(true);
  for (int id : {kVolumeStep, kLanguage, kAltScreen, kClockDisplay}) {
    Control(id)->setEnabled(settings);
  }
  Control(kHddOption)->setEnabled(settings && ServiceMode());
  Control(kBtInit)->setEnabled(settings && ServiceMode());
  CMRXPropertyPage::EnableControls(settings);
}

void CPropertyMRX520::StartUpdate(bool boot) {
  if (worker_ != nullptr) return;
  if (!Site().BeforeUpdate(false)) return;
  unitUpdate_ = true;
  bootUpdate_ = boot;
  transport_ = std::make_unique<firmware::CheckedUpdateTransport>(theTiroUSB);
  transport_->SetDefaultAddress(0);
  worker_ = std::make_unique<firmware::CDoloThread>(boot, target_, *transport_, Site().GetClock());
  EnableControls(false);
  theTiroUSB.SetDefaultAddress(0);
  worker_->Resume();
}

namespace {

// The worker's message boxes through the page's prompt.
class SitePrompt final : public platform::Prompt {
 public:
  explicit SitePrompt(PageSite& site) : site_(site) {}
  void Error(std::string_view, std::string_view text) override {
    site_.GetPrompt().Ask(text, pages::Prompt::Buttons::kOk, pages::Prompt::Icon::kError);
  }

 private:
  PageSite& site_;
};

}  // namespace

void CPropertyMRX520::StartRemoteUpdate() {
  if (worker_ != nullptr) return;
  worker_.reset();
  handheld_ = std::make_unique<platform::RemoteApi>(platform::HandheldEnv::DefaultRoot());
  sitePrompt_ = std::make_unique<SitePrompt>(Site());
  workerPrompt_ = std::make_unique<platform::qt::WorkerPrompt>(this, *sitePrompt_);
  worker_ = std::make_unique<handheld::CPPCDoloThread>(target_, *handheld_, *workerPrompt_,
                                                       Site().GetClock());
  EnableControls(false);
  worker_->Resume();
}

void CPropertyMRX520::ToggleBtInit() {
  btInit_ = !btInit_;
  for (int i = 0; i < 3; ++i) theTiroUSB.BtModuleInit(btInit_, 1);
  Get<QPushButton>(kBtInit)->setText(btInit_ ? kTextBtStop : kTextBtStart);
}

void CPropertyMRX520::DecideByVersion(firmware::UpdateResult& result) {
  const firmware::_DoloPacket* image = firmware::FindDoloPacket(
      GetDoloBase(), firmware::kDoloUnitImage, firmware::CDoloThread::kModelMrx,
      bootUpdate_ ? firmware::CDoloThread::kComponentBoot : firmware::CDoloThread::kComponentHost);
  if (image == nullptr) return;
  platform::qt::WaitCursor wait;
  pu::ModuleDescriptor now{};
  firmware::UpdateRunner::ReadBack(
      result,
      [&]() -> std::optional<firmware::SoftwareVersion> {
        platform::Clock& clock = Site().GetClock();
        for (std::uint32_t waited = 0; !theTiroUSB.IsDevicePresent() && waited < kComeBackMs;
             waited += kComeBackStepMs) {
          clock.Sleep(kComeBackStepMs);
        }
        pu::DescriptorBytes bytes{};
        ul::ModuleInfo main;
        const bool read = bootUpdate_ ? theTiroUSB.ReadBootDescriptor(bytes.data())
                                      : ul::ReadModuleDescriptor(theTiroUSB, 0, main);
        if (!read) return std::nullopt;
        now = bootUpdate_ ? pu::ModuleDescriptor::Decode(bytes) : main.Fields();
        return firmware::SoftwareVersion{now.versionMajor, now.versionMinor};
      },
      firmware::DoloSoftwareVersion(image->version));
  if (result.Done()) return;
  char text[96];
  if (result.version) {
    std::snprintf(text, sizeof text, kTextNotTakenFormat, now.versionMajor, now.versionMinor);
  } else {
    std::snprintf(text, sizeof text, "%s", kTextNotConfirmed);
  }
  version_ = text;
  UpdateData(false);
}

void CPropertyMRX520::OnWorkerMessage(const platform::Message& m) {
  auto result = runner_.Handle(m);
  if (!result) return;
  worker_.reset();  // its thread ends right after its last message
  handheld_.reset();
  platform::qt::PlaySystemSound("SystemAsterisk");
  // A begin, end or start the unit never answered decides nothing alone: the
  // version the unit reports afterwards does.
  if (unitUpdate_ && result->Done() && transport_->FailedStep() != nullptr) {
    result->reason = firmware::UpdateReason::kUnanswered;
    DecideByVersion(*result);
  }
  transport_.reset();
  // The handheld's last line stays; a unit updated shows what it runs now.
  if (unitUpdate_ && result->Done()) {
    version_ = SoftwareVersionLine();
    UpdateData(false);
  }
  EnableControls(Present());
  if (unitUpdate_) {
    unitUpdate_ = false;
    Site().AfterUpdate(result->Done());
  }
}

}  // namespace desktop::pages
