// The QVO520 processor download: the frames it sends, typed from the card
// download layouts, and downloads into the in-process simulator with faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <mutex>
#include <numeric>
#include <vector>

#include "desktop/firmware/CCardDoloThread.h"
#include "platform/Bytes.h"
#include "platform/RecordingTarget.h"
#include "sim/SimDeviceIo.h"
#include "sim/SimUnit.h"
#include "tests/support/FakeDeviceIo.h"

namespace desktop::firmware {
namespace {

namespace pu = protocol::unit;
constexpr std::uint8_t kBegin = 0xA5, kBlock = 0xA6, kEnd = 0xA7;
constexpr std::uint8_t kCard = 2;  // the demo unit's QVO520

// A pair of card packages for ZEL520 / DSP with distinct bytes, V2.009 of
// 24 August 2008; sizes chosen by the test.
struct CardPackages {
  CardPackages(std::size_t firstSize, std::size_t secondSize) : a(firstSize), b(secondSize) {
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<std::uint8_t>(0x10 + i);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(0xC0 + i);
    segA = {0x10000, static_cast<std::uint32_t>(a.size()), nullptr, a.data()};
    segB = {0x18000, static_cast<std::uint32_t>(b.size()), nullptr, b.data()};
  }
  std::vector<std::uint8_t> a, b;
  DoloSegment segA{}, segB{};
  _DoloPacket second{nullptr, 3, 1, 4, 19, 0x0242, 24, 8, 2008, 17, 1, 53, 0, &segB};
  _DoloPacket first{&second, 5, 1, 4, 19, 0x0242, 24, 8, 2008, 17, 1, 53, 0, &segA};
  _DoloPacket head{&first, 1, 1, 0, 0, 0, 27, 1, 2009, 20, 2, 54, 0, nullptr};
};

// A record of a ZEL520 processor running DSP software V2.005.
pu::ProcessorRecord Zel520Dsp() {
  pu::ProcessorRecord r;
  r.model = 4;
  r.component = 19;
  r.major = 2;
  r.minor = 5;
  r.date = {14, 3, 2008};
  return r;
}

// Runs one download to its end; the messages it posted.
std::vector<platform::Message> Download(unitlink::CTiroUSB& usb, platform::Clock& clock,
                                        const _DoloPacket* list, std::uint8_t processor = 1,
                                        const pu::ProcessorRecord& record = Zel520Dsp()) {
  platform::RecordingTarget target;
  CCardDoloThread worker(kCard, processor, record, target, usb, clock, list);
  worker.Resume();
  worker.Join();
  return target.Messages();
}

std::vector<std::string> Texts(const std::vector<platform::Message>& messages) {
  std::vector<std::string> texts;
  for (const auto& m : messages) {
    if (m.id == WM_CARD_DOWNLOAD_PROGRESS) texts.push_back(m.text);
  }
  return texts;
}

class CardFramesTest : public ::testing::Test {
 protected:
  CardFramesTest() { usb_.SetDeviceName("\\\\.\\MRXUSBDevice0"); }
  std::vector<std::vector<std::uint8_t>> Frames(std::uint8_t code) {
    std::vector<std::vector<std::uint8_t>> out;
    for (const auto& x : io_.exchanges) {
      if (x.request[0] == code) out.push_back(x.request);
    }
    return out;
  }
  testing_support::FakeDeviceIo io_;
  unitlink::CTiroUSB usb_{&io_};
  platform::VirtualClock clock_;
};

TEST_F(CardFramesTest, BeginBlocksAndEndFramesByteForByte) {
  CardPackages packages(24, 3);  // 22 + 2 bytes, then 3
  const auto messages = Download(usb_, clock_, &packages.head);
  ASSERT_EQ(io_.exchanges.size(), 5u);
  const std::uint32_t sum = std::accumulate(packages.a.begin(), packages.a.end(), 0u) +
                            std::accumulate(packages.b.begin(), packages.b.end(), 0u);
  ASSERT_EQ(sum, 0x04D7u);
  // 165: processor, major, minor (u16), day, month, year (u16), checksum (u32).
  const std::vector<std::uint8_t> begin = {0xA5, 0x0C, kCard, 0x00, 0x00, 0x00, 0x01, 0x02, 0x09,
                                           0x00, 0x18, 0x08,  0xD8, 0x07, 0xD7, 0x04, 0x00, 0x00};
  EXPECT_EQ(io_.exchanges[0].request, begin);
  // 166: arg2 = processor; data = u32 address, u16 count, bytes.
  std::vector<std::uint8_t> block1 = {0xA6, 0x1C, kCard, 0x00, 0x01, 0x00,
                                      0x00, 0x00, 0x01,  0x00, 0x16, 0x00};
  block1.insert(block1.end(), packages.a.begin(), packages.a.begin() + 22);
  EXPECT_EQ(io_.exchanges[1].request, block1);
  const std::vector<std::uint8_t> block2 = {0xA6, 0x08, kCard, 0x00, 0x01, 0x00, 0x16,
                                            0x00, 0x01, 0x00,  0x02, 0x00, 0x26, 0x27};
  EXPECT_EQ(io_.exchanges[2].request, block2);
  const std::vector<std::uint8_t> block3 = {0xA6, 0x09, kCard, 0x00, 0x01, 0x00, 0x00, 0x80,
                                            0x01, 0x00, 0x03,  0x00, 0xC0, 0xC1, 0xC2};
  EXPECT_EQ(io_.exchanges[3].request, block3);
  const std::vector<std::uint8_t> end = {0xA7, 0x00, kCard, 0x00, 0x01, 0x00};
  EXPECT_EQ(io_.exchanges[4].request, end);

  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back().id, WM_CARD_DOWNLOAD_FINISHED);
  EXPECT_EQ(messages.back().wParam, CCardDoloThread::kSuccess);
  EXPECT_EQ(Texts(messages).front(), "Erasing firmware ...");
  // Elapsed time 0: the rate is the bytes sent so far.
  EXPECT_EQ(Texts(messages)[1], "81%: Download of V2.009 in progress (22 Bytes/s) ...");
  const auto progress = std::find_if(messages.begin(), messages.end(), [](const auto& m) {
    return m.id == WM_CARD_DOWNLOAD_PROGRESS && StatusKindOf(m.lParam) == StatusKind::kProgress;
  });
  ASSERT_NE(progress, messages.end());
  EXPECT_EQ(progress->wParam, 81);
  // The span a stop would leave half done: from before the begin to after the end.
  std::vector<std::intptr_t> unsafe;
  for (const auto& m : messages) {
    if (m.id == WM_WORKER_UNSAFE) unsafe.push_back(m.wParam);
  }
  EXPECT_EQ(unsafe, (std::vector<std::intptr_t>{1, 0}));
  EXPECT_EQ(Texts(messages).back(), "100%: Download of V2.009 in progress (27 Bytes/s) ...");
}

TEST_F(CardFramesTest, TwoPartsOf20934And27251BytesGoAs952And1239Blocks) {
  CardPackages packages(20934, 27251);
  Download(usb_, clock_, &packages.head);
  const auto blocks = Frames(kBlock);
  ASSERT_EQ(blocks.size(), 2191u);
  struct Part {
    const char* name;
    std::size_t from, count;
    std::uint32_t address;
    std::size_t lastCount;
  } parts[] = {{"first part", 0, 952, 0x10000, 12}, {"second part", 952, 1239, 0x18000, 15}};
  for (const Part& part : parts) {
    SCOPED_TRACE(part.name);
    for (std::size_t i = 0; i < part.count; ++i) {
      const auto& f = blocks[part.from + i];
      const std::size_t count = platform::GetU16(f, 10);
      ASSERT_EQ(count, i + 1 == part.count ? part.lastCount : 22u) << "block " << i;
      ASSERT_EQ(f[1], count + 6) << "frame length = count + 6";
      ASSERT_EQ(platform::GetU32(f, 6), part.address + 22 * i);
    }
  }
  EXPECT_EQ(Frames(kEnd).size(), 1u);
}

// Failures: how far the download gets, what it says last and its result.
struct FailureRow {
  const char* name;
  std::vector<std::size_t> failAt;  // control calls that fail
  bool removePackages;
  std::vector<std::uint8_t> codes;  // frames sent, in order
  const char* lastText;
};
void PrintTo(const FailureRow& row, std::ostream* os) {
  *os << row.name;
}

class CardFailureTest : public CardFramesTest, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(CardFailureTest, EndsWithFailure) {
  const FailureRow& row = GetParam();
  CardPackages packages(30, 4);
  if (row.removePackages) packages.second.kind = 6;
  io_.failAt = row.failAt;
  const auto messages = Download(usb_, clock_, &packages.head);
  std::vector<std::uint8_t> codes;
  for (const auto& x : io_.exchanges) codes.push_back(x.request[0]);
  EXPECT_EQ(codes, row.codes);
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back().id, WM_CARD_DOWNLOAD_FINISHED);
  EXPECT_EQ(messages.back().wParam, CCardDoloThread::kFailure);
  const auto texts = Texts(messages);
  EXPECT_EQ(texts.empty() ? "" : texts.back(), row.lastText);
}

std::vector<std::size_t> Range(std::size_t from, std::size_t to) {
  std::vector<std::size_t> v;
  for (std::size_t i = from; i < to; ++i) v.push_back(i);
  return v;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CardFailureTest,
    ::testing::Values(FailureRow{"NoSecondPartSendsNothingAndSaysNothing", {}, true, {}, ""},
                      FailureRow{"BeginNeverTakenIsATimeout", Range(0, 10), false,
                                 std::vector<std::uint8_t>(10, kBegin), "Timeout!"},
                      // Begin, one block, then ten attempts at the second: the card is
                      // told the download ends, and the image is not claimed as sent.
                      FailureRow{"ABlockNeverTakenStopsTheDownload", Range(2, 12), false,
                                 [] {
                                   std::vector<std::uint8_t> c = {kBegin, kBlock};
                                   c.insert(c.end(), 10, kBlock);
                                   c.push_back(kEnd);
                                   return c;
                                 }(),
                                 "ERROR: Can't write to device"},
                      FailureRow{"AnEndTheCardRefusesIsAFailure", Range(4, 14), false,
                                 [] {
                                   std::vector<std::uint8_t> c = {kBegin, kBlock, kBlock, kBlock};
                                   c.insert(c.end(), 10, kEnd);
                                   return c;
                                 }(),
                                 "ERROR: The card did not accept the new software"}),
    [](const auto& testRow) { return std::string(testRow.param.name); });

// Downloads of the carried packages into the simulated card.
class CardDownloadSimTest : public ::testing::Test {
 protected:
  CardDownloadSimTest() { usb_.SetDeviceName("\\\\.\\MRXUSBDevice0"); }
  pu::ProcessorRecord Record(int processor) {
    return pu::ProcessorRecord::Decode(unit_.ProcessorRecord(kCard, processor));
  }

  platform::VirtualClock clock_;
  sim::SimUnit unit_{sim::DefaultScenario(), clock_};
  sim::SimDeviceIo io_{unit_};
  unitlink::CTiroUSB usb_{&io_};
};

TEST_F(CardDownloadSimTest, TheProcessorReportsTheCarriedVersionAfterwardsAlsoWithFaults) {
  for (unsigned failEvery : {0u, 50u}) {
    SCOPED_TRACE("fail every " + std::to_string(failEvery));
    unit_.SetFailEvery(failEvery);
    const auto otherBefore = unit_.ProcessorRecord(kCard, 0);
    const auto messages = Download(usb_, clock_, GetDoloBase(), 1, Record(1));
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().wParam, CCardDoloThread::kSuccess);
    const pu::ProcessorRecord now = Record(1);
    EXPECT_EQ(now.major, 2);
    EXPECT_EQ(now.minor, 9);
    EXPECT_TRUE(now.update);
    EXPECT_EQ(now.date.day, 24);
    EXPECT_EQ(now.date.month, 8);
    EXPECT_EQ(now.date.year, 2008);
    EXPECT_EQ(now.board.serial, 1202u) << "the board's identity stays";
    EXPECT_EQ(unit_.ProcessorRecord(kCard, 0), otherBefore) << "the other processor is untouched";
  }
}

// Corrupts one byte of the first block on its way to the card.
class CorruptingIo final : public platform::DeviceIo {
 public:
  explicit CorruptingIo(sim::SimUnit& unit) : inner_(unit) {}
  Handle Open(std::string_view path) override { return inner_.Open(path); }
  void Close(Handle h) override { inner_.Close(h); }
  bool Control(Handle h, std::uint32_t code, std::span<const std::uint8_t> in,
               std::span<std::uint8_t> out, std::uint32_t* returned) override {
    std::vector<std::uint8_t> frame(in.begin(), in.end());
    if (frame[0] == kBlock && !corrupted_) {
      frame.back() ^= 0x01;
      corrupted_ = true;
    }
    return inner_.Control(h, code, frame, out, returned);
  }

 private:
  sim::SimDeviceIo inner_;
  bool corrupted_ = false;
};

TEST_F(CardDownloadSimTest, ACorruptedImageLeavesTheOldSoftwareAndFails) {
  CorruptingIo corrupting(unit_);
  unitlink::CTiroUSB usb(&corrupting);
  usb.SetDeviceName("\\\\.\\MRXUSBDevice0");
  const auto before = unit_.ProcessorRecord(kCard, 0);
  const auto messages = Download(usb, clock_, GetDoloBase(), 0, Record(0));
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back().wParam, CCardDoloThread::kFailure);
  EXPECT_EQ(Texts(messages).back(), "ERROR: The card did not accept the new software");
  EXPECT_EQ(unit_.ProcessorRecord(kCard, 0), before);
}

}  // namespace
}  // namespace desktop::firmware
