#pragma once

#include <cstdint>

// The logo as the build writes it (mrx_make_logo): 256 colours of 4 bytes
// (blue, green, red, 0), then 640 × 480 colour indices row by row.
extern "C" const std::uint8_t mrx_logo_data[];

namespace desktop::pages {
inline constexpr int kLogoWidth = 640;
inline constexpr int kLogoHeight = 480;
inline constexpr int kLogoColours = 256;
inline constexpr int kLogoPixelsOffset = 4 * kLogoColours;
inline constexpr int kLogoDataSize = kLogoPixelsOffset + kLogoWidth * kLogoHeight;
}  // namespace desktop::pages
