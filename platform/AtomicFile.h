#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

// Writes the whole file or nothing: a temporary file beside it, flushed to
// disk, then renamed over the old one, with permissions `mode` (less the
// umask). `error` says why when it fails.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content,
                         std::string& error, unsigned mode = 0644);

// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::filesystem::path& path, std::string& content);

}  // namespace platform
