// The six simple card tabs against the in-process simulated unit: image bytes
// shown and written, the column buttons, rate boxes, sliders and live
// commands (pinned as the bytes that reach the device), short images, and the
// page-class table held against the catalogue and the dialog templates.
#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QSlider>
#include <QTest>
#include <functional>
#include <vector>

#include "desktop/pages/CPropertyHEJ520.h"
#include "desktop/pages/CPropertyJOV.h"
#include "desktop/pages/CPropertyNVO310.h"
#include "desktop/pages/CPropertySIV520.h"
#include "desktop/pages/CPropertyTWR310i.h"
#include "desktop/pages/CPropertyYOR310.h"
#include "desktop/pages/PageClasses.h"
#include "desktop/widgets/CmySliderCtrl.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "sim/Scenario.h"
#include "tests/desktop/pages/PageFixture.h"
#include "tests/support/TapDeviceIo.h"

namespace desktop::pages {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Addresses of the demo unit's cards: every type at its own address.
constexpr std::uint8_t kHej = 4, kSiv = 5, kTwr = 6, kNvo = 7, kJov = 9, kYor = 10;

using Tap = testing_support::TapDeviceIo;

class CardPagesTest : public PageFixture {
 protected:
  CardPagesTest() { Tapped(); }

  void Tapped() {
    tap_ = std::make_unique<Tap>(*io_);
    unitlink::theTiroUSB.SetDeviceIo(tap_.get());
  }
  void PowerWith(const std::string& text) {
    std::string error;
    auto scenario = sim::ParseScenario(text, error);
    ASSERT_TRUE(scenario) << error;
    Power(*scenario);
    Tapped();
  }
  template <typename Page>
  Page& Open(std::uint8_t address) {
    auto page = std::make_unique<Page>(site_);
    Page& ref = *page;
    Show(ref, address);
    page_ = std::move(page);
    tap_->requests.clear();
    return ref;
  }
  bool Checked(int id) { return page_->Get<QAbstractButton>(id)->isChecked(); }
  void ClickBox(int id) { page_->Get<QAbstractButton>(id)->click(); }
  QSlider* Slider(int id) { return page_->Get<QSlider>(id); }
  void Edit(int id, const char* text) {
    auto* edit = page_->Get<QLineEdit>(id);
    edit->clear();
    QTest::keyClicks(edit, QString::fromLatin1(text));
  }
  Bytes Stored(std::uint8_t address, std::size_t at, std::size_t n) {
    const auto image = unit_->StoredSettings(address);
    return Bytes(image.begin() + static_cast<std::ptrdiff_t>(at),
                 image.begin() + static_cast<std::ptrdiff_t>(at + n));
  }
  Bytes Working(std::uint8_t address, std::size_t at, std::size_t n) {
    const auto image = unit_->WorkingSettings(address);
    return Bytes(image.begin() + static_cast<std::ptrdiff_t>(at),
                 image.begin() + static_cast<std::ptrdiff_t>(at + n));
  }

  std::unique_ptr<Tap> tap_;
  std::unique_ptr<CMRXPropertyPage> page_;
};

TEST_F(CardPagesTest, NvoShowsSwitchesFilterAndActiveGroupAndWritesThemBack) {
  using P = CPropertyNVO310;
  struct Row {
    const char* name;
    std::uint8_t disable, flags;
    std::vector<bool> enabled;  // the seven switches in image bit order
    bool highPass;
    int active;  // the checked "Active" button, 0 for none
  } rows[] = {
      {"all seven off",
       0x7F,
       0x00,
       {false, false, false, false, false, false, false},
       false,
       P::kActiveStereo},
      {"filter on, 7.1 active",
       0x00,
       0x05,
       {true, true, true, true, true, true, true},
       true,
       P::kActiveMc71},
      {"5.1 active, stereo 2 and the 7.1 input off",
       0x42,
       0x02,
       {true, false, true, true, true, true, false},
       false,
       P::kActiveMc51},
      {"group bits 3 name no group",
       0x00,
       0x06,
       {true, true, true, true, true, true, true},
       false,
       0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Power(sim::DefaultScenario());
    Tapped();
    StoreInUnit(kNvo, 120, {row.disable, 0x00, row.flags});
    Open<P>(kNvo);
    for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(Checked(P::kEnable[i]), row.enabled[i]) << i;
    EXPECT_EQ(Checked(P::kHighPass), row.highPass);
    for (int id : {P::kActiveStereo, P::kActiveMc51, P::kActiveMc71}) {
      EXPECT_EQ(Checked(id), id == row.active) << id;
    }
    Click(*page_, common::kWrite);
    EXPECT_EQ(Stored(kNvo, 120, 3), (Bytes{row.disable, 0x00, row.flags})) << "written unchanged";
  }
}

TEST_F(CardPagesTest, NvoEditsLandInTheirBits) {
  using P = CPropertyNVO310;
  Open<P>(kNvo);
  ClickBox(P::kEnable[6]);   // the 7.1 input off
  ClickBox(P::kHighPass);    // filter on
  ClickBox(P::kActiveMc51);  // the 5.1 group plays
  EXPECT_FALSE(Checked(P::kActiveStereo)) << "one group at a time";
  EXPECT_TRUE(page_->IsDirty());
  Click(*page_, common::kWrite);
  EXPECT_EQ(Stored(kNvo, 120, 3), (Bytes{0x40, 0x00, 0x03}));
}

TEST_F(CardPagesTest, ColumnButtonsSwitchOnWhenFewerThanHalfAreChecked) {
  struct Row {
    const char* name;
    std::uint8_t address;
    std::size_t bitsAt;  // the column's byte in the image
    std::uint8_t before;
    bool disableBits;  // the byte holds "off" bits
    std::uint8_t after;
  } rows[] = {
      {"SIV Enable, 4 of 8 on: all on", kSiv, 136, 0xF0, true, 0x00},
      {"SIV Enable, 5 of 8 on: all off", kSiv, 136, 0xE0, true, 0xFF},
      {"SIV CD, none: all", kSiv, 137, 0x00, false, 0xFF},
      {"SIV CD, 5 of 8: none", kSiv, 137, 0x1F, false, 0x00},
      {"HEJ Enable, 1 of 3 on: all on", kHej, 60, 0x06, true, 0x00},
      {"HEJ Enable, 2 of 3 on: all off", kHej, 60, 0x04, true, 0x07},
      {"HEJ CD, 1 of 3: all", kHej, 61, 0x02, false, 0x07},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Power(sim::DefaultScenario());
    Tapped();
    StoreInUnit(row.address, row.bitsAt, {row.before});
    const bool siv = row.address == kSiv;
    if (siv) {
      Open<CPropertySIV520>(row.address);
    } else {
      Open<CPropertyHEJ520>(row.address);
    }
    const bool enableColumn = row.disableBits;
    Click(*page_,
          siv ? (enableColumn ? CPropertySIV520::kEnableColumn : CPropertySIV520::kCdColumn)
              : (enableColumn ? CPropertyHEJ520::kEnableColumn : CPropertyHEJ520::kCdColumn));
    EXPECT_TRUE(page_->IsDirty());
    Click(*page_, common::kWrite);
    EXPECT_EQ(Stored(row.address, row.bitsAt, 1), Bytes{row.after});
  }
}

TEST_F(CardPagesTest, HejRateBoxesKeepOneRate) {
  using P = CPropertyHEJ520;
  struct Row {
    const char* name;
    std::uint8_t before;
    int click;
    std::vector<bool> shown;  // 44.1, 48, 96 after the click
    std::uint8_t stored;
  } rows[] = {
      {"96 checked, click 48", 2, 1044, {false, true, false}, 1},
      {"48 checked, click 96", 1, 1045, {false, false, true}, 2},
      {"48 checked, click 48 again: none, stores 0", 1, 1044, {false, false, false}, 0},
      {"rate 7 shows none, click 44.1", 7, 1046, {true, false, false}, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Power(sim::DefaultScenario());
    Tapped();
    StoreInUnit(kHej, 62, {row.before});
    Open<P>(kHej);
    ClickBox(row.click);
    for (std::size_t r = 0; r < 3; ++r) EXPECT_EQ(Checked(P::kRate[r]), row.shown[r]) << r;
    EXPECT_TRUE(page_->IsDirty());
    Click(*page_, common::kWrite);
    EXPECT_EQ(Stored(kHej, 62, 1), Bytes{row.stored});
  }
}

TEST_F(CardPagesTest, ChannelListsShowTheAssignmentAndSendBothOnAPick) {
  struct Row {
    const char* name;
    std::uint8_t address;
    std::size_t assignAt;
    int list1, list2;
  } rows[] = {
      {"HEJ520", kHej, 56, CPropertyHEJ520::kAssign1, CPropertyHEJ520::kAssign2},
      {"TWR310i", kTwr, 28, CPropertyTWR310i::kAssign1, CPropertyTWR310i::kAssign2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Power(sim::DefaultScenario());
    Tapped();
    StoreInUnit(row.address, row.assignAt, {4, 0, 5, 0});
    if (row.address == kHej) {
      Open<CPropertyHEJ520>(row.address);
    } else {
      Open<CPropertyTWR310i>(row.address);
    }
    EXPECT_EQ(page_->Get<QComboBox>(row.list1)->count(), 8) << "no KLF310 card: the fixed eight";
    EXPECT_EQ(Text(*page_, row.list1), "Centre");
    EXPECT_EQ(Text(*page_, row.list2), "Subwoofer");
    Choose(*page_, row.list2, "Mid Right");
    EXPECT_TRUE(page_->IsDirty());
    const Bytes frame = {0xAB, 8, row.address, 0, 0, 0, 4, 0, 7, 0, 0, 0, 0, 0};
    EXPECT_EQ(tap_->Sent(0xAB), std::vector<Bytes>{frame});
    EXPECT_EQ(Working(row.address, row.assignAt, 4), (Bytes{4, 0, 7, 0})) << "the card follows";
  }
}

TEST_F(CardPagesTest, TwrSlidersMoveTogetherWhileLinkedAndTheCardFollows) {
  using P = CPropertyTWR310i;
  struct Row {
    const char* name;
    bool link;
    Bytes live;  // data of command 157
    const char* text2;
  } rows[] = {
      {"linked", true, {0x83, 0xFF, 0x83, 0xFF, 0, 0, 0, 0}, "-12.5 dB"},
      {"unlinked", false, {0x83, 0xFF, 0x00, 0x00, 0, 0, 0, 0}, "0.0 dB"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Power(sim::DefaultScenario());
    Tapped();
    Open<P>(kTwr);
    EXPECT_TRUE(Checked(P::kLink)) << "linked when the dialog is made";
    EXPECT_NE(dynamic_cast<widgets::CmySliderCtrl*>(Slider(P::kLevel1)), nullptr);
    if (!row.link) ClickBox(P::kLink);
    Slider(P::kLevel1)->setValue(-125);
    Bytes frame = {0x9D, 8, kTwr, 0, 0, 0};
    frame.insert(frame.end(), row.live.begin(), row.live.end());
    EXPECT_EQ(tap_->Sent(0x9D), std::vector<Bytes>{frame});
    EXPECT_EQ(Text(*page_, P::kLevel1Text), "-12.5 dB");
    EXPECT_EQ(Text(*page_, P::kLevel2Text), row.text2);
    EXPECT_TRUE(page_->IsDirty());
    Click(*page_, common::kWrite);
    EXPECT_EQ(Stored(kTwr, 24, 2), (Bytes{0x83, 0xFF}));
    EXPECT_EQ(Stored(kTwr, 32, 2), Bytes(row.live.begin() + 2, row.live.begin() + 4));
  }
}

TEST_F(CardPagesTest, YorOffsetMovesReachTheCardWithoutMakingThePageDirty) {
  using P = CPropertyYOR310;
  Open<P>(kYor);
  ASSERT_EQ(Slider(P::kOffset1)->maximum(), 480);
  Slider(P::kOffset2)->setValue(240);
  EXPECT_EQ(tap_->Sent(0x9D),
            (std::vector<Bytes>{{0x9D, 8, kYor, 0, 0, 0, 0xF0, 0x00, 0xF0, 0x00, 0, 0, 0, 0}}));
  EXPECT_EQ(Text(*page_, P::kOffset1Text), "24.0 dB");
  EXPECT_EQ(Working(kYor, 24, 4), (Bytes{0xF0, 0x00, 0xF0, 0x00}));
  EXPECT_FALSE(page_->IsDirty());
}

TEST_F(CardPagesTest, LevelsOutsideTheRangeAreClampedBeforeTheyAreSent) {
  struct Row {
    const char* name;
    std::uint8_t address;
    std::size_t at;
    Bytes image;  // two i16 levels
    Bytes sent;   // what the Read button sends with command 157
  } rows[] = {
      {"TWR 500 and -301",
       kTwr,
       24,
       {0xF4, 0x01, 0, 0, 0, 0, 0, 0, 0xD3, 0xFE},
       {0x64, 0x00, 0xD4, 0xFE, 0, 0, 0, 0}},
      {"YOR -1 and 481", kYor, 24, {0xFF, 0xFF, 0xE1, 0x01}, {0x00, 0x00, 0xE0, 0x01, 0, 0, 0, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Power(sim::DefaultScenario());
    Tapped();
    auto image = unit_->StoredSettings(row.address);
    std::copy(row.image.begin(), row.image.end(),
              image.begin() + static_cast<std::ptrdiff_t>(row.at));
    ASSERT_TRUE(
        unitlink::WriteSettingsImage(unitlink::theTiroUSB, row.address, image.size(), image));
    if (row.address == kTwr) {
      Open<CPropertyTWR310i>(row.address);
    } else {
      Open<CPropertyYOR310>(row.address);
    }
    Click(*page_, common::kRead);
    Bytes frame = {0x9D, 8, row.address, 0, 0, 0};
    frame.insert(frame.end(), row.sent.begin(), row.sent.end());
    EXPECT_EQ(tap_->Sent(0x9D), std::vector<Bytes>{frame});
  }
}

TEST_F(CardPagesTest, JovBrightnessIsClampedToOneHundredAndSentWhileMoving) {
  using P = CPropertyJOV;
  StoreInUnit(kJov, 27, {150});
  Open<P>(kJov);
  EXPECT_EQ(Slider(P::kBrightness)->value(), 100);
  EXPECT_EQ(dynamic_cast<widgets::CmySliderCtrl*>(Slider(P::kBrightness)), nullptr)
      << "the plain slider";
  EXPECT_TRUE(tap_->Sent(0xAA).empty()) << "showing the image sends nothing";
  EXPECT_FALSE(page_->IsDirty());
  Click(*page_, common::kWrite);
  EXPECT_EQ(Stored(kJov, 27, 1), Bytes{100});

  Slider(P::kBrightness)->setValue(30);
  EXPECT_EQ(tap_->Sent(0xAA), (std::vector<Bytes>{{0xAA, 0, kJov, 0, 30, 0}}));
  EXPECT_EQ(Working(kJov, 27, 1), Bytes{30});
  EXPECT_TRUE(page_->IsDirty());
}

TEST_F(CardPagesTest, NamesAreCutAt15AndWrittenAsEachPageWritesThem) {
  struct Row {
    const char* name;
    std::uint8_t address;
    std::size_t at;
    int edit;
    Bytes after;  // the 16 bytes of the field after "Ab" is written over "XXXXXXXXXXXXXXXX"
  } rows[] = {
      // Zeroed first, then the name.
      {"TWR310i",
       kTwr,
       8,
       CPropertyTWR310i::kName,
       {'A', 'b', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"YOR310",
       kYor,
       8,
       CPropertyYOR310::kName,
       {'A', 'b', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"JOV520",
       kJov,
       8,
       CPropertyJOV::kName,
       {'A', 'b', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      // The name and its NUL over the old bytes.
      {"NVO310",
       kNvo,
       8,
       CPropertyNVO310::kName[0],
       {'A', 'b', 0, 'X', 'X', 'X', 'X', 'X', 'X', 'X', 'X', 'X', 'X', 'X', 'X', 'X'}},
      // The whole name block zeroed first.
      {"SIV520",
       kSiv,
       8,
       CPropertySIV520::kName[0],
       {'A', 'b', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"HEJ520",
       kHej,
       8,
       CPropertyHEJ520::kName[0],
       {'A', 'b', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Power(sim::DefaultScenario());
    Tapped();
    StoreInUnit(row.address, row.at,
                {'X', 'X', 'X', 'X', 'X', 'X', 'X', 'X', 'X', 'X', 'X', 'X', 'X', 'X', 'X', 'X'});
    switch (row.address) {
      case kTwr:
        Open<CPropertyTWR310i>(row.address);
        break;
      case kYor:
        Open<CPropertyYOR310>(row.address);
        break;
      case kJov:
        Open<CPropertyJOV>(row.address);
        break;
      case kNvo:
        Open<CPropertyNVO310>(row.address);
        break;
      case kSiv:
        Open<CPropertySIV520>(row.address);
        break;
      default:
        Open<CPropertyHEJ520>(row.address);
        break;
    }
    EXPECT_EQ(Text(*page_, row.edit), std::string(15, 'X')) << "no NUL: cut at 15";
    Edit(row.edit, "Ab");
    EXPECT_TRUE(page_->IsDirty());
    Click(*page_, common::kWrite);
    EXPECT_EQ(Stored(row.address, row.at, 16), row.after);
  }
}

// The KLF310 card's tab as far as the channel lists need it: its image.
class KlfImagePage final : public CMRXPropertyPage {
 public:
  static constexpr ControlTemplate kControls[] = {
      {common::kStatusLine, ControlKind::kLabel, "", 8, 8, 200, 12}};
  static constexpr DialogTemplate kDialog{901, "KLF310", 300, 100, kControls};
  explicit KlfImagePage(PageSite& site) : CMRXPropertyPage(kDialog, site) {}
  const char* GetRuntimeClassName() const override { return "CPropertyKLF310"; }
};

TEST_F(CardPagesTest, ChannelListsAreFilledAgainOnEveryActivation) {
  constexpr std::uint8_t kKlf = 11;
  struct Row {
    const char* name;
    std::uint8_t address;
    int list1, list2;
  } rows[] = {
      {"HEJ520", kHej, CPropertyHEJ520::kAssign1, CPropertyHEJ520::kAssign2},
      {"TWR310i", kTwr, CPropertyTWR310i::kAssign1, CPropertyTWR310i::kAssign2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Power(sim::DefaultScenario());
    Tapped();
    StoreInUnit(row.address, row.address == kHej ? 56 : 28, {9, 0, 1, 0});
    if (row.address == kHej) {
      Open<CPropertyHEJ520>(row.address);
    } else {
      Open<CPropertyTWR310i>(row.address);
    }
    EXPECT_EQ(Text(*page_, row.list1), "") << "index 9 is past the fixed eight";
    // The KLF310 card now lists three channels: the next activation shows them.
    KlfImagePage klf(site_);
    Show(klf, kKlf);
    StoreInUnit(kKlf, 796, {3});
    site_.card = &klf;
    ASSERT_TRUE(page_->OnKillActive());
    ASSERT_TRUE(page_->Activate());
    EXPECT_EQ(page_->Get<QComboBox>(row.list1)->count(), 11);
    EXPECT_EQ(page_->Get<QComboBox>(row.list2)->count(), 11);
    EXPECT_EQ(page_->Get<QComboBox>(row.list1)->currentIndex(), 9);
    EXPECT_EQ(Text(*page_, row.list2), "Front Right");
    site_.card = nullptr;
  }
}

std::unique_ptr<CMRXPropertyPage> Create(std::uint8_t type, PageSite& site) {
  return std::unique_ptr<CMRXPropertyPage>(CreateCardPage(CardPageClasses(), type, site));
}

TEST_F(CardPagesTest, AShortImageShowsWhatItHoldsAndWritesNoMore) {
  struct Row {
    const char* name;
    int type;
    int textId;          // a name edit of the page
    const char* held10;  // what it shows of an image of 10 bytes
  } types[] = {
      {"HEJ520", 4, CPropertyHEJ520::kName[2], ""},
      {"SIV520", 5, CPropertySIV520::kName[7], ""},
      {"TWR310i", 6, CPropertyTWR310i::kName, "An"},  // of "Analog Out"
      {"NVO310", 7, CPropertyNVO310::kName[6], ""},
      {"JOV520", 9, CPropertyJOV::kName, "CD"},      // of "CD Drive"
      {"YOR310", 10, CPropertyYOR310::kName, "Of"},  // of "Offset"
  };
  for (const Row& row : types) {
    for (int length : {0, 10}) {
      SCOPED_TRACE(std::string(row.name) + " settings=" + std::to_string(length));
      PowerWith("unit slots=1 serial=1\nmodule address=1 type=" + std::to_string(row.type) +
                " serial=2 settings=" + std::to_string(length) + "\n");
      page_ = Create(static_cast<std::uint8_t>(row.type), site_);
      ASSERT_NE(page_, nullptr);
      Show(*page_, 1);
      EXPECT_EQ(Text(*page_, common::kSerial), length == 0 ? "0000" : "0002");
      EXPECT_EQ(Text(*page_, row.textId), length == 0 ? "" : row.held10);
      const auto before = unit_->StoredSettings(1);
      tap_->requests.clear();
      page_->SetModified();
      Click(*page_, common::kWrite);
      for (const Bytes& frame : tap_->Sent(0x8A)) {
        EXPECT_LE(frame.size(), 6u + static_cast<std::size_t>(length)) << "no byte past the image";
      }
      EXPECT_EQ(tap_->Sent(0x8A).empty(), length == 0);
      EXPECT_EQ(unit_->StoredSettings(1), before);
    }
  }
}

// Every type code: the catalogue says whether the program has a tab for it, the
// page-class table creates exactly those, and each tab is built on its dialog
// template with the class the catalogue names.
TEST_F(CardPagesTest, PageClassTableCatalogueAndDialogTemplatesAgree) {
  struct Tab {
    int type;
    int dialog;
    const char* caption;
  } tabs[] = {
      {4, 106, "HEJ520"}, {5, 105, "SIV520"}, {6, 113, "TWR310"},
      {7, 112, "NVO310"}, {9, 114, "JOV520"}, {10, 115, "YOR310"},
  };
  std::size_t rows = 0;
  for (int code = 0; code < 256; ++code) {
    SCOPED_TRACE("type " + std::to_string(code));
    const auto type = protocol::unit::FindModuleType(static_cast<std::uint8_t>(code));
    const auto page = Create(static_cast<std::uint8_t>(code), site_);
    EXPECT_EQ(page != nullptr, type.has_value());
    if (page == nullptr) continue;
    ++rows;
    EXPECT_EQ(page->GetRuntimeClassName(), type->pageClass);
    const Tab* tab = nullptr;
    for (const Tab& t : tabs) {
      if (t.type == code) tab = &t;
    }
    if (tab == nullptr) continue;  // a tab of another part of the program
    EXPECT_EQ(page->Template().id, tab->dialog);
    EXPECT_EQ(page->Caption().toStdString(), tab->caption);
  }
  EXPECT_EQ(rows, CardPageClasses().size()) << "one row per type";
  for (const PageClass& row : CardPageClasses()) {
    EXPECT_EQ(row.name, protocol::unit::FindModuleType(row.typeCode)->pageClass);
  }
}

// The captions of the dialogs' switches and buttons, by dialog and id.
TEST_F(CardPagesTest, DialogControlsCarryTheirIdsAndCaptions) {
  struct Control {
    int type;
    int id;
    const char* caption;
  } controls[] = {
      {7, 1048, "1: Stereo"},
      {7, 1051, "4: Stereo"},
      {7, 1058, "1: MC5.1"},
      {7, 1060, "2: Stereo"},
      {7, 1064, "1: MC7.1"},
      {7, 1062, "High pass filter 1Hz/-3dB"},
      {7, 1069, "Active"},
      {7, 1072, "Active"},
      {7, 1071, "Active"},
      {5, 1015, "1: S/PDIF"},
      {5, 1027, "2: Toslink"},
      {5, 1018, "3: S/PDIF"},
      {5, 1039, "4: Toslink"},
      {5, 1021, "5: S/PDIF"},
      {5, 1042, "6: Toslink"},
      {5, 1024, "7: S/PDIF"},
      {5, 1045, "8: Toslink"},
      {5, 1017, "CD"},
      {5, 1047, "CD"},
      {5, 1030, "Enable"},
      {5, 1031, "CD"},
      {4, 1032, "1: AES"},
      {4, 1036, "2: S/PDIF"},
      {4, 1037, "3: Toslink"},
      {4, 1046, "44.1kHz/24bit"},
      {4, 1044, "48kHz/24bit"},
      {4, 1045, "96kHz/24bit"},
      {4, 1030, "Enable"},
      {4, 1031, "CD"},
  };
  for (const Control& c : controls) {
    SCOPED_TRACE("type " + std::to_string(c.type) + " control " + std::to_string(c.id));
    const auto page = Create(static_cast<std::uint8_t>(c.type), site_);
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(page->EnsureWindow());
    auto* button = page->Get<QAbstractButton>(c.id);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text().toStdString(), c.caption);
  }
  // The groups whose captions carry a doubled ampersand show one.
  struct Group {
    int type;
    const char* title;
  } groups[] = {{4, "Outut Data Rate && Channel Settings"},
                {6, "Offset, Delay && Channel Settings"},
                {10, "Offset"},
                {9, "Front - Blue LED"}};
  for (const Group& g : groups) {
    SCOPED_TRACE(g.title);
    const auto page = Create(static_cast<std::uint8_t>(g.type), site_);
    ASSERT_TRUE(page->EnsureWindow());
    bool found = false;
    for (auto* box : page->findChildren<QGroupBox*>()) found = found || box->title() == g.title;
    EXPECT_TRUE(found);
  }
}

}  // namespace
}  // namespace desktop::pages
