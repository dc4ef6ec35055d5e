#include "remote/ui/CWavrixApp.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "platform/Bluetooth.h"
#include "platform/Clock.h"
#include "platform/HandheldEnv.h"
#include "platform/Power.h"
#include "platform/Registry.h"
#include "platform/qt/MessageBoxPrompt.h"
#include "protocol/remote/RemoteProtocol.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "remote/ui/CMainFrame.h"
#include "remote/ui/CWavrixDoc.h"
#include "remote/ui/CWavrixView.h"
#include "remote/ui/SetupPageFactory.h"
#include "remote/ui/ViewIds.h"
#include "remote/ui/ViewPictures.h"

namespace remote::ui {

namespace {

// Watches the first moments of the program for the action key having been
// held down before the window came: it then repeats, or is let go without
// having been pressed in the window.
class ServiceKeyProbe final : public QObject {
 public:
  explicit ServiceKeyProbe(CWavrixView& view) : view_(view) {
    started_.start();
    qApp->installEventFilter(this);
  }
  ~ServiceKeyProbe() override { qApp->removeEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (started_.elapsed() > CWavrixApp::kServiceKeyWindowMs) return false;
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
    if (event->type() == QEvent::KeyPress && !key->isAutoRepeat()) {
      pressedHere_ = true;
    } else if (key->isAutoRepeat() || !pressedHere_) {
      view_.SetServiceMode(true);
    }
    (void)watched;
    return false;
  }

 private:
  CWavrixView& view_;
  QElapsedTimer started_;
  bool pressedHere_ = false;
};

}  // namespace

CWavrixApp::CWavrixApp(const std::vector<std::string>& arguments) {
  std::string line;
  for (std::size_t i = 0; i < arguments.size(); ++i) line += (i > 0 ? " " : "") + arguments[i];
  init_ = line == kInitOption;
  help_ = line == "--help" || line == "-h";
}

std::string CWavrixApp::HelpText() {
  return "Usage: WavrixBTMS [-init]\n"
         "The MRX520 remote control. -init sets the handheld's clock from the unit after\n"
         "connecting. Hold Enter while it starts for the service functions.\n"
         "\n"
         "Hardware keys:\n"
         "  Enter        start key: a short press toggles mute, holding it 750 ms power\n"
         "  Right, Left  volume up, down one step\n"
         "  Up, Down     the unit's up and down keys\n"
         "  F1, F4       application keys 1 and 4: previous, next track\n"
         "  F3, F2       application keys 3 and 2: play, stop\n"
         "  F5, F6       application keys 5 and 6: no action\n"
         "Tap the background for the menu; hold a source button for 750 ms (or right-click\n"
         "it) to give it another source.\n"
         "\n"
         "Environment: WAVRIX_BLUETOOTH (bluez or sim), WAVRIX_HANDHELD (the handheld's\n"
         "folder), MRX_RUNTIME_DIR (where the simulated stack is), WAVRIX_SCREENSHOTS=DIR\n"
         "(draw the view and its menus to PNG files in DIR and exit; on the offscreen\n"
         "platform they are drawn on a screen of the handheld's 240 x 320).\n";
}

int CWavrixApp::Run() {
  if (help_) {
    std::fputs(HelpText().c_str(), stdout);
    return 0;
  }
  platform::qt::MessageBoxPrompt prompt;
  std::string error;
  auto bluetooth = platform::MakeBluetooth(error);
  if (!bluetooth) {
    prompt.Error("WavrixBTMS", "Windows socket initialization failed");
    std::fprintf(stderr, "WavrixBTMS: %s\n", error.c_str());
    return 1;
  }
  platform::HandheldEnv handheld(platform::HandheldEnv::DefaultRoot());
  if (!handheld.LoadConfig(error)) {
    std::fprintf(stderr, "WavrixBTMS: handheld.conf: %s\n", error.c_str());
  }
  platform::FileRegistry registry(handheld.RegistryDir());
  platform::SystemPower power;

  CWavrixDoc document;
  (void)document;
  CMainFrame frame;
  auto* view = new CWavrixView(
      {*bluetooth, power, registry, handheld, platform::DefaultClock(), prompt, false, init_});
  frame.SetView(view);
  view->openSetupPage = [view](int slot, int subAddress, std::uint8_t type) {
    if (slot == ids::kOutputGroupsSlot) {  // the output groups live in the main unit
      slot = protocol::unit::kMainUnitAddress;
      type = kOutputPageType;
    }
    OpenSetupPage(view, view->State(), slot, subAddress, type);
  };
  ServiceKeyProbe probe(*view);

  const char* shots = std::getenv("WAVRIX_SCREENSHOTS");
  if (shots != nullptr && *shots != '\0') {
    view->inquire = [](link::DeviceEntry&) { return false; };
    view->Start();
    if (view->Store().DefaultAddress().IsZero()) {
      // No unit chosen yet: the pictures show the first unit in reach, for this run only.
      std::string inquiryError;
      std::optional<platform::BtDeviceInfo> first;
      bluetooth->Inquiry(
          [&](const platform::BtDeviceInfo& d) {
            first = d;
            return false;
          },
          inquiryError);
      if (first) {
        view->Link().SetUnit(first->address, first->name,
                             std::string(protocol::remote::kServiceHardware));
        view->Control().Connect();
      }
    }
    frame.show();
    QElapsedTimer waited;
    waited.start();
    auto& state = view->State();
    while (waited.elapsed() < kPictureWaitMs && view->Control().Connected() &&
           !(state.HaveInfo() && state.HaveStatus() && state.ListComplete())) {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    if (!(state.HaveStatus() && state.ListComplete())) {
      std::fprintf(stderr, "WavrixBTMS: no unit answered; the pictures show the remote alone\n");
    }
    if (!DrawPictures(*view, StandardPictures(), shots, error)) {
      std::fprintf(stderr, "WavrixBTMS: %s\n", error.c_str());
      view->Leave();
      return 1;
    }
    if (view->Control().Connected()) DrawSetupPages(state, QString::fromLocal8Bit(shots));
    view->Leave();
    return 0;
  }

  prompt = platform::qt::MessageBoxPrompt(&frame);
  frame.show();
  QTimer::singleShot(0, view, [view] { view->Start(); });
  return QApplication::exec();
}

}  // namespace remote::ui
