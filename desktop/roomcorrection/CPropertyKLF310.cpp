#include "desktop/roomcorrection/CPropertyKLF310.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "desktop/firmware/WorkerMessages.h"
#include "desktop/pages/CardFields.h"
#include "desktop/roomcorrection/CKLF310AdvancedDlg.h"
#include "desktop/roomcorrection/CKLF310Thread.h"
#include "desktop/roomcorrection/KlfLink.h"
#include "desktop/roomcorrection/QtGraphCanvas.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "desktop/unitlink/UnitProtocol.h"
#include "desktop/widgets/CEditCtrl.h"
#include "platform/Bytes.h"
#include "platform/qt/SystemSound.h"
#include "protocol/unit/IdentityRecord.h"
#include "protocol/unit/TableEntry.h"

namespace desktop::roomcorrection {

namespace {

namespace pu = protocol::unit;
namespace card = pages::card;
using pages::ControlKind;
using pages::ControlTemplate;
using pages::DialogTemplate;
using C = ControlKind;
using P = CPropertyKLF310;
using Img = pu::Klf310Image;
using Rec = pu::Klf310Channel;
namespace common = pages::common;

constexpr int kRows = 8;
constexpr double kMaxHz = 96000;
constexpr double kMaxDelayMs = 1024;
constexpr double kDelayStep = 0.01;
constexpr double kGraphLowestHz = 0.5;
constexpr int kMaxFraction = 12;
constexpr int kNameChars = static_cast<int>(Rec::kNameSize) - 1;

constexpr std::string_view kCountItems[] = {
    "0 channels",  "1 channel",   "2 channels",  "3 channels",  "4 channels",  "5 channels",
    "6 channels",  "7 channels",  "8 channels",  "9 channels",  "10 channels", "11 channels",
    "12 channels", "13 channels", "14 channels", "15 channels", "16 channels"};
constexpr std::string_view kFractionItems[] = {
    "1 Octave",   "1/2 Octave", "1/3 Octave", "1/4 Octave",  "1/5 Octave",  "1/6 Octave",
    "1/7 Octave", "1/8 Octave", "1/9 Octave", "1/10 Octave", "1/11 Octave", "1/12 Octave"};

// Columns of a channel row inside its group, in dialog units.
constexpr int kGroupW = 288;
constexpr int kRowTop = 110;
constexpr int kRowPitch = 14;
constexpr int kColAct = 6, kColStart = 26, kColStop = 72, kColDelay = 118, kColName = 168,
              kColAdvanced = 236;
constexpr int kWAct = 18, kWFreq = 44, kWDelay = 48, kWName = 66, kWAdvanced = 46;

constexpr int GroupX(bool right) {
  return right ? 304 : 8;
}

struct Table {
  ControlTemplate controls[160]{};
  int count = 0;
  constexpr void Add(const ControlTemplate& c) { controls[count++] = c; }
};

constexpr Table MakeTable() {
  Table t{};
  t.Add({0, C::kGroup, "Module", 8, 6, 288, 62});
  t.Add({0, C::kLabel, "SNR", 16, 20, 60, 10});
  t.Add({common::kSerial, C::kEdit, "", 80, 18, 50, 12, {}, 4});
  t.Add({0, C::kLabel, "Delivery", 16, 35, 60, 10});
  t.Add({common::kDelivery, C::kDatePicker, "", 80, 33, 150, 12});
  t.Add({0, C::kLabel, "Softwareversion", 16, 50, 62, 10});
  t.Add({P::kBootVersion, C::kLabel, "", 80, 50, 200, 10});
  t.Add({0, C::kGroup, "Network", 304, 6, 288, 62});
  t.Add({0, C::kLabel, "IP-Address", 312, 20, 60, 10});
  t.Add({P::kIpAddress, C::kEdit, "", 380, 18, 90, 12, {}, 15});
  t.Add({0, C::kLabel, "Subnet mask", 312, 35, 60, 10});
  t.Add({P::kSubnetMask, C::kEdit, "", 380, 33, 90, 12, {}, 15});
  t.Add({0, C::kLabel, "MAC-Address", 312, 50, 60, 10});
  t.Add({P::kMacAddress, C::kEdit, "", 380, 48, 90, 12});
  t.Add({0, C::kLabel, "Number of channels", 8, 74, 72, 10});
  t.Add({P::kChannelCount, C::kDropList, "", 82, 72, 70, 13, kCountItems});
  t.Add({P::kAdvancedOption, C::kCheckBox, "Advanced", 164, 73, 60, 10});
  t.Add({0, C::kLabel, "Band width", 304, 74, 60, 10});
  t.Add({P::kOctaveFraction, C::kDropList, "", 366, 72, 70, 13, kFractionItems});
  for (int side = 0; side < 2; ++side) {
    const bool right = side == 1;
    const int x = GroupX(right);
    t.Add({0, C::kGroup, right ? "Right Channels" : "Left Channels", x, 88, kGroupW, 138});
    t.Add({0, C::kLabel, "Act.", x + kColAct, 98, kWAct + 6, 10});
    t.Add({0, C::kLabel, "Start", x + kColStart, 98, kWFreq, 10});
    t.Add({0, C::kLabel, "Stop", x + kColStop, 98, kWFreq, 10});
    t.Add({0, C::kLabel, "Delay", x + kColDelay, 98, kWDelay, 10});
    t.Add({0, C::kLabel, "Name", x + kColName, 98, kWName, 10});
    for (int r = 0; r < kRows; ++r) {
      const int ch = 2 * r + side;
      const int y = kRowTop + kRowPitch * r;
      t.Add({P::ActiveId(ch), C::kCheckBox, "", x + kColAct, y + 1, kWAct, 10});
      t.Add({P::StartId(ch), C::kNumberEdit, "", x + kColStart, y, kWFreq, 12});
      t.Add({P::StopId(ch), C::kNumberEdit, "", x + kColStop, y, kWFreq, 12});
      t.Add({P::DelayId(ch), C::kNumberEdit, "", x + kColDelay, y, kWDelay, 12});
      t.Add({P::NameId(ch), C::kEdit, "", x + kColName, y, kWName, 12, {}, kNameChars});
      t.Add({P::AdvancedId(ch), C::kButton, "Advanced", x + kColAdvanced, y, kWAdvanced, 12});
    }
  }
  t.Add({P::kGraphLeft, C::kPicture, "", 8, 230, kGroupW, 110});
  t.Add({P::kGraphRight, C::kPicture, "", 304, 230, kGroupW, 110});
  t.Add({P::kStatus, C::kLabel, "", 8, 344, 288, 12});
  t.Add({P::kProgress, C::kProgress, "", 304, 345, 288, 10});
  t.Add({0, C::kLine, "", 8, 362, 584, 2});
  t.Add({P::kSoftwareUpdate, C::kButton, "Software Update", 8, 372, 84, 16});
  t.Add({common::kDefault, C::kButton, "Default Settings", 332, 372, 84, 16});
  t.Add({common::kRead, C::kButton, "Read Settings", 420, 372, 84, 16});
  t.Add({common::kWrite, C::kButton, "Write Settings", 508, 372, 84, 16});
  return t;
}

constexpr Table kTable = MakeTable();
constexpr DialogTemplate kDialog{
    P::kIdd, "KLF310", 600, 398,
    std::span(kTable.controls, static_cast<std::size_t>(kTable.count))};

float F32(std::span<const std::uint8_t> b, std::size_t at) {
  return std::bit_cast<float>(platform::GetU32(b, at));
}
// A stored float as the page shows and draws it: what is no number counts as 0.
double Finite(std::span<const std::uint8_t> b, std::size_t at) {
  const float v = F32(b, at);
  return std::isfinite(v) ? static_cast<double>(v) : 0.0;
}
void PutF32(std::span<std::uint8_t> b, std::size_t at, float v) {
  platform::PutU32(b, at, std::bit_cast<std::uint32_t>(v));
}

QString Dotted(std::span<const std::uint8_t> held, std::size_t at) {
  if (held.size() < at + Img::kAddressSize) return {};
  return QStringLiteral("%1.%2.%3.%4")
      .arg(held[at])
      .arg(held[at + 1])
      .arg(held[at + 2])
      .arg(held[at + 3]);
}

// "a.b.c.d" into the four bytes; anything else leaves them as they were.
void PutDotted(std::span<std::uint8_t> held, std::size_t at, const QString& text) {
  const QStringList parts = text.split(QLatin1Char('.'));
  if (parts.size() != 4 || held.size() < at + Img::kAddressSize) return;
  std::array<std::uint8_t, 4> bytes{};
  for (int i = 0; i < 4; ++i) {
    bool ok = false;
    const int v = parts[i].trimmed().toInt(&ok);
    if (!ok || v < 0 || v > 255) return;
    bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v);
  }
  std::copy(bytes.begin(), bytes.end(), held.begin() + static_cast<std::ptrdiff_t>(at));
}

widgets::CEditCtrl* Number(const P& page, int id) {
  return page.Get<widgets::CEditCtrl>(id);
}

QString VersionText(const char* prefix, const pu::Klf310VersionEntry& e) {
  if (!e.valid) return {};
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%sV%d.%03d, %02d.%02d.%04d", prefix, e.major, e.minor,
                e.day, e.month, e.year);
  return QString::fromLatin1(buffer);
}

}  // namespace

CPropertyKLF310::CPropertyKLF310(pages::PageSite& site, QWidget* parent)
    : CMRXPropertyPage(kDialog, site, parent),
      target_(this, [this](const platform::Message& m) { OnWorkerMessage(m); }),
      runner_([this](const firmware::UpdateStatus& status) {
        Get<QProgressBar>(kProgress)->setValue(static_cast<int>(status.percentage));
        Get<QLabel>(kStatus)->setText(QString::fromStdString(status.text));
      }) {
  liveTimer_.setSingleShot(true);
  liveTimer_.setInterval(kLiveDelayMs);
  QObject::connect(&liveTimer_, &QTimer::timeout, this, [this] { SendChangedChannels(); });
  graphs_[0].SetTitle("Left Channels");
  graphs_[1].SetTitle("Right Channels");
  for (CFilterDesign& g : graphs_) g.SetFrequencyRange(kGraphLowestHz, kMaxHz);
  // One whole transfer per call on the connection the page and its dialog
  // share: connect to the card's curve port, every message, close.
  transport_.read = [this](int channel, std::span<protocol::klf::CurveBin> out) {
    if (!KlfConnect(CardAddress(), protocol::klf::kCurvePort)) return false;
    const bool ok = KlfReadCurve(static_cast<std::uint16_t>(channel), 0,
                                 static_cast<std::uint16_t>(out.size()), out);
    KlfClose();
    return ok;
  };
  transport_.write = [this](int channel, std::span<const protocol::klf::CurveBin> in) {
    if (!KlfConnect(CardAddress(), protocol::klf::kCurvePort)) return false;
    const bool ok = KlfWriteCurve(static_cast<std::uint16_t>(channel), 0,
                                  static_cast<std::uint16_t>(in.size()), in);
    KlfClose();
    return ok;
  };
}

// The worker is joined here at the latest; leaving the tab is refused while
// it runs, so this only waits when the whole sheet goes away.
CPropertyKLF310::~CPropertyKLF310() {
  if (worker_) worker_->Cancel();
  worker_.reset();
}

std::string CPropertyKLF310::CardAddress() const {
  return Get<QLineEdit>(kIpAddress)->text().trimmed().toStdString();
}

bool CPropertyKLF310::OnInitDialog() {
  if (!CMRXPropertyPage::OnInitDialog()) return false;
  for (int id : {common::kSerial, common::kDelivery}) MarkDirtyOnChange(id);

  const QRegularExpression dotted(
      QStringLiteral(R"(^((25[0-5]|2[0-4]\d|1?\d?\d)\.){3}(25[0-5]|2[0-4]\d|1?\d?\d)$)"));
  for (int id : {kIpAddress, kSubnetMask}) {
    auto* edit = Get<QLineEdit>(id);
    edit->setValidator(new QRegularExpressionValidator(dotted, edit));
    connect(edit, &QLineEdit::textEdited, this, [this] { SetModified(); });
  }
  Get<QLineEdit>(kMacAddress)->setReadOnly(true);
  Get<QProgressBar>(kProgress)->hide();

  for (int ch = 0; ch < kChannels; ++ch) {
    for (int id : {StartId(ch), StopId(ch)}) {
      Number(*this, id)->SetRange(0, kMaxHz);
      Number(*this, id)->SetStep(1);
      Number(*this, id)->SetFormat("%.0lf Hz");
    }
    Number(*this, DelayId(ch))->SetRange(0, kMaxDelayMs);
    Number(*this, DelayId(ch))->SetStep(kDelayStep);
    Number(*this, DelayId(ch))->SetFormat("%.2lf ms");
    for (int id : {StartId(ch), StopId(ch), DelayId(ch), NameId(ch)}) {
      connect(Get<QLineEdit>(id), &QLineEdit::textChanged, this, [this] { ControlChanged(); });
    }
    connect(Get<QCheckBox>(ActiveId(ch)), &QCheckBox::clicked, this, [this] { ControlChanged(); });
    connect(Get<QPushButton>(AdvancedId(ch)), &QPushButton::clicked, this,
            [this, ch] { OpenAdvanced(ch); });
  }
  connect(Get<QComboBox>(kOctaveFraction), &QComboBox::activated, this,
          [this] { ControlChanged(); });
  connect(Get<QComboBox>(kChannelCount), &QComboBox::activated, this,
          [this] { ChannelCountChosen(); });
  connect(Get<QCheckBox>(kAdvancedOption), &QCheckBox::clicked, this, [this](bool on) {
    const auto held = card::Held(*this);
    if (held.size() >= Img::kEnd) {
      std::uint16_t config = card::U16(held, Img::kConfig);
      config = on ? config | Img::kAdvancedBit : config & ~Img::kAdvancedBit;
      card::PutU16(held, Img::kConfig, config);
    }
    SetModified();
    ApplyEnabling();
  });

  auto click = [this](int id, auto handler) {
    connect(Get<QPushButton>(id), &QPushButton::clicked, this, handler);
  };
  click(common::kRead, [this] { ReadSettings(1, true); });
  click(common::kDefault, [this] { DefaultSettings(); });
  click(common::kWrite, [this] { WriteSettings(1); });
  click(kSoftwareUpdate, [this] { StartSoftwareUpdate(); });
  return true;
}

int CPropertyKLF310::NumberOfChannels() const {
  const auto held = Image().first(std::min(Image().size(), pu::SettingsImage::kMaxSize));
  if (held.size() < Img::kEnd) return 0;
  return std::min<int>(kChannels, platform::GetU16(held, Img::kConfig) & Img::kChannelCountMask);
}

bool CPropertyKLF310::AdvancedOption() const {
  if (Image().size() < Img::kEnd) return false;
  return (platform::GetU16(Image(), Img::kConfig) & Img::kAdvancedBit) != 0;
}

void CPropertyKLF310::ApplyChannelCountRule() {
  const auto held = card::Held(*this);
  if (held.size() < Img::kEnd) return;
  const std::uint16_t serial = platform::GetU16(held, pu::IdentityRecord::kSerial);
  std::uint16_t config = card::U16(held, Img::kConfig);
  int count = config & Img::kChannelCountMask;
  const bool ten = serial == kSerialWithTenChannels;
  count = std::clamp(count, ten ? kMinChannelsSerial112 : kMinChannels, kChannels);
  config = static_cast<std::uint16_t>((config & ~Img::kChannelCountMask) | count);
  if (ten) config |= Img::kAdvancedBit;
  card::PutU16(held, Img::kConfig, config);
}

void CPropertyKLF310::TakeChannelTable() {
  const auto held = card::Held(*this);
  if (held.size() < Img::kEnd) return;
  const int count = NumberOfChannels();
  const int fraction =
      std::clamp(Get<QComboBox>(kOctaveFraction)->currentIndex() + 1, 1, kMaxFraction);
  card::Zero(held, Img::ChannelOffset(0), Img::ChannelOffset(kChannels));
  for (int ch = 0; ch < kChannels; ++ch) {
    const std::size_t at = Img::ChannelOffset(static_cast<std::size_t>(ch));
    std::uint32_t flags = 0;
    if (ch < count) flags |= Rec::kInUseBit;
    if (Get<QCheckBox>(ActiveId(ch))->isChecked()) flags |= Rec::kActiveBit;
    flags |= static_cast<std::uint32_t>(fraction) << Rec::kFractionShift;
    flags |= static_cast<std::uint32_t>(ch) << Rec::kIndexShift;
    platform::PutU32(held, at + Rec::kFlags, flags);
    double start = Number(*this, StartId(ch))->Value();
    double stop = Number(*this, StopId(ch))->Value();
    if (stop < start) std::swap(start, stop);
    PutF32(held, at + Rec::kStart, static_cast<float>(start));
    PutF32(held, at + Rec::kStop, static_cast<float>(stop));
    PutF32(held, at + Rec::kDelay, static_cast<float>(Number(*this, DelayId(ch))->Value()));
    const std::string name = Get<QLineEdit>(NameId(ch))->text().toStdString();
    std::memcpy(held.data() + at + Rec::kName, name.data(),
                std::min<std::size_t>(name.size(), Rec::kNameSize - 1));
  }
}

void CPropertyKLF310::ShowChannelTable() {
  const auto held = card::Held(*this);
  if (held.size() < Img::kEnd) return;
  const bool wasShowing = std::exchange(showing_, true);
  for (int ch = 0; ch < kChannels; ++ch) {
    const std::size_t at = Img::ChannelOffset(static_cast<std::size_t>(ch));
    const std::uint32_t flags = platform::GetU32(held, at + Rec::kFlags);
    Get<QCheckBox>(ActiveId(ch))->setChecked((flags & Rec::kActiveBit) != 0);
    Number(*this, StartId(ch))
        ->setText(Number(*this, StartId(ch))->Format(Finite(held, at + Rec::kStart)));
    Number(*this, StopId(ch))
        ->setText(Number(*this, StopId(ch))->Format(Finite(held, at + Rec::kStop)));
    Number(*this, DelayId(ch))
        ->setText(Number(*this, DelayId(ch))->Format(Finite(held, at + Rec::kDelay)));
    const char* name = reinterpret_cast<const char*>(held.data() + at + Rec::kName);
    Get<QLineEdit>(NameId(ch))
        ->setText(QString::fromUtf8(name, static_cast<int>(strnlen(name, Rec::kNameSize - 1))));
  }
  const std::uint32_t flags0 = platform::GetU32(held, Img::ChannelOffset(0) + Rec::kFlags);
  const int fraction = std::clamp(
      static_cast<int>(flags0 >> Rec::kFractionShift & Rec::kFractionMask), 1, kMaxFraction);
  Get<QComboBox>(kOctaveFraction)->setCurrentIndex(fraction - 1);
  Get<QComboBox>(kChannelCount)->setCurrentIndex(NumberOfChannels());
  Get<QCheckBox>(kAdvancedOption)->setChecked(AdvancedOption());
  showing_ = wasShowing;
}

void CPropertyKLF310::ShowVersions() {
  const auto& d = Descriptor();
  const std::span<const std::uint8_t> bytes(d.data(), d.size());
  using V = pu::Klf310VersionEntry;
  const V boot = V::Decode(bytes.subspan(V::kBootDescriptorOffset, V::kSize));
  const V main = V::Decode(bytes.subspan(V::kMainDescriptorOffset, V::kSize));
  Get<QLabel>(kStatus)->setText(VersionText("", main));
  Get<QLabel>(kBootVersion)->setText(VersionText("Boot: ", boot));
}

void CPropertyKLF310::DrawGraphs() {
  const auto held = card::Held(*this);
  if (held.size() >= Img::kEnd) {
    for (int ch = 0; ch < kChannels; ++ch) {
      const std::size_t at = Img::ChannelOffset(static_cast<std::size_t>(ch));
      const std::uint32_t flags = platform::GetU32(held, at + Rec::kFlags);
      const bool active = (flags & Rec::kInUseBit) != 0 && (flags & Rec::kActiveBit) != 0;
      const int fraction = static_cast<int>(flags >> Rec::kFractionShift & Rec::kFractionMask);
      graphs_[static_cast<std::size_t>(ch % 2)].SetBand(ch / 2, active ? 1 : 0,
                                                        Finite(held, at + Rec::kStart),
                                                        Finite(held, at + Rec::kStop), fraction);
    }
  }
  for (int side = 0; side < 2; ++side) {
    auto* picture = Get<QLabel>(side == 0 ? kGraphLeft : kGraphRight);
    QImage& image = graphImages_[static_cast<std::size_t>(side)];
    image = QImage(picture->size(), QImage::Format_RGB32);
    {
      QtGraphCanvas canvas(image);
      graphs_[static_cast<std::size_t>(side)].DrawBands(canvas);
    }
    picture->setPixmap(QPixmap::fromImage(image));
  }
}

int CPropertyKLF310::UpdateControls() {
  if (!HasWindow()) return 0;
  const bool wasShowing = std::exchange(showing_, true);
  card::ShowIdentity(*this);
  const auto held = card::Held(*this);
  Get<QLineEdit>(kIpAddress)->setText(Dotted(held, Img::kIp));
  Get<QLineEdit>(kSubnetMask)->setText(Dotted(held, Img::kSubnet));
  if (held.size() >= Img::kMac + Img::kMacSize) {
    char mac[32];
    std::snprintf(mac, sizeof mac, "%02X-%02X-%02X-%02X-%02X-%02X", held[Img::kMac],
                  held[Img::kMac + 1], held[Img::kMac + 2], held[Img::kMac + 3],
                  held[Img::kMac + 4], held[Img::kMac + 5]);
    Get<QLineEdit>(kMacAddress)->setText(QString::fromLatin1(mac));
  }
  ShowChannelTable();
  DrawGraphs();
  ShowVersions();
  ApplyEnabling();
  showing_ = wasShowing;
  return CMRXPropertyPage::UpdateControls();
}

void CPropertyKLF310::UpdateImage() {
  if (!HasWindow()) return;
  CMRXPropertyPage::UpdateImage();
  card::TakeIdentity(*this);
  const auto held = card::Held(*this);
  PutDotted(held, Img::kIp, Get<QLineEdit>(kIpAddress)->text());
  PutDotted(held, Img::kSubnet, Get<QLineEdit>(kSubnetMask)->text());
  if (held.size() >= Img::kEnd) {
    std::uint16_t config = card::U16(held, Img::kConfig);
    const int chosen = Get<QComboBox>(kChannelCount)->currentIndex();
    if (chosen >= 0) {
      config = static_cast<std::uint16_t>((config & ~Img::kChannelCountMask) | chosen);
    }
    config = Get<QCheckBox>(kAdvancedOption)->isChecked() ? config | Img::kAdvancedBit
                                                          : config & ~Img::kAdvancedBit;
    card::PutU16(held, Img::kConfig, config);
  }
  ApplyChannelCountRule();
  const bool wasShowing = std::exchange(showing_, true);
  Get<QComboBox>(kChannelCount)->setCurrentIndex(NumberOfChannels());
  Get<QCheckBox>(kAdvancedOption)->setChecked(AdvancedOption());
  showing_ = wasShowing;
  TakeChannelTable();
}

void CPropertyKLF310::EnableControls(bool enable) {
  CMRXPropertyPage::EnableControls(enable && !updateRunning_);
  enabled_ = enable;
  ApplyEnabling();
}

void CPropertyKLF310::ApplyEnabling() {
  if (!HasWindow()) return;
  const bool page = enabled_ && !updateRunning_;
  const int count = NumberOfChannels();
  for (int ch = 0; ch < kChannels; ++ch) {
    const bool row = page && ch < count;
    for (int id : {ActiveId(ch), StartId(ch), StopId(ch), DelayId(ch), NameId(ch)}) {
      Control(id)->setEnabled(row);
    }
    Control(AdvancedId(ch))->setEnabled(row && AdvancedOption());
  }
  Control(kOctaveFraction)->setEnabled(page && count > 0);
  Control(kIpAddress)->setEnabled(page);
  Control(kSubnetMask)->setEnabled(page);
  Control(kChannelCount)->setEnabled(page && ServiceMode());
  Control(kAdvancedOption)->setEnabled(page && ServiceMode());
  Control(kSoftwareUpdate)->setEnabled(page);
}

bool CPropertyKLF310::OnKillActive() {
  if (updateRunning_) {
    Site().GetPrompt().Ask(kTextUpdateRunning, pages::Prompt::Buttons::kOk,
                           pages::Prompt::Icon::kInformation);
    return false;
  }
  if (advanced_) advanced_->hide();
  return CMRXPropertyPage::OnKillActive();
}

void CPropertyKLF310::ControlChanged() {
  if (showing_) return;
  SetModified();
  if (!liveTimer_.isActive()) liveTimer_.start();
}

void CPropertyKLF310::SendChangedChannels() {
  liveTimer_.stop();
  const auto held = card::Held(*this);
  if (!HasWindow() || held.size() < Img::kEnd) return;
  const auto table = held.subspan(Img::ChannelOffset(0), Rec::kSize * kChannels);
  const std::vector<std::uint8_t> before(table.begin(), table.end());
  TakeChannelTable();
  for (int ch = 0; ch < kChannels; ++ch) {
    const std::size_t at = Rec::kSize * static_cast<std::size_t>(ch);
    if (std::equal(table.begin() + static_cast<std::ptrdiff_t>(at),
                   table.begin() + static_cast<std::ptrdiff_t>(at + Rec::kSize),
                   before.begin() + static_cast<std::ptrdiff_t>(at))) {
      continue;
    }
    unitlink::theTiroUSB.WriteTableEntry(Address(), static_cast<std::uint8_t>(ch),
                                         pu::TableEntry::kPageWord, 0, 0, table.data() + at,
                                         pu::TableEntry::kSize);
  }
  DrawGraphs();
}

void CPropertyKLF310::ChannelCountChosen() {
  UpdateImage();
  SetModified();
  ApplyEnabling();
  ShowChannelTable();
  DrawGraphs();
}

void CPropertyKLF310::OpenAdvanced(int channel) {
  if (channel < 0 || channel >= kChannels) return;
  if (!advanced_) {
    advanced_ = std::make_unique<CKLF310AdvancedDlg>(Site().GetPrompt(), transport_, this);
    advanced_->SetSite(&Site());
  }
  advanced_->OpenChannel(channel, Get<QLineEdit>(NameId(channel))->text());
}

std::vector<QWidget*> CPropertyKLF310::PictureDialogs() {
  if (!HasWindow()) return {};
  if (!advanced_) {
    advanced_ = std::make_unique<CKLF310AdvancedDlg>(Site().GetPrompt(), transport_, this);
    advanced_->SetSite(&Site());
  }
  advanced_->ShowBuffer(0, Get<QLineEdit>(NameId(0))->text());
  return {advanced_.get()};
}

void CPropertyKLF310::BeginUpdate() {
  updateRunning_ = true;
  EnableControls(enabled_);
  if (advanced_) advanced_->setEnabled(false);  // curves and the update share the card's link
  auto* bar = Get<QProgressBar>(kProgress);
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->show();
}

void CPropertyKLF310::OnWorkerMessage(const platform::Message& m) {
  auto result = runner_.Handle(m);
  if (!result) return;  // a report, or WM_WORKER_STARTED, which needs nothing
  worker_.reset();      // it has posted its last message: joining returns at once
  platform::qt::PlaySystemSound("SystemAsterisk");
  // The worker's word is not the last one: the card's version confirms a done
  // update, and decides one whose closing commands went unanswered.
  const firmware::_DoloPacket* image = firmware::FindDoloPacket(
      GetDoloBase(), firmware::kDoloKlf310, CKLF310Thread::kModel, CKLF310Thread::kComponent);
  bool read = false;
  if (image != nullptr) {
    firmware::UpdateRunner::ReadBack(
        *result,
        [&] {
          read = true;
          return ReadVersionsAfterUpdate(true);
        },
        firmware::DoloSoftwareVersion(image->version));
  }
  if (!read) ReadVersionsAfterUpdate(false);
  updateRunning_ = false;
  Get<QProgressBar>(kProgress)->hide();
  if (advanced_) advanced_->setEnabled(true);
  EnableControls(enabled_);
  if (!result->Done()) SayUpdateFailed(*result);
  Site().AfterUpdate(result->Done());
}

void CPropertyKLF310::SayUpdateFailed(const firmware::UpdateResult& result) {
  using R = firmware::UpdateReason;
  std::string text;
  switch (result.reason) {
    case R::kCardSilent:
      text = kTextSilent;
      break;
    case R::kBlockRefused:
      text = kTextBlocks;
      break;
    case R::kNotConfirmed:
      text = kTextNotConfirmed;
      break;
    case R::kNotTaken: {
      const firmware::_DoloPacket* image = firmware::FindDoloPacket(
          GetDoloBase(), firmware::kDoloKlf310, CKLF310Thread::kModel, CKLF310Thread::kComponent);
      const firmware::SoftwareVersion now = result.version.value_or(firmware::SoftwareVersion{});
      char buffer[160];
      std::snprintf(buffer, sizeof buffer, kTextNotTaken, now.major, now.minor,
                    image != nullptr ? firmware::DoloMajor(image->version) : 0,
                    image != nullptr ? firmware::DoloMinor(image->version) : 0);
      text = buffer;
      break;
    }
    default:
      // The worker's own line already says why (cancelled, no software).
      text = kTextFailed;
      break;
  }
  Site().GetPrompt().Ask(text, pages::Prompt::Buttons::kOk, pages::Prompt::Icon::kError);
}

std::optional<firmware::SoftwareVersion> CPropertyKLF310::ReadVersionsAfterUpdate(bool success) {
  using V = pu::Klf310VersionEntry;
  auto bothValid = [](const unitlink::ModuleInfo& info) {
    const std::span<const std::uint8_t> d(info.descriptor.data(), info.descriptor.size());
    return V::Decode(d.subspan(V::kBootDescriptorOffset, V::kSize)).valid &&
           V::Decode(d.subspan(V::kMainDescriptorOffset, V::kSize)).valid;
  };
  unitlink::ModuleInfo info;
  if (!unitlink::ReadModuleDescriptor(unitlink::theTiroUSB, Address(), info)) return std::nullopt;
  // The card restarts after an update and reports its versions only when up.
  for (int i = 0; success && !bothValid(info) && i < kVersionReads; ++i) {
    Site().GetClock().Sleep(kVersionReadIntervalMs);
    unitlink::ModuleInfo next;
    if (!unitlink::ReadModuleDescriptor(unitlink::theTiroUSB, Address(), next)) break;
    info = next;
  }
  SetModule(info.address, info.subAddress, info.descriptor.data());
  ShowVersions();
  const std::span<const std::uint8_t> d(info.descriptor.data(), info.descriptor.size());
  const V main = V::Decode(d.subspan(V::kMainDescriptorOffset, V::kSize));
  if (!main.valid) return std::nullopt;
  return firmware::SoftwareVersion{main.major, main.minor};
}

void CPropertyKLF310::StartSoftwareUpdate() {
  if (updateRunning_) return;
  if (!Site().BeforeUpdate(true)) return;
  BeginUpdate();
  worker_ = std::make_unique<CKLF310Thread>(WorkerTarget(), CardAddress(), Site().GetClock());
  worker_->Resume();
}

}  // namespace desktop::roomcorrection
