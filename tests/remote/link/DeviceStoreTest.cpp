#include <gtest/gtest.h>

#include <fstream>

#include "../../support/SimProcess.h"
#include "platform/AtomicFile.h"
#include "protocol/remote/RemoteProtocol.h"
#include "remote/link/DeviceStore.h"
#include "remote/link/DevicesFile.h"

namespace remote::link {
namespace {

using protocol::remote::kServiceConfig;
using protocol::remote::kServiceHardware;
using testing_support::TempDir;

// A handheld with one storage card and the registry in memory.
class DeviceStoreTest : public ::testing::Test {
 protected:
  DeviceStoreTest() : env(dir.path()) {
    std::filesystem::create_directories(dir.path() / "Storage Card" / "2577");
    std::ofstream(dir.path() / "handheld.conf") << "storage_card=Storage Card\n";
    std::string error;
    EXPECT_TRUE(env.LoadConfig(error)) << error;
  }
  static DeviceEntry Unit(std::uint32_t n, std::string name = "") {
    return {{0xC2000000u + n, 0x0050},
            name.empty() ? "Unit " + std::to_string(n) : name,
            std::string(kServiceHardware)};
  }
  std::string DevicesTxt() {
    std::string text;
    platform::ReadWholeFile(dir.path() / "Storage Card" / "2577" / "Devices.txt", text);
    return text;
  }
  DeviceStore Reloaded() {
    DeviceStore store(registry, env);
    store.Load();
    return store;
  }

  TempDir dir;
  platform::HandheldEnv env;
  platform::MemoryRegistry registry;
};

TEST_F(DeviceStoreTest, KeepsTheNewestTenAndRenamesAKnownUnitInPlace) {
  DeviceStore store(registry, env);
  EXPECT_EQ(store.CardFolder(), "\\Storage Card\\2577\\");
  for (std::uint32_t n = 1; n <= 10; ++n) store.Merge(Unit(n), false);
  store.Merge(Unit(3, "Living room"), true);
  EXPECT_EQ(store.Count(), 10u);
  EXPECT_EQ(store.Entry(2)->friendlyName, "Living room");
  store.Merge(Unit(11), false);  // the eleventh drops the oldest
  ASSERT_EQ(store.Count(), 10u);
  EXPECT_EQ(store.Entry(0)->address, Unit(2).address);
  EXPECT_EQ(store.Entry(9)->address, Unit(11).address);
  // Same address, other service: still one entry.
  DeviceEntry config = Unit(11);
  config.serviceName = std::string(kServiceConfig);
  store.Merge(config, false);
  EXPECT_EQ(store.Count(), 10u);
  EXPECT_EQ(store.Entry(9)->serviceName, kServiceConfig);

  ASSERT_TRUE(store.Save()) << store.LastError();
  const DeviceStore loaded = Reloaded();
  EXPECT_EQ(loaded.Devices(), store.Devices());
  EXPECT_EQ(loaded.DefaultAddress(), Unit(3).address);
  EXPECT_EQ(loaded.DefaultName(), "Living room");
  bool isDefault = false;
  ASSERT_TRUE(loaded.Entry(1, &isDefault));
  EXPECT_TRUE(isDefault);
  EXPECT_FALSE(loaded.Entry(10));
}

TEST_F(DeviceStoreTest, DevicesTxtMarksTheDefaultByAddressAlone) {
  DeviceStore store(registry, env);
  store.Merge(Unit(0x04D2, "Valdur MRX520-1234"), true);
  DeviceEntry other = Unit(7,
                           "K\xC3\xBC"
                           "che");  // UTF-8 in memory, 8-bit in the file
  store.Merge(other, false);
  // The default's service changes: the check mark goes, the "*" stays.
  DeviceEntry renamed = Unit(0x04D2, "Valdur MRX520-1234");
  renamed.serviceName = std::string(kServiceConfig);
  store.Merge(renamed, false);
  ASSERT_TRUE(store.Save());
  EXPECT_EQ(DevicesTxt(),
            "*0050C20004D2 \"Valdur MRX520-1234\" \"COM-CONFIG\"\n"
            " 0050C2000007 \"K\xFC"
            "che\" \"COM-HARDWARE\"\n");
  bool isDefault = true;
  store.Entry(0, &isDefault);
  EXPECT_FALSE(isDefault);

  // The installer's import reads back what was written.
  const auto imported = ParseDevicesText(DevicesTxt());
  ASSERT_EQ(imported.size(), 2u);
  EXPECT_TRUE(imported[0].isDefault);
  EXPECT_EQ(imported[0].entry, renamed);
  EXPECT_FALSE(imported[1].isDefault);
  EXPECT_EQ(imported[1].entry, other);
}

TEST_F(DeviceStoreTest, EntriesWithoutANameOrAReadableValueAreNotLoaded) {
  std::string error;
  registry.Modify(
      platform::Hive::kLocalMachine,
      [](platform::RegistryHive& hive) {
        const std::string key(DeviceStore::kKey);
        auto sz = [](std::string s) {
          platform::RegistryValue v{platform::kRegSz, {s.begin(), s.end()}};
          v.data.push_back(0);
          return v;
        };
        const platform::RegistryValue address{platform::kRegBinary, {1, 0, 0, 0, 2, 0, 0, 0}};
        hive.Set(key, "FriendlyName0", sz(""));  // no name: not a unit
        hive.Set(key, "ServiceName0", sz("COM-HARDWARE"));
        hive.Set(key, "BDAddr0", address);
        hive.Set(key, "FriendlyName1", sz("No address"));
        hive.Set(key, "ServiceName1", sz("COM-HARDWARE"));
        hive.Set(key, "FriendlyName2", sz(std::string(600, 'x')));  // longer than the read buffer
        hive.Set(key, "ServiceName2", sz("COM-HARDWARE"));
        hive.Set(key, "BDAddr2", address);
        hive.Set(key, "FriendlyName3", sz("Kept"));
        hive.Set(key, "ServiceName3", sz("COM-HARDWARE"));
        hive.Set(key, "BDAddr3", address);
        hive.Set(key, "MuteIsFade", {platform::kRegBinary, {1, 0, 0, 0}});
      },
      error);
  const DeviceStore store = Reloaded();
  ASSERT_EQ(store.Count(), 1u);
  EXPECT_EQ(store.Entry(0)->friendlyName, "Kept");
  EXPECT_EQ(store.Entry(0)->address, (platform::BtAddress{1, 2}));
  EXPECT_TRUE(store.MuteIsFade());
  EXPECT_TRUE(store.DefaultAddress().IsZero());
}

TEST_F(DeviceStoreTest, RemoveAllLeavesAnEmptyStoreAndAnEmptyFile) {
  DeviceStore store(registry, env);
  for (std::uint32_t n = 1; n <= 4; ++n) store.Merge(Unit(n), n == 2);
  ASSERT_TRUE(store.Save());
  ASSERT_FALSE(DevicesTxt().empty());
  ASSERT_TRUE(store.RemoveAll());
  EXPECT_EQ(DevicesTxt(), "");
  const DeviceStore loaded = Reloaded();
  EXPECT_EQ(loaded.Count(), 0u);
  EXPECT_TRUE(loaded.DefaultAddress().IsZero());
  EXPECT_EQ(loaded.DefaultName(), "");
}

TEST_F(DeviceStoreTest, WithoutDevicesTxtTheEntriesWaitButTheDefaultsAreSaved) {
  std::filesystem::remove_all(dir.path() / "Storage Card" / "2577");
  DeviceStore store(registry, env);
  store.Merge(Unit(5), true);
  store.SetMuteIsFade(true);
  EXPECT_FALSE(store.Save());
  const DeviceStore loaded = Reloaded();
  EXPECT_EQ(loaded.Count(), 0u);
  EXPECT_EQ(loaded.DefaultAddress(), Unit(5).address);
  EXPECT_TRUE(loaded.MuteIsFade());
}

TEST_F(DeviceStoreTest, TheLastCardListedHoldsTheFileAndNoCardMeansTheRoot) {
  std::filesystem::create_directories(dir.path() / "ZCard" / "2577");
  std::ofstream(dir.path() / "handheld.conf") << "storage_card=Storage Card\nstorage_card=ZCard\n";
  std::string error;
  ASSERT_TRUE(env.LoadConfig(error));
  EXPECT_EQ(DeviceStore(registry, env).CardFolder(), "\\ZCard\\2577\\");

  std::ofstream(dir.path() / "handheld.conf") << "os_major=4\n";
  ASSERT_TRUE(env.LoadConfig(error));
  DeviceStore store(registry, env);
  EXPECT_EQ(store.CardFolder(), "");
  store.Merge(Unit(1), false);
  ASSERT_TRUE(store.Save());
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "Devices.txt"));
}

// A hive that cannot be read whole is reported with its file and line, and the
// store stays as it was: the default unit is not taken as absent.
TEST_F(DeviceStoreTest, ADamagedHiveIsReportedNotTakenForAnEmptyOne) {
  struct Row {
    const char* fixture;
    const char* error;  // after "<hive path>: "
  } rows[] = {
      {"hklm-cut-off-in-a-value.reg", "line 5: bad value data: \"DefaultName\"=hex(1):56,61,6c,"},
      {"hklm-zeroed-block.reg",
       "line 4: bad value name: "
       "\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.fixture);
    platform::FileRegistry files(env.RegistryDir());
    const auto hive = files.HivePath(platform::Hive::kLocalMachine);
    std::filesystem::create_directories(hive.parent_path());
    std::filesystem::copy_file(
        std::filesystem::path(MRX_SOURCE_DIR) / "tests/fixtures/hive" / r.fixture, hive,
        std::filesystem::copy_options::overwrite_existing);
    DeviceStore store(files, env);
    EXPECT_FALSE(store.Load());
    EXPECT_EQ(store.LastError(), hive.string() + ": " + r.error);
    EXPECT_EQ(store.Count(), 0u);
    EXPECT_TRUE(store.DefaultAddress().IsZero());
  }
}

TEST(DevicesFileTest, ImportTakesWellFormedLinesAndSkipsTheRest) {
  const std::string text =
      "*0050C20004D2 \"Unit A\" \"COM-HARDWARE\"\n"
      "no address here\n"
      " 00000000000A \"\"\"Quoted\"\"\" \"svc\r\n"
      "X0001FFFFFFFF \"Unterminated\n"
      "\n";
  const auto devices = ParseDevicesText(text);
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_TRUE(devices[0].isDefault);
  EXPECT_EQ(devices[0].entry.address, (platform::BtAddress{0xC20004D2, 0x0050}));
  EXPECT_EQ(devices[1].entry.friendlyName, "Quoted");
  EXPECT_EQ(devices[1].entry.serviceName, "svc");
  EXPECT_FALSE(devices[2].isDefault);
  EXPECT_EQ(devices[2].entry.address, (platform::BtAddress{0xFFFFFFFF, 1}));
  EXPECT_EQ(devices[2].entry.friendlyName, "Unterminated");
  EXPECT_EQ(devices[2].entry.serviceName, "");
}

TEST_F(DeviceStoreTest, ADevicesFileIsSizedBeforeItIsRead) {
  const auto file = dir.path() / "Storage Card" / "2577" / "Devices.txt";
  std::ofstream(file) << "*0050C20004D2 \"Unit A\" \"COM-HARDWARE\"\n";
  std::vector<ImportedDevice> devices;
  std::string error;
  ASSERT_TRUE(ReadDevicesFile(file, devices, error)) << error;
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].entry.friendlyName, "Unit A");

  std::filesystem::resize_file(file, std::uintmax_t{4} << 30);  // sparse: takes no room
  EXPECT_FALSE(ReadDevicesFile(file, devices, error));
  EXPECT_EQ(error, file.string() + ": too large (4294967296 bytes; at most 1048576)");
  EXPECT_FALSE(ReadDevicesFile(dir.path() / "none.txt", devices, error));
  EXPECT_EQ(error, (dir.path() / "none.txt").string() + ": No such file or directory");
}

}  // namespace
}  // namespace remote::link
