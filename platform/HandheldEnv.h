#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"

namespace platform {

// File attributes as the handheld's file system reports them.
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrNormal = 0x80;
inline constexpr std::uint32_t kAttrTemporary = 0x100;  // with kAttrDirectory: a storage card

// The handheld the remote and its installer run on: a directory tree standing
// for its file system ($WAVRIX_HANDHELD), with "handheld.conf" at its root
// naming the storage-card folders, the OS major version and the processor
// architecture ("key=value" lines, '#' comments; storage_card may repeat).
class HandheldEnv {
 public:
  struct DirEntry {
    std::string name;
    std::uint32_t attributes = 0;
  };

  // A relative `root` is taken from the working folder of this moment.
  explicit HandheldEnv(std::filesystem::path root);
  // $WAVRIX_HANDHELD, else $XDG_DATA_HOME/wavrix/handheld, else
  // ~/.local/share/wavrix/handheld.
  static std::filesystem::path DefaultRoot();

  // Reads handheld.conf; a missing file leaves the defaults (OS 5, ARM, no
  // card). False with "line N: reason" when the file is not understood, and
  // with the reason when it is there but cannot be read or is far too large.
  bool LoadConfig(std::string& error);

  const std::filesystem::path& Root() const { return root_; }
  int OsMajor() const { return osMajor_; }
  int ProcessorArchitecture() const { return processorArchitecture_; }

  // The root folder as "*.*" lists it, in name order; storage cards carry the
  // directory and temporary attributes.
  std::vector<DirEntry> ListRoot() const;
  // A handheld path ("\\Storage Card\\2577\\Devices.txt", or relative to the
  // root) in the tree; none for a path that would leave it.
  std::optional<std::filesystem::path> MapPath(std::string_view handheldPath) const;
  std::filesystem::path RegistryDir() const { return root_ / "Windows" / "Registry"; }

  // The handheld's local time: the host's, moved by what SetLocalTime set.
  LocalTime Now(Clock& clock) const;
  // False with an errno value when the time is impossible or cannot be kept.
  bool SetLocalTime(const LocalTime& t, Clock& clock, int& error);

 private:
  std::int64_t ClockOffset() const;

  std::filesystem::path root_;
  int osMajor_ = 5;
  int processorArchitecture_ = 5;
  std::vector<std::string> storageCards_;
};

}  // namespace platform
