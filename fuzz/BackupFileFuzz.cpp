// A settings backup file as "mrxctl restore" and "mrxctl diff" read it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "desktop/backup/BackupFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace bk = desktop::backup;
  const auto parsed =
      bk::BackupFile::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!parsed.ok) {
    // A refusal keeps nothing and names a line.
    if (!parsed.backup.modules.empty() || parsed.message.empty()) __builtin_trap();
    return 0;
  }
  // What was taken is written again in the same form and read back the same.
  const std::string written = bk::BackupFile::Write(parsed.backup);
  const auto again = bk::BackupFile::Parse(written);
  if (!again.ok || bk::BackupFile::Write(again.backup) != written) __builtin_trap();
  return 0;
}
