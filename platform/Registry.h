#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class Hive { kLocalMachine, kCurrentUser };

// Value types as the registry numbers them.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;

struct RegistryValue {
  std::uint32_t type = kRegBinary;
  std::vector<std::uint8_t> data;
  bool operator==(const RegistryValue&) const = default;
};

// One hive in memory: keys by path ("SOFTWARE\\Valdur\\Wavrix"), each with
// named, typed values. Key paths and value names compare without case, as the
// registry does; the first spelling is kept.
class RegistryHive {
 public:
  bool HasKey(std::string_view key) const;
  void CreateKey(std::string_view key);
  // Null when the key or the value is not there.
  const RegistryValue* Query(std::string_view key, std::string_view name) const;
  // Creates the key when needed.
  void Set(std::string_view key, std::string_view name, RegistryValue value);
  // The key and every key below it; false when there was none.
  bool DeleteKey(std::string_view key);

  // The registry editor's text form ("REGEDIT4"), values as hex bytes so that
  // 8-bit text stays byte-exact.
  std::string Serialize(Hive hive) const;
  // False with "line N: reason" for text that is not a hive file.
  static bool Parse(std::string_view text, RegistryHive& out, std::string& error);

  bool operator==(const RegistryHive&) const = default;

 private:
  struct Key {
    std::string name;
    std::map<std::string, std::pair<std::string, RegistryValue>> values;  // by lower-case name
    bool operator==(const Key&) const = default;
  };
  std::map<std::string, Key> keys_;  // by lower-case path
};

// The handheld's registry: read a hive, or change it as one step.
class Registry {
 public:
  virtual ~Registry() = default;
  // The hive as stored now (empty when there is none yet); false when it
  // cannot be read, with the reason in `error`.
  virtual bool Read(Hive hive, RegistryHive& out, std::string& error) = 0;
  // Reads the hive, lets `change` edit it and stores it whole, all under the
  // hive's lock, so two programs changing it never lose each other's values.
  // False (nothing stored) when the hive cannot be read or written.
  virtual bool Modify(Hive hive, const std::function<void(RegistryHive&)>& change,
                      std::string& error) = 0;
};

// One file per hive in `directory` (HKLM.reg, HKCU.reg), replaced atomically;
// the lock is an advisory file lock on HIVE.reg.lock beside it.
class FileRegistry final : public Registry {
 public:
  explicit FileRegistry(std::filesystem::path directory) : directory_(std::move(directory)) {}
  bool Read(Hive hive, RegistryHive& out, std::string& error) override;
  bool Modify(Hive hive, const std::function<void(RegistryHive&)>& change,
              std::string& error) override;
  std::filesystem::path HivePath(Hive hive) const;

 private:
  std::filesystem::path directory_;
};

// The registry of tests.
class MemoryRegistry final : public Registry {
 public:
  bool Read(Hive hive, RegistryHive& out, std::string& error) override;
  bool Modify(Hive hive, const std::function<void(RegistryHive&)>& change,
              std::string& error) override;

 private:
  std::mutex mutex_;
  std::map<Hive, RegistryHive> hives_;
};

}  // namespace platform
