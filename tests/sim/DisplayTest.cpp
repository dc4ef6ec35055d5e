// The simulated unit's front display as command 17 reads it: what a user
// recognises of the unit's state, and the fault of a partly answering display.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string_view>

#include "desktop/unitlink/CTiroUSB.h"
#include "desktop/unitlink/DisplayPicture.h"
#include "platform/Clock.h"
#include "protocol/remote/RemoteProtocol.h"
#include "sim/SimDeviceIo.h"
#include "sim/SimUnit.h"

namespace sim {
namespace {

namespace rl = protocol::remote;
using desktop::unitlink::DisplayPicture;

constexpr std::uint8_t kFrontAddress = 14;

// Bands of the screen (display rows, first and last) where each thing is drawn.
struct Band {
  const char* name;
  int first;
  int last;
};
constexpr Band kClock{"clock", 4, 10};
constexpr Band kSource{"source", 56, 69};
constexpr Band kVolume{"volume", 82, 95};
constexpr Band kMeter{"meter", 102, 119};
constexpr Band kBands[] = {kClock, kSource, kVolume, kMeter};

class SimDisplayTest : public ::testing::Test {
 protected:
  explicit SimDisplayTest(Scenario scenario = DefaultScenario())
      : unit(std::move(scenario), clock), io(unit), usb(&io) {
    usb.SetDeviceName("\\\\.\\MRXUSBDevice0");
  }
  int Read(DisplayPicture& picture) {
    return desktop::unitlink::ReadDisplayPicture(usb, kFrontAddress, 0, picture);
  }
  // Whether the two pictures differ inside a band.
  static bool Differ(const DisplayPicture& a, const DisplayPicture& b, const Band& band) {
    for (int y = 2 + 2 * band.first; y < 2 + 2 * (band.last + 1); ++y) {
      for (int x = 0; x < DisplayPicture::kWidth; ++x) {
        if (a.Pixel(x, y) != b.Pixel(x, y)) return true;
      }
    }
    return false;
  }

  platform::VirtualClock clock;
  SimUnit unit;
  SimDeviceIo io;
  desktop::unitlink::CTiroUSB usb;
};

TEST_F(SimDisplayTest, PictureChangesWhereTheStateThatChangedIsDrawn) {
  const std::uint8_t digital1[] = {5, 0};      // the SIV520 card's first input
  const std::uint8_t volume[] = {0x83, 0xFF};  // -12.5 dB
  const struct {
    const char* name;
    std::function<void()> change;
    const Band& changed;
    bool meterMoves;  // louder, or time passed
  } rows[] = {
      {"source selected", [&] { ASSERT_TRUE(unit.ApplyRemoteCommand(rl::kCmdSource, digital1)); },
       kSource, false},
      {"volume set", [&] { ASSERT_TRUE(unit.ApplyRemoteCommand(rl::kCmdVolume, volume)); }, kVolume,
       true},
      {"a minute later", [&] { clock.Sleep(60'000); }, kClock, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    // The meter moves with time: both pictures are taken at the same moment.
    auto before = std::make_unique<DisplayPicture>();
    ASSERT_EQ(Read(*before), 128);
    row.change();
    auto after = std::make_unique<DisplayPicture>();
    ASSERT_EQ(Read(*after), 128);
    for (const Band& band : kBands) {
      const std::string_view name = band.name;
      if (name == kMeter.name && row.meterMoves) continue;
      EXPECT_EQ(Differ(*before, *after, band), name == row.changed.name) << name;
    }
  }
}

TEST_F(SimDisplayTest, PeakMeterMovesWithTimeAndStopsWhenMuted) {
  auto first = std::make_unique<DisplayPicture>();
  auto later = std::make_unique<DisplayPicture>();
  ASSERT_EQ(Read(*first), 128);
  bool moved = false;
  for (int step = 0; step < 10 && !moved; ++step) {
    clock.Sleep(100);
    ASSERT_EQ(Read(*later), 128);
    moved = Differ(*first, *later, kMeter);
  }
  EXPECT_TRUE(moved);

  ASSERT_TRUE(unit.ApplyRemoteCommand(rl::kCmdMute, {}));
  ASSERT_EQ(Read(*first), 128);
  EXPECT_TRUE(Differ(*first, *later, kVolume)) << "the volume gives way to Muted";
  clock.Sleep(100);
  ASSERT_EQ(Read(*later), 128);
  EXPECT_FALSE(Differ(*first, *later, kMeter));
}

class SimPartialDisplayTest : public SimDisplayTest {
 protected:
  static Scenario SixtyFourRows() {
    Scenario s = DefaultScenario();
    s.faults.displayRows = 64;
    return s;
  }
  SimPartialDisplayTest() : SimDisplayTest(SixtyFourRows()) {}
};

TEST_F(SimPartialDisplayTest, AnswersOnlyTheFirstRows) {
  auto picture = std::make_unique<DisplayPicture>();
  EXPECT_EQ(Read(*picture), 64);
}

}  // namespace
}  // namespace sim
