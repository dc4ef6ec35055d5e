// The main unit tab against the in-process simulated unit: option mappings,
// service controls, versions and clock, updates and the Bluetooth module.
#include <stdlib.h>

#include <QProgressBar>
#include <QTest>
#include <fstream>

#include "desktop/firmware/DoloPacket.h"
#include "desktop/pages/CPropertyMRX520.h"
#include "platform/Bytes.h"
#include "platform/HandheldProcesses.h"
#include "tests/desktop/pages/PageFixture.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"

namespace desktop::pages {
namespace {

using P = CPropertyMRX520;
constexpr std::size_t kVolumeStep = 77;
constexpr std::size_t kAltScreen = 106;

class MainPageTest : public PageFixture {
 protected:
  P& Open(bool service = false) {
    site_.service = service;
    page_ = std::make_unique<P>(site_);
    Show(*page_, 0);
    return *page_;
  }
  std::uint16_t StoredU16(std::size_t at) { return platform::GetU16(unit_->StoredSettings(0), at); }
  // Starts the host update and lets virtual time run until its worker ends.
  bool RunHostUpdate(P& page) {
    Click(page, P::kSoftwareUpdate);
    if (!page.UpdateRunning()) return false;
    return QTest::qWaitFor(
        [&] {
          clock_.Advance(50);
          return !page.UpdateRunning();
        },
        60000);
  }
  std::unique_ptr<P> page_;
};

TEST_F(MainPageTest, AlternativeScreenTimerShowsItsItemOrOff) {
  struct Row {
    std::uint16_t seconds;
    const char* shown;
  } rows[] = {{0, "off"},       {5, "5 sec"},     {30, "30 sec"}, {300, "5 min"},
              {1800, "30 min"}, {3600, "1 hour"}, {7200, "off"},  {90, "off"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.seconds);
    Power(sim::DefaultScenario());
    StoreInUnit(
        0, kAltScreen,
        {static_cast<std::uint8_t>(row.seconds), static_cast<std::uint8_t>(row.seconds >> 8)});
    P& page = Open();
    EXPECT_EQ(Text(page, P::kAltScreen), row.shown);
  }
}

TEST_F(MainPageTest, WrittenOptionsLandInTheirImageBytes) {
  struct Row {
    const char* name;
    int control;
    const char* choice;
    std::size_t offset;
    std::uint16_t mask;
    std::uint16_t stored;
  } rows[] = {
      {"30 sec", P::kAltScreen, "30 sec", kAltScreen, 0xFFFF, 30},
      {"10 min", P::kAltScreen, "10 min", kAltScreen, 0xFFFF, 600},
      {"1 hour", P::kAltScreen, "1 hour", kAltScreen, 0xFFFF, 3600},
      {"off", P::kAltScreen, "off", kAltScreen, 0xFFFF, 0},
      {"0.2 dB", P::kVolumeStep, "0.2 dB", kVolumeStep, 0x00FF, 2},
      {"1.0 dB", P::kVolumeStep, "1.0 dB", kVolumeStep, 0x00FF, 10},
      {"Deutsch", P::kLanguage, "Deutsch", 64, 1u << 1, 1u << 1},
      {"clock off", P::kClockDisplay, "off", 64, 1u << 10, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Power(sim::DefaultScenario());
    const auto before = unit_->StoredSettings(0);
    P& page = Open();
    Choose(page, row.control, row.choice);
    EXPECT_TRUE(page.IsDirty());
    Click(page, common::kWrite);
    EXPECT_EQ(StoredU16(row.offset) & row.mask, row.stored);
    // Every byte the page does not edit goes back as it was.
    auto after = unit_->StoredSettings(0);
    for (std::size_t i = 0; i < after.size(); ++i) {
      const bool edited = i == row.offset || (i == row.offset + 1 && row.mask > 0xFF);
      if (!edited) {
        EXPECT_EQ(after[i], before[i]) << "byte " << i;
      }
    }
  }
}

TEST_F(MainPageTest, VolumeStepWithoutItemShowsTheFirstAndWritesItsValue) {
  struct Row {
    std::uint8_t tenths;
    const char* shown;
    std::uint8_t written;
  } rows[] = {{10, "1.0 dB", 10}, {1, "0.1 dB", 1}, {3, "0.1 dB", 1}, {0, "0.1 dB", 1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(int{row.tenths});
    Power(sim::DefaultScenario());
    StoreInUnit(0, kVolumeStep, {row.tenths});
    P& page = Open();
    EXPECT_EQ(Text(page, P::kVolumeStep), row.shown);
    Click(page, common::kWrite);
    EXPECT_EQ(unit_->StoredSettings(0)[kVolumeStep], row.written);
  }
}

TEST_F(MainPageTest, ServiceControlsOnlyInServiceMode) {
  for (bool service : {false, true}) {
    SCOPED_TRACE(service ? "service" : "user");
    P& page = Open(service);
    EXPECT_EQ(page.Control(P::kBootUpdate)->isVisibleTo(&page), service);
    EXPECT_EQ(page.Control(P::kBtInit)->isVisibleTo(&page), service);
    EXPECT_EQ(page.Control(P::kHddOption)->isEnabled(), service);
    EXPECT_EQ(page.Control(common::kSerial)->isEnabled(), service);
    EXPECT_EQ(page.Control(common::kDelivery)->isEnabled(), service);
    EXPECT_FALSE(page.Control(P::kRemoteUpdate)->isVisibleTo(&page));
    EXPECT_TRUE(page.Control(P::kSoftwareUpdate)->isEnabled());
    EXPECT_TRUE(page.Control(P::kVolumeStep)->isEnabled());
  }
}

TEST_F(MainPageTest, WithoutAUnitNothingCanBeStarted) {
  site_.service = true;
  page_ = std::make_unique<P>(site_);
  page_->SetPresent(false);  // what a discovery without a unit leaves
  ASSERT_TRUE(page_->Activate());
  for (int id : {P::kSoftwareUpdate, P::kBootUpdate, P::kSyncClock, P::kVolumeStep, P::kBtInit,
                 common::kRead, common::kWrite, common::kDefault, common::kSerial}) {
    EXPECT_FALSE(page_->Control(id)->isEnabled()) << id;
  }
}

TEST_F(MainPageTest, VersionAndClockLines) {
  P& page = Open();
  EXPECT_EQ(Text(page, P::kVersionLine), "V2.105, 05.03.2024");
  EXPECT_EQ(Text(page, P::kBootLine), "Boot: V1.012, 20.11.2023");
  // The unit's clock runs an hour ahead until it is synchronised.
  clock_.SetWallTime(platform::FromLocalTime({2024, 6, 7, 8, 9, 10}));
  Click(page, P::kSyncClock);
  page.ShowClockLine();
  EXPECT_EQ(Text(page, P::kClockLine), "7.06.2024,  8:09:10");
  // Timer 2000 keeps the line going.
  clock_.Advance(3600 * 1000);
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return Text(page, P::kClockLine) == "7.06.2024,  9:09:10"; }, 5000));
}

TEST_F(MainPageTest, UpdateButtonsStayDisabledUntilTheWorkerFinishes) {
  P& page = Open(true);
  const auto hostBefore = unit_->HostVersion();
  Click(page, P::kSoftwareUpdate);
  ASSERT_TRUE(page.UpdateRunning());
  auto updateControlsDisabled = [&] {
    for (int id :
         {P::kSoftwareUpdate, P::kBootUpdate, P::kSyncClock, P::kVolumeStep, common::kWrite}) {
      EXPECT_FALSE(page.Control(id)->isEnabled()) << id;
    }
    EXPECT_TRUE(page.Control(P::kProgress)->isVisibleTo(&page));
  };
  updateControlsDisabled();

  // The worker runs on virtual time; its messages wait for this thread. The
  // unit restarts with new software (time moves on after the worker's last
  // sleep) and discovery finds it again.
  ASSERT_TRUE(testing_support::WaitFor(
      [&] {
        clock_.Advance(50);
        return unit_->HostVersion().major != hostBefore.major && unit_->IsPresent();
      },
      std::chrono::seconds(60)));
  Show(page, 0);
  page.EnableControls(true);
  updateControlsDisabled();

  ASSERT_TRUE(QTest::qWaitFor([&] { return !page.UpdateRunning(); }, 60000));
  EXPECT_TRUE(page.Control(P::kSoftwareUpdate)->isEnabled());
  EXPECT_TRUE(page.Control(P::kBootUpdate)->isEnabled());
  EXPECT_TRUE(page.Control(P::kSyncClock)->isEnabled());
  EXPECT_FALSE(page.Control(P::kProgress)->isVisibleTo(&page));
  EXPECT_EQ(page.Get<QProgressBar>(P::kProgress)->value(), 100);
  const firmware::_DoloPacket* host = firmware::FindDoloPacket(GetDoloBase(), 6, 1, 2);
  EXPECT_EQ(Text(page, P::kVersionLine).substr(0, 7),
            firmware::DoloVersionText(host->version) + ",");
}

// Loses the unit's answer to one command; the unit takes the command or not.
class LosingIo final : public platform::DeviceIo {
 public:
  LosingIo(platform::DeviceIo& inner, std::uint8_t code, bool taken)
      : inner_(inner), code_(code), taken_(taken) {}
  Handle Open(std::string_view path) override { return inner_.Open(path); }
  void Close(Handle h) override { inner_.Close(h); }
  bool Control(Handle h, std::uint32_t code, std::span<const std::uint8_t> in,
               std::span<std::uint8_t> out, std::uint32_t* returned) override {
    if (in.empty() || in[0] != code_) return inner_.Control(h, code, in, out, returned);
    if (taken_) inner_.Control(h, code, in, out, returned);
    return false;
  }

 private:
  platform::DeviceIo& inner_;
  const std::uint8_t code_;
  const bool taken_;
};

// The end of the download whose answer never came is decided by the version
// the unit reports afterwards, not by the worker's word.
TEST_F(MainPageTest, AnUnansweredEndIsDecidedByTheVersionTheUnitReports) {
  const firmware::_DoloPacket* host = firmware::FindDoloPacket(GetDoloBase(), 6, 1, 2);
  struct Row {
    const char* name;
    bool taken;
    bool done;
  } rows[] = {
      {"the unit took the end", true, true},
      {"the end never reached the unit", false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Power(sim::DefaultScenario());
    LosingIo losing(*io_, 0x87, row.taken);
    unitlink::theTiroUSB.SetDeviceIo(&losing);
    P& page = Open(true);
    ASSERT_TRUE(RunHostUpdate(page));
    EXPECT_EQ(site_.updates, std::vector<bool>{row.done});
    if (row.done) {
      Show(page, 0);  // the discovery after the unit's restart
      const std::string line = Text(page, P::kVersionLine);
      EXPECT_EQ(line.substr(0, 7), firmware::DoloVersionText(host->version) + ",") << line;
    } else {
      const std::string line = Text(page, P::kVersionLine);
      EXPECT_EQ(line.rfind("Update not", 0), 0u) << line;
    }
    site_.updates.clear();
    page_.reset();
    unitlink::theTiroUSB.SetDeviceIo(io_.get());
  }
}

// A host update cut short by a power loss leaves the unit running only its
// boot software (flags bit 0 clear): the tab offers no settings and no clock,
// but a new update, which brings the unit back.
TEST_F(MainPageTest, AUnitRunningOnlyItsBootSoftwareCanOnlyBeUpdated) {
  ASSERT_TRUE(unitlink::theTiroUSB.EraseHost());
  ASSERT_FALSE(unit_->IsPresent()) << "restarting after the erase";
  ASSERT_TRUE(testing_support::WaitFor([&] {
    clock_.Advance(100);
    return unit_->IsPresent();
  }));
  P& page = Open(true);
  for (int id : {P::kSyncClock, P::kVolumeStep, P::kLanguage, P::kHddOption, common::kRead,
                 common::kWrite, common::kDefault, common::kSerial}) {
    EXPECT_FALSE(page.Control(id)->isEnabled()) << id;
  }
  EXPECT_TRUE(page.Control(P::kSoftwareUpdate)->isEnabled());
  EXPECT_TRUE(page.Control(P::kBootUpdate)->isEnabled());
  EXPECT_EQ(Text(page, P::kVersionLine), "") << "the descriptor reports no running software";

  ASSERT_TRUE(RunHostUpdate(page));
  ASSERT_TRUE(testing_support::WaitFor([&] {
    clock_.Advance(100);
    return unit_->IsPresent();
  }));
  Show(page, 0);  // the discovery after the unit's restart
  for (int id : {P::kSyncClock, P::kVolumeStep, common::kRead, common::kWrite}) {
    EXPECT_TRUE(page.Control(id)->isEnabled()) << id;
  }
  EXPECT_EQ(Text(page, P::kVersionLine).substr(0, 7), "V4.000,");
}

TEST_F(MainPageTest, BtModuleInitTwiceStartsThenStops) {
  P& page = Open(true);
  struct Step {
    bool active;
    const char* caption;
  } steps[] = {{true, "Stop BT Module Init"}, {false, "BT Module Init"}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.caption);
    const auto before = unit_->ExchangeCount();
    Click(page, P::kBtInit);
    EXPECT_EQ(unit_->ExchangeCount() - before, 3u);
    EXPECT_EQ(unit_->BtInitActive(), step.active);
    EXPECT_EQ(Text(page, P::kBtInit), step.caption);
  }
}

// The hidden "Remote Control Update" deploys the remote to the handheld's
// card, and the installer it starts there puts the remote in place.
TEST_F(MainPageTest, TheHiddenRemoteControlUpdateDeploysToTheHandheld) {
  testing_support::TempDir dir;
  const auto root = dir.path() / "handheld";
  std::filesystem::create_directories(root / "Storage Card");
  std::ofstream(root / "handheld.conf") << "os_major=5\nstorage_card=Storage Card\n";
  ::setenv("WAVRIX_HANDHELD", root.c_str(), 1);
  P& page = Open();
  EXPECT_FALSE(page.Control(P::kRemoteUpdate)->isVisibleTo(&page));
  Click(page, P::kRemoteUpdate);
  ASSERT_TRUE(page.UpdateRunning());
  EXPECT_FALSE(page.Control(P::kSoftwareUpdate)->isEnabled());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !page.UpdateRunning(); }, 60000));
  EXPECT_EQ(Text(page, P::kVersionLine), "Pocket PC update finished!");
  EXPECT_EQ(page.Get<QProgressBar>(P::kProgress)->value(), 100);
  EXPECT_TRUE(page.Control(P::kSoftwareUpdate)->isEnabled());
  EXPECT_TRUE(site_.prompt.Asked().empty());

  // The installer runs on its own; wait until it has made its shortcut and ended.
  platform::HandheldEnv env(root);
  platform::HandheldProcesses processes(env);
  EXPECT_TRUE(testing_support::WaitFor(
      [&] {
        return std::filesystem::exists(root / "Windows/StartUp/Valdur Wavrix.lnk") &&
               processes.Find("Autorun.exe").empty();
      },
      std::chrono::seconds(60)));
  EXPECT_TRUE(std::filesystem::exists(root / "Windows/Start Menu/Programs/Wavrix/WavrixBTMS5.exe"));
  // The installer started the remote, which runs until it is stopped.
  for (pid_t pid : processes.Find("WavrixBTMS5.exe")) platform::HandheldProcesses::Terminate(pid);
  ::unsetenv("WAVRIX_HANDHELD");
}

TEST_F(MainPageTest, ARemoteControlUpdateWithoutAHandheldTellsTheUser) {
  testing_support::TempDir dir;
  ::setenv("WAVRIX_HANDHELD", (dir.path() / "none").c_str(), 1);
  P& page = Open();
  Click(page, P::kRemoteUpdate);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        clock_.Advance(1000);  // the wait for the handheld runs on virtual time
        return !page.UpdateRunning();
      },
      60000));
  EXPECT_EQ(site_.prompt.Asked(), std::vector<std::string>{"ActiveSync not installed!"});
  EXPECT_EQ(Text(page, P::kVersionLine), "Waiting for connection ...");
  ::unsetenv("WAVRIX_HANDHELD");
}

}  // namespace
}  // namespace desktop::pages
