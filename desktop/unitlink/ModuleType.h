#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace desktop::unitlink {

// What the desktop does with a module of a given type code.
struct ModuleType {
  std::uint8_t code;
  std::string_view model;
  std::string_view pageClass;
};

// Card types that get a tab, by descriptor type code. The main unit at address
// 0 is not looked up here: its tab always exists.
inline constexpr ModuleType kModuleTypes[] = {
    {1, "QVI520", "CPropertyQVI520"},   {2, "QVO520", "CPropertyQVO520"},
    {3, "QVO520", "CPropertyQVO520"},   {4, "HEJ520", "CPropertyHEJ520"},
    {5, "SIV520", "CPropertySIV520"},   {6, "TWR310i", "CPropertyTWR310i"},
    {7, "NVO310", "CPropertyNVO310"},   {8, "BUZ310", "CPropertyBUZ310"},
    {9, "JOV520", "CPropertyJOV"},      {10, "YOR310", "CPropertyYOR310"},
    {11, "KLF310", "CPropertyKLF310"},  {16, "Front26", "CPropertyFront26"},
};

inline constexpr std::string_view kMainUnitModel = "MRX520";

constexpr std::optional<ModuleType> FindModuleType(std::uint8_t code) {
  for (const ModuleType& t : kModuleTypes) {
    if (t.code == code) return t;
  }
  return std::nullopt;
}

}  // namespace desktop::unitlink
