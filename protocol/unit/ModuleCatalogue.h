#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "protocol/unit/FieldRow.h"
#include "protocol/unit/Hej520Image.h"
#include "protocol/unit/Jov520Image.h"
#include "protocol/unit/Klf310Image.h"
#include "protocol/unit/MainUnitImage.h"
#include "protocol/unit/Nvo310Image.h"
#include "protocol/unit/PhonoImage.h"
#include "protocol/unit/Qvo520Image.h"
#include "protocol/unit/Siv520Image.h"
#include "protocol/unit/Twr310iImage.h"
#include "protocol/unit/Yor310Image.h"

namespace protocol::unit {

// Module type codes as descriptor byte 2 reports them; the desktop and the
// remote use the same codes.
namespace type {
inline constexpr std::uint8_t kQVI520 = 1;
inline constexpr std::uint8_t kQVO520 = 2;
inline constexpr std::uint8_t kQVO520b = 3;  // same card and pages as code 2
inline constexpr std::uint8_t kHEJ520 = 4;
inline constexpr std::uint8_t kSIV520 = 5;
inline constexpr std::uint8_t kTWR310i = 6;
inline constexpr std::uint8_t kNVO310 = 7;
inline constexpr std::uint8_t kBUZ310 = 8;
inline constexpr std::uint8_t kJOV520 = 9;
inline constexpr std::uint8_t kYOR310 = 10;
inline constexpr std::uint8_t kKLF310 = 11;
inline constexpr std::uint8_t kFront26 = 16;
// Listed by the unit to the remote, which opens no setup page for it.
inline constexpr std::uint8_t kNoSetupPage = 17;
}  // namespace type

// One kind of card: what it is called, which desktop tab class shows it and
// the fields of its settings image beyond the identity record (none for a
// card that keeps no image).
struct ModuleType {
  std::uint8_t code;
  std::string_view model;
  std::string_view pageClass;
  std::span<const FieldRow> fields;
};

// Every card the programs know. A code not listed gets no tab and no setup
// page. Each row here needs a row in every other list of card types: the
// desktop's page classes, the remote's setup pages and the simulator's card
// models (tests/CardTypesTest.cpp walks them all).
inline constexpr ModuleType kModuleTypes[] = {
    {type::kQVI520, "QVI520", "CPropertyQVI520", PhonoImage::kFields},
    {type::kQVO520, "QVO520", "CPropertyQVO520", Qvo520Image::kFields},
    {type::kQVO520b, "QVO520", "CPropertyQVO520", Qvo520Image::kFields},
    {type::kHEJ520, "HEJ520", "CPropertyHEJ520", Hej520Image::kFields},
    {type::kSIV520, "SIV520", "CPropertySIV520", Siv520Image::kFields},
    {type::kTWR310i, "TWR310i", "CPropertyTWR310i", Twr310iImage::kFields},
    {type::kNVO310, "NVO310", "CPropertyNVO310", Nvo310Image::kFields},
    {type::kBUZ310, "BUZ310", "CPropertyBUZ310", PhonoImage::kFields},
    {type::kJOV520, "JOV520", "CPropertyJOV", Jov520Image::kFields},
    {type::kYOR310, "YOR310", "CPropertyYOR310", Yor310Image::kFields},
    {type::kKLF310, "KLF310", "CPropertyKLF310", Klf310Fields::kRows},
    {type::kFront26, "Front26", "CPropertyFront26", {}},  // its settings live in the main unit
};

// The main unit at address 0 is not looked up by type: its tab always exists
// and the remote opens its page by name.
inline constexpr std::uint8_t kMainUnitAddress = 0;
inline constexpr ModuleType kMainUnit = {0, "MRX520", "CPropertyMRX520", MainUnitImage::kFields};

constexpr std::optional<ModuleType> FindModuleType(std::uint8_t code) {
  for (const ModuleType& t : kModuleTypes) {
    if (t.code == code) return t;
  }
  return std::nullopt;
}

// The model of the module at `address` whose descriptor reports type `code`:
// the main unit at address 0, the catalogue's card elsewhere, "unknown" for a
// type no program knows.
constexpr std::string_view ModuleModel(std::uint8_t address, std::uint8_t code) {
  if (address == kMainUnitAddress) return kMainUnit.model;
  if (const auto known = FindModuleType(code)) return known->model;
  return "unknown";
}

}  // namespace protocol::unit
