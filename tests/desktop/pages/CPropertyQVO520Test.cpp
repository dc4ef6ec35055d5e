// The QVO520 tab against the in-process simulated unit: when Update is
// offered, the mode rule, the board identity written with command 153, and a
// processor download from the tab with the tab held while it runs.
#include <QDateEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <optional>

#include "desktop/pages/CPropertyQVO520.h"
#include "platform/Bytes.h"
#include "tests/desktop/pages/PageFixture.h"
#include "tests/support/WaitFor.h"

namespace desktop::pages {
namespace {

namespace pu = protocol::unit;
using Bytes = std::vector<std::uint8_t>;
using P = CPropertyQVO520;
constexpr std::uint8_t kCard = 2;

// Forwards to the unit, keeps the frames sent, and answers command 36 for the
// left processor with a record the test chooses.
class RecordIo final : public platform::DeviceIo {
 public:
  explicit RecordIo(platform::DeviceIo& inner) : inner_(inner) {}
  Handle Open(std::string_view path) override { return inner_.Open(path); }
  void Close(Handle h) override { inner_.Close(h); }
  bool Control(Handle h, std::uint32_t code, std::span<const std::uint8_t> in,
               std::span<std::uint8_t> out, std::uint32_t* returned) override {
    {
      std::lock_guard lock(mutex_);
      requests_.emplace_back(in.begin(), in.end());
    }
    if (loseAnswerOf && in[0] == *loseAnswerOf) {
      // The answer is lost on the way back; the unit took the request or not.
      if (takeLost) inner_.Control(h, code, in, out, returned);
      return false;
    }
    const bool ok = inner_.Control(h, code, in, out, returned);
    if (ok && left && in[0] == 0x24 && in[4] == 0) {
      const auto bytes = left->Encode();
      std::copy(bytes.begin(), bytes.end(), out.begin() + 6);
    }
    return ok;
  }
  std::vector<Bytes> Sent(std::uint8_t code) {
    std::lock_guard lock(mutex_);
    std::vector<Bytes> frames;
    for (const Bytes& r : requests_) {
      if (r[0] == code) frames.push_back(r);
    }
    return frames;
  }
  std::optional<pu::ProcessorRecord> left;
  std::optional<std::uint8_t> loseAnswerOf;
  bool takeLost = false;

 private:
  platform::DeviceIo& inner_;
  std::mutex mutex_;
  std::vector<Bytes> requests_;
};

class QvoPageTest : public PageFixture {
 protected:
  QvoPageTest() {
    tap_ = std::make_unique<RecordIo>(*io_);
    unitlink::theTiroUSB.SetDeviceIo(tap_.get());
  }
  ~QvoPageTest() override { page_.reset(); }
  P& Open() {
    page_ = std::make_unique<P>(site_);
    Show(*page_, kCard);
    return *page_;
  }
  pu::ProcessorRecord Record(int p) {
    return pu::ProcessorRecord::Decode(unit_->ProcessorRecord(kCard, p));
  }
  QPushButton* Button(int id) { return page_->Get<QPushButton>(id); }

  std::unique_ptr<RecordIo> tap_;
  std::unique_ptr<P> page_;
};

TEST_F(QvoPageTest, ShowsBothProcessorsDecoded) {
  Open();
  EXPECT_EQ(Text(*page_, P::kHwType[0]), "ZEL520");
  EXPECT_EQ(Text(*page_, P::kSwType[0]), "DSP V2.005, 14.03.2008 (orig)");
  EXPECT_EQ(Text(*page_, P::kSwSecond[0]), "PFC V1.002,  5.11.2007");
  EXPECT_EQ(Text(*page_, P::kBoardSerial[1]), "1202");
  EXPECT_EQ(page_->Get<QDateEdit>(P::kBoardDate[1])->date(), QDate(2008, 9, 15));
  const auto reads = tap_->Sent(0x24);
  ASSERT_GE(reads.size(), 2u);
  EXPECT_EQ(reads[0][4], 1) << "the right record is read first";
  EXPECT_EQ(reads[1][4], 0);
}

// When Update is offered for the left processor (the carried package is
// ZEL520 / DSP V2.009 of 24.08.2008).
struct OfferRow {
  const char* name;
  bool service;
  int model, major, minor;
  pu::PackedDate date;
  bool visible, enabled;
};
void PrintTo(const OfferRow& row, std::ostream* os) {
  *os << row.name;
}

class UpdateOfferTest : public QvoPageTest, public ::testing::WithParamInterface<OfferRow> {};

TEST_P(UpdateOfferTest, UpdateButton) {
  const OfferRow& row = GetParam();
  site_.service = row.service;
  pu::ProcessorRecord r = Record(0);
  r.model = static_cast<std::uint8_t>(row.model);
  r.major = static_cast<std::uint8_t>(row.major);
  r.minor = static_cast<std::uint16_t>(row.minor);
  r.date = row.date;
  tap_->left = r;
  Open();
  EXPECT_EQ(Button(P::kUpdate[0])->isVisibleTo(page_.get()), row.visible);
  EXPECT_EQ(Button(P::kUpdate[0])->isEnabled(), row.enabled);
  EXPECT_EQ(Button(P::kEeWrite[0])->isVisibleTo(page_.get()), row.visible && row.service);
  EXPECT_EQ(page_->Control(P::kBoardSerial[0])->isEnabled(), row.visible && row.service);
}

constexpr pu::PackedDate kOld{14, 3, 2008}, kCarried{24, 8, 2008};
INSTANTIATE_TEST_SUITE_P(
    Rows, UpdateOfferTest,
    ::testing::Values(
        OfferRow{"OlderSoftwareIsOffered", false, 4, 2, 5, kOld, true, true},
        OfferRow{"OnlyTheDateDiffersIsOffered", false, 4, 2, 9, kOld, true, true},
        OfferRow{"IdenticalSoftwareIsNot", false, 4, 2, 9, kCarried, true, false},
        OfferRow{"IdenticalSoftwareInServiceMode", true, 4, 2, 9, kCarried, true, true},
        OfferRow{"SpecialBuildMajor0Minor1000", false, 4, 0, 1000, kOld, true, false},
        OfferRow{"SpecialBuildMajor0Minor1023", false, 4, 0, 1023, kOld, true, false},
        OfferRow{"SpecialBuildInServiceMode", true, 4, 0, 1000, kOld, true, true},
        OfferRow{"Major0Minor999IsOffered", false, 4, 0, 999, kOld, true, true},
        OfferRow{"NoPackageForTheModel", true, 3, 2, 5, kOld, true, false},
        OfferRow{"EmptyHardwareTypeHidesTheButtons", true, 9, 2, 5, kOld, false, false}),
    [](const auto& testRow) { return std::string(testRow.param.name); });

TEST_F(QvoPageTest, MonoBiAmpingDisablesTheSecondAndThirdList) {
  Open();
  Choose(*page_, P::kMode, "Mono - Bi-Amping");
  EXPECT_FALSE(page_->Control(1029)->isEnabled());
  EXPECT_FALSE(page_->Control(1036)->isEnabled());
  EXPECT_TRUE(page_->Control(1034)->isEnabled());
  EXPECT_TRUE(page_->Control(1037)->isEnabled());
  EXPECT_EQ(tap_->Sent(0xAC).back(), (Bytes{0xAC, 2, kCard, 0, 0, 0, 0x00, 0x00}));
  Choose(*page_, P::kMode, "Stereo (ZEL520)");
  EXPECT_TRUE(page_->Control(1029)->isEnabled());
  EXPECT_TRUE(page_->Control(1036)->isEnabled());
  EXPECT_EQ(tap_->Sent(0xAC).back(), (Bytes{0xAC, 2, kCard, 0, 0, 0, 0x01, 0x00}));
}

TEST_F(QvoPageTest, ALevelMoveSendsAllFourLevelsAndShowsItsText) {
  Open();
  page_->Get<QSlider>(P::kLevel[2])->setValue(-125);
  EXPECT_EQ(Text(*page_, P::kLevelText[2]), "-12.5 dB");
  EXPECT_EQ(tap_->Sent(0x9D).back(),
            (Bytes{0x9D, 8, kCard, 0, 0, 0, 0, 0, 0, 0, 0x83, 0xFF, 0, 0}));
  EXPECT_TRUE(page_->IsDirty());
}

TEST_F(QvoPageTest, EeWriteSendsTheBoardIdentity) {
  site_.service = true;
  Open();
  auto* serial = page_->Get<QLineEdit>(P::kBoardSerial[1]);
  serial->clear();
  QTest::keyClicks(serial, "12345");
  page_->Get<QDateEdit>(P::kBoardDate[1])->setDate(QDate(2024, 3, 5));
  Click(*page_, P::kEeWrite[1]);
  Bytes want = {0x99, 28, kCard, 0, 1, 0, 1, 24, 3, 5, 0x29, 0x09, 0x01, 0x00};
  want.resize(6 + 28, 0);
  EXPECT_EQ(tap_->Sent(0x99).back(), want);
  EXPECT_EQ(Record(1).board.serial, 12345u);
}

TEST_F(QvoPageTest, ADownloadFromTheTabHoldsTheTabAndShowsTheNewVersion) {
  Open();
  ASSERT_TRUE(Button(P::kUpdate[0])->isEnabled());
  Click(*page_, P::kUpdate[0]);
  EXPECT_TRUE(page_->DownloadRunning());
  EXPECT_FALSE(Button(P::kUpdate[1])->isEnabled());
  EXPECT_FALSE(page_->Control(P::kLevel[3])->isEnabled());
  EXPECT_FALSE(page_->Control(common::kWrite)->isEnabled());
  EXPECT_TRUE(page_->Control(P::kProgress)->isVisibleTo(page_.get()));
  EXPECT_FALSE(page_->OnKillActive()) << "the tab cannot be left";
  ASSERT_FALSE(site_.prompt.Asked().empty());
  EXPECT_EQ(site_.prompt.Asked().back(), P::kTextDownloadRunning);

  ASSERT_TRUE(testing_support::WaitFor([&] {
    QCoreApplication::processEvents();
    return !page_->DownloadRunning();
  }));
  EXPECT_EQ(Text(*page_, P::kSwType[0]), "DSP V2.009, 24.08.2008 (update)");
  EXPECT_EQ(Text(*page_, P::kDownloadText), "");
  EXPECT_FALSE(page_->Control(P::kProgress)->isVisibleTo(page_.get()));
  EXPECT_FALSE(Button(P::kUpdate[0])->isEnabled()) << "the same software is not offered again";
  EXPECT_TRUE(Button(P::kUpdate[1])->isEnabled());
  EXPECT_TRUE(page_->Control(P::kLevel[3])->isEnabled());
  EXPECT_EQ(tap_->Sent(0xA6).size(), 1094u + 489u);
}

// The end of a download whose answer never came is decided by the version the
// processor reports afterwards, not by the lost answer.
TEST_F(QvoPageTest, AnUnansweredEndIsDecidedByTheVersionTheProcessorReports) {
  struct Row {
    const char* name;
    bool taken;
    const char* shown;
    bool done;
  } rows[] = {
      {"the unit took the end", true, "DSP V2.009, 24.08.2008 (update)", true},
      {"the end never reached the unit", false, "DSP V2.005, 14.03.2008 (orig)", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Power(sim::DefaultScenario());
    tap_ = std::make_unique<RecordIo>(*io_);
    unitlink::theTiroUSB.SetDeviceIo(tap_.get());
    tap_->loseAnswerOf = 0xA7;
    tap_->takeLost = row.taken;
    Open();
    ASSERT_TRUE(Button(P::kUpdate[0])->isEnabled());
    Click(*page_, P::kUpdate[0]);
    ASSERT_TRUE(testing_support::WaitFor([&] {
      QCoreApplication::processEvents();
      return !page_->DownloadRunning();
    }));
    EXPECT_EQ(Text(*page_, P::kSwType[0]), row.shown);
    EXPECT_EQ(Text(*page_, P::kDownloadText).empty(), row.done) << Text(*page_, P::kDownloadText);
    EXPECT_EQ(site_.updates, std::vector<bool>{row.done});
    site_.updates.clear();
  }
}

}  // namespace
}  // namespace desktop::pages
