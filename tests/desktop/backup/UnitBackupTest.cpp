// Backup, restore and compare against the simulated unit in process, its
// KLF310 card served on a loopback address of this test alone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "desktop/backup/ReadUnitBackup.h"
#include "desktop/backup/Restore.h"
#include "desktop/backup/SettingsDiff.h"
#include "desktop/roomcorrection/KlfLink.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "desktop/unitlink/UnitProtocol.h"
#include "platform/Bytes.h"
#include "protocol/klf/KlfMessage.h"
#include "protocol/unit/IdentityRecord.h"
#include "protocol/unit/Qvo520Image.h"
#include "sim/Klf310Server.h"
#include "sim/Scenario.h"
#include "sim/SimDeviceIo.h"
#include "sim/SimUnit.h"
#include "tests/support/WaitFor.h"

namespace desktop::backup {
namespace {

namespace pk = protocol::klf;
namespace pu = protocol::unit;

using Kind = RestoreOutcome::Kind;

std::string OwnLoopback(int salt) {
  const auto pid = static_cast<unsigned>(getpid());
  return "127." + std::to_string(1 + (pid >> 16) % 254) + "." + std::to_string((pid >> 8) & 0xFF) +
         "." + std::to_string(1 + ((pid & 0xFF) + static_cast<unsigned>(salt) * 37) % 253);
}

// A QVO520 at 1, the KLF310 at 2, and at 3 the card `third` names.
class Unit {
 public:
  Unit(int salt, const std::string& third = "type=4 serial=33") : host(OwnLoopback(salt)) {
    std::string error;
    auto scenario = sim::ParseScenario(
        "unit slots=4 serial=1234\n"
        "module address=1 type=2 serial=11\n"
        "module address=2 type=11 ip=" +
            host + "\nmodule address=3 " + third + "\n",
        error);
    EXPECT_TRUE(scenario) << error;
    unit = std::make_unique<sim::SimUnit>(*scenario, platform::DefaultClock());
    io = std::make_unique<sim::SimDeviceIo>(*unit);
    usb.SetDeviceIo(io.get());
    usb.SetDeviceName("\\\\.\\MRXUSBDevice0");
    server = std::make_unique<sim::Klf310Server>(*unit);
    EXPECT_TRUE(server->Start(error)) << error;
    EXPECT_TRUE(testing_support::WaitFor([&] {
      roomcorrection::KlfLink probe;
      return probe.Connect(host, pk::kCurvePort);
    }));
  }
  ~Unit() { server->Stop(); }

  void SetLevel2(std::int16_t tenths) {
    auto image = unit->StoredSettings(1);
    platform::PutU16(image, pu::Qvo520Image::kLevel2, static_cast<std::uint16_t>(tenths));
    ASSERT_TRUE(unitlink::WriteSettingsImage(usb, 1, image.size(), image));
  }
  void ChangeCurve(std::uint16_t channel) {
    roomcorrection::KlfLink link;
    std::vector<pk::CurveBin> bins(pk::CurveBin::kBinCount);
    ASSERT_TRUE(link.Connect(host, pk::kCurvePort));
    ASSERT_TRUE(link.ReadCurve(channel, 0, bins));
    for (std::size_t k = 100; k < 117; ++k) bins[k].phase = static_cast<std::int16_t>(k);
    ASSERT_TRUE(link.WriteCurve(channel, 0, bins));
  }
  UnitBackup Read(bool curves = true) {
    ReadOptions options;
    options.curves = curves;
    const ReadResult r = ReadUnitBackup(usb, options);
    EXPECT_TRUE(r.Complete()) << r.error;
    return r.backup;
  }

  std::string host;
  std::unique_ptr<sim::SimUnit> unit;
  std::unique_ptr<sim::SimDeviceIo> io;
  unitlink::CTiroUSB usb;
  std::unique_ptr<sim::Klf310Server> server;
};

std::vector<std::string> Texts(const std::vector<Difference>& diff) {
  std::vector<std::string> texts;
  for (const Difference& d : diff) texts.push_back(d.Text());
  return texts;
}

TEST(UnitBackupTest, RestoreUndoesChangesAndTheComparisonSeesThem) {
  Unit u(1);
  u.SetLevel2(-125);
  const UnitBackup backup = u.Read();
  EXPECT_EQ(backup.serial, 1234);
  ASSERT_EQ(backup.modules.size(), 4u);
  ASSERT_EQ(backup.curves.size(), 1u);
  EXPECT_EQ(backup.curves[0].channels.size(), 16u);

  u.SetLevel2(-100);
  u.ChangeCurve(3);
  const auto changed = Texts(SettingsDiff(backup, u.Read()));
  EXPECT_EQ(changed,
            (std::vector<std::string>{"QVO520 @1: level 2 -12.5 dB → -10.0 dB",
                                      "KLF310 @2: curve of channel 3: 17 of 2048 bins differ"}));

  const RestoreResult restored = Restore(u.usb, backup, {});
  ASSERT_TRUE(restored.Success()) << restored.error;
  for (const RestoreOutcome& o : restored.outcomes) {
    EXPECT_EQ(o.kind, Kind::kVerified) << o.what << ": " << o.message;
  }
  EXPECT_EQ(restored.outcomes.size(), 5u) << "four images and the curves";
  EXPECT_TRUE(SettingsDiff(backup, u.Read()).empty());
}

TEST(UnitBackupTest, ACardOfAnotherTypeIsSkippedAndTheRestWritten) {
  Unit first(2);
  const UnitBackup backup = first.Read(false);
  Unit other(3, "type=6");
  other.SetLevel2(-50);
  const auto third = other.unit->StoredSettings(3);

  const RestoreResult r = Restore(other.usb, backup, {});
  EXPECT_FALSE(r.Success());
  const auto at3 = std::find_if(r.outcomes.begin(), r.outcomes.end(),
                                [](const RestoreOutcome& o) { return o.address == 3; });
  ASSERT_NE(at3, r.outcomes.end());
  EXPECT_EQ(at3->kind, Kind::kSkipped);
  EXPECT_TRUE(at3->mismatch);
  EXPECT_NE(at3->message.find("module 3 (TWR310i)"), std::string::npos) << at3->message;
  EXPECT_EQ(other.unit->StoredSettings(3), third) << "never written";
  EXPECT_EQ(platform::GetU16(other.unit->StoredSettings(1), pu::Qvo520Image::kLevel2),
            platform::GetU16(backup.FindModule(1)->image, pu::Qvo520Image::kLevel2));
  // The other unit's serials stay its own.
  EXPECT_EQ(pu::IdentityRecord::Decode(other.unit->StoredSettings(1)).serial, 11);
}

TEST(UnitBackupTest, DryRunAndOnlyChooseWhatIsWritten) {
  Unit u(4);
  const UnitBackup backup = u.Read(false);
  u.SetLevel2(-200);
  const auto before = u.unit->StoredSettings(1);

  RestoreOptions dry;
  dry.dryRun = true;
  const RestoreResult planned = Restore(u.usb, backup, dry);
  EXPECT_TRUE(planned.Success());
  EXPECT_EQ(u.unit->StoredSettings(1), before) << "a dry run writes nothing";
  for (const RestoreOutcome& o : planned.outcomes) EXPECT_EQ(o.kind, Kind::kWouldWrite) << o.what;

  RestoreOptions only;
  only.only = {3, 9};
  const RestoreResult r = Restore(u.usb, backup, only);
  EXPECT_FALSE(r.Success()) << "module 9 is not in the backup";
  ASSERT_EQ(r.outcomes.size(), 2u);
  EXPECT_EQ(r.outcomes[0].address, 9);
  EXPECT_EQ(r.outcomes[0].kind, Kind::kSkipped);
  EXPECT_EQ(r.outcomes[1].address, 3);
  EXPECT_EQ(r.outcomes[1].kind, Kind::kVerified);
  EXPECT_EQ(u.unit->StoredSettings(1), before) << "module 1 was not asked for";
}

// A backup whose checksum is right but whose values no card takes is not
// trusted at all: nothing of it is written, and the module and field are named.
TEST(UnitBackupTest, ABackupWithImpossibleValuesIsRefusedWhole) {
  Unit u(6);
  UnitBackup backup = u.Read(false);
  u.SetLevel2(-200);
  const auto before = u.unit->StoredSettings(1);
  // Level 4 of the QVO520 at +25.6 dB; -30.0 to +10.0 dB is what the card takes.
  for (ModuleBackup& m : backup.modules) {
    if (m.address == 1) platform::PutU16(m.image, pu::Qvo520Image::kLevel4, 256);
  }
  for (const bool dryRun : {true, false}) {
    SCOPED_TRACE(dryRun ? "dry run" : "restore");
    RestoreOptions options;
    options.dryRun = dryRun;
    const RestoreResult r = Restore(u.usb, backup, options);
    EXPECT_EQ(r.status, RestoreResult::Status::kRefused);
    EXPECT_FALSE(r.Success());
    const auto at1 = std::find_if(r.outcomes.begin(), r.outcomes.end(),
                                  [](const RestoreOutcome& o) { return o.address == 1; });
    ASSERT_NE(at1, r.outcomes.end());
    EXPECT_EQ(at1->kind, Kind::kSkipped);
    EXPECT_NE(at1->message.find("level 4 25.6 dB (-30.0 dB to 10.0 dB)"), std::string::npos)
        << at1->message;
    for (const RestoreOutcome& o : r.outcomes) {
      if (!dryRun) {
        EXPECT_EQ(o.kind, Kind::kSkipped) << o.what;
      }
    }
    EXPECT_EQ(u.unit->StoredSettings(1), before) << "nothing written";
  }
}

TEST(UnitBackupTest, ProgressCountsEveryStepAndCancelLeavesNoBackup) {
  Unit u(5);
  unsigned lastStep = 0, lastTotal = 0;
  BackupProgress progress;
  progress.report = [&](unsigned step, unsigned total, const std::string&) {
    EXPECT_EQ(step, lastStep + 1);
    lastStep = step;
    lastTotal = total;
  };
  ASSERT_TRUE(ReadUnitBackup(u.usb, {}, progress).Complete());
  EXPECT_EQ(lastStep, 4u + 16u) << "four modules and sixteen curves";
  EXPECT_EQ(lastTotal, lastStep);

  std::atomic<bool> cancel{false};
  progress.cancel = &cancel;
  progress.report = [&](unsigned step, unsigned, const std::string&) { cancel = step == 2; };
  const ReadResult r = ReadUnitBackup(u.usb, {}, progress);
  EXPECT_EQ(r.status, ReadResult::Status::kCancelled);
  EXPECT_TRUE(r.backup.modules.empty());
}

TEST(UnitBackupTest, FailedExchangesAreAskedAgainAndAModuleNotRunningIsNoted) {
  Unit u(6, "type=4 running=0");
  u.unit->SetFailEvery(20);  // one failure in each whole-image read at most
  ReadOptions options;
  options.curves = false;
  const ReadResult r = ReadUnitBackup(u.usb, options);
  ASSERT_TRUE(r.Complete()) << r.error;
  EXPECT_EQ(r.backup.modules.size(), 3u);
  EXPECT_EQ(r.backup.FindModule(3), nullptr);
  ASSERT_FALSE(r.notes.empty());
  EXPECT_EQ(r.notes[0],
            "module 3 (HEJ520) is not running its software: its settings are not in the backup");
  u.unit->SetFailEvery(0);

  // No unit: said so, nothing reported as read.
  u.unit->RefuseOpensFor(60000);
  const ReadResult none = ReadUnitBackup(u.usb, options);
  EXPECT_EQ(none.status, ReadResult::Status::kNoUnit);
}

}  // namespace
}  // namespace desktop::backup
