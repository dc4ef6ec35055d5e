// The KLF310 tab against the real simulator process: the card's software
// update started from the tab over the card's network ports, and a channel's
// curve stored and reloaded through the advanced dialog, each read back with
// mrxctl as a user would.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "desktop/pages/ScriptedPrompt.h"
#include "desktop/roomcorrection/CKLF310AdvancedDlg.h"
#include "desktop/roomcorrection/CPropertyKLF310.h"
#include "desktop/shell/CmyMRXProperty.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "desktop/widgets/CGridCtrl.h"
#include "platform/AtomicFile.h"
#include "protocol/klf/SlopeFile.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/RunProgram.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

namespace desktop::shell {
namespace {

namespace pk = protocol::klf;
using roomcorrection::CKLF310AdvancedDlg;
using roomcorrection::CPropertyKLF310;

std::string ReadAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A curve with different values in every column and row.
std::string PatternFile() {
  std::vector<pk::CurveBin> bins(pk::CurveBin::kBinCount);
  for (int k = 0; k < pk::CurveBin::kBinCount; ++k) {
    auto& b = bins[static_cast<std::size_t>(k)];
    for (int r = 0; r < pk::CurveBin::kRoomCount; ++r) {
      b.roomLevel[static_cast<std::size_t>(r)] =
          static_cast<std::uint16_t>((k * 5 + r * 13) % 1019);
    }
    b.amplitude = static_cast<std::int8_t>(k % 233 - 116);
    b.phase = static_cast<std::int16_t>((k * 11) % 3989 - 1994);
  }
  return pk::SlopeFile::Write(bins);
}

class Klf310EndToEndTest : public ::testing::Test {
 protected:
  Klf310EndToEndTest() {
    testing_support::TestApplication();
    setenv("MRX_RUNTIME_DIR", Run().c_str(), 1);
    // Backups kept before updates stay in the test's folder.
    setenv("XDG_DATA_HOME", (Run() / "data").c_str(), 1);
    unitlink::theTiroUSB.SetDeviceIo(nullptr);
  }
  ~Klf310EndToEndTest() override {
    unsetenv("MRX_RUNTIME_DIR");
    unsetenv("XDG_DATA_HOME");
  }

  std::filesystem::path Run() const { return dir_.path() / "run"; }
  std::string File(const char* name) const { return (dir_.path() / name).string(); }

  // A unit with its KLF310 at module 1 on a loopback address of this test
  // process alone, so test programs running side by side never meet on the
  // card's ports.
  void StartSim(int salt) {
    const auto pid = static_cast<unsigned>(getpid());
    host_ = "127." + std::to_string(0xB0 + salt) + "." + std::to_string(pid & 0xFF) + "." +
            std::to_string(1 + (pid >> 8) % 253);
    std::string error;
    ASSERT_TRUE(platform::WriteFileAtomically(
        File("scenario"), "unit serial=1234\nmodule address=1 type=11 ip=" + host_ + "\n", error))
        << error;
    sim_ = std::make_unique<testing_support::SimProcess>(
        Run(), std::vector<std::string>{"--scenario", File("scenario"), "--no-state"});
    ASSERT_TRUE(sim_->Running());
  }
  int Mrxctl(const std::string& args, std::string& output) {
    return testing_support::RunProgram("MRX_RUNTIME_DIR='" + Run().string() +
                                           "' '" MRX_BINARY_DIR "/tools/mrxctl/mrxctl' " + args +
                                           " 2>&1",
                                       output);
  }
  // The sheet's KLF310 tab, shown.
  CPropertyKLF310* OpenTab(CmyMRXProperty& sheet) {
    sheet.show();
    auto* page = dynamic_cast<CPropertyKLF310*>(sheet.FindCardPage("CPropertyKLF310"));
    if (page) sheet.Tabs()->setCurrentWidget(page);
    return page;
  }
  // What a field or label of the tab shows.
  static std::string Text(CPropertyKLF310& page, int id) {
    QWidget* w = page.Control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text().toStdString();
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text().toStdString();
    return "(no text control " + std::to_string(id) + ")";
  }
  static void Trigger(CKLF310AdvancedDlg& dlg, const char* text) {
    for (QAction* action : dlg.findChildren<QAction*>()) {
      if (action->text() == QLatin1String(text)) {
        action->trigger();
        return;
      }
    }
    ADD_FAILURE() << "no menu entry " << text;
  }

  testing_support::TempDir dir_;
  std::string host_;
  std::unique_ptr<testing_support::SimProcess> sim_;
};

TEST_F(Klf310EndToEndTest, SoftwareUpdateFromTheTabShowsAndReadsBackTheNewVersion) {
  StartSim(0);
  pages::ScriptedPrompt prompt;
  CmyMRXProperty sheet(false, prompt, platform::DefaultClock());
  CPropertyKLF310* page = OpenTab(sheet);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(Text(*page, CPropertyKLF310::kIpAddress), host_);
  EXPECT_EQ(Text(*page, CPropertyKLF310::kStatus), "V3.012, 04.11.2008");

  auto* update = page->Get<QPushButton>(CPropertyKLF310::kSoftwareUpdate);
  ASSERT_NE(update, nullptr);
  ASSERT_TRUE(update->isEnabled());
  update->click();
  EXPECT_TRUE(page->UpdateRunning());
  ASSERT_TRUE(testing_support::WaitFor(
      [&] {
        QCoreApplication::processEvents();
        return !page->UpdateRunning();
      },
      std::chrono::seconds(30)));
  EXPECT_EQ(Text(*page, CPropertyKLF310::kStatus), "V4.000, 27.01.2009");
  EXPECT_TRUE(update->isEnabled());
  // The settings and curves kept before the update are what the card holds after it.
  ASSERT_TRUE(testing_support::WaitFor(
      [&] {
        QCoreApplication::processEvents();
        return !prompt.Asked().empty();
      },
      std::chrono::seconds(30)));
  EXPECT_EQ(prompt.Asked().front().rfind("The update has finished: settings unchanged.", 0), 0u)
      << prompt.Asked().front();
  EXPECT_EQ(prompt.Asked().size(), 1u);

  std::string output;
  ASSERT_EQ(Mrxctl("--json klf info", output), 0) << output;
  const auto info = nlohmann::json::parse(output);
  EXPECT_EQ(info["application"], "V4.000, 27.01.2009");
  EXPECT_EQ(info["ip"], host_);
}

TEST_F(Klf310EndToEndTest, CurveStoredFromTheAdvancedDialogIsWhatTheCardGives) {
  StartSim(1);
  constexpr int kChannel = 3;
  const std::string pattern = PatternFile();
  std::string error;
  ASSERT_TRUE(platform::WriteFileAtomically(File("in.txt"), pattern, error)) << error;

  pages::ScriptedPrompt prompt;
  CmyMRXProperty sheet(true, prompt, platform::DefaultClock());
  CPropertyKLF310* page = OpenTab(sheet);
  ASSERT_NE(page, nullptr);
  // The curves are offered with the card's advanced option only.
  auto* option = page->Get<QCheckBox>(CPropertyKLF310::kAdvancedOption);
  ASSERT_NE(option, nullptr);
  if (!option->isChecked()) option->click();
  auto* advanced = page->Get<QPushButton>(CPropertyKLF310::AdvancedId(kChannel));
  ASSERT_TRUE(advanced->isEnabled());
  advanced->click();
  CKLF310AdvancedDlg* dlg = page->AdvancedDialog();
  ASSERT_NE(dlg, nullptr);
  ASSERT_EQ(dlg->ShownChannel(), kChannel) << "the card's curve was not read";
  EXPECT_EQ(dlg->windowTitle().toStdString(), "Rear Right");

  ASSERT_TRUE(dlg->ImportFromFile(QString::fromStdString(File("in.txt"))));
  std::vector<pk::SlopeRow> imported;
  for (int row = 0; row < CKLF310AdvancedDlg::kBins; ++row) imported.push_back(dlg->RowAt(row));
  Trigger(*dlg, "Store to KLF310");
  // An edit after the store is what Reload must throw away.
  auto* model = dlg->Grid().model();
  model->setData(model->index(7, CKLF310AdvancedDlg::kAmplitude), QStringLiteral("9.9"));
  ASSERT_NE(dlg->RowAt(7), imported[7]);
  Trigger(*dlg, "Reload from KLF310");
  EXPECT_TRUE(prompt.Asked().empty()) << prompt.Asked().front();
  int differing = 0;
  for (int row = 0; row < CKLF310AdvancedDlg::kBins; ++row) {
    if (dlg->RowAt(row) != imported[static_cast<std::size_t>(row)]) ++differing;
  }
  EXPECT_EQ(differing, 0) << "rows reloaded from the card differ from those stored";
  ASSERT_TRUE(dlg->ExportToFile(QString::fromStdString(File("exported.txt"))));
  EXPECT_EQ(ReadAll(File("exported.txt")), pattern);

  std::string output;
  ASSERT_EQ(Mrxctl("klf curve get " + std::to_string(kChannel) + " " + File("out.txt"), output), 0)
      << output;
  EXPECT_EQ(ReadAll(File("out.txt")), pattern);
}

}  // namespace
}  // namespace desktop::shell
