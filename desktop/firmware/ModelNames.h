#pragma once

#include <array>
#include <string_view>

namespace desktop::firmware {

// Model and software component names: the package list's keys as
// the user reads them. Codes not in a table have the empty name.
struct CodeName {
  int code;
  std::string_view name;
};

inline constexpr std::array<CodeName, 6> kModelNames{{
    {1, "MRX"},
    {2, "TWR520"},
    {3, "TWR310"},
    {4, "ZEL520"},
    {5, "GOF310"},
    {6, "PocketPC"},
}};

inline constexpr std::array<CodeName, 31> kComponentNames{{
    {1, "Boot"},
    {2, "Host"},
    {3, "Host-FPGA"},
    {4, "Firmware"},
    {5, "QVI520-Equalizer"},
    {6, "QVI520-Decimation"},
    {7, "QVI520-FPGA"},
    {8, "QVO520-DSP98"},
    {9, "QVO520-FPGA"},
    {10, "HEJ520"},
    {11, "HEJ520-FPGA"},
    {12, "DSP"},
    {14, "PANEL-DSP"},
    {15, "PANEL-FPGA"},
    {16, "HDD - USB recording only"},
    {17, "QVO520-DSP65"},
    {18, "PFC"},
    {19, "DSP"},
    {20, "SIV520-DSP"},
    {21, "SIV520-FPGA"},
    {27, "NVO310-DSP"},
    {28, "NVO310-FPGA"},
    {29, "TWR310i-DSP"},
    {30, "TWR310i-FPGA"},
    {31, "JOV520-DSP"},
    {32, "JOV520-FPGA"},
    {33, "GOF310-Boot"},
    {34, "GOF310-Host"},
    {36, "GOF310-FPGA"},
    {37, "GOF310-EQUALIZER"},
    {42, "KLF310"},
}};

template <std::size_t N>
constexpr std::string_view NameOf(const std::array<CodeName, N>& table, int code) {
  for (const CodeName& row : table) {
    if (row.code == code) return row.name;
  }
  return {};
}

constexpr std::string_view ModelName(int code) {
  return NameOf(kModelNames, code);
}
constexpr std::string_view ComponentName(int code) {
  return NameOf(kComponentNames, code);
}

}  // namespace desktop::firmware
