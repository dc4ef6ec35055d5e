// The remote's view against the real mrx520-sim process over the simulated
// Bluetooth stack, checked with "mrxctl remote status" as a second peer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "../../support/RunProgram.h"
#include "../../support/SimProcess.h"
#include "platform/Bluetooth.h"
#include "platform/HandheldEnv.h"
#include "platform/Power.h"
#include "platform/Registry.h"
#include "protocol/remote/RemoteProtocol.h"
#include "remote/link/DeviceStore.h"
#include "remote/ui/CWavrixView.h"
#include "remote/ui/CmyBitmapButton.h"
#include "remote/ui/ViewIds.h"

namespace remote::ui {
namespace {

using testing_support::SimProcess;
using testing_support::TempDir;

struct QuietPrompt final : platform::Prompt {
  void Error(std::string_view, std::string_view text) override { shown.emplace_back(text); }
  std::vector<std::string> shown;
};

class ViewEndToEndTest : public ::testing::Test {
 protected:
  ViewEndToEndTest() {
    setenv("MRX_RUNTIME_DIR", dir.path().c_str(), 1);
    setenv("WAVRIX_BLUETOOTH", "sim", 1);
    setenv("WAVRIX_HANDHELD", (dir.path() / "handheld").c_str(), 1);
    remote::link::DeviceStore store(registry, handheld);
    store.Load();
    store.Merge({*platform::BtAddress::Parse("00:50:C2:00:04:D2"), "Valdur MRX520-1234",
                 std::string(protocol::remote::kServiceHardware)},
                true);
    store.Save();
  }
  std::string Status() {
    std::string out;
    testing_support::RunProgram(MRX_BINARY_DIR "/tools/mrxctl/mrxctl remote status 2>&1", out);
    return out;
  }
  template <typename Condition>
  bool Run(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(15)) {
    return testing_support::WaitFor(
        [&] {
          QApplication::processEvents();
          return condition();
        },
        limit);
  }
  bool Ready() {
    auto& s = view->State();
    return s.HaveInfo() && s.HaveStatus() && s.ListComplete();
  }
  // Waits until "mrxctl remote status" shows `line`.
  bool StatusShows(const std::string& line) {
    std::string last;
    const bool ok = Run([&] {
      last = Status();
      return last.find(line) != std::string::npos;
    });
    if (!ok) ADD_FAILURE() << "no \"" << line << "\" in:\n" << last;
    return ok;
  }

  int argc = 1;
  char name[8] = "test";
  char* argv[1] = {name};
  QApplication app{argc, argv};
  TempDir dir;
  platform::HandheldEnv handheld{dir.path() / "handheld"};
  platform::FileRegistry registry{handheld.RegistryDir()};
  platform::InjectedPower power;
  QuietPrompt prompt;
  std::unique_ptr<platform::Bluetooth> bluetooth;  // outlives the view's link
  std::unique_ptr<CWavrixView> view;
};

TEST_F(ViewEndToEndTest, ChangesMadeInTheViewReachTheUnitAndTheViewReconnects) {
  auto sim = std::make_unique<SimProcess>(dir.path(), std::vector<std::string>{"--no-state"});
  std::string error;
  bluetooth = platform::MakeBluetooth(error);  // WAVRIX_BLUETOOTH=sim
  ASSERT_TRUE(bluetooth) << error;
  view = std::make_unique<CWavrixView>(
      ViewServices{*bluetooth, power, registry, handheld, platform::DefaultClock(), prompt});
  view->inquire = [](remote::link::DeviceEntry&) { return false; };
  view->show();
  view->Start();
  ASSERT_TRUE(Run([&] { return Ready(); }));
  QApplication::processEvents();
  ASSERT_TRUE(StatusShows("volume  -30.0 dB"));

  // One step of the unit's own size up.
  const int step = view->State().Status().volumeStep;
  QTest::mouseClick(view->Button(ids::kVolumeUp), Qt::LeftButton);
  char expected[32];
  std::snprintf(expected, sizeof expected, "volume  %.1f dB", (-300 + step) / 10.0);
  EXPECT_TRUE(StatusShows(expected));

  QTest::mouseClick(view->Button(ids::kMute), Qt::LeftButton);
  EXPECT_TRUE(StatusShows("mute    on"));

  // Button 6 gets "Phono" from its menu, then a tap selects it.
  QMenu menu;
  view->FillSourceMenu(ids::kFirstSourceButton + 5, menu);
  QAction* phono = nullptr;
  for (QAction* a : menu.actions()) {
    if (a->text() == "Phono") phono = a;
  }
  ASSERT_NE(phono, nullptr);
  phono->trigger();
  ASSERT_TRUE(Run([&] {
    return view->State().Status().buttonSources[5][1] != 0xFF &&
           view->Button(ids::kFirstSourceButton + 5)->Label() == "Phono";
  }));
  QTest::mouseClick(view->Button(ids::kFirstSourceButton + 5), Qt::LeftButton);
  EXPECT_TRUE(StatusShows("source  Phono"));

  // Power acts after the button was held.
  CmyBitmapButton* powerButton = view->Button(ids::kPower);
  QTest::mousePress(powerButton, Qt::LeftButton);
  ASSERT_TRUE(Run([&] { return !powerButton->isChecked(); }));
  QTest::mouseRelease(powerButton, Qt::LeftButton);
  EXPECT_TRUE(StatusShows("power   standby"));

  // The unit goes away and comes back: the view connects again by itself.
  const unsigned connections = view->Link().Connections();
  sim->Stop(SIGKILL);
  ASSERT_TRUE(Run([&] { return !view->Link().IsConnected(); }));
  sim = std::make_unique<SimProcess>(dir.path(), std::vector<std::string>{"--no-state"});
  ASSERT_TRUE(Run([&] { return view->Link().Connections() > connections && Ready(); },
                  std::chrono::seconds(30)));
  // A fresh unit without its state file: its status may come a moment after
  // the connection is back.
  EXPECT_TRUE(Run([&] { return view->State().VolumeText() == "-30.0dB"; }))
      << view->State().VolumeText();
  EXPECT_TRUE(view->Button(ids::kVolumeUp)->isEnabled());
}

}  // namespace
}  // namespace remote::ui
