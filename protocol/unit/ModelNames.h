#pragma once

#include <array>
#include <string_view>

namespace protocol::unit {

// Model and software component codes: the package list's keys and the
// processor record's fields, with their names as the user reads them. Codes
// not in a table have the empty name.
namespace model {
inline constexpr int kMrx = 1;
inline constexpr int kTwr520 = 2;
inline constexpr int kTwr310 = 3;
inline constexpr int kZel520 = 4;
inline constexpr int kGof310 = 5;
inline constexpr int kPocketPc = 6;
}  // namespace model
namespace component {
inline constexpr int kBoot = 1;
inline constexpr int kHost = 2;
inline constexpr int kPfc = 18;
inline constexpr int kDsp = 19;
inline constexpr int kKlf310 = 39;  // the KLF310 card's software
}  // namespace component

struct CodeName {
  int code;
  std::string_view name;
};

inline constexpr std::array<CodeName, 6> kModelNames{{
    {model::kMrx, "MRX"},
    {model::kTwr520, "TWR520"},
    {model::kTwr310, "TWR310"},
    {model::kZel520, "ZEL520"},
    {model::kGof310, "GOF310"},
    {model::kPocketPc, "PocketPC"},
}};

inline constexpr std::array<CodeName, 31> kComponentNames{{
    {component::kBoot, "Boot"},
    {component::kHost, "Host"},
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
    {component::kPfc, "PFC"},
    {component::kDsp, "DSP"},
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

}  // namespace protocol::unit
