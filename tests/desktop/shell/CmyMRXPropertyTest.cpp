// The desktop program's sheet against the in-process simulated unit: service
// option, discovery and device changes, card tabs, keys and leaving tabs.
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <fstream>

#include "desktop/backup/BackupFile.h"
#include "desktop/backup/ReadUnitBackup.h"
#include "desktop/pages/CPropertyMRX520.h"
#include "desktop/pages/CPropertyTWR310i.h"
#include "desktop/pages/CPropertyValdur.h"
#include "desktop/shell/CmyMRXApp.h"
#include "desktop/shell/CmyMRXProperty.h"
#include "desktop/shell/UnitBackupActions.h"
#include "platform/Bytes.h"
#include "protocol/unit/IdentityRecord.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/Qvo520Image.h"
#include "tests/desktop/pages/PageFixture.h"
#include "tests/support/TempDir.h"

namespace desktop::shell {
namespace {

using pages::CMRXPropertyPage;
using pages::CPropertyMRX520;
using pages::Prompt;

TEST(CmyMRXAppTest, ServiceModeOnlyForExactlyTheOneOption) {
  struct Row {
    const char* name;
    std::vector<std::string> args;
    bool service;
  } rows[] = {
      {"exact", {"-service"}, true},
      {"capitals", {"-SERVICE"}, false},
      {"trailing blank", {"-service "}, false},
      {"slash", {"/service"}, false},
      {"extra argument", {"-service", "x"}, false},
      {"empty argument after it", {"-service", ""}, false},
      {"none", {}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(CmyMRXApp(row.args).ServiceMode(), row.service);
  }
}

// A card tab for the tests of the sheet's card list.
class TestCardPage final : public CMRXPropertyPage {
 public:
  static constexpr pages::ControlTemplate kControls[] = {
      {pages::common::kRead, pages::ControlKind::kButton, "Read Settings", 8, 8, 80, 14},
  };
  static constexpr pages::DialogTemplate kDialog{900, "QVO520", 600, 398, kControls};
  explicit TestCardPage(pages::PageSite& site) : CMRXPropertyPage(kDialog, site) {}
  const char* GetRuntimeClassName() const override { return "TestCardPage"; }
  static CMRXPropertyPage* Create(pages::PageSite& site) { return new TestCardPage(site); }
};
constexpr pages::PageClass kTestCards[] = {{2, "TestCardPage", &TestCardPage::Create},
                                           {3, "TestCardPage", &TestCardPage::Create}};

class SheetTest : public pages::PageFixture {
 protected:
  CmyMRXProperty& Open(bool service = false,
                       std::span<const pages::PageClass> cards = pages::CardPageClasses()) {
    sheet_ = std::make_unique<CmyMRXProperty>(service, prompt_, clock_, cards);
    sheet_->show();  // runs discovery
    return *sheet_;
  }
  std::vector<std::string> Captions() {
    std::vector<std::string> captions;
    for (int i = 0; i < sheet_->Tabs()->count(); ++i) {
      captions.push_back(sheet_->Tabs()->tabText(i).toStdString());
    }
    return captions;
  }
  pages::ScriptedPrompt prompt_;
  std::unique_ptr<CmyMRXProperty> sheet_;
};

TEST_F(SheetTest, AboutThenMainUnitAndCardsWithoutATabAreSkipped) {
  CmyMRXProperty& sheet = Open();
  EXPECT_EQ(sheet.windowTitle().toStdString(), "Valdur MRX520 Manager");
  // The demo unit holds every type once (and a type 12 nobody knows): the
  // cards with a tab follow the main unit in address order.
  EXPECT_EQ(Captions(),
            (std::vector<std::string>{"Valdur", "MRX520", "QVI520", "QVO520", "QVO520", "HEJ520",
                                      "SIV520", "TWR310", "NVO310", "BUZ310", "JOV520", "YOR310",
                                      "KLF310", "QVO520", "Display"}));
  EXPECT_EQ(sheet.Tabs()->currentIndex(), 0);
  sheet.Tabs()->setCurrentIndex(1);
  EXPECT_TRUE(sheet.MainPage()->Control(CPropertyMRX520::kSoftwareUpdate)->isEnabled());
  EXPECT_EQ(Text(*sheet.MainPage(), CPropertyMRX520::kVersionLine), "V2.105, 05.03.2024");
}

TEST_F(SheetTest, CardTabsFollowTheMainUnitInAddressOrderAndAreRebuiltOnDeviceChange) {
  CmyMRXProperty& sheet = Open(false, kTestCards);
  // The demo unit holds QVO520 cards of type 2 and 3 at addresses 2 and 3 and
  // another at 13.
  EXPECT_EQ(Captions(),
            (std::vector<std::string>{"Valdur", "MRX520", "QVO520", "QVO520", "QVO520"}));
  std::vector<int> addresses;
  std::vector<QPointer<CMRXPropertyPage>> old;
  for (CMRXPropertyPage* page : sheet.CardPages()) {
    addresses.push_back(page->Address());
    old.emplace_back(page);
  }
  EXPECT_EQ(addresses, (std::vector<int>{2, 3, 13}));
  EXPECT_EQ(sheet.FindCardPage("TestCardPage"), sheet.CardPages().front());
  EXPECT_EQ(sheet.FindCardPage("CPropertyKLF310"), nullptr);

  // Looking at a card when the unit restarts: its tab goes and the sheet
  // shows a tab that still exists.
  sheet.Tabs()->setCurrentIndex(4);
  sheet.OnDeviceChange();
  for (const auto& page : old) EXPECT_TRUE(page.isNull()) << "old card pages are deleted";
  EXPECT_EQ(sheet.CardPages().size(), 3u);
  EXPECT_NE(dynamic_cast<CMRXPropertyPage*>(sheet.Tabs()->currentWidget()), nullptr);
}

TEST_F(SheetTest, DeviceChangeWithoutAUnitLeavesAboutAndADisabledMainUnitTab) {
  CmyMRXProperty& sheet = Open(true, kTestCards);
  sheet.Tabs()->setCurrentIndex(1);
  unit_->RefuseOpensFor(60000);
  sheet.OnDeviceChange();
  EXPECT_EQ(Captions(), (std::vector<std::string>{"Valdur", "MRX520"}));
  for (int id : {CPropertyMRX520::kSoftwareUpdate, CPropertyMRX520::kVolumeStep,
                 pages::common::kRead, pages::common::kSerial}) {
    EXPECT_FALSE(sheet.MainPage()->Control(id)->isEnabled()) << id;
  }
  // Leaving and coming back does not bring the controls back without a unit.
  sheet.Tabs()->setCurrentIndex(0);
  sheet.Tabs()->setCurrentIndex(1);
  EXPECT_FALSE(sheet.MainPage()->Control(CPropertyMRX520::kSoftwareUpdate)->isEnabled());
  EXPECT_TRUE(prompt_.Asked().empty()) << "nothing is reported to the user";

  clock_.Advance(60001);
  sheet.OnDeviceChange();
  EXPECT_EQ(Captions().size(), 5u);
  EXPECT_TRUE(sheet.MainPage()->Control(CPropertyMRX520::kSoftwareUpdate)->isEnabled());
}

TEST_F(SheetTest, EnterAndEscapeNeverCloseTheSheet) {
  CmyMRXProperty& sheet = Open();
  sheet.Tabs()->setCurrentIndex(1);
  sheet.MainPage()->Control(pages::common::kDefault)->setFocus();
  for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
    SCOPED_TRACE(key);
    QTest::keyClick(&sheet, key);
    QTest::keyClick(sheet.MainPage()->Control(pages::common::kDefault), key);
    QTest::keyClick(sheet.MainPage()->Control(CPropertyMRX520::kVolumeStep), key);
    EXPECT_TRUE(sheet.isVisible());
  }
  EXPECT_FALSE(sheet.MainPage()->IsDirty()) << "no button was pressed by Enter";
  EXPECT_TRUE(prompt_.Asked().empty());
  sheet.close();
  EXPECT_FALSE(sheet.isVisible()) << "closing the window ends the sheet";
}

TEST_F(SheetTest, ATabChangeAsksTheCurrentPageFirst) {
  struct Row {
    const char* name;
    Prompt::Answer answer;
    int index;
  } rows[] = {{"Cancel stays", Prompt::Answer::kCancel, 1}, {"No leaves", Prompt::Answer::kNo, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CmyMRXProperty& sheet = Open();
    sheet.Tabs()->setCurrentIndex(1);
    auto* list = sheet.MainPage()->Get<QComboBox>(CPropertyMRX520::kVolumeStep);
    list->setCurrentIndex(3);
    emit list->activated(3);
    prompt_.Script({row.answer});
    sheet.Tabs()->setCurrentIndex(0);
    EXPECT_EQ(sheet.Tabs()->currentIndex(), row.index);
    EXPECT_EQ(prompt_.Asked().size(), 1u);
    prompt_.Forget();
  }
}

TEST_F(SheetTest, ClosingWithEditsAsksAndCancelKeepsTheWindow) {
  CmyMRXProperty& sheet = Open();
  sheet.Tabs()->setCurrentIndex(1);
  auto* list = sheet.MainPage()->Get<QComboBox>(CPropertyMRX520::kVolumeStep);
  list->setCurrentIndex(3);
  emit list->activated(3);
  prompt_.Script({Prompt::Answer::kCancel});
  sheet.close();
  EXPECT_TRUE(sheet.isVisible());
  prompt_.Script({Prompt::Answer::kYes});
  sheet.close();
  EXPECT_FALSE(sheet.isVisible());
  EXPECT_EQ(unit_->StoredSettings(0)[77], 10);
}

// A message box during which the unit goes away and comes back: the device
// change arrives while the box's own event loop runs.
class DeviceChangeInBox final : public Prompt {
 public:
  Answer Ask(std::string_view text, Buttons, Icon) override {
    asked.emplace_back(text);
    if (during) during();
    return Answer::kNo;
  }
  std::function<void()> during;
  std::vector<std::string> asked;
};

TEST_F(SheetTest, ADeviceChangeWhileAPageAsksWaitsUntilItsHandlerHasReturned) {
  using pages::CPropertyTWR310i;
  struct Row {
    const char* name;
    const char* question;
    std::function<void(CmyMRXProperty&, CMRXPropertyPage&)> act;
  } rows[] = {
      {"Default Settings in service mode", "Reset also serial and delivery?",
       [](CmyMRXProperty&, CMRXPropertyPage& page) {
         page.Get<QPushButton>(pages::common::kDefault)->click();
       }},
      {"leaving an edited tab", "Save changes?",
       [](CmyMRXProperty& sheet, CMRXPropertyPage& page) {
         QTest::keyClicks(page.Get<QLineEdit>(CPropertyTWR310i::kName), "x");
         sheet.Tabs()->setCurrentIndex(1);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    DeviceChangeInBox box;
    CmyMRXProperty sheet(true, box, clock_);
    sheet.show();
    QPointer<CMRXPropertyPage> page = sheet.FindCardPage("CPropertyTWR310i");
    ASSERT_FALSE(page.isNull());
    sheet.Tabs()->setCurrentWidget(page);
    const int before = sheet.Discoveries();
    bool waited = false;
    box.during = [&] {
      sheet.OnDeviceChange();
      waited = !page.isNull() && sheet.Discoveries() == before;
    };
    row.act(sheet, *page);
    EXPECT_EQ(box.asked, std::vector<std::string>{row.question});
    EXPECT_TRUE(waited) << "no discovery while the box is open";
    EXPECT_FALSE(page.isNull()) << "the handler returned to its page";
    EXPECT_TRUE(QTest::qWaitFor([&] { return page.isNull(); }, 5000))
        << "the discovery runs once the handler has returned";
    EXPECT_EQ(sheet.Discoveries(), before + 1);
    EXPECT_EQ(sheet.CardPages().size(), 13u);
  }
}

// The sheet's backup menu against the in-process unit: a backup, a change
// it shows, a restore that undoes it, and a damaged file that is refused.
TEST_F(SheetTest, BackUpCompareAndRestoreThroughTheSheet) {
  // The in-process unit serves only its USB side: its KLF310 card's curves,
  // at an address nothing listens on, cannot be read.
  sim::Scenario scenario = sim::DefaultScenario();
  for (sim::ModuleRecord& m : scenario.modules) {
    if (m.type == protocol::unit::type::kKLF310) m.ip = std::array<std::uint8_t, 4>{127, 0, 0, 251};
  }
  Power(scenario);
  CmyMRXProperty& sheet = Open();
  ASSERT_EQ(sheet.BackupButton()->menu()->actions().size(), 3);
  const auto last = [&] { return prompt_.Asked().empty() ? "" : prompt_.Asked().back(); };
  testing_support::TempDir dir;
  const auto file = dir.path() / "unit.mrxb";

  // Asked whether to keep the settings without the curves: No keeps nothing.
  EXPECT_FALSE(sheet.Backups().BackUpTo(file));
  ASSERT_EQ(prompt_.Asked().size(), 1u);
  EXPECT_EQ(last().rfind("The KLF310 curves could not be read: the KLF310 at module 11 "
                         "(127.0.0.251) did not give the curve of channel 0.\n",
                         0),
            0u)
      << last();
  EXPECT_FALSE(std::filesystem::exists(file));
  prompt_.Script({Prompt::Answer::kYes});
  ASSERT_TRUE(sheet.Backups().BackUpTo(file)) << last();
  EXPECT_EQ(last().rfind("Saved the settings of 15 modules to " + file.string() + ".", 0), 0u)
      << last();

  // Level 1 of the QVO520 at 2 moved in the unit behind the backup's back.
  StoreInUnit(2, protocol::unit::Qvo520Image::kLevel1, {0x9C, 0xFF});
  ASSERT_TRUE(sheet.Backups().CompareWith(file));
  EXPECT_NE(last().find("1 difference:\nQVO520 @2: level 1 "), std::string::npos) << last();
  EXPECT_NE(last().find("→ -10.0 dB"), std::string::npos) << last();

  prompt_.Script({Prompt::Answer::kYes});
  ASSERT_TRUE(sheet.Backups().RestoreFrom(file)) << last();
  EXPECT_EQ(last().rfind("The settings of " + file.string() + " are back in the unit.", 0), 0u)
      << last();
  ASSERT_TRUE(sheet.Backups().CompareWith(file));
  EXPECT_EQ(last(), "The unit holds the settings of " + file.string() + ": no differences.");

  // A changed character in a section: refused by its checksum, nothing written.
  std::string text;
  {
    std::ifstream in(file);
    text.assign(std::istreambuf_iterator<char>(in), {});
  }
  const auto section = text.find("\nbegin module 2 ");
  ASSERT_NE(section, std::string::npos) << text;
  const auto at = text.find('\n', section + 1) + 4;
  text[at] = text[at] == 'A' ? 'B' : 'A';
  std::ofstream(file, std::ios::trunc) << text;
  const auto before = unit_->StoredSettings(2);
  prompt_.Script({Prompt::Answer::kYes});
  EXPECT_FALSE(sheet.Backups().RestoreFrom(file));
  EXPECT_NE(last().find("checksum"), std::string::npos) << last();
  EXPECT_EQ(unit_->StoredSettings(2), before);
}

// A backup of another unit: the sheet asks, naming both serials; No writes
// nothing, Yes writes it with each module's own serial kept.
TEST_F(SheetTest, AnotherUnitsBackupIsWrittenOnlyWhenTheUserSaysSo) {
  namespace pu = protocol::unit;
  CmyMRXProperty& sheet = Open();
  backup::ReadOptions options;
  options.curves = false;
  backup::ReadResult read = backup::ReadUnitBackup(unitlink::theTiroUSB, options);
  ASSERT_TRUE(read.Complete()) << read.error;
  for (backup::ModuleBackup& m : read.backup.modules) {
    if (m.address == pu::kMainUnitAddress) {
      auto identity = pu::IdentityRecord::Decode(m.image);
      identity.serial = 4321;
      identity.EncodeDateAndSerialInto(m.image);
    } else if (m.address == 2) {
      platform::PutU16(m.image, pu::Qvo520Image::kLevel1, 0xFF9C);  // -10.0 dB
    }
  }
  read.backup.serial = 4321;
  testing_support::TempDir dir;
  const auto file = dir.path() / "other.mrxb";
  std::string error;
  ASSERT_TRUE(backup::BackupFile::Save(file, read.backup, error)) << error;
  const auto before = unit_->StoredSettings(2);
  const auto last = [&] { return prompt_.Asked().empty() ? "" : prompt_.Asked().back(); };

  prompt_.Script({Prompt::Answer::kYes, Prompt::Answer::kNo});
  EXPECT_FALSE(sheet.Backups().RestoreFrom(file));
  EXPECT_EQ(last().rfind("The backup was taken from the unit with serial 4321; this unit's "
                         "serial is 1234.\n",
                         0),
            0u)
      << last();
  EXPECT_EQ(unit_->StoredSettings(2), before);

  prompt_.Script({Prompt::Answer::kYes, Prompt::Answer::kYes});
  ASSERT_TRUE(sheet.Backups().RestoreFrom(file)) << last();
  EXPECT_EQ(platform::GetU16(unit_->StoredSettings(2), pu::Qvo520Image::kLevel1), 0xFF9C);
  EXPECT_EQ(pu::IdentityRecord::Decode(unit_->StoredSettings(0)).serial, 1234);
}

}  // namespace
}  // namespace desktop::shell
