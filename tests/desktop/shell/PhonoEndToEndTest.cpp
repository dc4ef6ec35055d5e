// The phono tab against the real simulator process: what the user moves in the
// tab is what the card holds, as mrxctl reads it over USB.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "desktop/pages/CPropertyPhono.h"
#include "desktop/pages/ScriptedPrompt.h"
#include "desktop/shell/CmyMRXProperty.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/RunProgram.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"

namespace desktop::shell {
namespace {

using pages::CPropertyPhono;

class PhonoEndToEndTest : public ::testing::Test {
 protected:
  PhonoEndToEndTest() {
    testing_support::TestApplication();
    setenv("MRX_RUNTIME_DIR", dir_.path().c_str(), 1);
    // Backups kept before updates stay in the test's folder.
    setenv("XDG_DATA_HOME", (dir_.path() / "data").c_str(), 1);
    unitlink::theTiroUSB.SetDeviceIo(nullptr);
  }
  ~PhonoEndToEndTest() override {
    unsetenv("MRX_RUNTIME_DIR");
    unsetenv("XDG_DATA_HOME");
  }

  // The image bytes of an `mrxctl settings read` dump ("0010  00 1F ..." per row).
  std::vector<int> SettingsRead(int address) {
    std::string dump;
    const int rc = testing_support::RunProgram(
        "MRX_RUNTIME_DIR='" + dir_.path().string() +
            "' '" MRX_BINARY_DIR "/tools/mrxctl/mrxctl' settings read " + std::to_string(address),
        dump);
    EXPECT_EQ(rc, 0) << dump;
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

  testing_support::TempDir dir_;
};

TEST_F(PhonoEndToEndTest, GainAndTimeConstantMovedInTheTabReachTheCard) {
  testing_support::SimProcess sim(dir_.path(), {"--no-state"});
  ASSERT_TRUE(sim.Running());
  pages::ScriptedPrompt prompt;
  CmyMRXProperty sheet(false, prompt, platform::DefaultClock());
  sheet.show();
  auto* page = dynamic_cast<CPropertyPhono*>(sheet.FindCardPage("CPropertyBUZ310"));
  ASSERT_NE(page, nullptr);
  sheet.Tabs()->setCurrentWidget(page);
  const int address = page->Address();

  // Moved, not written: the card plays what it is sent at once.
  page->Get<QScrollBar>(CPropertyPhono::kGain)->setValue(57);
  page->Get<QScrollBar>(CPropertyPhono::kTime[1])->setValue(400);
  const std::vector<int> image = SettingsRead(address);
  ASSERT_GE(image.size(), 235u);
  EXPECT_EQ(image[24], 57) << "gain in tenths of a dB";
  // Slot 0 (the selected one) from byte 26: word, t1, then t2 = 400 at 30.
  EXPECT_EQ((std::vector<int>{image[30], image[31]}), (std::vector<int>{0x90, 0x01}));
  EXPECT_EQ((std::vector<int>{image[28], image[29]}), (std::vector<int>{0x6C, 0x0C}))
      << "t1 unchanged";
}

TEST_F(PhonoEndToEndTest, ACurveWrittenFromTheTabOutlivesARestartOfTheUnit) {
  const std::string state = (dir_.path() / "state").string();
  testing_support::SimProcess sim(dir_.path(), {"--state", state});
  ASSERT_TRUE(sim.Running());
  int address = 0;
  {
    pages::ScriptedPrompt prompt;
    CmyMRXProperty sheet(false, prompt, platform::DefaultClock());
    sheet.show();
    auto* page = dynamic_cast<CPropertyPhono*>(sheet.FindCardPage("CPropertyQVI520"));
    ASSERT_NE(page, nullptr);
    sheet.Tabs()->setCurrentWidget(page);
    address = page->Address();
    QLineEdit* name = page->Get<QComboBox>(CPropertyPhono::kCurve)->lineEdit();
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("Decca ffrr"));
    page->Get<QScrollBar>(CPropertyPhono::kTime[2])->setValue(50);
    page->Get<QPushButton>(pages::common::kWrite)->click();
    EXPECT_FALSE(page->IsDirty());
  }
  sim.Stop();
  sim.Start({"--state", state});
  ASSERT_TRUE(sim.Running());

  std::string output;
  ASSERT_EQ(testing_support::RunProgram("MRX_RUNTIME_DIR='" + dir_.path().string() +
                                            "' '" MRX_BINARY_DIR "/tools/mrxctl/mrxctl' --json "
                                            "phono curve " +
                                            std::to_string(address),
                                        output),
            0)
      << output;
  const auto curve = nlohmann::json::parse(output);
  EXPECT_EQ(curve["name"], "Decca ffrr");
  EXPECT_EQ(curve["timeConstants"][2]["us"], 50);
  EXPECT_EQ(curve["timeConstants"][0]["us"], 3180);
}

}  // namespace
}  // namespace desktop::shell
