#include "desktop/pages/CPropertyQVO520.h"

#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "desktop/pages/CardFields.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "platform/qt/SystemSound.h"
#include "platform/qt/WaitCursor.h"
#include "protocol/unit/Qvo520Image.h"
#include "protocol/unit/SettingsImage.h"

namespace desktop::pages {

namespace {

namespace pu = protocol::unit;
namespace fw = desktop::firmware;
using C = ControlKind;
using P = CPropertyQVO520;
using Img = pu::Qvo520Image;
using unitlink::theTiroUSB;
constexpr int kNameChars = pu::SettingsImage::kNameSize - 1;
constexpr int kBoardSerialChars = 8;
// A processor whose software reports major 0 and a minor in this range runs
// a special build that only service mode may replace.
constexpr int kSpecialMinorFirst = 1000;
constexpr int kSpecialMinorLast = 1998;

constexpr std::string_view kModes[] = {"Mono - Bi-Amping", "Stereo (ZEL520)"};

constexpr int Column(int i) {
  return 18 + 144 * i;
}
// Left edge of the left and right processor boxes.
constexpr int Box(int p) {
  return p == 0 ? 8 : 342;
}

// Dialog 104: identity and mode on top, the four outputs, the two processors
// with the card's picture between them, the download's progress.
constexpr ControlTemplate kControls[] = {
    {0, C::kGroup, "Module", 8, 6, 292, 78},
    {0, C::kLabel, "SNR", 18, 24, 72, 10},
    {common::kSerial, C::kEdit, "", 96, 22, 50, 13, {}, 4},
    {0, C::kLabel, "Delivery", 18, 44, 72, 10},
    {common::kDelivery, C::kDatePicker, "", 96, 42, 150, 13},
    {0, C::kLabel, "Name", 18, 64, 72, 10},
    {P::kName, C::kEdit, "", 96, 62, 120, 13, {}, kNameChars},
    {0, C::kGroup, "Operating Mode", 308, 6, 284, 40},
    {P::kMode, C::kDropList, "", 318, 22, 130, 14, kModes},
    {common::kStatusLine, C::kLabel, "", 308, 56, 284, 14},
    {0, C::kGroup, "Output Levels && Channels", 8, 90, 584, 92},
    {0, C::kLabel, "Output 1", Column(0), 104, 60, 10},
    {P::kLevelText[0], C::kLabel, "dB", Column(0) + 50, 102, 80, 14},
    {P::kLevel[0], C::kLevelSlider, "", Column(0), 120, 130, 22},
    {P::kAssign[0], C::kDropList, "", Column(0), 152, 130, 14},
    {0, C::kLabel, "Output 2", Column(1), 104, 60, 10},
    {P::kLevelText[1], C::kLabel, "dB", Column(1) + 50, 102, 80, 14},
    {P::kLevel[1], C::kLevelSlider, "", Column(1), 120, 130, 22},
    {P::kAssign[1], C::kDropList, "", Column(1), 152, 130, 14},
    {0, C::kLabel, "Output 3", Column(2), 104, 60, 10},
    {P::kLevelText[2], C::kLabel, "dB", Column(2) + 50, 102, 80, 14},
    {P::kLevel[2], C::kLevelSlider, "", Column(2), 120, 130, 22},
    {P::kAssign[2], C::kDropList, "", Column(2), 152, 130, 14},
    {0, C::kLabel, "Output 4", Column(3), 104, 60, 10},
    {P::kLevelText[3], C::kLabel, "dB", Column(3) + 50, 102, 80, 14},
    {P::kLevel[3], C::kLevelSlider, "", Column(3), 120, 130, 22},
    {P::kAssign[3], C::kDropList, "", Column(3), 152, 130, 14},
    {0, C::kGroup, "Left Channel", Box(0), 188, 250, 140},
    {0, C::kLabel, "HWTyp", Box(0) + 10, 204, 48, 10},
    {P::kHwType[0], C::kLabel, "", Box(0) + 60, 202, 180, 12},
    {0, C::kLabel, "SWTyp", Box(0) + 10, 220, 48, 10},
    {P::kSwType[0], C::kLabel, "", Box(0) + 60, 220, 184, 10},
    {0, C::kLabel, "SWTyp PFC", Box(0) + 10, 236, 48, 10},
    {P::kSwSecond[0], C::kLabel, "", Box(0) + 60, 236, 184, 10},
    {0, C::kLabel, "SNR", Box(0) + 10, 256, 48, 10},
    {P::kBoardSerial[0], C::kEdit, "", Box(0) + 60, 254, 50, 13, {}, kBoardSerialChars},
    {0, C::kLabel, "Delivery", Box(0) + 10, 276, 48, 10},
    {P::kBoardDate[0], C::kDatePicker, "", Box(0) + 60, 274, 150, 13},
    {P::kUpdate[0], C::kButton, "Update", Box(0) + 60, 302, 70, 16},
    {P::kEeWrite[0], C::kButton, "EE Write", Box(0) + 140, 302, 70, 16},
    {0, C::kPicture, "", 262, 196, 76, 128},
    {0, C::kGroup, "Right Channel", Box(1), 188, 250, 140},
    {0, C::kLabel, "HWTyp", Box(1) + 10, 204, 48, 10},
    {P::kHwType[1], C::kLabel, "", Box(1) + 60, 202, 180, 12},
    {0, C::kLabel, "SWTyp", Box(1) + 10, 220, 48, 10},
    {P::kSwType[1], C::kLabel, "", Box(1) + 60, 220, 184, 10},
    {0, C::kLabel, "SWTyp PFC", Box(1) + 10, 236, 48, 10},
    {P::kSwSecond[1], C::kLabel, "", Box(1) + 60, 236, 184, 10},
    {0, C::kLabel, "SNR", Box(1) + 10, 256, 48, 10},
    {P::kBoardSerial[1], C::kEdit, "", Box(1) + 60, 254, 50, 13, {}, kBoardSerialChars},
    {0, C::kLabel, "Delivery", Box(1) + 10, 276, 48, 10},
    {P::kBoardDate[1], C::kDatePicker, "", Box(1) + 60, 274, 150, 13},
    {P::kUpdate[1], C::kButton, "Update", Box(1) + 60, 302, 70, 16},
    {P::kEeWrite[1], C::kButton, "EE Write", Box(1) + 140, 302, 70, 16},
    {P::kProgress, C::kProgress, "", 8, 334, 584, 10},
    {P::kDownloadText, C::kLabel, "", 8, 347, 584, 12},
    {0, C::kLine, "", 8, 362, 584, 2},
    {common::kDefault, C::kButton, "Default Settings", 332, 372, 84, 16},
    {common::kRead, C::kButton, "Read Settings", 420, 372, 84, 16},
    {common::kWrite, C::kButton, "Write Settings", 508, 372, 84, 16},
};
constexpr DialogTemplate kDialog{P::kIdd, "QVO520", 600, 398, kControls};

std::string Format(const char* format, auto... values) {
  char text[160];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

int SelectedIndex(QComboBox* list) {
  return list == nullptr ? -1 : list->currentIndex();
}

QDate BoardDate(const pu::BoardIdentity& b) {
  const int year = 2000 + b.deliveryYear;
  const int month = std::clamp<int>(b.deliveryMonth, 1, 12);
  const int day = std::clamp<int>(b.deliveryDay, 1, QDate(year, month, 1).daysInMonth());
  return {year, month, day};
}

}  // namespace

CPropertyQVO520::CPropertyQVO520(PageSite& site, QWidget* parent)
    : CMRXPropertyPage(kDialog, site, parent),
      target_(this, [this](const platform::Message& m) { OnWorkerMessage(m); }),
      runner_([this](const fw::UpdateStatus& status) {
        Get<QProgressBar>(kProgress)->setValue(static_cast<int>(status.percentage));
        Get<QLabel>(kDownloadText)->setText(QString::fromStdString(status.text));
      }) {
  typeFont_.setPixelSize(12);
  typeFont_.setWeight(QFont::DemiBold);
  connect(&timer_, &QTimer::timeout, this, [this] { RefreshProcessors(false); });
}

CPropertyQVO520::~CPropertyQVO520() {
  // The download cannot be cancelled: its last messages are dropped while the
  // page waits for it, so nothing reaches a page that is going away.
  timer_.stop();
  target_.Close();
  worker_.reset();
}

bool CPropertyQVO520::OnInitDialog() {
  if (!CMRXPropertyPage::OnInitDialog()) return false;
  for (int id : kLevelText) Get<QLabel>(id)->setFont(card::LevelFont());
  for (int id : kHwType) Get<QLabel>(id)->setFont(typeFont_);
  for (int id : {common::kSerial, common::kDelivery, kName}) MarkDirtyOnChange(id);
  for (int id : kLevel) {
    connect(Get<QSlider>(id), &QSlider::valueChanged, this, [this] {
      if (showing_) return;
      SetModified();
      SendLevels();
      ShowLevels();
    });
  }
  for (int id : kAssign) {
    connect(Get<QComboBox>(id), &QComboBox::activated, this, [this] {
      SetModified();
      SendAssignments();
    });
  }
  connect(Get<QComboBox>(kMode), &QComboBox::activated, this, [this](int index) {
    SetModified();
    SetLiveWord(index > 0 ? 1 : 0);
    ApplyModeRule();
  });
  auto click = [this](int id, auto handler) {
    connect(Get<QAbstractButton>(id), &QAbstractButton::clicked, this, handler);
  };
  auto sendLive = [this] {
    SendAssignments();
    SendLevels();
  };
  click(common::kRead, [this, sendLive] {
    ReadSettings(1, true);
    sendLive();
  });
  click(common::kDefault, [this, sendLive] {
    DefaultSettings();
    sendLive();
  });
  click(common::kWrite, [this] { WriteSettings(1); });
  for (int p = 0; p < 2; ++p) {
    click(kUpdate[p], [this, p] { StartDownload(p); });
    click(kEeWrite[p], [this, p] { WriteBoard(p); });
  }
  return true;
}

bool CPropertyQVO520::OnSetActive() {
  // The KLF310's channel names may have changed on its own tab.
  for (int id : kAssign) FillChannelList(Get<QComboBox>(id));
  RefreshProcessors(true);
  timer_.start(kRefreshMs);
  return CMRXPropertyPage::OnSetActive();
}

bool CPropertyQVO520::OnKillActive() {
  // Leaving would stop the refresh and, with the window, the download itself.
  if (worker_ != nullptr) {
    Site().GetPrompt().Ask(kTextDownloadRunning, Prompt::Buttons::kOk, Prompt::Icon::kInformation);
    return false;
  }
  timer_.stop();
  return CMRXPropertyPage::OnKillActive();
}

int CPropertyQVO520::UpdateControls() {
  if (!HasWindow()) return 0;
  card::ShowIdentity(*this);
  const auto held = card::Held(*this);
  Get<QLineEdit>(kName)->setText(QString::fromStdString(card::NameAt(held, Img::kName)));
  showing_ = true;
  for (std::size_t i = 0; i < Img::kLevels.size(); ++i) {
    auto* slider = Get<QSlider>(kLevel[i]);
    slider->setRange(Img::kLevelFields[i].min, Img::kLevelFields[i].max);
    slider->setPageStep(10);
    slider->setTickInterval(50);
    slider->setValue(card::I16(held, Img::kLevels[i]));
  }
  showing_ = false;
  ShowLevels();
  const std::uint16_t mode = card::U16(held, Img::kMode);
  SetLiveWord(mode);
  Get<QComboBox>(kMode)->setCurrentIndex(mode < std::size(kModes) ? mode : -1);
  for (std::size_t i = 0; i < Img::kAssigns.size(); ++i) {
    card::ShowAssignment(*this, kAssign[i], card::U16(held, Img::kAssigns[i]));
  }
  ApplyModeRule();
  ReadStatus();
  return CMRXPropertyPage::UpdateControls();
}

void CPropertyQVO520::UpdateImage() {
  if (!HasWindow()) return;
  CMRXPropertyPage::UpdateImage();
  card::TakeIdentity(*this);
  const auto held = card::Held(*this);
  card::PutNameZeroed(held, Img::kName, Get<QLineEdit>(kName)->text().toStdString());
  for (std::size_t i = 0; i < Img::kLevels.size(); ++i) {
    card::PutI16(held, Img::kLevels[i],
                 static_cast<std::int16_t>(Get<QSlider>(kLevel[i])->value()));
    card::PutU16(held, Img::kAssigns[i], card::Assignment(*this, kAssign[i], Img::kAssigns[i]));
  }
  const int mode = SelectedIndex(Get<QComboBox>(kMode));
  if (mode >= 0) card::PutU16(held, Img::kMode, static_cast<std::uint16_t>(mode));
  ApplyModeRule();
}

void CPropertyQVO520::EnableControls(bool enable) {
  if (!HasWindow()) return;
  const bool running = worker_ != nullptr;
  const bool settings = enable && !running;
  Control(kProgress)->setVisible(running);
  // Nothing of the card changes while its processor takes new software.
  for (int id : kLevel) Control(id)->setEnabled(settings);
  for (int id : kAssign) Control(id)->setEnabled(settings);
  Control(kMode)->setEnabled(settings);
  Control(kName)->setEnabled(settings);
  if (settings) ApplyModeRule();
  if (enable) {
    timer_.start(kRefreshMs);
  } else {
    timer_.stop();
  }
  CMRXPropertyPage::EnableControls(settings);
}

void CPropertyQVO520::ApplyModeRule() {
  const bool stereo = SelectedIndex(Get<QComboBox>(kMode)) > 0;
  const bool idle = worker_ == nullptr;
  Control(kAssign[1])->setEnabled(stereo && idle);
  Control(kAssign[2])->setEnabled(stereo && idle);
}

void CPropertyQVO520::ShowLevels() {
  for (std::size_t i = 0; i < std::size(kLevel); ++i) {
    Get<QLabel>(kLevelText[i])
        ->setText(QString::fromStdString(card::LevelText(Get<QSlider>(kLevel[i])->value())));
  }
}

void CPropertyQVO520::SendLevels() {
  auto v = [this](int i) { return static_cast<std::uint16_t>(Get<QSlider>(kLevel[i])->value()); };
  SetLiveLevels(v(0), v(1), v(2), v(3));
}

void CPropertyQVO520::SendAssignments() {
  auto a = [this](int i) { return card::Assignment(*this, kAssign[i], Img::kAssigns[i]); };
  SetLiveWords(a(0), a(1), a(2), a(3));
}

void CPropertyQVO520::TakeBoards() {
  if (!HasWindow()) return;
  for (int p = 0; p < 2; ++p) {
    boardSerial_[p] = Get<QLineEdit>(kBoardSerial[p])->text().toStdString();
    const QDate date = Get<QDateEdit>(kBoardDate[p])->date();
    boards_[p].deliveryYear = static_cast<std::uint8_t>(date.year() - 2000);
    boards_[p].deliveryMonth = static_cast<std::uint8_t>(date.month());
    boards_[p].deliveryDay = static_cast<std::uint8_t>(date.day());
  }
}

void CPropertyQVO520::ShowMembers() {
  if (!HasWindow()) return;
  for (int p = 0; p < 2; ++p) {
    Get<QLabel>(kHwType[p])->setText(QString::fromStdString(hwType_[p]));
    Get<QLabel>(kSwType[p])->setText(QString::fromStdString(swType_[p]));
    Get<QLabel>(kSwSecond[p])->setText(QString::fromStdString(swSecond_[p]));
    auto* serial = Get<QLineEdit>(kBoardSerial[p]);
    if (serial->text().toStdString() != boardSerial_[p]) {
      serial->setText(QString::fromStdString(boardSerial_[p]));
    }
    auto* picker = Get<QDateEdit>(kBoardDate[p]);
    picker->setDateRange(QDate(2000, 1, 1), QDate(2255, 12, 31));
    picker->setDate(BoardDate(boards_[p]));
    picker->setDisplayFormat(QString::fromLatin1(kDeliveryFormat));
  }
}

void CPropertyQVO520::RefreshProcessors(bool force) {
  if (!HasWindow()) return;
  TakeBoards();
  for (auto* texts : {&hwType_, &swType_, &swSecond_}) texts->fill({});
  // The right processor first, then the left.
  bool read[2] = {false, false};
  for (int p : {1, 0}) {
    read[p] =
        theTiroUSB.ReadProcessorRecord(Address(), static_cast<std::uint8_t>(p), records_[p].data());
  }
  if (!read[0] && !read[1]) return;

  bool flagged = false;
  for (int p = 0; p < 2; ++p) {
    const pu::ProcessorRecord r = pu::ProcessorRecord::Decode(records_[p]);
    flagged = flagged || r.softwareFlag;
    hwType_[p] = std::string(ModelName(r.model));
    auto* update = Get<QPushButton>(kUpdate[p]);
    auto* ee = Get<QPushButton>(kEeWrite[p]);
    if (hwType_[p].empty()) {
      update->setVisible(false);
      update->setEnabled(false);
      ee->setVisible(false);
      Control(kBoardDate[p])->setEnabled(false);
      Control(kBoardSerial[p])->setEnabled(false);
      continue;
    }
    swType_[p] = Format("%s V%d.%03d, %2d.%02d.%04d (%s)",
                        std::string(ComponentName(r.component)).c_str(), r.major, r.minor,
                        r.date.day, r.date.month, r.date.year, r.update ? "update" : "orig");
    if (r.secondComponent != 0) {
      swSecond_[p] = Format("%s V%d.%03d, %2d.%02d.%04d",
                            std::string(ComponentName(r.secondComponent)).c_str(), r.secondMajor,
                            r.secondMinor, r.secondDate.day, r.secondDate.month, r.secondDate.year);
    }
    const fw::_DoloPacket* first = nullptr;
    const fw::_DoloPacket* second = nullptr;
    const bool carried =
        fw::CCardDoloThread::FindPackages(GetDoloBase(), r.model, r.component, first, second);
    bool offered = ServiceMode();
    if (carried && !offered) {
      const bool differs = first->day != r.date.day || first->month != r.date.month ||
                           first->year != r.date.year || fw::DoloMajor(first->version) != r.major ||
                           fw::DoloMinor(first->version) != r.minor;
      const bool special =
          r.major == 0 && r.minor >= kSpecialMinorFirst && r.minor <= kSpecialMinorLast;
      offered = differs && !special;
    }
    update->setVisible(true);
    update->setEnabled(carried && worker_ == nullptr && offered);
    ee->setVisible(ServiceMode());
    ee->setEnabled(worker_ == nullptr);
    Control(kBoardDate[p])->setEnabled(ServiceMode());
    Control(kBoardSerial[p])->setEnabled(ServiceMode());
  }
  if (force || flagged) ShowMembers();
  for (int p = 0; p < 2; ++p) {
    if (shownValid_[p] && shown_[p] == records_[p]) continue;
    shown_[p] = records_[p];
    shownValid_[p] = true;
    boards_[p] = pu::ProcessorRecord::Decode(records_[p]).board;
    boardSerial_[p] = Format("%04u", boards_[p].serial % pu::BoardIdentity::kSerialModulus);
  }
  ShowMembers();
}

void CPropertyQVO520::WriteBoard(int processor) {
  UpdateImage();
  TakeBoards();
  pu::BoardIdentity board = boards_[processor];
  board.written = 1;
  board.serial =
      static_cast<std::uint32_t>(std::strtoul(boardSerial_[processor].c_str(), nullptr, 10));
  const auto bytes = board.Encode();
  platform::qt::WaitCursor wait;
  theTiroUSB.WriteBankRecord(Address(), static_cast<std::uint8_t>(processor), bytes.data());
}

void CPropertyQVO520::StartDownload(int processor) {
  if (worker_ != nullptr) return;
  if (!Site().BeforeUpdate(false)) return;
  const pu::ProcessorRecord record = pu::ProcessorRecord::Decode(records_[processor]);
  const fw::_DoloPacket* first = nullptr;
  const fw::_DoloPacket* second = nullptr;
  if (!fw::CCardDoloThread::FindPackages(GetDoloBase(), record.model, record.component, first,
                                         second)) {
    return;
  }
  downloading_ = processor;
  carried_ = fw::DoloSoftwareVersion(first->version);
  worker_ = std::make_unique<fw::CCardDoloThread>(Address(), static_cast<std::uint8_t>(processor),
                                                  pu::ProcessorRecord::Decode(records_[processor]),
                                                  target_, theTiroUSB, Site().GetClock());
  EnableControls(false);
  worker_->Resume();
  for (int p = 0; p < 2; ++p) {
    Control(kUpdate[p])->setEnabled(false);
    Control(kEeWrite[p])->setEnabled(false);
  }
}

void CPropertyQVO520::OnWorkerMessage(const platform::Message& m) {
  const auto result = runner_.Handle(m);
  if (!result) return;
  worker_.reset();  // its thread ends right after its last message
  platform::qt::PlaySystemSound("SystemAsterisk");
  // The worker's word is not the last one: the processor's version confirms
  // a done download, and decides one whose end went unanswered.
  auto decided = *result;
  if (decided.Done() || decided.reason == fw::UpdateReason::kUnanswered) {
    fw::UpdateRunner::ReadBack(
        decided,
        [this]() -> std::optional<fw::SoftwareVersion> {
          RecordBytes bytes{};
          if (!theTiroUSB.ReadProcessorRecord(Address(), static_cast<std::uint8_t>(downloading_),
                                              bytes.data())) {
            return std::nullopt;
          }
          const pu::ProcessorRecord r = pu::ProcessorRecord::Decode(bytes);
          return fw::SoftwareVersion{r.major, r.minor};
        },
        carried_);
  }
  // A failure leaves its last text ("Timeout!") for the user to read.
  if (decided.Done()) Get<QLabel>(kDownloadText)->clear();
  for (int p = 0; p < 2; ++p) {
    Control(kUpdate[p])->setEnabled(true);
    Control(kEeWrite[p])->setEnabled(true);
  }
  EnableControls(Present());
  // Shows what the processor runs now.
  RefreshProcessors(true);
  Site().AfterUpdate(decided.Done());
}

}  // namespace desktop::pages
