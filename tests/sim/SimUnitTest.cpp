#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "desktop/unitlink/CTiroUSB.h"
#include "desktop/unitlink/UnitProtocol.h"
#include "platform/Bytes.h"
#include "protocol/klf/KlfMessage.h"
#include "protocol/remote/ModuleBlock.h"
#include "protocol/remote/RemoteProtocol.h"
#include "protocol/unit/Frame.h"
#include "protocol/unit/IdentityRecord.h"
#include "protocol/unit/ImageStamp.h"
#include "protocol/unit/SettingsImage.h"
#include "protocol/unit/StatusRecord.h"
#include "sim/SimDeviceIo.h"
#include "sim/SimUnit.h"

namespace sim {
namespace {

namespace ul = desktop::unitlink;

class SimUnitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/mrx-simunit-XXXXXX";
    dir_ = mkdtemp(tmpl);
    Boot();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Powers the unit (again) from its state file.
  void Boot(Scenario s = DefaultScenario()) {
    usb_.reset();
    io_.reset();
    unit_.reset();
    s.faults.restartMs = 3000;
    unit_ = std::make_unique<SimUnit>(s, clock_, dir_ / "state");
    io_ = std::make_unique<SimDeviceIo>(*unit_);
    usb_ = std::make_unique<ul::CTiroUSB>(io_.get());
    usb_->SetDeviceName("\\\\.\\MRXUSBDevice0");
  }
  bool Frame(std::vector<std::uint8_t> frame, std::span<std::uint8_t> reply = {}) {
    return unit_->HandleControl(protocol::unit::kControlCode, frame, reply);
  }
  std::vector<std::uint8_t> Read(std::uint8_t address, bool reload) {
    ul::ModuleInfo m;
    EXPECT_TRUE(ul::ReadModuleDescriptor(*usb_, address, m));
    std::vector<std::uint8_t> image(protocol::unit::SettingsImage::kMaxSize);
    EXPECT_TRUE(ul::ReadSettingsImage(*usb_, address, ul::SettingsLength(m), reload, image));
    image.resize(ul::SettingsLength(m));
    return image;
  }

  std::filesystem::path dir_;
  platform::VirtualClock clock_;
  std::unique_ptr<SimUnit> unit_;
  std::unique_ptr<SimDeviceIo> io_;
  std::unique_ptr<ul::CTiroUSB> usb_;
};

TEST_F(SimUnitTest, StoredSettingsSurviveARestartAndUnstoredOnesDoNot) {
  auto image = Read(1, false);
  image[20] ^= 0x5A;
  // Chunks without the store frame stay in the working copy only.
  for (std::size_t i = 0; i <= image.size() / 58; ++i) {
    const std::size_t n = std::min<std::size_t>(58, image.size() - 58 * i);
    usb_->SendCommand(nullptr, 0x8A, 1, 0, static_cast<std::uint8_t>(i), 0, n,
                      image.data() + 58 * i);
  }
  EXPECT_EQ(Read(1, false)[20], image[20]);
  EXPECT_NE(Read(1, true)[20], image[20]) << "reload brings back the stored copy";

  ASSERT_TRUE(ul::WriteSettingsImage(*usb_, 1, image.size(), image));
  Boot();
  EXPECT_EQ(Read(1, false), image);
}

TEST_F(SimUnitTest, ResetToDefaultsKeepsTheGivenIdentity) {
  auto image = Read(2, false);
  const std::vector<std::uint8_t> identity(image.begin(), image.begin() + 8);
  image[30] ^= 0xFF;
  ASSERT_TRUE(ul::WriteSettingsImage(*usb_, 2, image.size(), image));
  std::array<std::uint8_t, 8> record;
  std::copy(identity.begin(), identity.end(), record.begin());
  ASSERT_TRUE(ul::ResetSettings(*usb_, 2, record));
  const auto after = Read(2, false);
  EXPECT_EQ(std::vector<std::uint8_t>(after.begin(), after.begin() + 8), identity);
  EXPECT_NE(after[30], image[30]);
  EXPECT_EQ(protocol::unit::IdentityRecord::Decode(after).serial, 2002);
}

TEST_F(SimUnitTest, EraseMakesTheUnitVanishForAWhile) {
  ASSERT_TRUE(usb_->EraseHost());
  EXPECT_FALSE(usb_->IsDevicePresent());
  clock_.Advance(2999);
  EXPECT_FALSE(usb_->IsDevicePresent());
  clock_.Advance(1);
  EXPECT_TRUE(usb_->IsDevicePresent());
  ul::ModuleInfo main;
  ASSERT_TRUE(ul::ReadModuleDescriptor(*usb_, 0, main));
  EXPECT_FALSE(main.Fields().SoftwareRunning()) << "only the boot loader runs after an erase";
}

// The unit reports the version stamped in what it was given: the host in its
// descriptor, the boot in command 26's; each update leaves the other alone, and
// both survive a power cycle.
TEST_F(SimUnitTest, DownloadedImagesReportTheirStampedVersion) {
  auto flash = [&](bool boot, std::uint16_t version, std::uint16_t year) {
    const protocol::unit::ImageStamp stamp{version, year, 11, 23, 13, 58, 59};
    const auto bytes = stamp.Encode();
    ASSERT_TRUE(boot ? usb_->EraseBoot() : usb_->EraseHost());
    clock_.Advance(3000);
    ASSERT_TRUE(usb_->BeginDownload());
    std::array<std::uint8_t, 64> block{};
    platform::PutU32(block, 6, boot ? 0x0000 : 0x10000);
    platform::PutU16(block, 10, static_cast<std::uint16_t>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), block.begin() + 12);
    ASSERT_TRUE(usb_->WriteDownloadBlock(block.data()));
    ASSERT_TRUE(usb_->EndDownload());
    if (!boot) {
      ASSERT_TRUE(usb_->StartHost());
      clock_.Advance(kStartRestartMs);
    }
  };
  auto hostVersion = [&] {
    ul::ModuleInfo main;
    EXPECT_TRUE(ul::ReadModuleDescriptor(*usb_, 0, main));
    const auto f = main.Fields();
    return std::array<int, 3>{f.versionMajor, f.versionMinor, f.versionYear};
  };
  auto bootVersion = [&] {
    std::array<std::uint8_t, 52> d{};
    EXPECT_TRUE(usb_->ReadBootDescriptor(d.data()));
    return std::array<int, 3>{platform::GetU16(d, 8), platform::GetU16(d, 10), d[14]};
  };
  const auto bootBefore = bootVersion();
  flash(false, 0x0004, 2009);  // V4.000
  EXPECT_EQ(hostVersion(), (std::array<int, 3>{4, 0, 9}));
  EXPECT_EQ(bootVersion(), bootBefore) << "a host update leaves the boot alone";

  flash(true, 0x1901, 2004);  // V1.100
  EXPECT_EQ(bootVersion(), (std::array<int, 3>{1, 100, 4}));
  EXPECT_EQ(hostVersion(), (std::array<int, 3>{4, 0, 9})) << "a boot update leaves the host alone";

  Boot();
  EXPECT_EQ(hostVersion(), (std::array<int, 3>{4, 0, 9}));
  EXPECT_EQ(bootVersion(), (std::array<int, 3>{1, 100, 4}));
}

TEST_F(SimUnitTest, DownloadBlocksMustBeEvenInsideTheErasedAreaAndAfterBegin) {
  auto block = [](std::uint32_t at, std::uint16_t count) {
    std::vector<std::uint8_t> f = {0x86, static_cast<std::uint8_t>(count + 6), 0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) f.push_back(static_cast<std::uint8_t>(at >> (8 * i)));
    f.push_back(static_cast<std::uint8_t>(count));
    f.push_back(static_cast<std::uint8_t>(count >> 8));
    for (int i = 0; i < count; ++i) f.push_back(static_cast<std::uint8_t>(0xA0 + i));
    return f;
  };
  EXPECT_FALSE(Frame(block(0x10000, 52))) << "nothing erased yet";
  ASSERT_TRUE(usb_->EraseHost());
  clock_.Advance(3000);
  EXPECT_FALSE(Frame(block(0x10000, 52))) << "download not begun";
  ASSERT_TRUE(usb_->BeginDownload());
  struct Row {
    const char* name;
    std::uint32_t at;
    std::uint16_t count;
    bool ok;
  } rows[] = {
      {"first block", 0x10000, 52, true},      {"odd count", 0x10040, 51, false},
      {"odd address", 0x10041, 2, false},      {"below the host area", 0xFFFE, 2, false},
      {"crossing the end", 0x8FFFE, 4, false}, {"last word", 0x8FFFE, 2, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(Frame(block(r.at, r.count)), r.ok);
  }
  const auto flash = unit_->FlashImage(false);
  EXPECT_EQ(flash[0], 0xA0);
  EXPECT_EQ(flash[51], 0xA0 + 51);
  EXPECT_EQ(flash[52], 0xFF);
  EXPECT_FALSE(usb_->StartHost()) << "start needs an ended download";
  ASSERT_TRUE(usb_->EndDownload());
  ASSERT_TRUE(usb_->StartHost());
  EXPECT_FALSE(usb_->IsDevicePresent());
  clock_.Advance(kStartRestartMs);
  ul::ModuleInfo main;
  ASSERT_TRUE(ul::ReadModuleDescriptor(*usb_, 0, main));
  EXPECT_TRUE(main.Fields().SoftwareRunning());
}

TEST_F(SimUnitTest, MalformedFramesFailTheCall) {
  std::uint8_t reply[64];
  struct Row {
    const char* name;
    std::vector<std::uint8_t> frame;
  } rows[] = {
      {"short header", {2, 0, 0}},
      {"length says more", {2, 5, 0, 0, 0, 0, 1}},
      {"length says less", {2, 0, 0, 0, 0, 0, 1}},
      {"length above 58", std::vector<std::uint8_t>(65, 59)},
      {"unknown module", {2, 0, 15, 0, 0, 0}},
      {"unknown command", {0x01, 0, 0, 0, 0, 0}},
      {"row of a card without display", {0x11, 0, 1, 0, 0, 0}},
      {"row past the picture", {0x11, 0, 14, 0, 128, 0}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_FALSE(Frame(r.frame, reply));
  }
  EXPECT_FALSE(unit_->HandleControl(0x222000, std::vector<std::uint8_t>{2, 0, 0, 0, 0, 0}, reply));
}

TEST_F(SimUnitTest, FaultsFailEveryNthExchangeAndReportEepromErrors) {
  unit_->SetFailEvery(3);
  int failed = 0;
  for (int i = 0; i < 9; ++i)
    failed += usb_->IsDevicePresent() && !Frame({2, 0, 0, 0, 0, 0}) ? 1 : 0;
  EXPECT_EQ(failed, 3);
  unit_->SetFailEvery(0);

  std::array<std::uint8_t, 10> status{};
  ASSERT_TRUE(ul::ReadStatus(*usb_, 0, status));
  EXPECT_FALSE(protocol::unit::StatusRecord::EepromError(status));
  unit_->SetEepromError(true);
  ASSERT_TRUE(ul::ReadStatus(*usb_, 3, status));
  EXPECT_TRUE(protocol::unit::StatusRecord::EepromError(status));

  unit_->RefuseOpensFor(500);
  EXPECT_FALSE(usb_->IsDevicePresent());
  clock_.Advance(500);
  EXPECT_TRUE(usb_->IsDevicePresent());
}

// Answers lost on the way back, and the KLF310 ports' faults, each at its
// count; the ports' delay is taken on the unit's clock.
TEST_F(SimUnitTest, LostAnswersAndKlf310PortFaultsComeAtTheirCount) {
  Scenario s = DefaultScenario();
  s.faults.dropEvery = 4;
  s.klfFaults = {.failEvery = 3, .lostEvery = 2, .refuseMs = 300, .delayMs = 50};
  Boot(s);
  std::vector<bool> lost;
  for (int i = 0; i < 8; ++i) {
    EXPECT_TRUE(Frame({2, 0, 0, 0, 0, 0})) << "the unit takes every exchange";
    lost.push_back(unit_->AnswerLost());
  }
  EXPECT_EQ(lost, (std::vector<bool>{false, false, false, true, false, false, false, true}));

  // A silent card: every exchange to it is taken and never answered, the
  // other modules answer as before (here: module 3 silent, 2 not).
  s.faults.dropEvery = 0;
  s.faults.silentModule = 3;
  Boot(s);
  struct Asked {
    std::uint8_t module;
    bool answered;
  };
  for (const Asked a : {Asked{3, false}, Asked{2, true}, Asked{3, false}, Asked{0, true}}) {
    SCOPED_TRACE(a.module);
    std::array<std::uint8_t, protocol::unit::kFrameSize> reply{};
    EXPECT_EQ(Frame({2, 0, a.module, 0, 0, 0}, reply), a.answered);
    EXPECT_EQ(unit_->AnswerLost(), !a.answered);
  }

  EXPECT_FALSE(unit_->KlfListening());
  clock_.Advance(300);
  EXPECT_TRUE(unit_->KlfListening());
  using F = SimUnit::KlfFault;
  std::vector<F> faults;
  const auto start = clock_.Milliseconds();
  for (int i = 0; i < 6; ++i) faults.push_back(unit_->KlfRequestFault());
  EXPECT_EQ(faults, (std::vector<F>{F::kNone, F::kLost, F::kFail, F::kLost, F::kNone, F::kFail}));
  EXPECT_EQ(clock_.Milliseconds() - start, 6u * 50);
}

// A power cut ends the process at its block and not one block before: what
// the block before it left is said on standard error first.
TEST_F(SimUnitTest, PowerCutsInCardKlf310AndRemoteTransfersComeAtTheirBlock) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::uint8_t begin[12] = {1, 3, 0x12, 0x00, 9, 12, 0xEA, 0x07, 0, 0, 0, 0};
  std::uint8_t block[64] = {};
  block[1] = 8;
  block[8] = 1;  // at 0x10000, in the processor's program memory
  block[10] = 2;
  std::vector<std::uint8_t> stored(4 + 20, 0x11);  // header 0: module 0 is not it
  platform::PutU32(stored, 0, protocol::remote::ModuleBlock::Header(3, 0));
  std::vector<std::uint8_t> live = stored;
  platform::PutU32(live, 0, protocol::remote::ModuleBlock::Header(3, 0, true));
  const std::vector<protocol::klf::CurveBin> bins(2);
  const protocol::klf::CurveRange range{.channel = 0, .count = 2};
  struct Row {
    const char* name;
    std::function<void(SimUnit&)> cutAtTwo;
    // One block of the transfer; `n` counts from 1.
    std::function<void(SimUnit&, ul::CTiroUSB&, int n)> block;
  } rows[] = {
      {"card download", [](SimUnit& u) { u.CutPowerAtCardBlock(2); },
       [&](SimUnit&, ul::CTiroUSB& usb, int n) {
         // A new begin counts afresh: the block before it does not count.
         if (n == 1) {
           usb.WriteCardBlock(3, 1, block);
           usb.BeginCardDownload(3, begin);
         }
         usb.WriteCardBlock(3, 1, block);
       }},
      {"KLF310 software and curve", [](SimUnit& u) { u.CutPowerAtKlfBlock(2); },
       [&](SimUnit& u, ul::CTiroUSB&, int n) {
         if (n == 1) u.KlfBlockTaken();
         SimUnit::KlfTransfer transfer;
         if (n == 2) u.KlfWriteBins(11, range, bins, false, transfer);
       }},
      {"remote stored block", [](SimUnit& u) { u.CutPowerAtRemoteBlock(2); },
       [&](SimUnit& u, ul::CTiroUSB&, int) {
         u.ApplyRemoteCommand(protocol::remote::kCmdWriteBlock, live);  // not stored: not counted
         u.ApplyRemoteCommand(protocol::remote::kCmdWriteBlock, stored);
       }},
      {"settings write frame", [](SimUnit& u) { u.CutPowerAtSettingsWrite(2); },
       [&](SimUnit&, ul::CTiroUSB& usb, int n) {
         const std::vector<std::uint8_t> image(100, 0x33);
         std::vector<std::uint8_t> read(protocol::unit::SettingsImage::kMaxSize);
         ul::ReadSettingsChunk(usb, 1, image.size(), 0, false, read);  // a read does not count
         if (n == 1) ul::WriteSettingsChunk(usb, 1, image.size(), 0, image);
         if (n == 2) ul::StoreSettings(usb, 1);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EXIT(
        {
          row.cutAtTwo(*unit_);
          usb_->BeginCardDownload(3, begin);
          row.block(*unit_, *usb_, 1);
          std::fprintf(stderr, "after block 1\n");
          row.block(*unit_, *usb_, 2);
          std::exit(0);
        },
        ::testing::KilledBySignal(SIGKILL), "after block 1");
  }
}

// The stored copy changes with the store frame only: a power cut among a
// module's chunks leaves it as the last store left it, one at the store frame
// keeps the new image.
TEST_F(SimUnitTest, APowerCutAmongSettingsChunksLeavesTheStoredCopyAsItWas) {
  GTEST_FLAG_SET(death_test_style, "fast");  // the child's state file is this test's
  const auto fresh = Read(1, true);
  ASSERT_GT(fresh.size(), 2 * protocol::unit::SettingsImage::kChunkSize);
  auto old = fresh;
  auto wanted = fresh;
  for (std::size_t i = protocol::unit::IdentityRecord::kSize; i < fresh.size(); ++i) {
    old[i] = static_cast<std::uint8_t>(i * 3 + 1);
    wanted[i] = static_cast<std::uint8_t>(0xFF - i * 5);
  }
  ASSERT_TRUE(ul::WriteSettingsImage(*usb_, 1, old.size(), old));
  const auto chunks =
      static_cast<std::uint32_t>(protocol::unit::SettingsImage::ChunkCount(fresh.size()));
  const struct Row {
    const char* name;
    std::uint32_t cutAt;  // settings write frames since the unit started
    const std::vector<std::uint8_t>& stored;
  } rows[] = {
      {"first chunk", 1, old},
      {"middle chunk", chunks / 2 + 1, old},
      {"last chunk", chunks, old},
      {"store frame", chunks + 1, wanted},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Boot();  // counts from its start
    EXPECT_EXIT(
        {
          unit_->CutPowerAtSettingsWrite(row.cutAt);
          ul::WriteSettingsImage(*usb_, 1, wanted.size(), wanted);
          std::exit(0);
        },
        ::testing::KilledBySignal(SIGKILL), "");
    Boot();
    EXPECT_EQ(Read(1, true), row.stored);
    // Put `old` back for the next row.
    ASSERT_TRUE(ul::WriteSettingsImage(*usb_, 1, old.size(), old));
  }
}

// A store the unit cannot save is no success: the client must not report
// settings stored that the next start would not have.
TEST_F(SimUnitTest, AStoreThatCannotBeSavedFails) {
  auto image = Read(1, true);
  image.back() ^= 0xFF;
  std::filesystem::remove_all(dir_);  // the state file's folder is gone: no save can work
  EXPECT_FALSE(ul::WriteSettingsImage(*usb_, 1, image.size(), image));
}

TEST_F(SimUnitTest, CardRecordsTableEntriesAndDisplayLevelsPersist) {
  // A card download ends with the new version in the processor record.
  const std::uint8_t begin[12] = {1, 3, 0x12, 0x00, 9, 12, 0xEA, 0x07, 0, 0, 0, 0};
  ASSERT_TRUE(usb_->BeginCardDownload(2, begin));
  std::uint8_t block[64] = {};
  block[1] = 8;
  block[8] = 1;  // at 0x10000, in the processor's program memory; two zeros sum to the checksum
  block[10] = 2;
  ASSERT_TRUE(usb_->WriteCardBlock(2, 1, block));
  ASSERT_TRUE(usb_->EndCardDownload(2, 1));
  std::uint8_t record[40];
  ASSERT_TRUE(usb_->ReadProcessorRecord(2, 1, record));
  const unsigned version = record[4] | (record[5] << 8);
  EXPECT_EQ((version >> 1) & 0x1F, 3u);
  EXPECT_EQ(version >> 6, 0x12u);
  const unsigned date = record[2] | (record[3] << 8);
  EXPECT_EQ(date & 0x1F, 9u);
  EXPECT_EQ((date >> 5) & 0x0F, 12u);
  EXPECT_EQ(date >> 9, 26u);

  const std::uint8_t entry[48] = {0x42, 0x43};
  ASSERT_TRUE(usb_->WriteTableEntry(11, 4, 1, 0, 0, entry, 48));
  ASSERT_TRUE(usb_->SetContrast(255));
  ASSERT_TRUE(usb_->BtModuleInit(true, 1));
  EXPECT_TRUE(unit_->BtInitActive());
  const auto contrast = unit_->DisplayLevels()[2];
  EXPECT_EQ(contrast.value, contrast.max) << "values are held within the reported range";

  Boot();
  std::uint8_t again[40];
  ASSERT_TRUE(usb_->ReadProcessorRecord(2, 1, again));
  EXPECT_EQ(std::vector<std::uint8_t>(record, record + 40),
            std::vector<std::uint8_t>(again, again + 40));
  EXPECT_EQ(unit_->TableEntry(11, 4)[0], 0x42);
  EXPECT_EQ(unit_->DisplayLevels()[2].value, contrast.max);
}

TEST_F(SimUnitTest, DisplayRowsComeFromTheFront26ModuleWithItsSubAddress) {
  std::uint8_t reply[64];
  int lit = 0;
  for (int row = 0; row < 128; ++row) {
    ASSERT_TRUE(
        usb_->SendCommand(reply, 0x11, 14, 0, static_cast<std::uint8_t>(row), 0, 0, nullptr));
    EXPECT_EQ(reply[6] | reply[7], 0) << "word 0 is not drawn";
    for (int i = 8; i < 38; ++i) lit += __builtin_popcount(reply[i]);
  }
  EXPECT_GT(lit, 100) << "the picture shows something";
}

// A table entry frame may carry 56 bytes after its word; the card keeps 48.
TEST_F(SimUnitTest, ATableEntryLongerThanTheEntryIsCutToIt) {
  std::vector<std::uint8_t> frame = {0xAF, 58, 11, 3, 0, 0, 1, 0};
  for (int i = 0; i < 56; ++i) frame.push_back(static_cast<std::uint8_t>(0x10 + i));
  ASSERT_TRUE(Frame(frame));
  const auto entry = unit_->TableEntry(11, 3);
  EXPECT_EQ(entry[0], 0x10);
  EXPECT_EQ(entry[47], 0x10 + 47);
  EXPECT_EQ(unit_->TableEntry(11, 4)[0], 0) << "the next entry is untouched";
}

}  // namespace
}  // namespace sim
