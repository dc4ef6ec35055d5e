// The front display tab against the in-process simulated unit: the sliders'
// ranges and commands, the display picture row by row, and saving it.
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <functional>
#include <optional>
#include <vector>

#include "desktop/pages/CPropertyFront26.h"
#include "platform/DeviceIo.h"
#include "protocol/remote/RemoteProtocol.h"
#include "tests/desktop/pages/PageFixture.h"
#include "tests/platform/ImageFixtures.h"
#include "tests/support/TempDir.h"

namespace desktop::pages {
namespace {

using P = CPropertyFront26;
using Picture = unitlink::DisplayPicture;

// Request and reply bytes as the wire carries them (typed from the frame layout).
constexpr std::size_t kCode = 0;
constexpr std::size_t kModule = 2;
constexpr std::size_t kArg2 = 4;
constexpr std::size_t kReplyData = 6;
constexpr std::uint8_t kReadDisplayRow = 17;
constexpr std::uint8_t kReadDisplayLevels = 33;
constexpr int kFrontAddress = 14;  // the demo unit's Front26

// The unit's wire with a test watching: every request is kept, and a test may
// answer a request itself (true/false) instead of the unit (nothing).
class WatchedIo final : public platform::DeviceIo {
 public:
  explicit WatchedIo(platform::DeviceIo& unit) : unit_(unit) {}
  Handle Open(std::string_view path) override { return unit_.Open(path); }
  bool Control(Handle handle, std::uint32_t code, std::span<const std::uint8_t> in,
               std::span<std::uint8_t> out, std::uint32_t* returned) override {
    requests.emplace_back(in.begin(), in.end());
    if (answer) {
      if (const auto result = answer(in, out)) return *result;
    }
    return unit_.Control(handle, code, in, out, returned);
  }
  void Close(Handle handle) override { unit_.Close(handle); }

  std::vector<std::vector<std::uint8_t>> requests;
  std::function<std::optional<bool>(std::span<const std::uint8_t>, std::span<std::uint8_t>)> answer;

 private:
  platform::DeviceIo& unit_;
};

// The page with its save dialog answered by the test.
class TestFront26 final : public P {
 public:
  using P::P;
  std::optional<std::filesystem::path> savePath;

 protected:
  std::optional<std::filesystem::path> AskSavePath() override { return savePath; }
};

class Front26PageTest : public PageFixture {
 protected:
  Front26PageTest() { Watch(); }
  void Watch() {
    watched_ = std::make_unique<WatchedIo>(*io_);
    unitlink::theTiroUSB.SetDeviceIo(watched_.get());
  }
  void PowerAndWatch(const sim::Scenario& scenario) {
    Power(scenario);
    Watch();
  }
  TestFront26& Open() {
    page_ = std::make_unique<TestFront26>(site_);
    Show(*page_, kFrontAddress);
    return *page_;
  }
  QSlider* Slider(int id) { return page_->Get<QSlider>(id); }
  // Rows of bitmap pixels (frame columns included) from `first` to `last`.
  static std::vector<std::uint8_t> Rows(const Picture& p, int first, int last) {
    std::vector<std::uint8_t> out;
    for (int y = first; y <= last; ++y) {
      for (int x = 0; x < Picture::kWidth; ++x) out.push_back(p.Pixel(x, y));
    }
    return out;
  }

  std::unique_ptr<WatchedIo> watched_;
  std::unique_ptr<TestFront26> page_;
};

TEST_F(Front26PageTest, SlidersTakeTheirTriplesFromCommand33) {
  Open();
  const auto levels = unit_->DisplayLevels();
  // Slider and the index of its triple in the reply.
  const struct {
    int id;
    std::size_t triple;
  } rows[] = {{1011, 0}, {1015, 1}, {1094, 7}, {1016, 2},
              {1019, 3}, {1095, 6}, {1018, 4}, {1020, 5}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.id);
    QSlider* slider = Slider(row.id);
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->minimum(), levels[row.triple].min);
    EXPECT_EQ(slider->maximum(), levels[row.triple].max);
    EXPECT_EQ(slider->value(), levels[row.triple].value);
  }
}

TEST_F(Front26PageTest, FailedCommand33GivesEverySliderZeroToZero) {
  watched_->answer = [](auto in, auto) -> std::optional<bool> {
    if (in[kCode] == kReadDisplayLevels) return false;
    return std::nullopt;
  };
  Open();
  for (const P::Slider& s : P::kSliders) {
    SCOPED_TRACE(s.id);
    EXPECT_EQ(Slider(s.id)->minimum(), 0);
    EXPECT_EQ(Slider(s.id)->maximum(), 0);
    EXPECT_EQ(Slider(s.id)->value(), 0);
  }
}

TEST_F(Front26PageTest, EachSliderSendsItsCommandAtOnceAndActivationSendsNone) {
  // Slider, the command it sends (address 0, value in arg2), and its triple.
  const struct {
    int id;
    std::uint8_t command;
    std::size_t triple;
  } rows[] = {{1011, 146, 0}, {1015, 150, 1}, {1094, 155, 7}, {1016, 151, 2},
              {1019, 152, 3}, {1095, 148, 6}, {1018, 147, 4}, {1020, 162, 5}};
  Open();
  // Setting ranges and positions on activation is not a user's move.
  for (const auto& r : watched_->requests) {
    for (const auto& row : rows) EXPECT_NE(r[kCode], row.command) << "sent on activation";
  }
  for (const auto& row : rows) {
    SCOPED_TRACE(row.id);
    watched_->requests.clear();
    QSlider* slider = Slider(row.id);
    const int wanted = slider->maximum() - 1;
    slider->setValue(wanted);
    ASSERT_EQ(watched_->requests.size(), 1u);
    const auto& sent = watched_->requests.front();
    EXPECT_EQ(sent[kCode], row.command);
    EXPECT_EQ(sent[kModule], 0);
    EXPECT_EQ(sent[kArg2], wanted);
    EXPECT_EQ(unit_->DisplayLevels()[row.triple].value, wanted);
  }
}

TEST_F(Front26PageTest, ValueOutsideTheReportedRangeIsClampedBeforeSending) {
  // A unit reporting contrast 200 in 10 ... 40 and a maximum below its minimum.
  watched_->answer = [](auto in, auto out) -> std::optional<bool> {
    if (in[kCode] != kReadDisplayLevels) return std::nullopt;
    out[kReplyData + 3 * 2] = 200;
    out[kReplyData + 3 * 2 + 1] = 10;
    out[kReplyData + 3 * 2 + 2] = 40;
    out[kReplyData + 3 * 3] = 7;
    out[kReplyData + 3 * 3 + 1] = 20;
    out[kReplyData + 3 * 3 + 2] = 5;
    return true;
  };
  Open();
  EXPECT_EQ(Slider(P::kContrast)->value(), 40);
  watched_->requests.clear();
  Slider(P::kContrast)->triggerAction(QSlider::SliderSingleStepSub);
  Slider(P::kContrast)->triggerAction(QSlider::SliderToMaximum);
  Slider(P::kPeakmeterDelay)->triggerAction(QSlider::SliderToMaximum);
  std::vector<int> contrastSent;
  for (const auto& r : watched_->requests) {
    if (r[kCode] == 151) contrastSent.push_back(r[kArg2]);
    if (r[kCode] == 152) {
      EXPECT_EQ(r[kArg2], 20) << "outside a range of 20 ... 5";
    }
  }
  EXPECT_EQ(contrastSent, (std::vector<int>{39, 40}));
}

TEST_F(Front26PageTest, PictureIsTheDisplayInTwoByTwoBlocksInsideABlueFrame) {
  // Row 5 lights only its first pixel (word 1 = 0x8000); every other row is dark.
  watched_->answer = [](auto in, auto out) -> std::optional<bool> {
    if (in[kCode] != kReadDisplayRow) return std::nullopt;
    if (in[kArg2] == 5) {
      out[kReplyData + 2] = 0x00;
      out[kReplyData + 3] = 0x80;
    }
    return true;
  };
  const Picture& p = Open().Picture();
  ASSERT_EQ(p.Picture().width, 483);
  ASSERT_EQ(p.Picture().height, 259);
  const platform::EncoderColour white{255, 255, 255}, blue{0, 0, 255};
  ASSERT_EQ(p.Picture().palette, (std::vector<platform::EncoderColour>{white, blue}));
  const struct {
    const char* name;
    int x, y;
    std::uint8_t index;
  } rows[] = {
      {"lit pixel, top left", 2, 12, 0},   {"lit pixel, top right", 3, 12, 0},
      {"lit pixel, bottom", 3, 13, 0},     {"next pixel dark", 4, 12, 1},
      {"row above dark", 2, 11, 1},        {"row below dark", 2, 14, 1},
      {"last display pixel", 481, 257, 1}, {"frame top", 100, 0, 1},
      {"frame bottom", 100, 258, 1},       {"frame left", 0, 100, 1},
      {"frame right", 482, 100, 1},        {"gap column inside frame", 1, 100, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(p.Pixel(row.x, row.y), row.index);
  }
  // Control 1007 shows it at its own size, centred, bottom edge kept.
  const QLabel* control = page_->Get<QLabel>(P::kPicture);
  EXPECT_EQ(control->size(), QSize(483, 259));
  EXPECT_LE(std::abs(control->x() * 2 + 483 - page_->width()), 1);
  EXPECT_LE(control->geometry().bottom(), page_->height());
  EXPECT_FALSE(control->pixmap().isNull());
}

TEST_F(Front26PageTest, UnitAnsweringOnlySixtyFourRowsKeepsTheRestOfTheOldPicture) {
  sim::Scenario partial = sim::DefaultScenario();
  partial.faults.displayRows = 64;
  constexpr int kFirstUnread = 2 + 2 * 64;

  // On the first picture the rows never read stay blank (white) inside the frame.
  PowerAndWatch(partial);
  const Picture& first = Open().Picture();
  for (int y = kFirstUnread; y < 258; ++y) {
    for (int x = 1; x < 482; ++x) ASSERT_EQ(first.Pixel(x, y), Picture::kWhite) << x << "," << y;
  }

  // A full picture, then the unit in standby answering 64 rows: the top shows
  // the standby screen, the rows below are the old picture's.
  PowerAndWatch(sim::DefaultScenario());
  TestFront26& page = Open();
  const auto fullTop = Rows(page.Picture(), 1, kFirstUnread - 1);
  const auto fullBottom = Rows(page.Picture(), kFirstUnread, 258);
  PowerAndWatch(partial);
  ASSERT_TRUE(unit_->ApplyRemoteCommand(protocol::remote::kCmdPowerOff, {}));
  watched_->requests.clear();
  Click(page, P::kScreenshot);
  std::size_t rowReads = 0;
  for (const auto& r : watched_->requests) rowReads += r[kCode] == kReadDisplayRow ? 1 : 0;
  EXPECT_EQ(rowReads, 65u) << "rows 0-63 and the first refused one";
  EXPECT_EQ(Rows(page.Picture(), kFirstUnread, 258), fullBottom);
  EXPECT_NE(Rows(page.Picture(), 1, kFirstUnread - 1), fullTop);
}

TEST_F(Front26PageTest, SaveScreenWritesTheFormatOfTheExtension) {
  testing_support::TempDir dir;
  TestFront26& page = Open();
  const struct {
    const char* file;
    const char* identified;  // empty: nothing written
  } rows[] = {
      {"shot.bmp", "BMP3 483x259 2"},
      {"shot.GIF", "GIF 483x259 2"},
      {"shot.txt", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file);
    page.savePath = dir.path() / row.file;
    Click(page, P::kSaveScreen);
    if (*row.identified == '\0') {
      EXPECT_FALSE(std::filesystem::exists(dir.path() / row.file));
    } else {
      EXPECT_EQ(testing_support::Identify(dir.path() / row.file), row.identified);
    }
  }
  // A cancelled dialog writes nothing.
  page.savePath.reset();
  Click(page, P::kSaveScreen);
  EXPECT_EQ(testing_support::FilesIn(dir.path()).size(), 2u);
}

}  // namespace
}  // namespace desktop::pages
