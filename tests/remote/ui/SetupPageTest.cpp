// The setup pages against a recording link: what they send, when they close,
// and what they make of blocks that do not fit them.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSlider>
#include <QTabBar>
#include <functional>
#include <memory>

#include "../../support/QtTestApp.h"
#include "../../support/WaitFor.h"
#include "../link/RecordingLink.h"
#include "platform/Bytes.h"
#include "platform/Clock.h"
#include "protocol/remote/ListEntry.h"
#include "protocol/remote/MainUnitBlock.h"
#include "protocol/remote/RemoteFrame.h"
#include "protocol/remote/RemoteProtocol.h"
#include "protocol/unit/Klf310Image.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/PhonoImage.h"
#include "protocol/unit/Twr310iImage.h"
#include "remote/ui/SetupPageDisplay.h"
#include "remote/ui/SetupPageFactory.h"
#include "remote/ui/SetupPageJov520.h"
#include "remote/ui/SetupPageKlf310.h"
#include "remote/ui/SetupPageMainUnit.h"
#include "remote/ui/SetupPagePhono.h"
#include "remote/ui/SetupPageQvo520.h"
#include "remote/ui/SetupPageTwr310i.h"
#include "remote/ui/SetupPageYor310.h"

namespace remote::ui {
namespace {

namespace pr = protocol::remote;
namespace pu = protocol::unit;
using Bytes = std::vector<std::uint8_t>;

constexpr int kTwrSlot = 6;

// A block as the unit sends it: header, then `settings` (zeros past them).
Bytes BlockPayload(int slot, int subAddress, Bytes settings) {
  Bytes payload(pr::ModuleBlock::kHeaderSize, 0);
  platform::PutU32(payload, 0, pr::ModuleBlock::Header(slot, subAddress));
  payload.insert(payload.end(), settings.begin(), settings.end());
  return payload;
}

// Settings bytes of a card image field at `imageOffset`.
std::size_t At(std::size_t imageOffset) {
  return BlockBindings::CardOffset(imageOffset) - pr::ModuleBlock::kOffSettings;
}

class SetupPageTest : public ::testing::Test {
 protected:
  SetupPageTest() : state(link, platform::DefaultClock()) { testing_support::TestApplication(); }

  void Receive(std::uint16_t record, const Bytes& payload) {
    state.Dispatch(pr::RemoteFrame{record, 0, payload}.Encode());
  }
  // Delivers a block and lets the page take it.
  bool Deliver(SetupPage& page, const Bytes& payload) {
    Receive(pr::kRecModuleBlock, payload);
    return Settle([&] { return page.BlockValid(); });
  }
  template <typename Condition>
  bool Settle(Condition done) {
    return testing_support::WaitFor([&] {
      QCoreApplication::processEvents();
      return done();
    });
  }
  void Ack() {
    Receive(pr::kRecWriteAck, {});
    QCoreApplication::processEvents();
  }
  std::vector<std::uint16_t> Sent() const { return link.Commands(); }

  // A TWR310i image block: name "Lounge", levels -120 and 40, channels 2 and 3.
  static Bytes TwrSettings() {
    Bytes s(At(pu::Twr310iImage::kEnd), 0);
    const char name[] = "Lounge";
    std::copy(name, name + 6, s.begin() + static_cast<std::ptrdiff_t>(At(pu::Twr310iImage::kName)));
    platform::PutU16(s, At(pu::Twr310iImage::kLevel1), static_cast<std::uint16_t>(-120));
    platform::PutU16(s, At(pu::Twr310iImage::kLevel2), 40);
    platform::PutU16(s, At(pu::Twr310iImage::kAssign1), 2);
    platform::PutU16(s, At(pu::Twr310iImage::kAssign2), 3);
    return s;
  }

  link::RecordingLink link;
  link::UnitState state;
};

// What a page does from opening to closing, step by step.
enum class Step {
  kBlock,
  kEdit,
  kSave,
  kDefault,
  kRestore,
  kAck,
  kRequestTick,
  kWriteTick,
  kLinkDown,
  kLinkUp
};

struct FlowRow {
  const char* name;
  bool linkUp;
  std::vector<Step> steps;
  std::vector<std::uint16_t> sent;
  bool closed;
  bool waiting;
};

void PrintTo(const FlowRow& row, std::ostream* os) {
  *os << row.name;
}

class SetupPageFlowTest : public SetupPageTest, public ::testing::WithParamInterface<FlowRow> {};

TEST_P(SetupPageFlowTest, SendsAndClosesAsTheUserExpects) {
  const FlowRow& row = GetParam();
  link.open = row.linkUp;
  SetupPageTwr310i page(state, kTwrSlot);
  page.Open();
  for (Step step : row.steps) {
    switch (step) {
      case Step::kBlock:
        ASSERT_TRUE(Deliver(page, BlockPayload(kTwrSlot, 0, TwrSettings())));
        break;
      case Step::kEdit:
        page.NameEdit()->setText("Kitchen");
        break;
      case Step::kSave:
        page.Save();
        break;
      case Step::kDefault:
        page.Default();
        break;
      case Step::kRestore:
        page.Restore();
        break;
      case Step::kAck:
        Ack();
        break;
      case Step::kRequestTick:
        page.OnRequestTimer();
        break;
      case Step::kWriteTick:
        page.OnWriteTimer();
        break;
      case Step::kLinkDown:
        link.open = false;
        break;
      case Step::kLinkUp:
        link.open = true;
        break;
    }
  }
  EXPECT_EQ(Sent(), row.sent);
  EXPECT_EQ(page.IsClosed(), row.closed);
  EXPECT_EQ(page.Waiting(), row.waiting);
  EXPECT_EQ(page.cursor().shape() == Qt::WaitCursor, row.waiting);
  // Every request and write names the page's module in its header word.
  for (const auto& s : link.sent) {
    ASSERT_GE(s.payload.size(), 2u);
    EXPECT_EQ(platform::GetU16(s.payload, 0) & pr::ModuleBlock::kModuleBits,
              pr::ModuleBlock::Header(kTwrSlot, 0));
  }
}

constexpr std::uint16_t kReq = pr::kReqBlock;
constexpr std::uint16_t kWrite = pr::kCmdWriteBlock;

INSTANTIATE_TEST_SUITE_P(
    Rows, SetupPageFlowTest,
    ::testing::Values(
        FlowRow{"SavingWithoutAChangeSendsNothingAndCloses",
                true,
                {Step::kBlock, Step::kSave},
                {kReq},
                true,
                false},
        FlowRow{"DefaultThenSaveWritesTheDefaults",
                true,
                {Step::kBlock, Step::kDefault, Step::kBlock, Step::kSave},
                {kReq, pr::kCmdDefaultBlock, kReq, kWrite},
                false,
                true},
        FlowRow{"TheAcknowledgementClosesASave",
                true,
                {Step::kBlock, Step::kEdit, Step::kSave, Step::kAck},
                {kReq, kWrite},
                true,
                false},
        FlowRow{"RestoreAsksAgain",
                true,
                {Step::kBlock, Step::kRestore},
                {kReq, pr::kCmdRestoreBlock, kReq},
                false,
                true},
        FlowRow{"OpenedWhileTheLinkIsDownKeepsAsking",
                false,
                {Step::kRequestTick, Step::kRequestTick},
                {kReq, kReq, kReq},
                false,
                true},
        FlowRow{"SaveBeforeAnyBlockClosesWithoutWriting",
                false,
                {Step::kRequestTick, Step::kSave},
                {kReq, kReq},
                true,
                false},
        FlowRow{"NoAcknowledgementGivesUpAfterSixWrites",
                true,
                {Step::kBlock, Step::kEdit, Step::kSave, Step::kWriteTick, Step::kWriteTick,
                 Step::kWriteTick, Step::kWriteTick, Step::kWriteTick, Step::kWriteTick},
                {kReq, kWrite, kWrite, kWrite, kWrite, kWrite, kWrite},
                true,
                false},
        // The link drops after the block came: the save keeps trying and the
        // page keeps the edit until the link is back and the unit takes it.
        FlowRow{"ADroppedLinkKeepsThePageAndItsEdits",
                true,
                {Step::kBlock, Step::kEdit, Step::kLinkDown, Step::kSave, Step::kWriteTick,
                 Step::kWriteTick, Step::kWriteTick, Step::kWriteTick, Step::kWriteTick,
                 Step::kWriteTick, Step::kWriteTick, Step::kWriteTick},
                {kReq, kWrite, kWrite, kWrite, kWrite, kWrite, kWrite, kWrite, kWrite, kWrite},
                false,
                true},
        FlowRow{"ADroppedLinkThatComesBackFinishesTheSave",
                true,
                {Step::kBlock, Step::kEdit, Step::kLinkDown, Step::kSave, Step::kWriteTick,
                 Step::kWriteTick, Step::kWriteTick, Step::kWriteTick, Step::kWriteTick,
                 Step::kWriteTick, Step::kWriteTick, Step::kLinkUp, Step::kWriteTick, Step::kAck},
                {kReq, kWrite, kWrite, kWrite, kWrite, kWrite, kWrite, kWrite, kWrite, kWrite},
                true,
                false}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(SetupPageTest, SaveWritesTheEditedFieldsAndNothingElse) {
  SetupPageTwr310i page(state, kTwrSlot);
  page.Open();
  Bytes settings = TwrSettings();
  // Bytes the page has no control for stay as the unit sent them.
  settings[At(pu::Twr310iImage::kEnd) - 1] = 0x5A;
  settings.push_back(0x77);
  ASSERT_TRUE(Deliver(page, BlockPayload(kTwrSlot, 0, settings)));
  EXPECT_EQ(page.NameEdit()->text(), "Lounge");
  EXPECT_EQ(page.Levels()[0].bar->value(), -120);
  EXPECT_EQ(page.Levels()[0].value->text(), "-12.0 dB");
  EXPECT_EQ(page.Channels()[1]->currentText(), "Rear Right");
  EXPECT_TRUE(link.sent.size() == 1) << "showing a block sends no live value";

  page.NameEdit()->setText("Kitchen");
  page.Save();
  ASSERT_EQ(link.sent.size(), 2u);
  const auto& write = link.sent.back();
  EXPECT_EQ(write.command, pr::kCmdWriteBlock);
  // The TWR310i image's 26 settings bytes after the header, nothing more.
  ASSERT_EQ(write.payload.size(), pr::ModuleBlock::kHeaderSize + 26);
  EXPECT_EQ(platform::GetU32(write.payload, 0), pr::ModuleBlock::Header(kTwrSlot, 0, false));
  Bytes expected = settings;
  expected.resize(26);
  const char name[16] = "Kitchen";
  std::copy(name, name + 16,
            expected.begin() + static_cast<std::ptrdiff_t>(At(pu::Twr310iImage::kName)));
  EXPECT_EQ(Bytes(write.payload.begin() + 4, write.payload.end()), expected);
}

TEST_F(SetupPageTest, MovingAControlSendsItsLiveValue) {
  SetupPageTwr310i page(state, kTwrSlot);
  page.Open();
  ASSERT_TRUE(Deliver(page, BlockPayload(kTwrSlot, 0, TwrSettings())));
  page.Levels()[1].bar->setValue(-55);
  ASSERT_EQ(link.sent.back().command, pr::kCmdLiveValue66);
  EXPECT_EQ(link.sent.back().payload,
            (Bytes{0x06, 0x00, 0x88, 0xFF, 0xC9, 0xFF, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(page.Levels()[1].value->text(), "-5.5 dB");
  // A channel chosen is written at once, as a live write that keeps the page open.
  page.Channels()[0]->setCurrentIndex(5);
  emit page.Channels()[0]->activated(5);
  ASSERT_EQ(link.sent.back().command, pr::kCmdWriteBlock);
  EXPECT_EQ(platform::GetU32(link.sent.back().payload, 0),
            pr::ModuleBlock::Header(kTwrSlot, 0, true));
  Ack();
  EXPECT_FALSE(page.IsClosed());
}

// What each page sends while the user moves a control, byte for byte.
struct LiveRow {
  const char* name;
  int slot;
  std::uint8_t type;
  Bytes settings;
  std::function<void(QWidget*)> act;
  std::uint16_t command;
  Bytes payload;
};

void PrintTo(const LiveRow& row, std::ostream* os) {
  *os << row.name;
}

class SetupPageLiveTest : public SetupPageTest, public ::testing::WithParamInterface<LiveRow> {};

TEST_P(SetupPageLiveTest, SendsTheLiveValue) {
  const LiveRow& row = GetParam();
  std::unique_ptr<QWidget> widget(CreateSetupPage(state, row.slot, 0, row.type));
  auto* page = dynamic_cast<SetupPage*>(widget.get());
  ASSERT_NE(page, nullptr);
  page->Open();
  ASSERT_TRUE(Deliver(*page, BlockPayload(row.slot, 0, row.settings)));
  ASSERT_EQ(link.sent.size(), 1u) << "showing the block sends nothing";
  row.act(widget.get());
  ASSERT_TRUE(Settle([&] { return link.sent.size() > 1; }));
  EXPECT_EQ(link.sent.back().command, row.command);
  EXPECT_EQ(link.sent.back().payload, row.payload);
}

// Display levels (value, minimum, maximum) in the unit's order; timer 5 min.
Bytes DisplaySettings() {
  Bytes s = {12, 0,   15, 2, 0,   15, 32, 0,   63, 10, 0,  20,   50,
             0,  100, 30, 0, 100, 50, 0,  100, 6,  0,  15, 0x2C, 0x01};
  return s;
}

// Band records 0 and 1 in use: 20-500 Hz, 1/3 octave.
Bytes KlfSettings() {
  using Ch = pu::Klf310Channel;
  Bytes s(pr::ModuleBlock::kMaxSettings, 0);
  for (std::size_t k = 0; k < 2; ++k) {
    const std::size_t at = At(pu::Klf310Image::ChannelOffset(k));
    platform::PutU32(s, at + Ch::kFlags, Ch::kInUseBit | (3u << Ch::kFractionShift));
    platform::PutU32(s, at + Ch::kStart, 0x41A00000);  // 20.0f
    platform::PutU32(s, at + Ch::kStop, 0x43FA0000);   // 500.0f
    s[at + Ch::kReserved] = 0xEE;                      // held as it came
  }
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SetupPageLiveTest,
    ::testing::Values(
        LiveRow{"Qvo520ChannelChosen",
                2,
                pu::type::kQVO520,
                Bytes(40, 0),
                [](QWidget* w) {
                  auto* c = static_cast<SetupPageQvo520*>(w)->Channels()[2];
                  c->setCurrentIndex(7);
                  emit c->activated(7);
                },
                pr::kCmdLiveValue69,
                {0x02, 0x00, 0x00, 0x07}},
        LiveRow{"PhonoCurveChosen",
                8,
                pu::type::kBUZ310,
                Bytes(230, 0),
                [](QWidget* w) {
                  auto* c = static_cast<SetupPagePhono*>(w)->Curve();
                  c->setCurrentIndex(4);
                  emit c->activated(4);
                },
                pr::kCmdLiveValue56,
                {0x08, 0x04}},
        LiveRow{"PhonoGainMoved",
                1,
                pu::type::kQVI520,
                Bytes(230, 0),
                [](QWidget* w) { static_cast<SetupPagePhono*>(w)->Gain().bar->setValue(66); },
                pr::kCmdLiveValue67,
                {0x01, 66, 0x00}},
        LiveRow{"Jov520LedMoved",
                9,
                pu::type::kJOV520,
                Bytes(20, 0),
                [](QWidget* w) { static_cast<SetupPageJov520*>(w)->Led().bar->setValue(80); },
                pr::kCmdLiveValue70,
                {0x09, 0x00, 80, 0x00}},
        LiveRow{
            "Yor310OffsetMoved",
            10,
            pu::type::kYOR310,
            Bytes(20, 0),
            [](QWidget* w) { static_cast<SetupPageYor310*>(w)->Offsets()[0].bar->setValue(300); },
            pr::kCmdLiveValue66,
            {0x0A, 0x00, 0x2C, 0x01, 0, 0, 0, 0, 0, 0}},
        LiveRow{
            "DisplayContrastMoved",
            14,
            pu::type::kFront26,
            DisplaySettings(),
            [](QWidget* w) { static_cast<SetupPageDisplay*>(w)->Levels()[2].bar->setValue(40); },
            pr::kCmdLiveValue70,
            {0x2E, 0x00, 40, 0x00}},
        LiveRow{"DisplayTimerChosen",
                14,
                pu::type::kFront26,
                DisplaySettings(),
                [](QWidget* w) {
                  auto* c = static_cast<SetupPageDisplay*>(w)->AltScreen();
                  c->setCurrentIndex(9);
                  emit c->activated(9);
                },
                pr::kCmdLiveValue70,
                {0x8E, 0x00, 0x10, 0x0E}},
        // Start above stop goes out swapped; 100 ms after the change.
        LiveRow{"Klf310BandEdited", 11, pu::type::kKLF310, KlfSettings(),
                [](QWidget* w) {
                  auto& k = *static_cast<SetupPageKlf310*>(w);
                  k.Tabs()->setCurrentIndex(1);
                  k.Active()->setChecked(true);
                  k.Start()->setValue(5000);
                  k.Stop()->setValue(100);
                  k.Delay()->setValue(150);
                },
                pr::kCmdLiveValue63,
                [] {
                  Bytes b = {0x4F, 0x00, 0x00, 0x00,  // in use, active, 1/3 octave, band 1
                             0x00, 0x00, 0xC8, 0x42,  // 100.0f
                             0x00, 0x40, 0x9C, 0x45,  // 5000.0f
                             0x00, 0x00, 0xC0, 0x3F,  // 1.5f ms
                             0xEE};
                  b.resize(48, 0);
                  return b;
                }()}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(SetupPageTest, MainUnitPageShowsTheDeliveryDateWord) {
  SetupPageMainUnit page(state);
  page.Open();
  EXPECT_EQ(link.sent.at(0).payload, (Bytes{0x01, 0x00})) << "slot 0, sub-address 1";
  pr::MainUnitBlock r;
  r.volumeStep = 5;
  r.clockDisplay = true;
  r.firmwareMajor = 2;
  r.firmwareMinor = 105;
  r.firmwareDay = 5;
  r.firmwareMonth = 3;
  r.firmwareYear = 2024;
  r.serial = 42;
  r.deliveryDate = 0x1A2B;
  const auto bytes = r.Encode();
  ASSERT_TRUE(Deliver(page, Bytes(bytes.begin(), bytes.end())));
  EXPECT_EQ(page.Serial()->text(), "Serial-# 01-0042 - 11.01.2013");
  EXPECT_EQ(page.Firmware()->text(), "Firmware V2.105 - 05.03.2024");
  EXPECT_EQ(page.VolumeStep()->currentText(), "0.5 dB");
  EXPECT_EQ(page.Language()->currentText(), "English");
  EXPECT_EQ(page.ClockDisplay()->currentText(), "on");

  page.VolumeStep()->setCurrentIndex(page.VolumeStep()->findText("1.0 dB"));
  page.Language()->setCurrentIndex(1);
  page.Save();
  ASSERT_EQ(link.sent.back().command, pr::kCmdWriteBlock);
  ASSERT_EQ(link.sent.back().payload.size(), pr::MainUnitBlock::kSize);
  EXPECT_EQ(platform::GetU16(link.sent.back().payload, pr::MainUnitBlock::kOffOptions),
            10 | pr::MainUnitBlock::kLanguageBit | pr::MainUnitBlock::kClockDisplayBit);
}

// Blocks that do not fit a page are shown clamped or blank, never read past
// their end, and go back unchanged when the user changes nothing.
struct BadInputRow {
  const char* name;
  std::function<std::unique_ptr<SetupPage>(link::UnitState&)> page;
  Bytes payload;
  std::function<void(SetupPage&)> check;
};

void PrintTo(const BadInputRow& row, std::ostream* os) {
  *os << row.name;
}

class SetupPageBadInputTest : public SetupPageTest,
                              public ::testing::WithParamInterface<BadInputRow> {};

TEST_P(SetupPageBadInputTest, ShowsWhatFitsAndSavesNothingUnchanged) {
  const BadInputRow& row = GetParam();
  auto page = row.page(state);
  page->Open();
  ASSERT_TRUE(Deliver(*page, row.payload));
  row.check(*page);
  page->Save();
  EXPECT_EQ(Sent(), std::vector<std::uint16_t>{pr::kReqBlock}) << "nothing to write";
  EXPECT_TRUE(page->IsClosed());
}

std::unique_ptr<SetupPage> Twr(link::UnitState& s) {
  return std::make_unique<SetupPageTwr310i>(s, kTwrSlot);
}
Bytes TwrWith(const std::function<void(Bytes&)>& change) {
  Bytes s(At(pu::Twr310iImage::kEnd), 0);
  change(s);
  return BlockPayload(kTwrSlot, 0, s);
}
SetupPageTwr310i& AsTwr(SetupPage& p) {
  return static_cast<SetupPageTwr310i&>(p);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SetupPageBadInputTest,
    ::testing::Values(
        BadInputRow{"NameWithoutItsNul", Twr, TwrWith([](Bytes& s) {
                      std::fill_n(
                          s.begin() + static_cast<std::ptrdiff_t>(At(pu::Twr310iImage::kName)), 16,
                          'A');
                    }),
                    [](SetupPage& p) { EXPECT_EQ(AsTwr(p).NameEdit()->text(), QString(15, 'A')); }},
        BadInputRow{"LevelsBeyondTheirRange", Twr, TwrWith([](Bytes& s) {
                      platform::PutU16(s, At(pu::Twr310iImage::kLevel1), 5000);
                      platform::PutU16(s, At(pu::Twr310iImage::kLevel2),
                                       static_cast<std::uint16_t>(-32768));
                    }),
                    [](SetupPage& p) {
                      EXPECT_EQ(AsTwr(p).Levels()[0].bar->value(), 100);
                      EXPECT_EQ(AsTwr(p).Levels()[1].bar->value(), -300);
                    }},
        BadInputRow{"ChannelOutsideTheList", Twr, TwrWith([](Bytes& s) {
                      platform::PutU16(s, At(pu::Twr310iImage::kAssign1), 99);
                    }),
                    [](SetupPage& p) {
                      EXPECT_EQ(AsTwr(p).Channels()[0]->currentIndex(), -1);
                      EXPECT_EQ(AsTwr(p).Channels()[0]->currentText(), "");
                    }},
        BadInputRow{"BlockShorterThanTheMapping", Twr, BlockPayload(kTwrSlot, 0, {'H', 'i'}),
                    [](SetupPage& p) {
                      EXPECT_EQ(AsTwr(p).NameEdit()->text(), "Hi");
                      EXPECT_EQ(AsTwr(p).Levels()[1].bar->value(), 0);
                    }},
        BadInputRow{"PhonoCurveOutsideTheSlots",
                    [](link::UnitState& s) { return std::make_unique<SetupPagePhono>(s, 1); },
                    BlockPayload(1, 0,
                                 [] {
                                   Bytes b(At(pu::PhonoImage::kEnd), 0);
                                   b[At(pu::PhonoImage::kSelectedCurve)] = 9;
                                   b[At(pu::PhonoImage::kGain)] = 250;
                                   return b;
                                 }()),
                    [](SetupPage& p) {
                      auto& phono = static_cast<SetupPagePhono&>(p);
                      EXPECT_EQ(phono.Curve()->currentIndex(), -1);
                      EXPECT_EQ(phono.Gain().bar->value(), pu::PhonoImage::kGainField.max);
                    }},
        BadInputRow{"VolumeStepTheListDoesNotOffer",
                    [](link::UnitState& s) { return std::make_unique<SetupPageMainUnit>(s); },
                    BlockPayload(0, 1, {3, 0}),
                    [](SetupPage& p) {
                      EXPECT_EQ(static_cast<SetupPageMainUnit&>(p).VolumeStep()->currentText(),
                                "0.3 dB");
                    }},
        BadInputRow{"DisplayRangeUpsideDownAndUnknownTimer",
                    [](link::UnitState& s) { return std::make_unique<SetupPageDisplay>(s, 14); },
                    BlockPayload(14, 0, {200, 90, 10, 5, 1, 9, 0, 0, 0, 0, 0, 0,    0,
                                         0,   0,  0,  0, 0, 0, 0, 0, 0, 0, 0, 0x20, 0x1C}),
                    [](SetupPage& p) {
                      auto& d = static_cast<SetupPageDisplay&>(p);
                      EXPECT_EQ(d.Levels()[0].bar->minimum(), 10);
                      EXPECT_EQ(d.Levels()[0].bar->maximum(), 90);
                      EXPECT_EQ(d.Levels()[0].bar->value(), 90);
                      EXPECT_EQ(d.Levels()[1].bar->value(), 5);
                      EXPECT_EQ(d.AltScreen()->currentIndex(), -1) << "7200 s is no item";
                    }}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(SetupPageTest, ABlockForAnotherModuleIsNotThePagesBlock) {
  SetupPageTwr310i page(state, kTwrSlot);
  page.Open();
  Receive(pr::kRecModuleBlock, BlockPayload(kTwrSlot + 1, 0, TwrSettings()));
  QCoreApplication::processEvents();
  EXPECT_FALSE(page.BlockValid());
  EXPECT_TRUE(page.Waiting());
  EXPECT_TRUE(page.Requesting());
}

// Slots and types outside the lists open nothing; every catalogued card has a page.
TEST_F(SetupPageTest, PagesExistExactlyForTheKnownModules) {
  for (const pu::ModuleType& t : pu::kModuleTypes) {
    SCOPED_TRACE(std::string(t.model));
    EXPECT_TRUE(HasSetupPage(3, t.code));
    std::unique_ptr<QWidget> page(CreateSetupPage(state, 3, 0, t.code));
    EXPECT_NE(page, nullptr);
  }
  EXPECT_FALSE(HasSetupPage(3, 12));
  EXPECT_EQ(CreateSetupPage(state, 3, 0, 12), nullptr);
  EXPECT_EQ(CreateSetupPage(state, 16, 0, pu::type::kTWR310i), nullptr);
  EXPECT_EQ(CreateSetupPage(state, -1, 0, pu::type::kTWR310i), nullptr);
  std::unique_ptr<QWidget> main(CreateSetupPage(state, 0, 1, pu::kMainUnit.code));
  EXPECT_NE(dynamic_cast<SetupPageMainUnit*>(main.get()), nullptr);
}

TEST_F(SetupPageTest, SetupMenuRowsFollowTheModuleList) {
  auto entry = [](int slot, std::uint8_t type, const char* name) {
    pr::ListEntry e;
    e.slot = static_cast<std::uint8_t>(slot);
    e.input = pr::ListEntry::kModuleInput;
    e.type = type;
    e.firstName = name;
    return e;
  };
  // The listing: a card, the room-correction card, an unnamed card, an unknown one.
  const pr::ListEntry entries[] = {entry(0, 0, "MRX520"),
                                   entry(6, pu::type::kTWR310i, "TWR310i"),
                                   entry(11, pu::type::kKLF310, "KLF310"),
                                   entry(9, pu::type::kJOV520, ""),
                                   entry(12, 12, "Unknown"),
                                   entry(13, pu::type::kFront26, "Front26")};
  std::uint8_t sequence = 0;
  for (pr::ListEntry e : entries) {
    e.sequence = sequence++;
    Receive(pr::kRecListEntry, e.Encode());
  }
  std::vector<std::string> texts;
  for (const SetupPageRow& row : SetupPageRows(state)) {
    texts.push_back(row.menuText + "@" + std::to_string(row.slot) + "/" +
                    std::to_string(row.subAddress));
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"MRX520@0/1", "TWR310i@6/0", "Front26@13/0",
                                             "MRX520@0/1", "Output@0/0", "Display@13/0"}));
}

}  // namespace
}  // namespace remote::ui
