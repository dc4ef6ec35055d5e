#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace desktop::firmware {

// Where an input of the package build is wrong: "file:line: reason", as a
// compiler says it, so the build log points at the line.
struct InputError {
  std::string file;
  int line = 0;  // 0 when the whole file is meant
  std::string reason;
  std::string Text() const;
};

// A contiguous stretch of image bytes read from an input, and the input line
// it starts on.
struct InputSegment {
  std::uint32_t address = 0;
  std::vector<std::uint8_t> data;
  int line = 0;
};

// Reads an Intel HEX file into segments in file order. A segment ends at a gap
// and at an extended address record (types 02 and 04), so contiguous segments
// of an image survive as they were written; a record that sets the base to
// exactly where the open segment ends carries that segment on across the
// 64 KiB boundary. Checksums, record lengths and the end-of-file record are
// checked; types 03 and 05 are ignored.
bool ParseIntelHex(std::string_view text, const std::string& fileName,
                   std::vector<InputSegment>& segments, InputError& error);

// Writes segments as Intel HEX with a type-04 record before each segment and
// at each 64 KiB crossing, 16 data bytes a line: read back segment for segment
// unless two contiguous segments meet exactly at a 64 KiB boundary.
std::string WriteIntelHex(const std::vector<InputSegment>& segments);

}  // namespace desktop::firmware
