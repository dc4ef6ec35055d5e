// The firmware generator's readers: Intel HEX, the manifest, and the package
// set built from both (every input file given the same bytes).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/firmware/PackageInputs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace fw = desktop::firmware;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  fw::InputError error;
  std::vector<fw::InputSegment> segments;
  if (fw::ParseIntelHex(text, "fuzz.hex", segments, error)) {
    // What was read writes back and reads again to the same bytes.
    std::vector<fw::InputSegment> again;
    if (!fw::ParseIntelHex(fw::WriteIntelHex(segments), "again.hex", again, error))
      __builtin_trap();
    if (fw::ByteSum(again) != fw::ByteSum(segments)) __builtin_trap();
  }
  std::vector<fw::ManifestRow> rows;
  if (fw::ParseManifest(text, "fuzz.txt", rows, error)) {
    std::vector<fw::PackageRecord> records;
    fw::BuildPackageSet(
        rows, "fuzz.txt",
        [&](const std::string&, std::string& content) {
          content = std::string(text);
          return true;
        },
        records, error);
  }
  return 0;
}
