#include "sim/Scenario.h"

#include <algorithm>
#include <charconv>
#include <sstream>

#include "platform/PrintableText.h"
#include "sim/SimSettings.h"

namespace sim {

const ModuleRecord* Scenario::Find(std::uint8_t address) const {
  for (const ModuleRecord& m : modules) {
    if (m.address == address) return &m;
  }
  return nullptr;
}

Scenario DefaultScenario() {
  Scenario s;
  s.slotCount = 14;
  ModuleRecord main;
  main.address = 0;
  main.type = 0;
  main.serial = 1234;
  main.deliveryDay = 5;
  main.deliveryMonth = 3;
  main.deliveryYear = 24;
  main.version = {2, 105, 5, 3, 24};
  s.modules.push_back(main);
  // Types 1-11 at their own address, an unknown type 12, a second QVO520, the display.
  const std::uint8_t types[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 2, 16};
  for (std::uint8_t i = 0; i < 14; ++i) {
    ModuleRecord card;
    card.address = static_cast<std::uint8_t>(i + 1);
    card.type = types[i];
    card.serial = static_cast<std::uint16_t>(2001 + i);
    card.deliveryDay = 15;
    card.deliveryMonth = 1;
    card.deliveryYear = 24;
    card.version = {1, static_cast<std::uint16_t>(20 + i), 1, 5, 23};
    s.modules.push_back(card);
  }
  return s;
}

namespace {

bool ParseNumber(std::string_view text, unsigned long max, unsigned long& out) {
  if (text.empty()) return false;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && ptr == text.data() + text.size() && out <= max;
}

// "2.105" -> major 2, minor 105.
bool ParseVersion(std::string_view text, SoftwareVersion& v) {
  const auto dot = text.find('.');
  unsigned long major = 0, minor = 0;
  if (dot == std::string_view::npos || !ParseNumber(text.substr(0, dot), 0xFFFF, major) ||
      !ParseNumber(text.substr(dot + 1), 0xFFFF, minor)) {
    return false;
  }
  v.major = static_cast<std::uint16_t>(major);
  v.minor = static_cast<std::uint16_t>(minor);
  return true;
}

// "2024-03-05" -> day, month, year - 2000.
bool ParseDate(std::string_view text, std::uint8_t& day, std::uint8_t& month, std::uint8_t& year) {
  unsigned long y = 0, m = 0, d = 0;
  if (text.size() != 10 || text[4] != '-' || text[7] != '-' ||
      !ParseNumber(text.substr(0, 4), 2255, y) || !ParseNumber(text.substr(5, 2), 12, m) ||
      !ParseNumber(text.substr(8, 2), 31, d) || y < 2000 || m < 1 || d < 1) {
    return false;
  }
  static constexpr unsigned long kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (d > kDays[m - 1] || (m == 2 && d == 29 && !leap)) return false;
  day = static_cast<std::uint8_t>(d);
  month = static_cast<std::uint8_t>(m);
  year = static_cast<std::uint8_t>(y - 2000);
  return true;
}

// "127.0.0.78" -> its four octets, first first.
bool ParseIpv4(std::string_view text, std::array<std::uint8_t, 4>& out) {
  for (std::size_t i = 0; i < out.size(); ++i) {
    const auto dot = i + 1 < out.size() ? text.find('.') : text.size();
    unsigned long octet = 0;
    if (dot == std::string_view::npos || !ParseNumber(text.substr(0, dot), 255, octet))
      return false;
    out[i] = static_cast<std::uint8_t>(octet);
    text.remove_prefix(std::min(dot + 1, text.size()));
  }
  return text.empty();
}

}  // namespace

std::optional<Scenario> ParseScenario(std::string_view text, std::string& error) {
  Scenario s;
  s.modules.clear();
  bool haveUnit = false;
  std::istringstream lines{std::string(text)};
  std::string line;
  int lineNo = 0;
  auto fail = [&](const std::string& why) {
    error = "line " + std::to_string(lineNo) + ": " + why;
    return std::nullopt;
  };
  while (std::getline(lines, line)) {
    ++lineNo;
    if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string kind;
    if (!(words >> kind)) continue;
    if (kind != "unit" && kind != "module" && kind != "faults")
      return fail("unknown record '" + platform::Printable(kind) + "'");
    ModuleRecord m;
    if (kind == "unit") {
      if (haveUnit) return fail("a second unit record");
      haveUnit = true;
      m.address = 0;
      m.type = 0;
    }
    bool haveAddress = false, haveType = false;
    std::string word;
    while (words >> word) {
      const auto eq = word.find('=');
      if (eq == std::string::npos)
        return fail("expected key=value, got '" + platform::Printable(word) + "'");
      const std::string key = word.substr(0, eq);
      const std::string_view value = std::string_view(word).substr(eq + 1);
      unsigned long n = 0;
      bool ok = true;
      if (kind == "faults") {
        const SimSetting* setting = FindScenarioKey(key);
        if (setting == nullptr) return fail("unknown key '" + platform::Printable(key) + "'");
        ok = ParseSettingNumber(value, setting->max, n);
        if (ok) setting->unit(s, n);
      } else if (key == "slots" && kind == "unit") {
        ok = ParseNumber(value, 15, n);
        s.slotCount = static_cast<std::uint8_t>(n);
      } else if (key == "boot" && kind == "unit") {
        ok = ParseVersion(value, s.bootVersion);
      } else if (key == "bootdate" && kind == "unit") {
        ok = ParseDate(value, s.bootVersion.day, s.bootVersion.month, s.bootVersion.year);
      } else if (key == "address" && kind == "module") {
        ok = ParseNumber(value, 15, n) && n >= 1;
        m.address = static_cast<std::uint8_t>(n);
        haveAddress = true;
      } else if (key == "type" && kind == "module") {
        ok = ParseNumber(value, 255, n);
        m.type = static_cast<std::uint8_t>(n);
        haveType = true;
      } else if (key == "sub") {
        ok = ParseNumber(value, 255, n);
        m.subAddress = static_cast<std::uint8_t>(n);
      } else if (key == "serial") {
        ok = ParseNumber(value, 9999, n);
        m.serial = static_cast<std::uint16_t>(n);
      } else if (key == "version") {
        ok = ParseVersion(value, m.version);
      } else if (key == "date") {
        ok = ParseDate(value, m.version.day, m.version.month, m.version.year);
      } else if (key == "delivery") {
        ok = ParseDate(value, m.deliveryDay, m.deliveryMonth, m.deliveryYear);
      } else if (key == "settings") {
        ok = ParseNumber(value, kMaxSettingsLength, n);
        m.settingsLength = static_cast<std::uint16_t>(n);
      } else if (key == "running") {
        ok = ParseNumber(value, 1, n);
        m.running = n != 0;
      } else if (key == "ip" && kind == "module") {
        std::array<std::uint8_t, 4> ip{};
        // The simulator listens on loopback addresses only.
        ok = ParseIpv4(value, ip) && ip[0] == 127;
        m.ip = ip;
      } else {
        return fail("unknown key '" + platform::Printable(key) + "'");
      }
      if (!ok)
        return fail("bad value '" + platform::Printable(value) + "' for '" +
                    platform::Printable(key) + "'");
    }
    if (kind == "module") {
      if (!haveAddress || !haveType) return fail("a module needs address= and type=");
      for (const ModuleRecord& other : s.modules) {
        if (other.address == m.address)
          return fail("address " + std::to_string(m.address) + " given twice");
      }
    }
    if (kind == "unit") s.modules.insert(s.modules.begin(), m);
    if (kind == "module") s.modules.push_back(m);
  }
  if (!haveUnit) {
    lineNo = 0;
    return fail("no unit record");
  }
  return s;
}

}  // namespace sim
