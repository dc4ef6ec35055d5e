#pragma once

#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "platform/Bluetooth.h"
#include "platform/Clock.h"
#include "platform/HandheldEnv.h"
#include "platform/Power.h"
#include "platform/Prompt.h"
#include "platform/Registry.h"
#include "platform/qt/MessagePump.h"
#include "remote/link/DeviceStore.h"
#include "remote/link/LinkControl.h"
#include "remote/link/PowerEventThread.h"
#include "remote/link/UnitLink.h"
#include "remote/link/UnitState.h"

class QAction;
class QMenu;

namespace remote::ui {

class CdPanel;
class CmyBitmapButton;
class ScrollingMenuStyle;
class VolumeSlider;

// What the view takes from the platform.
struct ViewServices {
  platform::Bluetooth& bluetooth;
  platform::Power& power;
  platform::Registry& registry;
  platform::HandheldEnv& handheld;
  platform::Clock& clock;
  platform::Prompt& prompt;
  bool serviceMode = false;
  bool init = false;
};

// The remote control: owns the unit model with its link and the known units,
// draws the unit's state, turns taps and hardware keys into commands, and
// opens the inquiry, configuration and setup dialogs.
class CWavrixView final : public QWidget {
 public:
  static constexpr int kWidth = 240;
  static constexpr int kHeight = 320;
  static constexpr int kCdPanelTop = 266;
  // How often the polling timers of the unit model are looked at.
  static constexpr int kPollTickMs = 20;

  CWavrixView(ViewServices services, QWidget* parent = nullptr);
  ~CWavrixView() override;

  // The view's first update: the known units, the power thread, the gauge,
  // then a connection to the default unit or, without one, the inquiry a
  // second later.
  void Start();
  // Program exit: disconnect and keep the known units.
  void Leave();

  // Opens a module's setup page: slot, sub-address and type of the module
  // (the output groups come with ids::kOutputGroupsSlot).
  std::function<void(int slot, int subAddress, std::uint8_t type)> openSetupPage;
  // Asked before the known units are forgotten; the default asks the user.
  std::function<bool(const QString& question)> confirm;
  // Opens the inquiry; the default shows the inquiry dialog. True with the
  // unit chosen.
  std::function<bool(link::DeviceEntry& chosen)> inquire;
  // Called after every dialog the view opened (the frame covers the screen again).
  std::function<void()> afterDialog;

  // The view's commands and keys (kWmButton, menu items, hot keys).
  void OnButton(int id, bool checked);
  void OnMenu(int id);
  // Hardware keys as keyboard keys; false for keys the remote does not use.
  bool HardwareKey(int key, bool down);
  // Fills the source context menu for source button `id`; the chosen item
  // comes back through OnSourceChosen.
  void FillSourceMenu(int id, QMenu& menu);
  // Makes a menu scroll within the screen's height.
  void FitMenu(QMenu& menu);
  void OnSourceChosen(int itemId, int buttonId);

  // Everything is shown as the unit model has it.
  void Refresh();
  void SlideCdPanelInNow();
  // Service mode found after the view was made (the action key held at start):
  // the menus are built again with the service items.
  void SetServiceMode(bool on);
  bool ServiceMode() const { return services_.serviceMode; }
  // The pop-up menu, built on first use (service items only in service mode).
  QMenu& PopupMenu();
  QAction* MenuAction(int id) const;

  link::UnitState& State() { return state_; }
  link::UnitLink& Link() { return link_; }
  link::DeviceStore& Store() { return store_; }
  link::LinkControl& Control() { return control_; }
  CmyBitmapButton* Button(int id) const;
  VolumeSlider* Slider() const { return slider_; }
  int CdPanelTop() const { return cdPanelTop_; }
  // How long a shown disc waits before its panel slides in; a test need not
  // wait the full five seconds to see it come.
  void SetCdPanelDelay(int ms) { cdPanelDelay_.setInterval(ms); }
  bool CdShown() const;
  int FirstTrack() const { return firstTrack_; }
  QString MainText() const { return mainText_; }
  QString CdText() const;
  // The largest height from 30 down to 11 at which `name` fits the main
  // panel; 11 for a name that fits at none (it is clipped).
  static int FitNameHeight(const QString& name);
  // The height the current source name is drawn at (30 down to 11).
  int NameHeight() const { return nameHeight_; }
  bool StartKeyHeld() const { return startKeyTimer_.isActive(); }
  // Handles one message of the link, the unit model or the power thread.
  void Handle(const platform::Message& message);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;

 private:
  void CreateControls();
  void BuildMenus();
  void RebuildConnectMenu();
  void RebuildSetupMenu();
  void UpdateMenuChecks();
  void UpdateTracks();
  void UpdateSourceButtons();
  void LayoutMainText();
  void OnStatusChanged();
  void OnStartKeyTimer();
  void SlideStep(int step);
  void OpenInquiry();
  void OpenModuleConfig();
  void Dialog(const std::function<void()>& run);
  QString SourceName() const;
  bool MuteIsFade() const { return store_.MuteIsFade(); }

  ViewServices services_;
  platform::qt::MessagePump pump_;
  link::DeviceStore store_;
  link::UnitLink link_;
  link::UnitState state_;
  link::LinkControl control_;
  link::PowerEventThread powerThread_;

  std::map<int, CmyBitmapButton*> buttons_;
  VolumeSlider* slider_ = nullptr;
  CdPanel* cdPanel_ = nullptr;
  bool updatingSlider_ = false;
  int firstTrack_ = 1;
  QString mainText_;
  bool mainTextIsTag_ = false;
  int nameHeight_ = 0;
  platform::BatteryStatus battery_;

  int cdPanelTop_ = kHeight;
  QTimer pollTimer_;
  QTimer batteryTimer_;
  QTimer startKeyTimer_;
  bool startKeyWhileOff_ = false;
  QTimer inquiryTimer_;
  QTimer cdPanelDelay_;
  QTimer cdPanelUp_;
  QTimer cdPanelDown_;

  ScrollingMenuStyle* menuStyle_ = nullptr;  // a child: outlives the menus
  std::unique_ptr<QMenu> popup_;
  QMenu* connectMenu_ = nullptr;
  QMenu* setupMenu_ = nullptr;
  std::map<int, QAction*> actions_;
};

}  // namespace remote::ui
