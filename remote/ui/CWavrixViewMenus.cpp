// The view's pop-up menu: building it, its check marks and its commands.
#include <QAction>
#include <QMenu>

#include "protocol/unit/ModuleCatalogue.h"
#include "remote/ui/CWavrixView.h"
#include "remote/ui/CmyBitmapButton.h"
#include "remote/ui/ViewIds.h"
#include "remote/ui/ViewText.h"

namespace remote::ui {

namespace {

constexpr int kFirstBits = 6;
constexpr int kLastBits = 16;
constexpr int kGroups = 4;
// One Setup item per module address; the ids after them belong to other items.
constexpr int kModuleItems = 16;

// The room correction items and the preset each one sends (-1: off).
struct RoomItem {
  int id;
  const char* text;
  int preset;
};
constexpr RoomItem kRoomItems[] = {
    {ids::kMenuRoomOff, "Room correction &off", -1},
    {ids::kMenuRoomNeutral, "Room correction neutral", 0},
    {ids::kMenuRoom1, "Room correction &1", 1},
    {ids::kMenuRoom2, "Room correction &2", 2},
    {ids::kMenuRoom2 + 1, "Room correction &3", 3},
    {ids::kMenuRoom2 + 2, "Room correction &4", 4},
};

bool IsSetupCandidate(const link::UnitEntry& e) {
  return e.IsModule() && !e.firstName.empty() && e.type != protocol::unit::type::kKLF310 &&
         e.type != protocol::unit::type::kNoSetupPage;
}

}  // namespace

QMenu& CWavrixView::PopupMenu() {
  if (!popup_) BuildMenus();
  return *popup_;
}

void CWavrixView::SetServiceMode(bool on) {
  if (on == services_.serviceMode) return;
  services_.serviceMode = on;
  if (!popup_) return;
  popup_.reset();
  connectMenu_ = setupMenu_ = nullptr;
  BuildMenus();
}

QAction* CWavrixView::MenuAction(int id) const {
  const auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

void CWavrixView::BuildMenus() {
  if (popup_) return;
  actions_.clear();
  popup_ = std::make_unique<QMenu>(this);
  auto item = [this](QMenu* menu, int id, const QString& text, bool checkable = false) {
    QAction* a = menu->addAction(text);
    a->setCheckable(checkable);
    connect(a, &QAction::triggered, this, [this, id] { OnMenu(id); });
    actions_[id] = a;
    return a;
  };
  QAction* version = popup_->addAction(QString::fromStdString(VersionLine()));
  version->setEnabled(false);
  actions_[ids::kMenuVersion] = version;
  popup_->addSeparator();

  QMenu* wavrix = popup_->addMenu(QStringLiteral("Wavrix"));
  QMenu* settings = wavrix->addMenu(QStringLiteral("&Settings"));
  item(settings, ids::kMenuGetTime, QStringLiteral("&Get Time from MRX520"));
  item(settings, ids::kMenuSetTime, QStringLiteral("&Set Time of MRX520"));
  if (services_.serviceMode) {
    settings->addSeparator();
    item(settings, ids::kMenuFixed35Volt, QStringLiteral("Fixed 35 Volt"), true);
    item(settings, ids::kMenuFixedCurrent, QStringLiteral("Fixed current"), true);
  }
  connectMenu_ = wavrix->addMenu(QStringLiteral("&Connect"));
  if (services_.serviceMode) {
    QMenu* service = wavrix->addMenu(QStringLiteral("Ser&vice"));
    item(service, ids::kMenuConfigBluetooth, QStringLiteral("Config MRX-Bluetooth"));
    QMenu* bits = service->addMenu(QStringLiteral("&Bit-Resolution"));
    for (int b = kFirstBits; b <= kLastBits; ++b) {
      item(bits, ids::kMenuFirstBits + b - kFirstBits, QStringLiteral("%1 Bit").arg(b), true);
    }
    item(bits, ids::kMenuBits24, QStringLiteral("24 Bit"), true);
  }
  wavrix->addSeparator();
  item(wavrix, ids::kMenuExit, QStringLiteral("E&xit"));

  QMenu* output = popup_->addMenu(QStringLiteral("Output"));
  item(output, ids::kMenuPolarity, QStringLiteral("Invert polarity"), true);
  output->addSeparator();
  for (int g = 0; g < kGroups; ++g) {
    item(output, ids::kMenuFirstGroup + g, QStringLiteral("Group &%1").arg(QChar('A' + g)), true);
  }
  output->addSeparator();
  for (const RoomItem& r : kRoomItems) item(output, r.id, QString::fromLatin1(r.text), true);

  setupMenu_ = popup_->addMenu(QStringLiteral("Setup"));
  FitMenu(*popup_);
  for (QMenu* sub : popup_->findChildren<QMenu*>()) FitMenu(*sub);
  RebuildConnectMenu();
  RebuildSetupMenu();
  UpdateMenuChecks();
}

void CWavrixView::RebuildConnectMenu() {
  if (connectMenu_ == nullptr) return;
  for (QAction* a : connectMenu_->actions()) actions_.erase(a->data().toInt());
  connectMenu_->clear();
  for (std::size_t i = 0; i < store_.Count() && i < link::DeviceStore::kMaxDevices; ++i) {
    bool isDefault = false;
    const auto entry = store_.Entry(i, &isDefault);
    if (!entry) continue;
    const int id = ids::kMenuFirstUnit + static_cast<int>(i);
    QAction* a = connectMenu_->addAction(QString::fromStdString(entry->friendlyName));
    a->setCheckable(true);
    a->setChecked(isDefault);
    a->setData(id);
    connect(a, &QAction::triggered, this, [this, id] { OnMenu(id); });
    actions_[id] = a;
  }
  if (!store_.Devices().empty()) connectMenu_->addSeparator();
  for (auto [id, text] :
       {std::pair{ids::kMenuRemoveAll, "&Remove All"}, std::pair{ids::kMenuNew, "&New"}}) {
    QAction* a = connectMenu_->addAction(QString::fromLatin1(text));
    a->setData(id);
    connect(a, &QAction::triggered, this, [this, id = id] { OnMenu(id); });
    actions_[id] = a;
  }
}

void CWavrixView::RebuildSetupMenu() {
  if (setupMenu_ == nullptr) return;
  for (QAction* a : setupMenu_->actions()) actions_.erase(a->data().toInt());
  setupMenu_->clear();
  auto add = [this](int id, const QString& text, bool checkable = false) {
    QAction* a = setupMenu_->addAction(text);
    a->setCheckable(checkable);
    a->setData(id);
    connect(a, &QAction::triggered, this, [this, id] { OnMenu(id); });
    actions_[id] = a;
  };
  const auto& modules = state_.Modules();
  for (std::size_t n = 0; n < modules.size() && n < kModuleItems; ++n) {
    if (!IsSetupCandidate(modules[n])) continue;
    add(ids::kMenuFirstModule + static_cast<int>(n), QString::fromStdString(modules[n].firstName));
  }
  setupMenu_->addSeparator();
  add(ids::kMenuSetupMainUnit, QStringLiteral("MRX520"));
  add(ids::kMenuSetupOutput, QStringLiteral("Output"));
  add(ids::kMenuSetupDisplay, QStringLiteral("Display"));
  setupMenu_->addSeparator();
  add(ids::kMenuMuteIsFade, QStringLiteral("Use mute as fade in/out"), true);
  UpdateMenuChecks();
}

void CWavrixView::UpdateMenuChecks() {
  if (!popup_) return;
  const auto& s = state_.Status();
  auto check = [this](int id, bool on) {
    if (QAction* a = MenuAction(id)) a->setChecked(on);
  };
  check(ids::kMenuFixed35Volt, (s.outputFlags & protocol::remote::StatusRecord::kFixed35Volt) != 0);
  check(ids::kMenuFixedCurrent,
        (s.outputFlags & protocol::remote::StatusRecord::kFixedCurrent) != 0);
  for (int b = kFirstBits; b <= kLastBits; ++b) {
    check(ids::kMenuFirstBits + b - kFirstBits, s.OutputBits() == b);
  }
  check(ids::kMenuBits24, s.OutputBits() == 24);
  check(ids::kMenuPolarity, s.PolarityInverted());
  for (int g = 0; g < kGroups; ++g) check(ids::kMenuFirstGroup + g, s.Group() == g);
  // Each preset item is checked for the preset it sends.
  for (const RoomItem& r : kRoomItems) {
    check(r.id, r.preset < 0 ? !s.RoomCorrectionOn()
                             : s.RoomCorrectionOn() && s.RoomPreset() == r.preset);
  }
  check(ids::kMenuMuteIsFade, MuteIsFade());
}

void CWavrixView::OnMenu(int id) {
  if (id >= ids::kMenuFirstUnit &&
      id < ids::kMenuFirstUnit + static_cast<int>(link::DeviceStore::kMaxDevices)) {
    if (const auto entry = store_.Entry(static_cast<std::size_t>(id - ids::kMenuFirstUnit))) {
      control_.ChooseUnit(*entry);
    }
    return;
  }
  if (id >= ids::kMenuFirstBits && id <= ids::kMenuFirstBits + kLastBits - kFirstBits) {
    state_.SetBitResolution(kFirstBits + id - ids::kMenuFirstBits);
    return;
  }
  if (id >= ids::kMenuFirstGroup && id < ids::kMenuFirstGroup + kGroups) {
    state_.SetGroup(id - ids::kMenuFirstGroup);
    return;
  }
  for (const RoomItem& r : kRoomItems) {
    if (r.id != id) continue;
    if (r.preset < 0) {
      state_.RoomCorrectionOff();
    } else {
      state_.RoomCorrectionPreset(r.preset);
    }
    return;
  }
  if (id >= ids::kMenuFirstModule && id < ids::kMenuFirstModule + kModuleItems) {
    const link::UnitEntry* e =
        state_.NthModule(static_cast<std::size_t>(id - ids::kMenuFirstModule));
    if (e != nullptr && openSetupPage) openSetupPage(e->slot, 0, e->type);
    return;
  }
  switch (id) {
    case ids::kMenuGetTime:
      state_.RequestUnitClock();
      break;
    case ids::kMenuSetTime:
      state_.SetUnitClock(services_.handheld.Now(services_.clock));
      break;
    case ids::kMenuFixed35Volt:
      state_.ToggleFixedOutput(protocol::remote::StatusRecord::kFixed35Volt);
      break;
    case ids::kMenuFixedCurrent:
      state_.ToggleFixedOutput(protocol::remote::StatusRecord::kFixedCurrent);
      break;
    case ids::kMenuRemoveAll:
      if (confirm && confirm(QStringLiteral("Are you sure?"))) {
        store_.RemoveAll();
        RebuildConnectMenu();
      }
      break;
    case ids::kMenuNew:
      OpenInquiry();
      break;
    case ids::kMenuConfigBluetooth:
      OpenModuleConfig();
      break;
    case ids::kMenuBits24:
      state_.SetBitResolution(24);
      break;
    case ids::kMenuExit:
      Leave();
      window()->close();
      break;
    case ids::kMenuPolarity:
      state_.TogglePolarity();
      break;
    case ids::kMenuSetupMainUnit:
      if (openSetupPage) {
        const link::UnitEntry* main = nullptr;
        for (const auto& e : state_.Modules()) {
          if (e.slot == ids::kMainUnitSlot) main = &e;
        }
        openSetupPage(ids::kMainUnitSlot, ids::kMainUnitSubAddress, main ? main->type : 0);
      }
      break;
    case ids::kMenuSetupDisplay:
      if (openSetupPage) openSetupPage(ids::kDisplaySlot, 0, protocol::unit::type::kFront26);
      break;
    case ids::kMenuSetupOutput:
      if (openSetupPage) openSetupPage(ids::kOutputGroupsSlot, 0, 0);
      break;
    case ids::kMenuMuteIsFade:
      store_.SetMuteIsFade(!MuteIsFade());
      store_.Save();
      Button(ids::kMute)->SetFace(MuteIsFade() ? artwork::Face::kFade : artwork::Face::kMute);
      break;
    default:
      return;
  }
  Refresh();
}

}  // namespace remote::ui
