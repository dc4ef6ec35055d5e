#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "desktop/backup/UnitBackup.h"

namespace desktop::backup {

// The settings backup file: a text header (version line, unit serial, time
// written, one line per module and per card with curves, and in a partial
// backup one line per module or card's curves it lacks), then one section per
// settings image and per curve channel in base64 with a CRC-32 each.
class BackupFile {
 public:
  static constexpr std::string_view kVersionLine = "MRX520 settings backup 1";
  static constexpr std::size_t kLineWidth = 76;
  // Far beyond a unit full of KLF310 cards; a larger file is refused unread.
  static constexpr std::size_t kMaxFileSize = 8u << 20;

  // The whole text of `backup`.
  static std::string Write(const UnitBackup& backup);

  struct Parsed {
    bool ok = false;
    UnitBackup backup;
    std::size_t line = 0;  // where the file was refused
    std::string message;   // why, without file name or line
  };
  // All or nothing: any line not understood, bad base64, a wrong length or
  // checksum, a missing or repeated section refuses the whole text.
  static Parsed Parse(std::string_view text);

  // Writes the file whole or not at all; `error` names the file.
  static bool Save(const std::filesystem::path& path, const UnitBackup& backup, std::string& error);
  // Reads and parses; `error` is "FILE line N: why" or "FILE: why".
  static bool Load(const std::filesystem::path& path, UnitBackup& backup, std::string& error);
};

}  // namespace desktop::backup
