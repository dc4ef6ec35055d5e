#include "desktop/pages/CMRXPropertyPage.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "desktop/unitlink/CTiroUSB.h"
#include "platform/Bytes.h"
#include "platform/qt/WaitCursor.h"
#include "protocol/unit/ClockRecord.h"
#include "protocol/unit/DisplayRow.h"
#include "protocol/unit/Frame.h"
#include "protocol/unit/Klf310Image.h"
#include "protocol/unit/LiveRecords.h"
#include "protocol/unit/ModelNames.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/UnitCommand.h"

namespace desktop::pages {

namespace {

namespace ul = desktop::unitlink;
namespace pu = protocol::unit;
using pu::Code;
using pu::UnitCommand;
using ul::theTiroUSB;

// The list offers the KLF310's first 14 channels after the fixed ones.
constexpr int kKlfListChannels = 14;

constexpr std::string_view kFixedChannels[] = {"Front Left", "Front Right", "Rear Left",
                                               "Rear Right", "Centre",      "Subwoofer",
                                               "Mid Left",   "Mid Right"};

void SendWords(UnitCommand command, std::uint8_t address, std::span<const std::uint8_t> data) {
  theTiroUSB.SendCommand(nullptr, Code(command), address, 0, 0, 0, data.size(), data.data());
}

}  // namespace

CMRXPropertyPage::CMRXPropertyPage(const DialogTemplate& dialog, PageSite& site, QWidget* parent)
    : CPropertyPage(dialog, parent), site_(site) {
  statusFont_.setFamilies({QStringLiteral("Century Gothic"), QStringLiteral("DejaVu Sans")});
  statusFont_.setPixelSize(14);
  statusFont_.setWeight(QFont::Bold);
}

void CMRXPropertyPage::SetModule(std::uint8_t address, std::uint8_t subAddress,
                                 const std::uint8_t* descriptor) {
  module_.address = address;
  module_.subAddress = subAddress;
  std::memcpy(module_.descriptor.data(), descriptor, pu::ModuleDescriptor::kSize);
  present_ = true;
}

int CMRXPropertyPage::UpdateControls() {
  return UpdateData(false) ? 1 : 0;
}

void CMRXPropertyPage::UpdateImage() {
  UpdateData(true);
}

void CMRXPropertyPage::ReadSettings(int reload, bool refresh) {
  {
    platform::qt::WaitCursor wait;
    if (Fields().settingsLength != 0) {
      ul::ReadSettingsImage(theTiroUSB, Address(), ul::SettingsLength(module_), reload != 0,
                            image_);
    }
    if (refresh) UpdateControls();
  }
  dirty_ = false;
}

void CMRXPropertyPage::WriteSettings(int /*store*/) {
  // Every caller stores (flag 1): the chunks go out followed by the store frame.
  UpdateImage();
  if (Fields().settingsLength == 0) return;
  platform::qt::WaitCursor wait;
  ul::WriteSettingsImage(theTiroUSB, Address(), ul::SettingsLength(module_), image_);
  dirty_ = false;
}

void CMRXPropertyPage::DefaultSettings() {
  if (Fields().settingsLength != 0) {
    std::array<std::uint8_t, pu::IdentityRecord::kSize> identity{};
    if (ServiceMode() && site_.GetPrompt().Ask(kTextResetIdentity, Prompt::Buttons::kYesNo) ==
                             Prompt::Answer::kYes) {
      identity = ul::NewIdentityRecord(site_.GetClock().Now());
    } else {
      std::copy_n(image_.begin(), pu::IdentityRecord::kSize, identity.begin());
    }
    ul::ResetSettings(theTiroUSB, Address(), identity);
  }
  ReadSettings(0, true);
  dirty_ = true;
}

void CMRXPropertyPage::EnableControls(bool enable) {
  const bool identity = enable && ServiceMode();
  if (QWidget* w = Control(common::kSerial)) w->setEnabled(identity);
  if (QWidget* w = Control(common::kDelivery)) w->setEnabled(identity);
  for (int id : {common::kDefault, common::kRead, common::kWrite}) {
    if (QWidget* w = Control(id)) w->setEnabled(enable);
  }
}

int CMRXPropertyPage::ReadDisplayRow(std::uint8_t* buffer) {
  std::uint8_t reply[pu::kFrameSize] = {};
  const bool ok = theTiroUSB.SendCommand(reply, Code(UnitCommand::kReadDisplayRow), Address(),
                                         SubAddress(), buffer[0], 0, 0, nullptr);
  std::memcpy(buffer, reply + pu::ReplyHeader::kData, pu::DisplayRow::kSize);
  return ok ? 1 : 0;
}

void CMRXPropertyPage::SyncClock() {
  if (Fields().hasClock == 0) return;
  ul::SetClock(theTiroUSB, Address(), site_.GetClock().Now());
}

bool CMRXPropertyPage::ReadClock(std::uint8_t* record) {
  if (Fields().hasClock == 0) return false;
  platform::LocalTime t;
  if (!ul::ReadClock(theTiroUSB, Address(), t)) {
    std::memset(record, 0, pu::ClockRecord::kSize);
    return false;
  }
  const auto bytes = ul::ToClockRecord(t).Encode();
  std::copy(bytes.begin(), bytes.end(), record);
  return true;
}

void CMRXPropertyPage::SetLiveValue(std::uint8_t value) {
  theTiroUSB.SendCommand(nullptr, Code(UnitCommand::kLiveEqualizerGain), Address(), 0, value, 0, 0,
                         nullptr);
}

void CMRXPropertyPage::SetLiveLevels(std::uint16_t a, std::uint16_t b, std::uint16_t c,
                                     std::uint16_t d) {
  SendWords(UnitCommand::kLiveValues, Address(), pu::LiveWords::EncodeFour(a, b, c, d));
}

void CMRXPropertyPage::SetLiveWords(std::uint16_t a, std::uint16_t b, std::uint16_t c,
                                    std::uint16_t d) {
  SendWords(UnitCommand::kLiveValues2, Address(), pu::LiveWords::EncodeFour(a, b, c, d));
}

void CMRXPropertyPage::SetLiveWord(std::uint16_t value) {
  SendWords(UnitCommand::kLiveValue, Address(), pu::LiveWords::EncodeOne(value));
}

bool CMRXPropertyPage::OnInitDialog() {
  if (!CPropertyPage::OnInitDialog()) return false;
  if (QWidget* line = Control(common::kStatusLine)) {
    line->setStyleSheet(QStringLiteral("color: #b00020"));
  }
  ReadSettings(0, false);
  return true;
}

bool CMRXPropertyPage::OnSetActive() {
  EnableControls(present_);
  UpdateControls();
  dirty_ = false;
  return CPropertyPage::OnSetActive();
}

bool CMRXPropertyPage::OnKillActive() {
  UpdateImage();
  if (dirty_) {
    switch (site_.GetPrompt().Ask(kTextSaveChanges, Prompt::Buttons::kYesNoCancel)) {
      case Prompt::Answer::kCancel:
        return false;
      case Prompt::Answer::kYes:
        WriteSettings(1);
        break;
      default:
        ReadSettings(1, true);
        break;
    }
  }
  return CPropertyPage::OnKillActive();
}

void CMRXPropertyPage::ReadStatus() {
  if (!ul::ReadStatus(theTiroUSB, Address(), status_)) return;
  if (auto* line = Get<QLabel>(common::kStatusLine)) {
    line->setFont(statusFont_);
    line->setText(pu::StatusRecord::EepromError(status_) ? kTextEepromError : "");
  }
}

std::uint16_t CMRXPropertyPage::SerialFromText(std::string_view text) {
  const std::string s(text);
  const unsigned long value = std::strtoul(s.c_str(), nullptr, 10);
  return static_cast<std::uint16_t>(value % pu::IdentityRecord::kSerialModulus);
}

std::string CMRXPropertyPage::SerialToText(std::uint16_t serial) {
  char text[8];
  std::snprintf(text, sizeof text, "%04u",
                static_cast<unsigned>(serial % pu::IdentityRecord::kSerialModulus));
  return text;
}

void CMRXPropertyPage::ShowDeliveryDate(QDateEdit* picker) {
  if (picker == nullptr) return;
  const pu::IdentityRecord id = pu::IdentityRecord::Decode(image_);
  const int year = 2000 + id.deliveryYear;
  const int month = std::clamp<int>(id.deliveryMonth, 1, 12);
  // Days past the month's end (31 February) are clamped too: such a date
  // cannot be shown at all.
  const int day = std::clamp<int>(id.deliveryDay, 1, QDate(year, month, 1).daysInMonth());
  picker->setDateRange(QDate(2000, 1, 1), QDate(2255, 12, 31));
  picker->setDate(QDate(year, month, day));
  picker->setDisplayFormat(QString::fromLatin1(kDeliveryFormat));
}

void CMRXPropertyPage::TakeDeliveryDate(QDateEdit* picker) {
  if (picker == nullptr) return;
  const QDate date = picker->date();
  image_[pu::IdentityRecord::kDeliveryDay] = static_cast<std::uint8_t>(date.day());
  image_[pu::IdentityRecord::kDeliveryMonth] = static_cast<std::uint8_t>(date.month());
  image_[pu::IdentityRecord::kDeliveryYear] = static_cast<std::uint8_t>(date.year() - 2000);
}

void CMRXPropertyPage::FillChannelList(QComboBox* list) {
  const std::uint8_t* klf = nullptr;
  if (CMRXPropertyPage* page =
          site_.FindCardPage(pu::FindModuleType(pu::type::kKLF310)->pageClass)) {
    page->ReadSettings(0, false);
    klf = page->Image().data();
  }
  list->clear();
  for (std::string_view name : kFixedChannels)
    list->addItem(QString::fromUtf8(name.data(), static_cast<int>(name.size())));
  if (klf == nullptr) return;
  const int channels = klf[pu::Klf310Image::kConfig] & pu::Klf310Image::kChannelCountMask;
  for (int k = 1; k <= kKlfListChannels && k <= channels; ++k) {
    const auto* name = reinterpret_cast<const char*>(
        klf + pu::Klf310Image::ChannelNameOffset(static_cast<std::size_t>(k - 1)));
    std::string text(name, strnlen(name, pu::Klf310Channel::kNameSize));
    if (text.empty()) {
      char fallback[32];
      std::snprintf(fallback, sizeof fallback, "Channel %d-%s", (k - 1) / 2 + 1,
                    k % 2 == 1 ? "Left" : "Right");
      text = fallback;
    }
    list->addItem(QString::fromLatin1("KLF:") + QString::fromLatin1(text.c_str()));
  }
}

std::string_view CMRXPropertyPage::ModelName(int code) {
  return protocol::unit::ModelName(code);
}

std::string_view CMRXPropertyPage::ComponentName(int code) {
  return protocol::unit::ComponentName(code);
}

void CMRXPropertyPage::MarkDirtyOnChange(int id) {
  QWidget* w = Control(id);
  if (auto* list = qobject_cast<QComboBox*>(w)) {
    connect(list, &QComboBox::activated, this, [this] { dirty_ = true; });
  } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    connect(edit, &QLineEdit::textEdited, this, [this] { dirty_ = true; });
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    connect(button, &QAbstractButton::clicked, this, [this] { dirty_ = true; });
  } else if (auto* slider = qobject_cast<QSlider*>(w)) {
    connect(slider, &QSlider::valueChanged, this, [this] { dirty_ = true; });
  } else if (auto* picker = qobject_cast<QDateEdit*>(w)) {
    connect(picker, &QDateEdit::userDateChanged, this, [this] { dirty_ = true; });
  }
}

}  // namespace desktop::pages
