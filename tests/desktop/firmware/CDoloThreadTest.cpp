// The unit download worker against the in-process simulator, on virtual time,
// with faults injected between the transport and the unit.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <mutex>

#include "desktop/firmware/CDoloThread.h"
#include "desktop/firmware/WorkerMessages.h"
#include "platform/Bytes.h"
#include "platform/RecordingTarget.h"
#include "protocol/unit/Frame.h"
#include "sim/SimDeviceIo.h"
#include "sim/SimUnit.h"

namespace desktop::firmware {
namespace {

namespace ul = desktop::unitlink;

constexpr std::uint8_t kErase = 0x8E, kEraseBoot = 0x8F, kBegin = 0x85, kBlock = 0x86, kEnd = 0x87,
                       kStart = 0x8D;

// Every frame that reached the unit, with the virtual time it was sent; and a
// block address whose writes fail a given number of times.
class RecordingIo final : public platform::DeviceIo {
 public:
  struct Frame {
    std::uint8_t code;
    std::vector<std::uint8_t> data;
    std::uint64_t at;
    bool ok;
  };
  RecordingIo(sim::SimUnit& unit, platform::Clock& clock)
      : unit_(unit), inner_(unit), clock_(clock) {}

  Handle Open(std::string_view path) override { return inner_.Open(path); }
  void Close(Handle h) override { inner_.Close(h); }
  bool Control(Handle h, std::uint32_t code, std::span<const std::uint8_t> in,
               std::span<std::uint8_t> out, std::uint32_t* returned) override {
    Frame f{in[protocol::unit::RequestHeader::kCode],
            {in.begin() + protocol::unit::RequestHeader::kSize, in.end()},
            clock_.Milliseconds(),
            false};
    bool inject = false;
    {
      std::lock_guard lock(mutex_);
      if (f.code == kBlock && platform::GetU32(f.data, 0) == failAddress_ && failuresLeft_ > 0) {
        --failuresLeft_;
        inject = true;
      }
      // The unit is unplugged as this block goes out, and stays away.
      if (f.code == kBlock && platform::GetU32(f.data, 0) == vanishAddress_) {
        unit_.RefuseOpensFor(24 * 3600 * 1000);
      }
    }
    f.ok = !inject && inner_.Control(h, code, in, out, returned);
    std::lock_guard lock(mutex_);
    frames_.push_back(f);
    return f.ok;
  }
  void FailBlock(std::uint32_t address, int times) {
    std::lock_guard lock(mutex_);
    failAddress_ = address;
    failuresLeft_ = times;
  }
  void VanishAtBlock(std::uint32_t address) {
    std::lock_guard lock(mutex_);
    vanishAddress_ = address;
  }
  std::vector<Frame> Frames() {
    std::lock_guard lock(mutex_);
    return frames_;
  }

 private:
  sim::SimUnit& unit_;
  sim::SimDeviceIo inner_;
  platform::Clock& clock_;
  std::mutex mutex_;
  std::vector<Frame> frames_;
  std::uint32_t failAddress_ = 0xFFFFFFFF;
  int failuresLeft_ = 0;
  std::uint32_t vanishAddress_ = 0xFFFFFFFF;
};

// The transport with its presence tests recorded.
class RecordingUsb final : public ul::CTiroUSB {
 public:
  RecordingUsb(platform::DeviceIo* io, platform::Clock& clock) : CTiroUSB(io), clock_(clock) {
    SetDeviceName("\\\\.\\MRXUSBDevice0");
  }
  bool IsDevicePresent() override {
    const bool present = CTiroUSB::IsDevicePresent();
    std::lock_guard lock(mutex_);
    presence_.push_back({clock_.Milliseconds(), present});
    return present;
  }
  std::vector<std::pair<std::uint64_t, bool>> Presence() {
    std::lock_guard lock(mutex_);
    return presence_;
  }

 private:
  platform::Clock& clock_;
  std::mutex mutex_;
  std::vector<std::pair<std::uint64_t, bool>> presence_;
};

// A boot image of two segments: 116 bytes at 0x0000 and 12 at 0x0100.
struct SmallImage {
  SmallImage() {
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<std::uint8_t>(i + 1);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(0xB0 + i);
  }
  std::array<std::uint8_t, 116> a{};
  std::array<std::uint8_t, 12> b{};
  DoloSegment second{0x0100, 12, nullptr, b.data()};
  DoloSegment first{0x0000, 116, &second, a.data()};
  _DoloPacket boot{nullptr, 6, 1, 1, 1, 0x1901, 23, 11, 2004, 13, 58, 59, 0, &first};
  _DoloPacket head{&boot, 1, 1, 0, 0, 0, 27, 1, 2009, 20, 2, 54, 0, nullptr};
};

class CDoloThreadTest : public ::testing::Test {
 protected:
  explicit CDoloThreadTest(std::uint32_t restartMs = 3000) { Power(restartMs); }
  void Power(std::uint32_t restartMs) {
    usb_.reset();
    io_.reset();
    unit_.reset();
    sim::Scenario s = sim::DefaultScenario();
    s.faults.restartMs = restartMs;
    unit_ = std::make_unique<sim::SimUnit>(s, clock_);
    io_ = std::make_unique<RecordingIo>(*unit_, clock_);
    usb_ = std::make_unique<RecordingUsb>(io_.get(), clock_);
  }
  // Runs one update to its end and returns WM_WORKER_FINISHED's wParam.
  std::uintptr_t Update(bool boot, const _DoloPacket* list = GetDoloBase()) {
    CDoloThread worker(boot, *target_, *usb_, clock_, list);
    worker.Resume();
    worker.Join();
    const auto messages = target_->Messages();
    EXPECT_FALSE(messages.empty());
    EXPECT_EQ(messages.front().id, WM_WORKER_STARTED);
    EXPECT_EQ(messages.back().id, WM_WORKER_FINISHED) << "the last message";
    return messages.empty() ? 99 : messages.back().wParam;
  }
  std::vector<std::uint8_t> Codes() {
    std::vector<std::uint8_t> codes;
    for (const auto& f : io_->Frames()) codes.push_back(f.code);
    return codes;
  }
  std::vector<std::string> Statuses(bool progressOnly = false) {
    std::vector<std::string> texts;
    for (const auto& m : target_->Messages()) {
      if (m.id != WM_WORKER_STATUS) continue;
      if (progressOnly && m.text.find("in progress") == std::string::npos) continue;
      texts.push_back(m.text);
    }
    return texts;
  }
  std::uint64_t TimeOf(std::uint8_t code) {
    for (const auto& f : io_->Frames()) {
      if (f.code == code) return f.at;
    }
    return 0;
  }

  platform::VirtualClock clock_;
  std::unique_ptr<sim::SimUnit> unit_;
  std::unique_ptr<RecordingIo> io_;
  std::unique_ptr<RecordingUsb> usb_;
  std::unique_ptr<platform::RecordingTarget> target_ =
      std::make_unique<platform::RecordingTarget>();
};

TEST_F(CDoloThreadTest, HostUpdateOfTheEmbeddedImageLandsInTheUnitsFlash) {
  const sim::SoftwareVersion bootBefore = unit_->BootVersion();
  ASSERT_EQ(Update(false), 1u);

  const _DoloPacket* host = FindDoloPacket(GetDoloBase(), 6, 1, 2);
  std::size_t blocks = 0;
  for (const DoloSegment* s = host->segments; s != nullptr; s = s->next)
    blocks += (s->length + 51) / 52;
  auto codes = Codes();
  ASSERT_GE(codes.size(), blocks + 4);
  EXPECT_EQ(codes.front(), kErase);
  EXPECT_EQ(codes[1], kBegin);
  EXPECT_EQ(std::count(codes.begin(), codes.end(), kBlock), static_cast<long>(blocks));
  const std::vector<std::uint8_t> tail(codes.end() - 2, codes.end());
  EXPECT_EQ(tail, (std::vector<std::uint8_t>{kEnd, kStart}));

  const auto flash = unit_->FlashImage(false);
  for (const DoloSegment* s = host->segments; s != nullptr; s = s->next) {
    ASSERT_TRUE(std::equal(s->data, s->data + s->length, flash.begin() + (s->address - 0x10000)))
        << "segment at " << s->address;
  }
  // The unit now reports the version the image carries; the boot stays as it was.
  EXPECT_EQ(unit_->HostVersion().major, 4);
  EXPECT_EQ(unit_->HostVersion().minor, 0);
  EXPECT_EQ(unit_->HostVersion().year, 9);
  EXPECT_EQ(unit_->BootVersion().major, bootBefore.major);
  EXPECT_EQ(unit_->BootVersion().minor, bootBefore.minor);

  const auto statuses = Statuses();
  EXPECT_EQ(statuses.front(), "Erasing firmware ...");
  EXPECT_EQ(statuses.back(), "Download finished!");
  EXPECT_EQ(target_->Messages().rbegin()[1].wParam, 100u);
}

// The two updates end differently: only new host software is started.
struct EndingRow {
  const char* name;
  bool boot;
  std::uint8_t erase;
  std::vector<std::uint8_t> ending;
  const char* eraseText;
};
void PrintTo(const EndingRow& row, std::ostream* os) {
  *os << row.name;
}

class UpdateEndingTest : public CDoloThreadTest, public ::testing::WithParamInterface<EndingRow> {};

TEST_P(UpdateEndingTest, EndsWithTheRightCommands) {
  const EndingRow& row = GetParam();
  const sim::SoftwareVersion hostBefore = unit_->HostVersion();
  ASSERT_EQ(Update(row.boot), 1u);
  const auto codes = Codes();
  EXPECT_EQ(codes.front(), row.erase);
  const std::size_t lastBlock = codes.rend() - std::find(codes.rbegin(), codes.rend(), kBlock) - 1;
  EXPECT_EQ(std::vector<std::uint8_t>(codes.begin() + lastBlock + 1, codes.end()), row.ending);
  EXPECT_EQ(Statuses().front(), row.eraseText);
  if (row.boot) {
    EXPECT_EQ(unit_->BootVersion().major, 1);
    EXPECT_EQ(unit_->BootVersion().minor, 100);
    EXPECT_EQ(unit_->BootVersion().day, 23);
    EXPECT_EQ(unit_->BootVersion().year, 4);
    EXPECT_EQ(unit_->HostVersion().major, hostBefore.major)
        << "a boot update leaves the host alone";
    EXPECT_EQ(unit_->HostVersion().minor, hostBefore.minor);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UpdateEndingTest,
    ::testing::Values(
        EndingRow{"HostEndsWith135Then141", false, kErase, {kEnd, kStart}, "Erasing firmware ..."},
        EndingRow{"BootEndsWith135Only",
                  true,
                  kEraseBoot,
                  {kEnd},
                  "Erasing boot - DON'T SWITCH OFF OR DISCONNECT MRX!!!"}),
    [](const auto& testRow) { return std::string(testRow.param.name); });

TEST_F(CDoloThreadTest, SegmentsAreCutInto52ByteBlocksNeverSpanningTwo) {
  SmallImage image;
  ASSERT_EQ(Update(true, &image.head), 1u);
  struct Want {
    std::uint32_t address;
    std::uint16_t count;
    const std::uint8_t* data;
  } want[] = {{0x0000, 52, image.a.data()},
              {0x0034, 52, image.a.data() + 52},
              {0x0068, 12, image.a.data() + 104},
              {0x0100, 12, image.b.data()}};
  std::vector<RecordingIo::Frame> blocks;
  for (const auto& f : io_->Frames()) {
    if (f.code == kBlock) blocks.push_back(f);
  }
  ASSERT_EQ(blocks.size(), 4u);
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    SCOPED_TRACE("block " + std::to_string(i));
    ASSERT_EQ(blocks[i].data.size(), want[i].count + 6u) << "payload = count + 6";
    EXPECT_EQ(platform::GetU32(blocks[i].data, 0), want[i].address);
    EXPECT_EQ(platform::GetU16(blocks[i].data, 4), want[i].count);
    EXPECT_TRUE(std::equal(blocks[i].data.begin() + 6, blocks[i].data.end(), want[i].data));
  }
}

TEST_F(CDoloThreadTest, FirstBlockIsAlwaysReportedAndSpeedAtElapsedZeroIsTheBytesSent) {
  // The clock does not move while the blocks go out: elapsed stays 0 and only
  // the first block is more than 200 ms after "never".
  SmallImage image;
  ASSERT_EQ(Update(true, &image.head), 1u);
  const auto progress = Statuses(true);
  ASSERT_EQ(progress.size(), 1u);
  EXPECT_EQ(progress[0], "40%: Download of V1.100 in progress (52 Bytes/s) ...");  // 52 * 100 / 128
  for (const auto& m : target_->Messages()) {
    if (m.text == progress[0]) {
      EXPECT_EQ(m.wParam, 40u);
    }
  }
}

TEST_F(CDoloThreadTest, ProgressIsReportedAtMostEvery200Milliseconds) {
  unit_->SetDelayMs(25);  // every exchange takes 25 ms of virtual time
  SmallImage image;
  std::array<std::uint8_t, 1040> big{};
  DoloSegment one{0x0000, 1040, nullptr, big.data()};
  image.boot.segments = &one;
  ASSERT_EQ(Update(true, &image.head), 1u);
  const auto progress = Statuses(true);
  // Block 1 after 25 ms, then every 9th (225 ms; 200 ms is not more than 200): 1, 10, 19.
  ASSERT_EQ(progress.size(), 3u);
  EXPECT_EQ(progress[0], "5%: Download of V1.100 in progress (2080 Bytes/s) ...");
  EXPECT_EQ(progress[1], "50%: Download of V1.100 in progress (2080 Bytes/s) ...");
  EXPECT_EQ(progress[2], "95%: Download of V1.100 in progress (2080 Bytes/s) ...");
}

// The unit answers the third presence poll.
class ThirdPollTest : public CDoloThreadTest {
 protected:
  ThirdPollTest() : CDoloThreadTest(5000) {}
};

TEST_F(ThirdPollTest, SleepsSixSecondsThenTestsOnceMoreAndGoesOn) {
  SmallImage image;
  ASSERT_EQ(Update(true, &image.head), 1u);
  const std::uint64_t erased = TimeOf(kEraseBoot);
  const auto presence = usb_->Presence();
  ASSERT_EQ(presence.size(), 4u) << "three polls and one more test";
  const std::vector<std::pair<std::uint64_t, bool>> want = {
      {erased + 2000, false}, {erased + 4000, false}, {erased + 6000, true}, {erased + 6000, true}};
  EXPECT_EQ(presence, want);
  EXPECT_EQ(TimeOf(kBegin), erased + 6000 + 2000) << "2000 ms pause before the begin command";
}

class UnitNeverReturnsTest : public CDoloThreadTest {
 protected:
  UnitNeverReturnsTest() : CDoloThreadTest(60000) {}
};

TEST_F(UnitNeverReturnsTest, AsksForARestartAfterEightPollsAndOneTest) {
  EXPECT_EQ(Update(false), 0u);
  const auto presence = usb_->Presence();
  ASSERT_EQ(presence.size(), 9u);
  EXPECT_EQ(presence.back().first, TimeOf(kErase) + 8 * 2000);
  EXPECT_EQ(Codes(), std::vector<std::uint8_t>{kErase}) << "nothing after the erase";
  EXPECT_EQ(Statuses().back(), "ERROR: Please restart unit!");
}

TEST_F(CDoloThreadTest, ABlockFailing100TimesStopsProgressButNotTheDownload) {
  SmallImage image;
  io_->FailBlock(0x0034, 1000);
  EXPECT_EQ(Update(true, &image.head), 0u);
  int attempts = 0;
  std::vector<std::uint32_t> delivered;
  for (const auto& f : io_->Frames()) {
    if (f.code != kBlock) continue;
    if (platform::GetU32(f.data, 0) == 0x0034) ++attempts;
    if (f.ok) delivered.push_back(platform::GetU32(f.data, 0));
  }
  EXPECT_EQ(attempts, 100);
  EXPECT_EQ(delivered, (std::vector<std::uint32_t>{0x0000, 0x0068, 0x0100}))
      << "later blocks still go";
  EXPECT_EQ(Codes().back(), kEnd) << "the download is still ended";
  const auto statuses = Statuses();
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "ERROR: Can't write to device"), 1);
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "Download finished!"), 0);
  // The first block's report is the only one: none after the failure.
  EXPECT_EQ(Statuses(true).size(), 1u);
  EXPECT_EQ(statuses.back(), "ERROR: Can't write to device");
}

// A unit that is gone for good (its device vanished and does not return
// within the presence polling) ends the download at once: one error, a
// restart request, and no attempts at the blocks that remain.
TEST_F(CDoloThreadTest, AUnitThatVanishesForGoodStopsTheDownloadAndSaysSoOnce) {
  SmallImage image;
  io_->VanishAtBlock(0x0034);
  EXPECT_EQ(Update(true, &image.head), 0u);
  std::vector<std::uint32_t> tried;
  for (const auto& f : io_->Frames()) {
    if (f.code == kBlock && (tried.empty() || tried.back() != platform::GetU32(f.data, 0))) {
      tried.push_back(platform::GetU32(f.data, 0));
    }
  }
  EXPECT_EQ(tried, (std::vector<std::uint32_t>{0x0000, 0x0034})) << "no block after the loss";
  EXPECT_EQ(Codes().back(), kBlock) << "neither end nor start is sent to a unit that is gone";
  const auto statuses = Statuses();
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "ERROR: Can't write to device"), 1);
  EXPECT_EQ(statuses.back(), "ERROR: Please restart unit!");
  const auto presence = usb_->Presence();
  ASSERT_FALSE(presence.empty());
  EXPECT_FALSE(presence.back().second);
}

TEST_F(CDoloThreadTest, ABlockThatSucceedsOnItsHundredthAttemptIsFine) {
  SmallImage image;
  io_->FailBlock(0x0034, 99);
  EXPECT_EQ(Update(true, &image.head), 1u);
  EXPECT_EQ(Statuses().back(), "Download finished!");
}

TEST_F(CDoloThreadTest, WithoutTheImageNothingIsSentAndTheFatalTextIsSentSynchronously) {
  SmallImage image;
  image.boot.component = 7;  // the list holds no boot image
  SmallImage notAList;
  notAList.head.kind = 6;
  for (const _DoloPacket* list : {&image.head, &notAList.head}) {
    target_ = std::make_unique<platform::RecordingTarget>();
    Power(3000);
    EXPECT_EQ(Update(true, list), 0u);
    EXPECT_TRUE(io_->Frames().empty());
    EXPECT_TRUE(usb_->Presence().empty());
    const auto messages = target_->Messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[1].id, WM_WORKER_STATUS);
    EXPECT_EQ(messages[1].wParam, 0u);
    EXPECT_EQ(messages[1].text, "FATAL: Software not found!");
    EXPECT_TRUE(messages[1].sent) << "SendMessage, not PostMessage";
  }
}

TEST_F(CDoloThreadTest, HostUpdateSucceedsWhenOneExchangeInFiftyFails) {
  unit_->SetFailEvery(50);
  ASSERT_EQ(Update(false), 1u);
  EXPECT_EQ(unit_->HostVersion().major, 4);
  int failed = 0;
  for (const auto& f : io_->Frames()) failed += f.ok ? 0 : 1;
  EXPECT_GT(failed, 100) << "faults were injected and retried";
}

}  // namespace
}  // namespace desktop::firmware
