// The module page framework against the in-process simulated unit: leaving a
// page with edits, default settings, identity fields, status line, channel list.
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>

#include "desktop/pages/CPropertyMRX520.h"
#include "sim/Scenario.h"
#include "tests/desktop/pages/PageFixture.h"

namespace desktop::pages {
namespace {

using Answer = Prompt::Answer;
using P = CPropertyMRX520;
constexpr std::size_t kVolumeStep = 77;

class FrameworkTest : public PageFixture {
 protected:
  P& OpenMain(bool service = false) {
    site_.service = service;
    page_ = std::make_unique<P>(site_);
    Show(*page_, 0);
    return *page_;
  }
  std::unique_ptr<P> page_;
};

struct LeaveRow {
  const char* name;
  bool edit;
  Answer answer;
  bool left;
  std::uint8_t stored;  // volume step the unit keeps afterwards
  const char* shown;    // what the page shows afterwards
  bool asked;
};

TEST_F(FrameworkTest, LeavingAPageWithEditsAsksAndDoesWhatTheAnswerSays) {
  const LeaveRow rows[] = {
      {"Cancel keeps the page and the edit", true, Answer::kCancel, false, 5, "1.0 dB", true},
      {"No re-reads what the unit stores", true, Answer::kNo, true, 5, "0.5 dB", true},
      {"Yes writes and stores", true, Answer::kYes, true, 10, "1.0 dB", true},
      {"No edit, no question", false, Answer::kYes, true, 5, "0.5 dB", false},
  };
  for (const LeaveRow& row : rows) {
    SCOPED_TRACE(row.name);
    Power(sim::DefaultScenario());
    P& page = OpenMain();
    ASSERT_EQ(Text(page, P::kVolumeStep), "0.5 dB");
    if (row.edit) Choose(page, P::kVolumeStep, "1.0 dB");
    // An edit the user made but has not written stays out of the unit until Yes.
    site_.prompt.Forget();
    site_.prompt.Script({row.answer});
    EXPECT_EQ(page.OnKillActive(), row.left);
    EXPECT_EQ(site_.prompt.Asked(),
              row.asked ? std::vector<std::string>{"Save changes?"} : std::vector<std::string>{});
    EXPECT_EQ(unit_->StoredSettings(0)[kVolumeStep], row.stored);
    EXPECT_EQ(Text(page, P::kVolumeStep), row.shown);
    EXPECT_EQ(page.IsDirty(), !row.left);
  }
}

struct DefaultRow {
  const char* name;
  bool service;
  Answer answer;
  bool asked;
  std::uint16_t serial;
  int year, month, day;
};

TEST_F(FrameworkTest, DefaultSettingsKeepIdentityUnlessServiceModeSaysReset) {
  const platform::LocalTime today = clock_.Now();
  const DefaultRow rows[] = {
      {"User mode never asks", false, Answer::kYes, false, 1234, 2024, 3, 5},
      {"Service mode, No", true, Answer::kNo, true, 1234, 2024, 3, 5},
      {"Service mode, Yes", true, Answer::kYes, true, 100, today.year, today.month, today.day},
  };
  for (const DefaultRow& row : rows) {
    SCOPED_TRACE(row.name);
    Power(sim::DefaultScenario());
    StoreInUnit(0, kVolumeStep, {10});
    P& page = OpenMain(row.service);
    ASSERT_EQ(Text(page, P::kVolumeStep), "1.0 dB");
    site_.prompt.Forget();
    site_.prompt.Script({row.answer});
    Click(page, common::kDefault);

    EXPECT_EQ(site_.prompt.Asked().size(), row.asked ? 1u : 0u);
    const auto stored = unit_->StoredSettings(0);
    EXPECT_EQ(stored[kVolumeStep], 5) << "the unit's default";
    const auto id = protocol::unit::IdentityRecord::Decode(stored);
    EXPECT_EQ(id.serial, row.serial);
    EXPECT_EQ(2000 + id.deliveryYear, row.year);
    EXPECT_EQ(id.deliveryMonth, row.month);
    EXPECT_EQ(id.deliveryDay, row.day);
    EXPECT_EQ(Text(page, common::kSerial), P::SerialToText(row.serial));
    EXPECT_EQ(Text(page, P::kVolumeStep), "0.5 dB");
    EXPECT_TRUE(page.IsDirty()) << "leaving asks whether to store the defaults";
  }
}

// A page of a card without settings: the buttons send no chunks at all.
class BareCardPage final : public CMRXPropertyPage {
 public:
  static constexpr ControlTemplate kControls[] = {
      {common::kRead, ControlKind::kButton, "Read Settings", 8, 8, 80, 14},
      {common::kStatusLine, ControlKind::kLabel, "", 8, 30, 200, 12},
  };
  static constexpr DialogTemplate kDialog{900, "Card", 300, 100, kControls};
  explicit BareCardPage(PageSite& site) : CMRXPropertyPage(kDialog, site) {}
  const char* GetRuntimeClassName() const override { return "CPropertyKLF310"; }
};

TEST_F(FrameworkTest, AModuleWithoutSettingsSendsNoChunksButDefaultStillMarksDirty) {
  std::string error;
  auto scenario = sim::ParseScenario(
      "unit slots=1 serial=1\nmodule address=1 type=4 serial=2 settings=0\n", error);
  ASSERT_TRUE(scenario) << error;
  Power(*scenario);
  BareCardPage page(site_);
  Show(page, 1);
  const auto before = unit_->ExchangeCount();
  page.ReadSettings(1, false);
  page.WriteSettings(1);
  page.DefaultSettings();
  EXPECT_EQ(unit_->ExchangeCount(), before);
  EXPECT_TRUE(page.IsDirty());
}

TEST_F(FrameworkTest, SerialAndDeliveryRoundTripThroughTheUnit) {
  struct Row {
    const char* name;
    const char* typed;
    std::uint16_t stored;
    const char* shown;
  } rows[] = {
      {"five digits lose the first", "12345", 2345, "2345"},
      {"short serials are zero-padded", "7", 7, "0007"},
      {"no number is serial 0", "x1", 0, "0000"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Power(sim::DefaultScenario());
    P& page = OpenMain(true);
    auto* edit = page.Get<QLineEdit>(common::kSerial);
    ASSERT_TRUE(edit->isEnabled());
    edit->setMaxLength(8);  // the dialog limits typing to 4; pasted text is not
    edit->setText(QString::fromLatin1(row.typed));
    Click(page, common::kWrite);
    EXPECT_EQ(protocol::unit::IdentityRecord::Decode(unit_->StoredSettings(0)).serial, row.stored);
    Click(page, common::kRead);
    EXPECT_EQ(Text(page, common::kSerial), row.shown);
  }
}

TEST_F(FrameworkTest, OutOfRangeDeliveryBytesAreClampedBeforeTheyAreShown) {
  struct Row {
    const char* name;
    std::uint8_t year, month, day;
    QDate shown;
  } rows[] = {
      {"month 0 and day 0", 7, 0, 0, QDate(2007, 1, 1)},
      {"month 13 and day 40", 7, 13, 40, QDate(2007, 12, 31)},
      {"31 February", 24, 2, 31, QDate(2024, 2, 29)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Power(sim::DefaultScenario());
    StoreInUnit(0, 1, {row.year, row.month, row.day});
    P& page = OpenMain(true);
    EXPECT_EQ(page.Get<QDateEdit>(common::kDelivery)->date(), row.shown);
  }
}

TEST_F(FrameworkTest, StatusLineShowsTheEepromErrorOfTheLastStatusRead) {
  P& page = OpenMain();
  EXPECT_EQ(Text(page, common::kStatusLine), "");
  unit_->SetEepromError(true);
  Click(page, common::kRead);
  EXPECT_EQ(Text(page, common::kStatusLine), "EEPROM-ERROR");
  // A failed status read leaves the text as it was.
  unit_->SetEepromError(false);
  unit_->RefuseOpensFor(60000);
  page.ReadStatus();
  EXPECT_EQ(Text(page, common::kStatusLine), "EEPROM-ERROR");
  clock_.Advance(60001);
  page.ReadStatus();
  EXPECT_EQ(Text(page, common::kStatusLine), "");
}

TEST_F(FrameworkTest, ChannelListAddsTheKlf310ChannelsItFinds) {
  constexpr std::uint8_t kKlf = 11;  // the demo unit's KLF310 card
  struct Row {
    const char* name;
    bool card;
    std::uint8_t config;
    bool clearFirstName;
    int entries;
    const char* ninth;
  } rows[] = {
      {"no KLF310 card", false, 0, false, 8, nullptr},
      {"three channels (0x23)", true, 0x23, false, 11, "KLF:Front Left"},
      {"sixteen channels list fourteen", true, 16, false, 22, "KLF:Front Left"},
      {"an empty name is made up", true, 2, true, 10, "KLF:Channel 1-Left"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Power(sim::DefaultScenario());
    StoreInUnit(kKlf, 796, {row.config});
    if (row.clearFirstName) StoreInUnit(kKlf, 28 + 24, {0});
    BareCardPage klf(site_);
    Show(klf, kKlf);
    site_.card = row.card ? &klf : nullptr;
    P& page = OpenMain();
    QComboBox list;
    page.FillChannelList(&list);
    site_.card = nullptr;
    ASSERT_EQ(list.count(), row.entries);
    EXPECT_EQ(list.itemText(0).toStdString(), "Front Left");
    EXPECT_EQ(list.itemText(7).toStdString(), "Mid Right");
    if (row.ninth != nullptr) {
      EXPECT_EQ(list.itemText(8).toStdString(), row.ninth);
    }
  }
}

}  // namespace
}  // namespace desktop::pages
