#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/firmware/IntelHex.h"

namespace desktop::firmware {

// One line of the manifest of the embedded set (the catalogue): what
// goes into one package record, and the input file that holds its bytes.
struct ManifestRow {
  std::uint32_t kind = 0;
  std::int16_t model = 0;
  std::int16_t component = 0;
  std::uint16_t version = 0;
  std::uint16_t year = 0;
  std::uint8_t month = 0;
  std::uint8_t day = 0;
  std::uint8_t hour = 0;
  std::uint8_t minute = 0;
  std::uint8_t second = 0;
  std::string file;  // "-" for the head
  int line = 0;      // manifest line
};

// One package record as the generator emits it.
struct PackageRecord {
  ManifestRow row;
  std::uint32_t checksum = 0;  // kinds 3 and 5 only
  std::vector<InputSegment> segments;
};

// Reads the manifest: one row per line, "#" comments and blank lines skipped:
//   kind model component version date time file
// version is 0, a word (0x1901) or its text (V1.100); date YYYY-MM-DD and time
// HH:MM:SS, or "head" for the head's own; file "-" for the head.
bool ParseManifest(std::string_view text, const std::string& fileName,
                   std::vector<ManifestRow>& rows, InputError& error);

// Fetches an input file's bytes by its manifest name; false when it cannot.
using InputLoader = std::function<bool(const std::string& name, std::string& content)>;

// Reads every row's input (Intel HEX for kinds 3, 5, 6 and 10, the plain file
// for kind 9), checks the invariants of a well-formed list and computes the
// checksums. Errors name the manifest or input file and its line.
bool BuildPackageSet(const std::vector<ManifestRow>& rows, const std::string& manifestName,
                     const InputLoader& load, std::vector<PackageRecord>& records,
                     InputError& error);

// Sum of every byte, modulo 2^32: the checksum of kinds 3 and 5.
std::uint32_t ByteSum(const std::vector<InputSegment>& segments);

}  // namespace desktop::firmware
