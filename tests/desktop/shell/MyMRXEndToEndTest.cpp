// myMRX against the real simulator process: a host software update from the
// main unit tab while the device watcher rebuilds the tabs, and the program's
// headless tab pictures.
#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "desktop/firmware/DoloPacket.h"
#include "desktop/pages/CPropertyMRX520.h"
#include "desktop/pages/CPropertyTWR310i.h"
#include "desktop/pages/ScriptedPrompt.h"
#include "desktop/shell/CmyMRXProperty.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/RunProgram.h"
#include "tests/support/SimProcess.h"

namespace desktop::shell {
namespace {

using pages::CPropertyMRX520;

class EndToEndTest : public ::testing::Test {
 protected:
  EndToEndTest() {
    testing_support::TestApplication();
    setenv("MRX_RUNTIME_DIR", dir_.path().c_str(), 1);
    // Backups kept before updates stay in the test's folder.
    setenv("XDG_DATA_HOME", (dir_.path() / "data").c_str(), 1);
    unitlink::theTiroUSB.SetDeviceIo(nullptr);
  }
  ~EndToEndTest() override {
    unsetenv("MRX_RUNTIME_DIR");
    unsetenv("XDG_DATA_HOME");
  }

  testing_support::TempDir dir_;
};

TEST_F(EndToEndTest, HostUpdateFromTheMainUnitTabEndsWithTheNewVersion) {
  testing_support::SimProcess sim(dir_.path(), {"--no-state", "--restart-ms", "300"});
  ASSERT_TRUE(sim.Running());
  pages::ScriptedPrompt prompt;
  CmyMRXProperty sheet(false, prompt, platform::DefaultClock());
  sheet.WatchDevices(dir_.path());
  sheet.show();
  sheet.Tabs()->setCurrentIndex(1);
  CPropertyMRX520& page = *sheet.MainPage();
  ASSERT_EQ(page.Get<QLabel>(CPropertyMRX520::kVersionLine)->text().toStdString(),
            "V2.105, 05.03.2024");

  const int discoveriesBefore = sheet.Discoveries();
  page.Get<QPushButton>(CPropertyMRX520::kSoftwareUpdate)->click();
  ASSERT_TRUE(page.UpdateRunning());
  bool disabledWhileBack = true;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        // Whenever the unit is back during the update, the buttons stay off.
        if (page.UpdateRunning() && sheet.DiscoveriesWithoutUnit() > 0) {
          disabledWhileBack = disabledWhileBack &&
                              !page.Control(CPropertyMRX520::kSoftwareUpdate)->isEnabled() &&
                              !page.Control(CPropertyMRX520::kSyncClock)->isEnabled();
        }
        return !page.UpdateRunning();
      },
      120000));
  EXPECT_TRUE(disabledWhileBack);
  EXPECT_GT(sheet.DiscoveriesWithoutUnit(), 0) << "the unit went away while it restarted";
  EXPECT_GT(sheet.Discoveries(), discoveriesBefore + 1) << "and came back";

  const firmware::_DoloPacket* host = firmware::FindDoloPacket(GetDoloBase(), 6, 1, 2);
  char expected[64];
  std::snprintf(expected, sizeof expected, "%s, %02d.%02d.%04d",
                firmware::DoloVersionText(host->version).c_str(), host->day, host->month,
                host->year);
  // The unit restarts once more after the worker has finished.
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        return page.Get<QLabel>(CPropertyMRX520::kVersionLine)->text().toStdString() == expected;
      },
      20000))
      << page.Get<QLabel>(CPropertyMRX520::kVersionLine)->text().toStdString();
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return page.Control(CPropertyMRX520::kSoftwareUpdate)->isEnabled(); }, 20000));

  // The settings were kept before the update and are compared after it.
  const auto kept = dir_.path() / "data/mrx520/backups/1234";
  EXPECT_TRUE(QTest::qWaitFor([&] { return !prompt.Asked().empty(); }, 30000));
  ASSERT_EQ(prompt.Asked().size(), 1u);
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(kept)) files.push_back(entry.path());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(prompt.Asked().front(),
            "The update has finished: settings unchanged.\nThe backup from before it is in " +
                files.front().string() + ".");
}

// The image bytes of an `mrxctl settings read` dump ("0010  00 1F ..." per row).
std::vector<int> DumpBytes(const std::string& dump) {
  std::vector<int> bytes;
  std::istringstream lines(dump);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string offset, hex;
    fields >> offset;
    while (fields >> hex) bytes.push_back(std::stoi(hex, nullptr, 16));
  }
  return bytes;
}

TEST_F(EndToEndTest, ATwrLevelMovedInItsTabIsStoredInTheUnit) {
  using pages::CPropertyTWR310i;
  testing_support::SimProcess sim(dir_.path(), {"--no-state"});
  ASSERT_TRUE(sim.Running());
  pages::ScriptedPrompt prompt;
  CmyMRXProperty sheet(false, prompt, platform::DefaultClock());
  sheet.show();
  auto* page = sheet.FindCardPage("CPropertyTWR310i");
  ASSERT_NE(page, nullptr);
  sheet.Tabs()->setCurrentWidget(page);
  const std::uint8_t address = page->Address();
  page->Get<QSlider>(CPropertyTWR310i::kLevel1)->setValue(-125);  // linked: both outputs
  page->Get<QPushButton>(pages::common::kWrite)->click();
  EXPECT_FALSE(page->IsDirty());

  std::string dump;
  ASSERT_EQ(testing_support::RunProgram("MRX_RUNTIME_DIR='" + dir_.path().string() +
                                            "' '" MRX_BINARY_DIR "/tools/mrxctl/mrxctl' settings "
                                            "read " +
                                            std::to_string(address),
                                        dump),
            0)
      << dump;
  const std::vector<int> image = DumpBytes(dump);
  ASSERT_GE(image.size(), 34u) << dump;
  // Output levels 1 and 2 at bytes 24 and 32, -125 tenths of a dB each.
  EXPECT_EQ((std::vector<int>{image[24], image[25], image[32], image[33]}),
            (std::vector<int>{0x83, 0xFF, 0x83, 0xFF}))
      << dump;
}

TEST_F(EndToEndTest, ScreenshotModeWritesEveryTabAndExits) {
  testing_support::SimProcess sim(dir_.path(), {"--no-state"});
  const auto shots = dir_.path() / "shots";
  std::filesystem::create_directories(shots);
  const std::string command = "MRX_SCREENSHOTS='" + shots.string() +
                              "' '" MRX_BINARY_DIR "/desktop/shell/myMRX' -service 2>/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  for (const char* name :
       {"00-Valdur.png", "01-MRX520.png", "02-QVI520.png", "03-QVO520.png", "04-QVO520.png",
        "05-HEJ520.png", "06-SIV520.png", "07-TWR310.png", "08-NVO310.png", "09-BUZ310.png",
        "10-JOV520.png", "11-YOR310.png", "12-KLF310.png", "13-QVO520.png", "14-Display.png"}) {
    SCOPED_TRACE(name);
    QImage image;
    ASSERT_TRUE(image.load(QString::fromStdString((shots / name).string())));
    EXPECT_GT(image.width(), 800);
    EXPECT_GT(image.height(), 600);
  }
  // The KLF310 tab's advanced dialog, titled with its channel's name.
  QImage dialog;
  ASSERT_TRUE(dialog.load(QString::fromStdString((shots / "12-KLF310-Front-Left.png").string())));
  EXPECT_GT(dialog.width(), 400);
  EXPECT_GT(dialog.height(), 300);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(shots), {}), 16);

  // A directory that cannot be written is an error, not a silent success.
  const std::string bad =
      "MRX_SCREENSHOTS=/proc/no-such-dir '" MRX_BINARY_DIR "/desktop/shell/myMRX' 2>/dev/null";
  EXPECT_NE(std::system(bad.c_str()), 0);
}

}  // namespace
}  // namespace desktop::shell
