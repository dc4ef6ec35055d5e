#include "remote/link/DeviceStore.h"

#include <algorithm>
#include <cstdio>

#include "platform/AtomicFile.h"
#include "platform/Bytes.h"
#include "platform/CodePage.h"

namespace remote::link {

namespace {

constexpr const char* kDefaultBDAddr = "DefaultBDAddr";
constexpr const char* kDefaultName = "DefaultName";
constexpr const char* kDefaultService = "DefaultService";
constexpr const char* kMuteIsFade = "MuteIsFade";
constexpr const char* kCardProgramFolder = "2577";

std::string Indexed(const char* name, std::size_t i) {
  return name + std::to_string(i);
}

platform::RegistryValue Sz(std::string_view utf8, std::size_t limit) {
  const std::string bytes = platform::Utf8ToCodePage(utf8, limit);
  platform::RegistryValue v{platform::kRegSz, {bytes.begin(), bytes.end()}};
  v.data.push_back(0);
  return v;
}

platform::RegistryValue Address(const platform::BtAddress& a) {
  platform::RegistryValue v{platform::kRegBinary, std::vector<std::uint8_t>(8)};
  platform::PutU32(v.data, 0, a.low);
  platform::PutU32(v.data, 4, a.high);
  return v;
}

// 8-bit text of a value read into a buffer of `limit` bytes: none when the
// value does not fit, as the registry refuses such a read.
std::optional<std::string> ReadText(const platform::RegistryValue* v, std::size_t limit) {
  if (v == nullptr || v->data.size() > limit) return std::nullopt;
  const auto end = std::find(v->data.begin(), v->data.end(), std::uint8_t{0});
  return platform::CodePageToUtf8(std::string(v->data.begin(), end));
}

// Reads a binary value over the start of `field`, as a fixed-size read does.
bool ReadBinary(const platform::RegistryValue* v, std::span<std::uint8_t> field) {
  if (v == nullptr || v->data.size() > field.size()) return false;
  std::copy(v->data.begin(), v->data.end(), field.begin());
  return true;
}

}  // namespace

DeviceStore::DeviceStore(platform::Registry& registry, const platform::HandheldEnv& env)
    : registry_(registry), env_(env) {
  // With several cards the last one listed wins.
  for (const auto& e : env_.ListRoot()) {
    if ((e.attributes & platform::kAttrDirectory) && (e.attributes & platform::kAttrTemporary)) {
      cardFolder_ = "\\" + e.name + "\\" + kCardProgramFolder + "\\";
    }
  }
}

std::optional<std::filesystem::path> DeviceStore::DevicesFilePath() const {
  return env_.MapPath(cardFolder_ + std::string(kDevicesFile));
}

bool DeviceStore::Load() {
  lastError_.clear();
  platform::RegistryHive hive;
  if (!registry_.Read(platform::Hive::kLocalMachine, hive, lastError_)) return false;
  if (!hive.HasKey(kKey)) return true;

  std::array<std::uint8_t, 8> address{};
  platform::PutU32(address, 0, defaultAddress_.low);
  platform::PutU32(address, 4, defaultAddress_.high);
  if (ReadBinary(hive.Query(kKey, kDefaultBDAddr), address)) {
    defaultAddress_ = {platform::GetU32(address, 0), platform::GetU32(address, 4)};
  }
  if (auto t = ReadText(hive.Query(kKey, kDefaultName), kDefaultTextLimit)) defaultName_ = *t;
  if (auto t = ReadText(hive.Query(kKey, kDefaultService), kDefaultTextLimit)) defaultService_ = *t;
  std::array<std::uint8_t, 4> mute{};
  platform::PutU32(mute, 0, muteIsFade_);
  if (ReadBinary(hive.Query(kKey, kMuteIsFade), mute)) muteIsFade_ = platform::GetU32(mute, 0);

  for (std::size_t i = 0; i < kMaxDevices; ++i) {
    const auto name = ReadText(hive.Query(kKey, Indexed("FriendlyName", i)), kDeviceTextLimit);
    if (!name) continue;
    const auto service = ReadText(hive.Query(kKey, Indexed("ServiceName", i)), kDeviceTextLimit);
    if (!service) continue;
    std::array<std::uint8_t, 8> bytes{};
    if (!ReadBinary(hive.Query(kKey, Indexed("BDAddr", i)), bytes)) continue;
    // An emptied entry ("Remove All") has no name and is not a unit.
    if (name->empty()) continue;
    devices_.push_back({{platform::GetU32(bytes, 0), platform::GetU32(bytes, 4)}, *name, *service});
  }
  return true;
}

void DeviceStore::Merge(const DeviceEntry& entry, bool makeDefault) {
  const auto same = std::find_if(devices_.begin(), devices_.end(),
                                 [&](const DeviceEntry& e) { return e.address == entry.address; });
  if (same != devices_.end()) {
    same->friendlyName = entry.friendlyName;
    same->serviceName = entry.serviceName;
  } else {
    devices_.push_back(entry);
  }
  while (devices_.size() > kMaxDevices) devices_.erase(devices_.begin());
  if (makeDefault) {
    defaultAddress_ = entry.address;
    // What the 200-byte fields can hold.
    defaultName_ =
        platform::CodePageToUtf8(platform::Utf8ToCodePage(entry.friendlyName, kDefaultTextLimit));
    defaultService_ =
        platform::CodePageToUtf8(platform::Utf8ToCodePage(entry.serviceName, kDefaultTextLimit));
  }
}

bool DeviceStore::RemoveAll() {
  devices_.clear();
  std::string error;
  const bool cleared = registry_.Modify(
      platform::Hive::kLocalMachine,
      [&](platform::RegistryHive& hive) {
        for (std::size_t i = 0; i < kMaxDevices; ++i) {
          hive.Set(kKey, Indexed("FriendlyName", i), {platform::kRegSz, {0}});
          hive.Set(kKey, Indexed("ServiceName", i), {platform::kRegSz, {0}});
          hive.Set(kKey, Indexed("BDAddr", i), {platform::kRegBinary, {0}});
        }
      },
      error);
  defaultAddress_ = {};
  defaultName_.clear();
  defaultService_.clear();
  const bool saved = Save();
  if (!cleared) lastError_ = error;
  return cleared && saved;
}

std::string DeviceStore::DevicesLine(const DeviceEntry& entry, bool defaultMarker) {
  char head[24];
  std::snprintf(head, sizeof head, "%c%04X%08lX ", defaultMarker ? '*' : ' ',
                entry.address.high & 0xFFFF, static_cast<unsigned long>(entry.address.low));
  return head + ("\"" + platform::Utf8ToCodePage(entry.friendlyName, kDeviceTextLimit) + "\" \"" +
                 platform::Utf8ToCodePage(entry.serviceName, kDeviceTextLimit) + "\"\n");
}

bool DeviceStore::Save() {
  lastError_.clear();
  std::string error;
  const bool defaultsSaved = registry_.Modify(
      platform::Hive::kLocalMachine,
      [&](platform::RegistryHive& hive) {
        hive.Set(kKey, kDefaultBDAddr, Address(defaultAddress_));
        hive.Set(kKey, kDefaultName, Sz(defaultName_, kDefaultTextLimit));
        hive.Set(kKey, kDefaultService, Sz(defaultService_, kDefaultTextLimit));
        platform::RegistryValue mute{platform::kRegBinary, std::vector<std::uint8_t>(4)};
        platform::PutU32(mute.data, 0, muteIsFade_);
        hive.Set(kKey, kMuteIsFade, mute);
      },
      error);
  if (!defaultsSaved) lastError_ = error;

  std::string text;
  for (const DeviceEntry& e : devices_) text += DevicesLine(e, e.address == defaultAddress_);
  const auto file = DevicesFilePath();
  if (!file || !platform::WriteFileAtomically(*file, text, error)) {
    // Without the file the entries wait for the next save.
    lastError_ = file ? error : "no place for " + std::string(kDevicesFile);
    return false;
  }
  const bool entriesSaved = registry_.Modify(
      platform::Hive::kLocalMachine,
      [&](platform::RegistryHive& hive) {
        for (std::size_t p = 0; p < devices_.size(); ++p) {
          hive.Set(kKey, Indexed("FriendlyName", p),
                   Sz(devices_[p].friendlyName, kDeviceTextLimit));
          hive.Set(kKey, Indexed("ServiceName", p), Sz(devices_[p].serviceName, kDeviceTextLimit));
          hive.Set(kKey, Indexed("BDAddr", p), Address(devices_[p].address));
        }
      },
      error);
  if (!entriesSaved) lastError_ = error;
  return defaultsSaved && entriesSaved;
}

std::optional<DeviceEntry> DeviceStore::Entry(std::size_t i, bool* isDefault) const {
  if (i >= devices_.size()) return std::nullopt;
  if (isDefault != nullptr) {
    *isDefault =
        devices_[i].address == defaultAddress_ && devices_[i].serviceName == defaultService_;
  }
  return devices_[i];
}

}  // namespace remote::link
