// The QVO520 tab against the real simulator process: a processor update
// started from the tab reaches the card over USB, also when the link loses
// exchanges, and the new version is what the tab shows and mrxctl reads back.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "desktop/pages/CPropertyQVO520.h"
#include "desktop/pages/ScriptedPrompt.h"
#include "desktop/shell/CmyMRXProperty.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/RunProgram.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

namespace desktop::shell {
namespace {

using pages::CPropertyQVO520;

struct LinkRow {
  const char* name;
  const char* failEvery;  // every n-th exchange of the unit fails (0: none)
};
void PrintTo(const LinkRow& row, std::ostream* os) {
  *os << row.name;
}

class QvoEndToEndTest : public ::testing::TestWithParam<LinkRow> {
 protected:
  QvoEndToEndTest() {
    testing_support::TestApplication();
    setenv("MRX_RUNTIME_DIR", dir_.path().c_str(), 1);
    // Backups kept before updates stay in the test's folder.
    setenv("XDG_DATA_HOME", (dir_.path() / "data").c_str(), 1);
    unitlink::theTiroUSB.SetDeviceIo(nullptr);
  }
  ~QvoEndToEndTest() override {
    unsetenv("MRX_RUNTIME_DIR");
    unsetenv("XDG_DATA_HOME");
  }

  // What a field or label of the tab shows.
  static std::string Text(CPropertyQVO520& page, int id) {
    QWidget* w = page.Control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text().toStdString();
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text().toStdString();
    return "(no text control " + std::to_string(id) + ")";
  }

  testing_support::TempDir dir_;
};

TEST_P(QvoEndToEndTest, LeftProcessorUpdateFromTheTabIsReadBackOverUsb) {
  testing_support::SimProcess sim(dir_.path(),
                                  {"--no-state", "--fail-every", GetParam().failEvery});
  ASSERT_TRUE(sim.Running());
  pages::ScriptedPrompt prompt;
  CmyMRXProperty sheet(false, prompt, platform::DefaultClock());
  sheet.show();
  auto* page = dynamic_cast<CPropertyQVO520*>(sheet.FindCardPage("CPropertyQVO520"));
  ASSERT_NE(page, nullptr);
  sheet.Tabs()->setCurrentWidget(page);
  const int address = page->Address();
  EXPECT_EQ(Text(*page, CPropertyQVO520::kSwType[0]), "DSP V2.005, 14.03.2008 (orig)");

  auto* update = page->Get<QPushButton>(CPropertyQVO520::kUpdate[0]);
  ASSERT_NE(update, nullptr);
  ASSERT_TRUE(update->isEnabled()) << "older software than the carried package is offered";
  update->click();
  EXPECT_TRUE(page->DownloadRunning());
  ASSERT_TRUE(testing_support::WaitFor(
      [&] {
        QCoreApplication::processEvents();
        return !page->DownloadRunning();
      },
      std::chrono::seconds(30)));

  EXPECT_EQ(Text(*page, CPropertyQVO520::kSwType[0]), "DSP V2.009, 24.08.2008 (update)");
  EXPECT_EQ(Text(*page, CPropertyQVO520::kDownloadText), "");
  EXPECT_FALSE(update->isEnabled()) << "the same software is not offered again";
  EXPECT_TRUE(page->Get<QPushButton>(CPropertyQVO520::kUpdate[1])->isEnabled());
  for (const std::string& asked : prompt.Asked()) {
    EXPECT_EQ(asked, CPropertyQVO520::kTextDownloadRunning) << "no failure was reported";
  }

  std::string output;
  ASSERT_EQ(testing_support::RunProgram("MRX_RUNTIME_DIR='" + dir_.path().string() +
                                            "' '" MRX_BINARY_DIR "/tools/mrxctl/mrxctl' --json "
                                            "qvo info " +
                                            std::to_string(address),
                                        output),
            0)
      << output;
  const auto list = nlohmann::json::parse(output);
  EXPECT_EQ(list[0]["version"], "V2.009");
  EXPECT_EQ(list[0]["date"], "2008-08-24");
  EXPECT_EQ(list[0]["label"], "update");
  EXPECT_EQ(list[1]["version"], "V2.005") << "the right processor is left alone";
}

INSTANTIATE_TEST_SUITE_P(Links, QvoEndToEndTest,
                         ::testing::Values(LinkRow{"Sound", "0"},
                                           LinkRow{"OneExchangeInFiftyFails", "50"}),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace desktop::shell
