// The phono tab against the real simulator process: what the user moves in the
// tab is what the card holds, as mrxctl reads it over USB.
#include <gtest/gtest.h>

#include <QScrollBar>
#include <QTabWidget>
#include <cstdlib>
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
    unitlink::theTiroUSB.SetDeviceIo(nullptr);
  }
  ~PhonoEndToEndTest() override { unsetenv("MRX_RUNTIME_DIR"); }

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

}  // namespace
}  // namespace desktop::shell
