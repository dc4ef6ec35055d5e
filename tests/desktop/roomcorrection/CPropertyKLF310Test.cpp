// The KLF310 tab against the in-process simulated unit: what it shows of the
// card, the channel-count rule and start/stop order as they reach the card's
// stored settings, live channel records (pinned as the frame bytes sent), the
// enabling rules, the advanced dialog opened from a row, and the software
// update with what the tab says when the card falls silent.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <bit>
#include <cstring>

#include "desktop/firmware/WorkerMessages.h"
#include "desktop/pages/PageClasses.h"
#include "desktop/roomcorrection/CKLF310AdvancedDlg.h"
#include "desktop/roomcorrection/CKLF310Thread.h"
#include "desktop/roomcorrection/CPropertyKLF310.h"
#include "desktop/widgets/CEditCtrl.h"
#include "desktop/widgets/CGridCtrl.h"
#include "platform/Bytes.h"
#include "sim/Klf310Server.h"
#include "tests/desktop/pages/PageFixture.h"
#include "tests/desktop/roomcorrection/InMemoryCurves.h"
#include "tests/support/TapDeviceIo.h"
#include "tests/support/WaitFor.h"

namespace desktop::roomcorrection {
namespace {

using Bytes = std::vector<std::uint8_t>;
using P = CPropertyKLF310;
constexpr std::uint8_t kKlf = 11;  // the demo unit's KLF310 sits at its type's address

using Tap = testing_support::TapDeviceIo;

float F32(const Bytes& b, std::size_t at) {
  return std::bit_cast<float>(platform::GetU32(b, at));
}

class KLF310PageTest : public pages::PageFixture {
 protected:
  KLF310PageTest() {
    tap_ = std::make_unique<Tap>(*io_);
    unitlink::theTiroUSB.SetDeviceIo(tap_.get());
  }
  ~KLF310PageTest() override { unitlink::theTiroUSB.SetDeviceIo(nullptr); }

  P& Open() {
    page_ = std::make_unique<P>(site_);
    Show(*page_, kKlf);
    return *page_;
  }
  void Type(int id, const char* text) {
    auto* edit = page_->Get<QLineEdit>(id);
    ASSERT_NE(edit, nullptr) << id;
    edit->setText(QString::fromLatin1(text));
  }
  // The live timer of 10 ms fires in the event loop.
  void LetTheTimerFire() {
    ASSERT_TRUE(testing_support::WaitFor([&] {
      QCoreApplication::processEvents();
      return !page_->LivePending();
    }));
  }
  // Stored channel record of the card.
  Bytes Record(int channel) {
    const Bytes stored = unit_->StoredSettings(kKlf);
    const auto at = protocol::unit::Klf310Image::ChannelOffset(static_cast<std::size_t>(channel));
    return Bytes(stored.begin() + static_cast<std::ptrdiff_t>(at),
                 stored.begin() + static_cast<std::ptrdiff_t>(at + 48));
  }

  std::unique_ptr<Tap> tap_;
  std::unique_ptr<P> page_;
};

TEST_F(KLF310PageTest, TheTableRowBuildsThePageOnItsDialog) {
  std::unique_ptr<pages::CMRXPropertyPage> page(
      pages::CreateCardPage(pages::CardPageClasses(), kKlf, site_));
  ASSERT_NE(page, nullptr);
  EXPECT_STREQ(page->GetRuntimeClassName(), "CPropertyKLF310");
  EXPECT_EQ(page->Template().id, 116);
  EXPECT_EQ(page->Caption().toStdString(), "KLF310");
}

TEST_F(KLF310PageTest, ShowsTheCardsAddressesVersionsAndChannels) {
  P& page = Open();
  EXPECT_EQ(Text(page, P::kIpAddress), "127.0.0.77");
  EXPECT_EQ(Text(page, P::kSubnetMask), "255.0.0.0");
  EXPECT_EQ(Text(page, P::kMacAddress), "02-4D-52-58-03-10");
  EXPECT_TRUE(page.Get<QLineEdit>(P::kMacAddress)->isReadOnly());
  EXPECT_EQ(Text(page, P::kStatus), "V3.012, 04.11.2008");
  EXPECT_EQ(Text(page, P::kBootVersion), "Boot: V1.003, 10.06.2008");
  EXPECT_EQ(Text(page, P::kChannelCount), "6 channels");
  EXPECT_EQ(Text(page, P::kOctaveFraction), "1/3 Octave");
  // Left rows hold the even channels, right rows the odd ones.
  EXPECT_EQ(Text(page, 2050), "Front Left");
  EXPECT_EQ(Text(page, 2058), "Front Right");
  EXPECT_EQ(Text(page, 2051), "Rear Left");
  EXPECT_EQ(Text(page, 2065), "Zone 4 Right");
  EXPECT_EQ(Text(page, 2000), "20 Hz");
  EXPECT_EQ(Text(page, 2003), "500 Hz");
  EXPECT_EQ(Text(page, 2048), "0.00 ms");
  EXPECT_TRUE(page.Get<QCheckBox>(1149)->isChecked());
  EXPECT_TRUE(page.Get<QCheckBox>(1143)->isChecked()) << "channel 4 of 6 is active";
  EXPECT_FALSE(page.Get<QCheckBox>(1144)->isChecked()) << "channel 6 is not";
  EXPECT_FALSE(page.Get<QProgressBar>(P::kProgress)->isVisible());
  EXPECT_FALSE(page.IsDirty());
}

TEST_F(KLF310PageTest, ANonNumberInAStoredRecordIsShownAsZero) {
  // Channel 0's start is a NaN, its stop an infinity, as a damaged image would hold.
  StoreInUnit(kKlf, 28 + 4, {0x00, 0x00, 0xC0, 0x7F, 0x00, 0x00, 0x80, 0x7F});
  P& page = Open();
  EXPECT_EQ(Text(page, P::StartId(0)), "0 Hz");
  EXPECT_EQ(Text(page, P::StopId(0)), "0 Hz");
  EXPECT_FALSE(page.Graph(0).isNull());
}

TEST_F(KLF310PageTest, RowIdsFollowTheDialogsNumbering) {
  struct Row {
    int channel, act, start, stop, delay, name, advanced;
  } rows[] = {
      {0, 1149, 2000, 2001, 2048, 2050, 1104},  {1, 1163, 2002, 2003, 2049, 2058, 1105},
      {2, 1142, 2004, 2005, 2032, 2051, 1090},  {3, 1156, 2006, 2007, 2039, 2059, 1097},
      {14, 1148, 2028, 2029, 2038, 2057, 1096}, {15, 1162, 2030, 2031, 2045, 2065, 1103},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE("channel " + std::to_string(r.channel));
    EXPECT_EQ(P::ActiveId(r.channel), r.act);
    EXPECT_EQ(P::StartId(r.channel), r.start);
    EXPECT_EQ(P::StopId(r.channel), r.stop);
    EXPECT_EQ(P::DelayId(r.channel), r.delay);
    EXPECT_EQ(P::NameId(r.channel), r.name);
    EXPECT_EQ(P::AdvancedId(r.channel), r.advanced);
  }
}

TEST_F(KLF310PageTest, TheChannelCountRuleCorrectsWhatIsStored) {
  struct Case {
    const char* name;
    std::uint16_t serial;
    const char* chosen;
    int stored;
    bool advanced;
  } cases[] = {
      {"three become six", 100, "3 channels", 6, false},
      {"serial 112 needs ten and the advanced option", 112, "3 channels", 10, true},
      {"sixteen stay", 100, "16 channels", 16, false},
      {"serial 112 with twelve", 112, "12 channels", 12, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    site_.service = true;
    StoreInUnit(kKlf, 4,
                {static_cast<std::uint8_t>(c.serial), static_cast<std::uint8_t>(c.serial >> 8)});
    StoreInUnit(kKlf, 796, {6, 0});  // six channels, no advanced option
    P& page = Open();
    Choose(page, P::kChannelCount, c.chosen);
    EXPECT_EQ(Text(page, P::kChannelCount), std::to_string(c.stored) + " channels");
    Click(page, pages::common::kWrite);
    const Bytes stored = unit_->StoredSettings(kKlf);
    EXPECT_EQ(stored[796] & 0x1F, c.stored);
    EXPECT_EQ((stored[796] & 0x20) != 0, c.advanced);
    EXPECT_EQ(page.Get<QCheckBox>(P::kAdvancedOption)->isChecked(), c.advanced);
    // Records past the count are stored without their in-use flag.
    EXPECT_EQ(Record(c.stored - 1)[0] & 1, 1);
    if (c.stored < 16) {
      EXPECT_EQ(Record(c.stored)[0] & 1, 0);
    }
  }
}

TEST_F(KLF310PageTest, AStopBelowTheStartIsStoredInOrder) {
  P& page = Open();
  Type(P::StartId(1), "200 Hz");
  Type(P::StopId(1), "100 Hz");
  Type(P::DelayId(1), "12.5");
  Type(P::NameId(1), "Subwoofer Left");
  Click(page, pages::common::kWrite);
  const Bytes r = Record(1);
  EXPECT_EQ(F32(r, 4), 100.0F);
  EXPECT_EQ(F32(r, 8), 200.0F);
  EXPECT_EQ(F32(r, 12), 12.5F);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.data() + 24)), "Subwoofer Left");
  // Flags: in use, active, 1/3 octave, index 1.
  EXPECT_EQ(platform::GetU32(r, 0), 0x1u | 0x2u | (3u << 2) | (1u << 6));
}

TEST_F(KLF310PageTest, ALiveChangeSendsOnlyTheChangedRecordsOnce) {
  P& page = Open();
  tap_->requests.clear();
  Type(P::DelayId(2), "3.25 ms");
  Type(P::NameId(2), "Back");
  EXPECT_TRUE(page.IsDirty());
  EXPECT_TRUE(page.LivePending());
  LetTheTimerFire();
  const auto frames = tap_->Sent(175);
  ASSERT_EQ(frames.size(), 1u) << "both changes of channel 2 go out together";
  const Bytes& f = frames[0];
  ASSERT_GE(f.size(), 6u + 48u);
  EXPECT_EQ(f[0], 0xAF);
  EXPECT_EQ(f[1], 48);    // data length
  EXPECT_EQ(f[2], kKlf);  // module
  EXPECT_EQ(f[3], 2);     // channel index
  EXPECT_EQ(f[6], 1);     // the page's word, low byte, then a zero
  EXPECT_EQ(f[7], 0);
  EXPECT_EQ(platform::GetU32(f, 8), 0x1u | 0x2u | (3u << 2) | (2u << 6));
  EXPECT_EQ(std::bit_cast<float>(platform::GetU32(f, 8 + 12)), 3.25F);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.data() + 8 + 24)), "Back");
  // The running card took it.
  const auto entry = unit_->TableEntry(kKlf, 2);
  EXPECT_EQ(std::bit_cast<float>(platform::GetU32(entry, 12)), 3.25F);
  // Nothing changed since: the timer sends nothing more.
  tap_->requests.clear();
  page.SendChangedChannels();
  EXPECT_TRUE(tap_->Sent(175).empty());
}

TEST_F(KLF310PageTest, ShowingTheSettingsSendsNothingLive) {
  P& page = Open();
  tap_->requests.clear();
  Click(page, pages::common::kRead);
  EXPECT_FALSE(page.LivePending());
  EXPECT_TRUE(tap_->Sent(175).empty());
  EXPECT_FALSE(page.IsDirty());
}

TEST_F(KLF310PageTest, RowsBeyondTheCountAndWithoutTheOptionAreDisabled) {
  StoreInUnit(kKlf, 796, {8, 0});  // eight channels, no advanced option
  P& page = Open();
  EXPECT_TRUE(page.Control(P::StartId(7))->isEnabled());
  EXPECT_FALSE(page.Control(P::StartId(8))->isEnabled());
  EXPECT_FALSE(page.Control(P::NameId(15))->isEnabled());
  EXPECT_FALSE(page.Control(P::AdvancedId(0))->isEnabled()) << "needs the advanced option";
  EXPECT_FALSE(page.Control(P::kChannelCount)->isEnabled()) << "service mode only";
  EXPECT_FALSE(page.Control(P::kAdvancedOption)->isEnabled());
  EXPECT_TRUE(page.Control(P::kOctaveFraction)->isEnabled());
  EXPECT_TRUE(page.Control(P::kSoftwareUpdate)->isEnabled());
  site_.service = true;
  page.EnableControls(true);
  page.Get<QCheckBox>(P::kAdvancedOption)->click();
  EXPECT_TRUE(page.Control(P::AdvancedId(0))->isEnabled());
  EXPECT_FALSE(page.Control(P::AdvancedId(8))->isEnabled());
  page.EnableControls(false);
  EXPECT_FALSE(page.Control(P::StartId(0))->isEnabled());
  EXPECT_FALSE(page.Control(P::kSoftwareUpdate)->isEnabled());
}

TEST_F(KLF310PageTest, AdvancedOpensTheChannelsCurveAndKeepsEditsOnTheSecondPress) {
  InMemoryCurves card;
  P& page = Open();
  page.CurveTransport() = card.transport;
  card.curves[2][0].amplitude = 42;
  Click(page, P::AdvancedId(2));
  CKLF310AdvancedDlg* dlg = page.AdvancedDialog();
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(dlg->windowTitle().toStdString(), "Rear Left");
  EXPECT_EQ(dlg->Grid().Text(0, 1).toStdString(), "  4.2");
  auto* model = dlg->Grid().model();
  model->setData(model->index(0, 1), QStringLiteral("-1"));
  Click(page, P::AdvancedId(2));
  EXPECT_EQ(card.reads, 1);
  EXPECT_EQ(dlg->Grid().Text(0, 1).toStdString(), " -1.0");
  EXPECT_TRUE(site_.prompt.Asked().empty());
  // Leaving the tab hides the dialog first.
  page.SetModified(false);
  EXPECT_TRUE(page.OnKillActive());
  EXPECT_FALSE(dlg->isVisible());
}

TEST_F(KLF310PageTest, AdvancedWithoutAReachableCardSaysSo) {
  P& page = Open();
  Click(page, P::AdvancedId(0));
  EXPECT_EQ(
      site_.prompt.Asked(),
      std::vector<std::string>{"Unable to connect to KLF310. Please check cable or IP settings!"});
}

// The tab's update against the simulated card's TCP ports in this process:
// the worker flashes the carried image, leaving the tab is refused meanwhile,
// and the tab shows the new version the card reports afterwards.
// A unit whose KLF310 listens on a loopback address of this test process
// alone, so test programs running side by side never meet on its ports.
class KLF310UpdateTest : public KLF310PageTest {
 protected:
  void PowerWithCard(const sim::KlfFaults& faults = {}) {
    const auto pid = static_cast<unsigned>(getpid());
    const std::array<std::uint8_t, 4> ip{127, 0xA7, static_cast<std::uint8_t>(pid & 0xFF),
                                         static_cast<std::uint8_t>(1 + (pid >> 8) % 253)};
    sim::Scenario scenario = sim::DefaultScenario();
    for (sim::ModuleRecord& m : scenario.modules) {
      if (m.address == kKlf) m.ip = ip;
    }
    scenario.klfFaults = faults;
    Power(scenario);
    tap_ = std::make_unique<Tap>(*io_);
    unitlink::theTiroUSB.SetDeviceIo(tap_.get());
    sim::Klf310Server::Options options;
    options.restartMs = 100;
    server_ = std::make_unique<sim::Klf310Server>(*unit_, options);
    std::string error;
    ASSERT_TRUE(server_->Start(error)) << error;
  }
  ~KLF310UpdateTest() override {
    if (server_) server_->Stop();
  }
  void RunUpdate(P& page) {
    Click(page, P::kSoftwareUpdate);
    EXPECT_TRUE(page.UpdateRunning());
    ASSERT_TRUE(testing_support::WaitFor(
        [&] {
          QCoreApplication::processEvents();
          return !page.UpdateRunning();
        },
        std::chrono::seconds(90)));
  }

  std::unique_ptr<sim::Klf310Server> server_;
};

TEST_F(KLF310UpdateTest, SoftwareUpdateFlashesTheCardAndShowsItsNewVersion) {
  PowerWithCard();
  sim::Klf310Server& server = *server_;

  P& page = Open();
  const std::string before = Text(page, P::kStatus);
  Click(page, P::kSoftwareUpdate);
  EXPECT_TRUE(page.UpdateRunning());
  EXPECT_FALSE(page.Control(P::kSoftwareUpdate)->isEnabled());
  EXPECT_FALSE(page.OnKillActive()) << "the tab is not left while the card is flashed";
  ASSERT_TRUE(testing_support::WaitFor(
      [&] {
        QCoreApplication::processEvents();
        return !page.UpdateRunning();
      },
      std::chrono::seconds(60)));
  server.Stop();
  EXPECT_EQ(Text(page, P::kStatus), "V4.000, 27.01.2009");
  EXPECT_NE(Text(page, P::kStatus), before);
  EXPECT_TRUE(page.Control(P::kSoftwareUpdate)->isEnabled());
  EXPECT_EQ(site_.prompt.Asked(), std::vector<std::string>{P::kTextUpdateRunning})
      << "no failure said at the end";
}

// The blocks of the carried KLF310 image, 1400 bytes each at most.
std::uint32_t CarriedBlocks() {
  const firmware::_DoloPacket* image = firmware::FindDoloPacket(
      GetDoloBase(), firmware::kDoloKlf310, CKLF310Thread::kModel, CKLF310Thread::kComponent);
  std::uint32_t blocks = 0;
  for (const firmware::DoloSegment* s = image != nullptr ? image->segments : nullptr; s != nullptr;
       s = s->next) {
    blocks += static_cast<std::uint32_t>((s->length + CKLF310Thread::kBlockSize - 1) /
                                         CKLF310Thread::kBlockSize);
  }
  return blocks;
}

// A card that stops answering part way: the tab says the update failed and
// why, and shows the version the card still reports. Requests on the update
// port: 1 the start of the boot software, 2 the erase, then the blocks, the
// end and the start.
struct SilentCard {
  const char* name;
  bool afterBlocks;  // counted on from the first block
  std::uint32_t request;
  const char* said;
};

class KLF310SilentCardTest : public KLF310UpdateTest,
                             public ::testing::WithParamInterface<SilentCard> {};

TEST_P(KLF310SilentCardTest, TheTabSaysTheUpdateFailed) {
  const SilentCard& row = GetParam();
  sim::KlfFaults faults;
  faults.silentFrom = (row.afterBlocks ? CarriedBlocks() : 0) + row.request;
  PowerWithCard(faults);
  P& page = Open();
  const std::string before = Text(page, P::kStatus);
  RunUpdate(page);
  EXPECT_EQ(site_.prompt.Asked(), std::vector<std::string>{row.said});
  EXPECT_EQ(Text(page, P::kStatus), before) << "the card keeps its old software";
  EXPECT_TRUE(page.Control(P::kSoftwareUpdate)->isEnabled());
}

void PrintTo(const SilentCard& row, std::ostream* os) {
  *os << row.name;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, KLF310SilentCardTest,
    ::testing::Values(
        SilentCard{"AtTheErase", false, 2, P::kTextSilent},
        SilentCard{"AtTheLastBlock", true, 2, P::kTextBlocks},
        SilentCard{"AtTheEndOfTheDownload", true, 3,
                   "The KLF310 software update failed: the card now reports V3.012, not the new "
                   "V4.000."}),
    [](const ::testing::TestParamInfo<SilentCard>& p) { return std::string(p.param.name); });

TEST_F(KLF310PageTest, WorkerMessagesMoveTheProgressBarAndStatusLine) {
  P& page = Open();
  page.BeginUpdate();
  EXPECT_TRUE(page.Get<QProgressBar>(P::kProgress)->isVisibleTo(&page));
  EXPECT_FALSE(page.Control(P::kSoftwareUpdate)->isEnabled());
  EXPECT_FALSE(page.Control(P::StartId(0))->isEnabled());
  EXPECT_FALSE(page.Control(pages::common::kWrite)->isEnabled());
  page.WorkerTarget().Post(firmware::WM_WORKER_STARTED, 0);
  page.WorkerTarget().Post(firmware::WM_WORKER_STATUS, 40,
                           "40%: Download of V3.013 in progress (51200 Bytes/s) ...",
                           firmware::StatusParam(firmware::StatusKind::kProgress));
  ASSERT_TRUE(testing_support::WaitFor([&] {
    QCoreApplication::processEvents();
    return page.Get<QProgressBar>(P::kProgress)->value() == 40;
  }));
  EXPECT_EQ(Text(page, P::kStatus), "40%: Download of V3.013 in progress (51200 Bytes/s) ...");
  page.WorkerTarget().Post(firmware::WM_WORKER_FINISHED, 1, {},
                           static_cast<std::intptr_t>(firmware::UpdateReason::kDone));
  ASSERT_TRUE(testing_support::WaitFor([&] {
    QCoreApplication::processEvents();
    return !page.UpdateRunning();
  }));
  // The versions are read again from the card's descriptor, which does not
  // bear out the worker's word.
  EXPECT_EQ(Text(page, P::kStatus), "V3.012, 04.11.2008");
  EXPECT_EQ(site_.prompt.Asked(),
            std::vector<std::string>{"The KLF310 software update failed: the card now reports "
                                     "V3.012, not the new V4.000."});
  EXPECT_EQ(Text(page, P::kBootVersion), "Boot: V1.003, 10.06.2008");
  EXPECT_FALSE(page.Get<QProgressBar>(P::kProgress)->isVisibleTo(&page));
  EXPECT_TRUE(page.Control(P::kSoftwareUpdate)->isEnabled());
  EXPECT_TRUE(page.Control(P::StartId(0))->isEnabled());
}

TEST_F(KLF310PageTest, TheBandGraphsAreDrawnAtTheirControlsSize) {
  P& page = Open();
  for (int side : {0, 1}) {
    const QImage& graph = page.Graph(side);
    EXPECT_FALSE(graph.isNull());
    EXPECT_EQ(graph.size(), page.Control(side == 0 ? P::kGraphLeft : P::kGraphRight)->size());
  }
  // Switching channel 0 off takes its band off the left graph.
  const QImage before = page.Graph(0);
  page.Get<QCheckBox>(P::ActiveId(0))->click();
  LetTheTimerFire();
  EXPECT_NE(page.Graph(0), before);
}

}  // namespace
}  // namespace desktop::roomcorrection
