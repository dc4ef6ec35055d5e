#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Bluetooth.h"
#include "platform/HandheldEnv.h"
#include "platform/Registry.h"

namespace remote::link {

struct DeviceEntry {
  platform::BtAddress address;
  std::string friendlyName;  // UTF-8
  std::string serviceName;   // UTF-8
  bool operator==(const DeviceEntry&) const = default;
};

// The units the remote knows, the default one and the mute setting: kept in
// the handheld's registry and mirrored into Devices.txt in the storage card's
// program folder, which the installer carries to the next installation. The
// remote and the installer use it the same way.
class DeviceStore {
 public:
  static constexpr std::size_t kMaxDevices = 10;
  static constexpr std::size_t kDefaultTextLimit = 200;  // bytes with the NUL
  static constexpr std::size_t kDeviceTextLimit = 500;
  static constexpr std::string_view kKey = "SOFTWARE\\Valdur\\Wavrix";
  static constexpr std::string_view kDevicesFile = "Devices.txt";

  // Finds the storage card's program folder; holds nothing yet.
  DeviceStore(platform::Registry& registry, const platform::HandheldEnv& env);

  // Reads the defaults, then the entries; values that cannot be read are
  // skipped. False, with the reason in LastError and the store as it was,
  // when the registry hive itself cannot be read whole: a damaged hive would
  // otherwise pass for one without a default unit.
  bool Load();
  // Adds the entry, or renames the one with the same address in place; keeps
  // the newest ten; optionally makes it the default.
  void Merge(const DeviceEntry& entry, bool makeDefault);
  // Forgets every entry and the default, here and in the registry, then saves.
  bool RemoveAll();
  // Writes the defaults, Devices.txt and the entries. False when something was
  // not stored; without Devices.txt the entries are not written either.
  bool Save();

  std::size_t Count() const { return devices_.size(); }
  const std::vector<DeviceEntry>& Devices() const { return devices_; }
  // The i-th entry; `isDefault` tells whether it carries the check mark.
  std::optional<DeviceEntry> Entry(std::size_t i, bool* isDefault = nullptr) const;

  const platform::BtAddress& DefaultAddress() const { return defaultAddress_; }
  const std::string& DefaultName() const { return defaultName_; }
  const std::string& DefaultService() const { return defaultService_; }
  bool MuteIsFade() const { return muteIsFade_ != 0; }
  void SetMuteIsFade(bool on) { muteIsFade_ = on ? 1 : 0; }
  // "\\<card>\\2577\\", or empty without a card.
  const std::string& CardFolder() const { return cardFolder_; }
  std::optional<std::filesystem::path> DevicesFilePath() const;
  // The last error of Load or Save, for a caller that wants to tell the user.
  const std::string& LastError() const { return lastError_; }

  // One line of Devices.txt.
  static std::string DevicesLine(const DeviceEntry& entry, bool defaultMarker);

 private:
  platform::Registry& registry_;
  const platform::HandheldEnv& env_;
  platform::BtAddress defaultAddress_;
  std::string defaultName_;
  std::string defaultService_;
  std::uint32_t muteIsFade_ = 0;
  std::vector<DeviceEntry> devices_;
  std::string cardFolder_;
  std::string lastError_;
};

}  // namespace remote::link
