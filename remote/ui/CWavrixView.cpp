#include "remote/ui/CWavrixView.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>

#include "protocol/unit/ModuleCatalogue.h"
#include "remote/link/RemoteMessages.h"
#include "remote/ui/CdPanel.h"
#include "remote/ui/CmyBitmapButton.h"
#include "remote/ui/InquiryDialog.h"
#include "remote/ui/ModuleConfigDialog.h"
#include "remote/ui/RemoteArtwork.h"
#include "remote/ui/ScrollingMenuStyle.h"
#include "remote/ui/SetupPage.h"
#include "remote/ui/ViewIds.h"
#include "remote/ui/ViewText.h"
#include "remote/ui/VolumeSlider.h"

namespace remote::ui {

namespace {

using artwork::Face;
using Kind = CmyBitmapButton::Kind;
using StatusRecord = protocol::remote::StatusRecord;

constexpr int kUnassigned = 0xFF;
const QColor kTagRed(210, 35, 42);
const QColor kDarkGrey(64, 64, 64);
const QColor kLoudRed(255, 96, 96);
const QColor kGaugeBlue(0, 100, 220);
const QColor kGaugeGreen(64, 200, 90);
const QColor kGaugeRed(255, 0, 64);

const QRect kMainPanel(0, 52, 240, 106);
const QRect kVolumePanel(0, 150, 240, 40);
const QRect kBattery(77, 44, 86, 3);
constexpr int kNameMaxHeight = 30;
constexpr int kNameMinHeight = 11;
constexpr int kNameMargin = 8;

QFont Gothic(int pixelHeight, QFont::Weight weight) {
  QFont font(QStringLiteral("Century Gothic"));
  font.setPixelSize(pixelHeight);
  font.setWeight(weight);
  return font;
}

// The CD button row of each id, and what it sends.
struct CdButton {
  int id;
  Face face;
  int repeatMs;
};
constexpr CdButton kCdRows[2][4] = {
    {{ids::kCdPrevious, Face::kPrevious, 500},
     {ids::kCdNext, Face::kNext, 500},
     {ids::kCdPlay, Face::kPlay, 0},
     {ids::kCdPause, Face::kPause, 0}},
    {{ids::kCdRewind, Face::kRewind, 300},
     {ids::kCdForward, Face::kForward, 300},
     {ids::kCdStop, Face::kStop, 0},
     {ids::kCdEject, Face::kEject, 0}},
};

bool SourceKindZero(const StatusRecord& s) {
  return (s.flags & StatusRecord::kSourceKindMask) == 0;
}

}  // namespace

CWavrixView::CWavrixView(ViewServices services, QWidget* parent)
    : QWidget(parent),
      services_(services),
      pump_(this, [this](const platform::Message& m) { Handle(m); }),
      store_(services.registry, services.handheld),
      link_(services.bluetooth, services.clock),
      state_(link_, services.clock),
      control_(link_, state_, store_, pump_, services.prompt),
      powerThread_(services.power, pump_) {
  setFixedSize(kWidth, kHeight);
  menuStyle_ = new ScrollingMenuStyle();
  menuStyle_->setParent(this);
  setFocusPolicy(Qt::StrongFocus);
  state_.SetView(&pump_);
  state_.SetInitPending(services_.init);
  state_.SetLocalTimeSetter([this](const platform::LocalTime& t, int& error) {
    return services_.handheld.SetLocalTime(t, services_.clock, error);
  });
  confirm = [this](const QString& question) {
    return QMessageBox::question(this, QStringLiteral("WavrixBTMS"), question,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
  };
  inquire = [this](link::DeviceEntry& chosen) {
    InquiryDialog dialog(services_.bluetooth, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    chosen = {dialog.Selected().address, dialog.Selected().name, dialog.SelectedService()};
    return true;
  };

  pollTimer_.setInterval(kPollTickMs);
  connect(&pollTimer_, &QTimer::timeout, this, [this] { state_.Tick(); });
  batteryTimer_.setInterval(ids::kBatteryTimerMs);
  connect(&batteryTimer_, &QTimer::timeout, this, [this] {
    battery_ = services_.power.Battery();
    update(kBattery);
  });
  startKeyTimer_.setSingleShot(true);
  startKeyTimer_.setInterval(ids::kStartKeyHoldMs);
  connect(&startKeyTimer_, &QTimer::timeout, this, [this] { OnStartKeyTimer(); });
  inquiryTimer_.setSingleShot(true);
  inquiryTimer_.setInterval(ids::kInquiryDelayMs);
  connect(&inquiryTimer_, &QTimer::timeout, this, [this] { OnMenu(ids::kMenuNew); });
  cdPanelDelay_.setSingleShot(true);
  cdPanelDelay_.setInterval(ids::kCdPanelDelayMs);
  connect(&cdPanelDelay_, &QTimer::timeout, this, [this] { cdPanelUp_.start(); });
  cdPanelUp_.setInterval(ids::kCdPanelUpMs);
  connect(&cdPanelUp_, &QTimer::timeout, this, [this] { SlideStep(-ids::kCdPanelStep); });
  cdPanelDown_.setInterval(ids::kCdPanelDownMs);
  connect(&cdPanelDown_, &QTimer::timeout, this, [this] { SlideStep(ids::kCdPanelStep); });

  CreateControls();
  Refresh();
}

CWavrixView::~CWavrixView() {
  // An open setup page refers to the unit state this view owns: it goes first.
  for (SetupPage* page : findChildren<SetupPage*>()) delete page;
  powerThread_.Stop();
  link_.Close();
  pump_.Close();
}

void CWavrixView::CreateControls() {
  auto add = [this](int id, Face face, Kind kind, QRect place) {
    auto* b = new CmyBitmapButton(id, face, kind, this);
    b->setGeometry(place);
    b->SetSender([this](int i, bool checked) { OnButton(i, checked); });
    buttons_[id] = b;
    return b;
  };
  add(ids::kLogo, Face::kLogo, Kind::kTap, QRect(50, 4, 140, 34))->SetRepeat(300);
  add(ids::kMute, Face::kMute, Kind::kToggle, QRect(2, 2, 44, 40));
  add(ids::kPower, Face::kPower, Kind::kToggle, QRect(194, 2, 44, 40))
      ->SetHoldDelay(ids::kStartKeyHoldMs);
  add(ids::kVolumeDown, Face::kVolumeDown, Kind::kTap, QRect(2, 171, 38, 38))->SetRepeat(300);
  add(ids::kVolumeUp, Face::kVolumeUp, Kind::kTap, QRect(200, 171, 38, 38))->SetRepeat(300);
  slider_ = new VolumeSlider(this);
  slider_->setGeometry(44, 192, 152, 20);
  connect(slider_, &QSlider::valueChanged, this, [this](int) {
    if (!updatingSlider_) OnButton(ids::kVolumeSlider, false);
  });
  for (int row = 0; row < 2; ++row) {
    for (int col = 0; col < 4; ++col) {
      const CdButton& c = kCdRows[row][col];
      auto* b = add(c.id, c.face, Kind::kTap, QRect(6 + col * 58, 58 + row * 27, 54, 24));
      if (c.repeatMs > 0) b->SetRepeat(c.repeatMs);
    }
  }
  for (int i = 0; i < ids::kTrackButtons; ++i) {
    auto* b = add(ids::kFirstTrackButton + i, Face::kTrack, Kind::kSelect,
                  QRect(6 + (i % 10) * 23, 113 + (i / 10) * 19, 22, 18));
    b->setCheckable(true);
  }
  for (int i = 0; i < ids::kSourceButtons; ++i) {
    auto* b = add(ids::kFirstSourceButton + i, Face::kSource, Kind::kSelect,
                  QRect(i % 2 == 0 ? 3 : 121, 239 + (i / 2) * 27, 116, 26));
    b->SetContextHandler(
        [this, b](int id) {
          QMenu menu(QStringLiteral("Input"), this);
          FillSourceMenu(id, menu);
          if (!menu.isEmpty()) menu.exec(b->mapToGlobal(QPoint(0, 0)));
        },
        ids::kTapAndHoldMs);
  }
  cdPanel_ = new CdPanel(this);
  cdPanel_->move(0, cdPanelTop_);
  cdPanel_->onTap = [this] {
    cdPanelUp_.stop();
    cdPanelDelay_.stop();
    cdPanelDown_.start();
  };
}

CmyBitmapButton* CWavrixView::Button(int id) const {
  const auto it = buttons_.find(id);
  return it == buttons_.end() ? nullptr : it->second;
}

void CWavrixView::Start() {
  if (!store_.Load()) services_.prompt.Error("WavrixBTMS", store_.LastError());
  BuildMenus();
  Button(ids::kMute)->SetFace(MuteIsFade() ? Face::kFade : Face::kMute);
  powerThread_.Start();
  battery_ = services_.power.Battery();
  batteryTimer_.start();
  pollTimer_.start();
  if (!control_.ConnectDefault() && store_.DefaultAddress().IsZero()) inquiryTimer_.start();
  Refresh();
}

void CWavrixView::Leave() {
  inquiryTimer_.stop();
  control_.Disconnect();
  store_.Save();
}

void CWavrixView::Handle(const platform::Message& message) {
  if (state_.HandleLinkMessage(message)) {
    if (message.id == link::kWmLinkConnected) Refresh();
    return;
  }
  if (control_.HandlePowerMessage(message)) {
    battery_ = services_.power.Battery();
    Refresh();
    return;
  }
  switch (message.id) {
    case link::kWmStatusChanged:
      OnStatusChanged();
      break;
    case link::kWmDiscStatus:
      UpdateTracks();
      Refresh();
      break;
    case link::kWmListComplete:
      RebuildSetupMenu();
      Refresh();
      break;
    case link::kWmUnitInfo:
    case link::kWmLinkChanged:
      Refresh();
      break;
    case link::kWmClockError:
      services_.prompt.Error("WavrixBTMS", message.text);
      break;
    case link::kWmBatteryChanged:
      battery_ = services_.power.Battery();
      update(kBattery);
      break;
    case link::kWmDevicesChanged:
      RebuildConnectMenu();
      break;
    default:
      break;
  }
}

void CWavrixView::OnStatusChanged() {
  const bool cd = state_.Status().SourceIsCd();
  if (cd && cdPanelTop_ > kCdPanelTop && !cdPanelDelay_.isActive() && !cdPanelUp_.isActive() &&
      !cdPanelDown_.isActive()) {
    cdPanelDelay_.start();
  }
  if (!cd) {
    cdPanelDelay_.stop();
    cdPanelUp_.stop();
    cdPanelDown_.stop();
    cdPanelTop_ = kHeight;
  }
  Refresh();
}

void CWavrixView::SlideStep(int step) {
  cdPanelTop_ = std::clamp(cdPanelTop_ + step, kCdPanelTop, kHeight);
  if (cdPanelTop_ == kCdPanelTop) cdPanelUp_.stop();
  if (cdPanelTop_ == kHeight && cdPanelDown_.isActive()) {
    cdPanelDown_.stop();
    cdPanelDelay_.start();  // it comes back
  }
  cdPanel_->move(0, cdPanelTop_);
}

void CWavrixView::SlideCdPanelInNow() {
  cdPanelDelay_.stop();
  cdPanelUp_.stop();
  cdPanelTop_ = kCdPanelTop;
  cdPanel_->move(0, cdPanelTop_);
}

bool CWavrixView::CdShown() const {
  return state_.Status().SourceIsCd() && link_.IsOpen();
}

QString CWavrixView::CdText() const {
  return cdPanel_->isVisible() ? cdPanel_->Text() : QString();
}

void CWavrixView::UpdateTracks() {
  const auto& disc = state_.Disc();
  firstTrack_ = FirstShownTrack(disc.track);
  for (int i = 0; i < ids::kTrackButtons; ++i) {
    CmyBitmapButton* b = Button(ids::kFirstTrackButton + i);
    const int number = firstTrack_ + i;
    b->SetLabel(QString::number(number));
    b->setChecked(number == disc.track);
    b->setEnabled(disc.DiscPresent() && number >= disc.firstTrack && number <= disc.lastTrack);
  }
  cdPanel_->SetLines(QString::fromStdString(CdFirstLine(disc)),
                     QString::fromStdString(CdSecondLine(disc)));
}

void CWavrixView::Refresh() {
  state_.CheckLink();
  const bool open = link_.IsOpen();
  const StatusRecord& s = state_.Status();
  for (int id : {ids::kPower, ids::kMute, ids::kVolumeDown, ids::kVolumeUp}) {
    Button(id)->setEnabled(open);
  }
  slider_->setEnabled(open);
  updatingSlider_ = true;
  slider_->setRange(std::min(s.volumeMin, s.volumeMax), s.volumeMax);
  slider_->setValue(s.volume);
  updatingSlider_ = false;
  Button(ids::kPower)->setChecked(s.PowerOn());
  Button(ids::kMute)->setChecked(MuteIsFade() ? s.FadedOut() : s.Muted());

  const bool cd = CdShown();
  const bool cdWasShown = cdPanel_->isVisible();
  for (const auto& row : kCdRows) {
    for (const CdButton& c : row) Button(c.id)->setVisible(cd);
  }
  for (int i = 0; i < ids::kTrackButtons; ++i) Button(ids::kFirstTrackButton + i)->setVisible(cd);
  cdPanel_->setVisible(cd);
  if (cd && !cdWasShown) UpdateTracks();
  cdPanel_->raise();

  UpdateSourceButtons();
  LayoutMainText();
  UpdateMenuChecks();
  update();
}

void CWavrixView::UpdateSourceButtons() {
  const StatusRecord& s = state_.Status();
  const bool open = link_.IsOpen();
  for (int i = 0; i < ids::kSourceButtons; ++i) {
    CmyBitmapButton* b = Button(ids::kFirstSourceButton + i);
    const auto& place = s.buttonSources[static_cast<std::size_t>(i)];
    const std::string name = state_.FirstName(false, place[0], place[1]);
    b->SetLabel(QString::fromStdString(name));
    b->setChecked(open && !name.empty() && place[0] == s.sourceSlot && place[1] == s.sourceInput);
  }
}

QString CWavrixView::SourceName() const {
  const StatusRecord& s = state_.Status();
  return QString::fromStdString(state_.FirstName(false, s.sourceSlot, s.sourceInput));
}

void CWavrixView::LayoutMainText() {
  const StatusRecord& s = state_.Status();
  const QString name = SourceName();
  mainTextIsTag_ = name.isEmpty();
  nameHeight_ = 0;
  if (name.isEmpty()) {
    mainText_ = link_.IsOpen() ? QStringLiteral("Waiting for the unit")
                               : QStringLiteral("Tap here for the menu");
    return;
  }
  if (!SourceKindZero(s)) {
    mainText_.clear();
    return;
  }
  nameHeight_ = FitNameHeight(name);
  mainText_ = (s.PowerOn() ? QStringLiteral("You are listening") : QStringLiteral("Power Off")) +
              "\n" + name;
}

int CWavrixView::FitNameHeight(const QString& name) {
  int height = kNameMaxHeight;
  for (; height > kNameMinHeight; --height) {
    if (QFontMetrics(Gothic(height, QFont::Bold)).horizontalAdvance(name) <=
        kMainPanel.width() - 2 * kNameMargin) {
      break;
    }
  }
  return height;
}

void CWavrixView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::TextAntialiasing);
  artwork::DrawBackground(p, QRectF(rect()));
  artwork::DrawPanel(p, QRectF(kMainPanel));
  artwork::DrawPanel(p, QRectF(kVolumePanel));

  // Battery gauge.
  p.fillRect(kBattery, kGaugeBlue);
  const int percent = std::clamp(battery_.percent, 0, 100);
  p.fillRect(QRect(kBattery.x(), kBattery.y(), percent * kBattery.width() / 100, kBattery.height()),
             battery_.onAc ? kGaugeGreen : kGaugeRed);

  // Main panel: the tag line, or what is playing.
  const QRect panel = kMainPanel.adjusted(kNameMargin, 0, -kNameMargin, -8);
  if (mainTextIsTag_) {
    p.setFont(Gothic(20, QFont::DemiBold));
    p.setPen(kTagRed);
    p.drawText(panel, Qt::AlignCenter, mainText_);
  } else if (!mainText_.isEmpty()) {
    const QString head = mainText_.section('\n', 0, 0);
    const QString name = mainText_.section('\n', 1);
    p.setFont(Gothic(17, QFont::Normal));
    p.setPen(kDarkGrey);
    p.drawText(panel.adjusted(0, 4, 0, 0), Qt::AlignHCenter | Qt::AlignTop, head);
    p.setFont(Gothic(nameHeight_, QFont::Bold));
    p.setClipRect(panel);
    const int middle = kMainPanel.center().y() - 10 + 4;
    p.drawText(QRect(panel.x(), middle - nameHeight_, panel.width(), 2 * nameHeight_),
               Qt::AlignCenter, name);
    p.setClipping(false);
  }

  // Volume panel.
  const StatusRecord& s = state_.Status();
  p.setFont(Gothic(28, QFont::DemiBold));
  p.setPen(s.volume > 0 ? kLoudRed : kDarkGrey);
  p.drawText(kVolumePanel.adjusted(40, 0, -40, -2), Qt::AlignHCenter | Qt::AlignBottom,
             QString::fromStdString(state_.VolumeText()));
}

void CWavrixView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) {
    PopupMenu().popup(event->globalPosition().toPoint());
  }
}

// Commands.

void CWavrixView::OnButton(int id, bool checked) {
  (void)checked;
  using Cd = link::UnitState::CdAction;
  if (id >= ids::kFirstSourceButton && id < ids::kFirstSourceButton + ids::kSourceButtons) {
    for (int i = 0; i < ids::kSourceButtons; ++i) {
      Button(ids::kFirstSourceButton + i)->setChecked(ids::kFirstSourceButton + i == id);
    }
    const auto& place =
        state_.Status().buttonSources[static_cast<std::size_t>(id - ids::kFirstSourceButton)];
    if (place[0] != kUnassigned && place[1] != kUnassigned) {
      state_.SelectSource(place[0], place[1]);
    }
    return;
  }
  if (id >= ids::kFirstTrackButton && id < ids::kFirstTrackButton + ids::kTrackButtons) {
    state_.CdPlay(firstTrack_ + id - ids::kFirstTrackButton);
    return;
  }
  switch (id) {
    case ids::kVolumeUp:
      state_.VolumeUp();
      break;
    case ids::kVolumeDown:
      state_.VolumeDown();
      break;
    case ids::kVolumeSlider:
      state_.SetVolume(slider_->value());
      break;
    case ids::kMute:
      state_.ToggleMute(MuteIsFade());
      break;
    case ids::kPower:
      state_.TogglePower();
      break;
    case ids::kCdPlay:
      state_.CdPlay(0);
      break;
    case ids::kCdStop:
      state_.Cd(Cd::kStop);
      break;
    case ids::kCdPause:
      state_.Cd(Cd::kPause);
      break;
    case ids::kCdEject:
      state_.Cd(Cd::kEject);
      break;
    case ids::kCdPrevious:
      state_.Cd(Cd::kPrevious);
      break;
    case ids::kCdNext:
      state_.Cd(Cd::kNext);
      break;
    case ids::kCdForward:
      state_.Cd(Cd::kForward);
      break;
    case ids::kCdRewind:
      state_.Cd(Cd::kRewind);
      break;
    case ids::kLogo:
      state_.LogoTapped();
      break;
    case ids::kKeyDown:
      state_.HardwareKey(false);
      break;
    case ids::kKeyUp:
      state_.HardwareKey(true);
      break;
    default:
      return;
  }
  Refresh();
}

bool CWavrixView::HardwareKey(int key, bool down) {
  using Cd = link::UnitState::CdAction;
  const bool known = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_F1 ||
                     key == Qt::Key_F2 || key == Qt::Key_F3 || key == Qt::Key_F4 ||
                     key == Qt::Key_F5 || key == Qt::Key_F6 || key == Qt::Key_Left ||
                     key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
  if (!known) return false;
  if (!link_.IsOpen()) return true;
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    if (down) {
      startKeyTimer_.start();
      if (!state_.Status().PowerOn()) startKeyWhileOff_ = true;
    } else if (startKeyWhileOff_) {
      startKeyWhileOff_ = false;  // the running timer switches the unit on
    } else if (startKeyTimer_.isActive()) {
      startKeyTimer_.stop();
      state_.ToggleMute(MuteIsFade());
      Refresh();
    }
    return true;
  }
  if (!down) return true;
  switch (key) {
    case Qt::Key_F1:
      state_.Cd(Cd::kPrevious);
      break;
    case Qt::Key_F4:
      state_.Cd(Cd::kNext);
      break;
    case Qt::Key_F3:
      state_.CdPlay(0);
      break;
    case Qt::Key_F2:
      state_.Cd(Cd::kStop);
      break;
    case Qt::Key_Right:
      state_.VolumeUp();
      break;
    case Qt::Key_Left:
      state_.VolumeDown();
      break;
    case Qt::Key_Up:
      state_.HardwareKey(true);
      break;
    case Qt::Key_Down:
      state_.HardwareKey(false);
      break;
    default:
      return true;  // application keys 5 and 6: taken, no action
  }
  Refresh();
  return true;
}

void CWavrixView::OnStartKeyTimer() {
  state_.TogglePower();
  Refresh();
}

void CWavrixView::keyPressEvent(QKeyEvent* event) {
  if (event->isAutoRepeat() && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
    return;
  }
  if (!HardwareKey(event->key(), true)) QWidget::keyPressEvent(event);
}

void CWavrixView::keyReleaseEvent(QKeyEvent* event) {
  if (event->isAutoRepeat()) return;
  if (!HardwareKey(event->key(), false)) QWidget::keyReleaseEvent(event);
}

void CWavrixView::FitMenu(QMenu& menu) {
  menuStyle_->Apply(menu);
}

void CWavrixView::FillSourceMenu(int id, QMenu& menu) {
  FitMenu(menu);
  menu.clear();
  const auto& masks = state_.Info().inputMasks;
  int running = 0;
  for (int slot = 0; slot < static_cast<int>(masks.size()); ++slot) {
    for (int input = 0; input < 16; ++input) {
      if ((masks[static_cast<std::size_t>(slot)] & (1u << input)) == 0) continue;
      const std::string name = state_.FirstName(false, slot, input);
      if (name.empty()) continue;
      const int itemId = ids::kMenuFirstSource + running++;
      state_.SetTag(false, slot, input, static_cast<std::uint32_t>(itemId));
      QAction* a = menu.addAction(QString::fromStdString(name));
      a->setData(itemId);
      connect(a, &QAction::triggered, this, [this, itemId, id] { OnSourceChosen(itemId, id); });
    }
  }
}

void CWavrixView::OnSourceChosen(int itemId, int buttonId) {
  const link::UnitEntry* entry = state_.EntryByTag(static_cast<std::uint32_t>(itemId));
  CmyBitmapButton* button = Button(buttonId);
  if (entry == nullptr || button == nullptr) return;
  state_.AssignButton(buttonId - ids::kFirstSourceButton, entry->slot, entry->input);
  button->SetLabel(
      QString::fromStdString(entry->secondName.empty() ? entry->firstName : entry->secondName));
}

// Dialogs.

void CWavrixView::Dialog(const std::function<void()>& run) {
  run();
  if (afterDialog) afterDialog();
  Refresh();
}

void CWavrixView::OpenInquiry() {
  Dialog([this] {
    link::DeviceEntry chosen;
    if (inquire && inquire(chosen)) control_.ChooseUnit(chosen);
  });
}

void CWavrixView::OpenModuleConfig() {
  Dialog([this] {
    // The dialog has its own link to the unit's module: the main one waits.
    const bool wasConnected = control_.Connected();
    const platform::BtAddress unit = link_.Address();
    const std::uint16_t serial = state_.Info().serialNumber;
    control_.Disconnect();
    {
      ModuleConfigDialog dialog(services_.bluetooth, unit, serial, this);
      dialog.exec();
    }
    if (wasConnected) control_.Connect();
  });
}

}  // namespace remote::ui
