#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace desktop::backup {

// The byte coding of a backup file's sections: base64 (the standard alphabet
// with '=' padding) and the CRC-32 of zip and PNG (reflected 0xEDB88320).
std::string Base64Encode(std::span<const std::uint8_t> bytes);
// Appends the bytes of one line of base64 to `out`: a length that is a
// multiple of four, '=' only at its end. False, `out` unchanged, otherwise.
bool Base64DecodeLine(std::string_view line, std::vector<std::uint8_t>& out);
std::uint32_t Crc32(std::span<const std::uint8_t> bytes);

}  // namespace desktop::backup
