#include "sim/StateFile.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/ProcessorRecord.h"

namespace sim {

namespace {

std::string Hex(std::span<const std::uint8_t> bytes) {
  std::string out;
  char buf[3];
  for (std::uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, "%02x", b);
    out += buf;
  }
  return out;
}

bool FromHex(const std::string& text, std::vector<std::uint8_t>& out) {
  if (text.size() % 2 != 0) return false;
  out.clear();
  for (std::size_t i = 0; i < text.size(); i += 2) {
    unsigned v = 0;
    if (std::sscanf(text.c_str() + i, "%2x", &v) != 1) return false;
    out.push_back(static_cast<std::uint8_t>(v));
  }
  return true;
}

}  // namespace

std::string EncodeState(const UnitState& state) {
  std::ostringstream out;
  out << "mrx520-state 1\n";
  out << "rtc-offset " << state.rtcOffset << "\n";
  const SoftwareVersion& host = state.modules.at(protocol::unit::kMainUnitAddress).setup.version;
  out << "host-version " << host.major << ' ' << host.minor << ' ' << int(host.day) << ' '
      << int(host.month) << ' ' << int(host.year) << "\n";
  const SoftwareVersion& boot = state.scenario.bootVersion;
  out << "boot-version " << boot.major << ' ' << boot.minor << ' ' << int(boot.day) << ' '
      << int(boot.month) << ' ' << int(boot.year) << "\n";
  // An erase that no completed download has followed yet: the unit wakes up
  // with that area still erased.
  if (state.erased != FlashArea::kNone) {
    out << "erased " << (state.erased == FlashArea::kHost ? "host" : "boot") << "\n";
  }
  for (std::size_t i = 0; i < protocol::unit::DisplayLevels::kCount; ++i) {
    out << "display " << i << ' ' << int(state.display.levels[i].value) << "\n";
  }
  for (const auto& [address, m] : state.modules) {
    out << "stored " << int(address) << ' ' << Hex(m.stored) << "\n";
    for (int p = 0; p < 2; ++p) {
      out << "processor " << int(address) << ' ' << p << ' ' << Hex(m.processors[p]) << "\n";
    }
    for (std::size_t t = 0; t < m.table.size(); ++t) {
      out << "table " << int(address) << ' ' << t << ' ' << Hex(m.table[t]) << "\n";
    }
  }
  return out.str();
}

void LoadState(const std::filesystem::path& file, UnitState& state) {
  std::ifstream in(file);
  if (!in) return;
  std::string line;
  if (!std::getline(in, line) || line != "mrx520-state 1") {
    std::fprintf(stderr, "mrx520-sim: %s is not a state file; starting fresh\n", file.c_str());
    return;
  }
  int lineNo = 1;
  while (std::getline(in, line)) {
    ++lineNo;
    std::istringstream words(line);
    std::string key;
    words >> key;
    bool ok = true;
    std::vector<std::uint8_t> bytes;
    if (key == "rtc-offset") {
      ok = static_cast<bool>(words >> state.rtcOffset);
    } else if (key == "host-version" || key == "boot-version") {
      unsigned major, minor, day, month, year;
      ok = static_cast<bool>(words >> major >> minor >> day >> month >> year);
      if (ok) {
        SoftwareVersion& v = key == "host-version"
                                 ? state.modules.at(protocol::unit::kMainUnitAddress).setup.version
                                 : state.scenario.bootVersion;
        v = {static_cast<std::uint16_t>(major), static_cast<std::uint16_t>(minor),
             static_cast<std::uint8_t>(day), static_cast<std::uint8_t>(month),
             static_cast<std::uint8_t>(year)};
      }
    } else if (key == "erased") {
      std::string area;
      ok = static_cast<bool>(words >> area) && (area == "host" || area == "boot");
      if (ok) state.erased = area == "host" ? FlashArea::kHost : FlashArea::kBoot;
    } else if (key == "display") {
      std::size_t i;
      int value;
      ok = static_cast<bool>(words >> i >> value) && i < protocol::unit::DisplayLevels::kCount;
      if (ok)
        state.display.levels[i].value = static_cast<std::uint8_t>(
            std::clamp<int>(value, state.display.levels[i].min, state.display.levels[i].max));
    } else if (key == "stored" || key == "processor" || key == "table") {
      int address = -1, index = 0;
      std::string hex;
      words >> address;
      if (key != "stored") words >> index;
      ok = static_cast<bool>(words >> hex) && FromHex(hex, bytes);
      auto it = state.modules.find(static_cast<std::uint8_t>(address));
      if (ok && it != state.modules.end() && address >= 0 && address < 256) {
        ModuleState& m = it->second;
        if (key == "stored" && bytes.size() == m.stored.size()) {
          m.stored = m.working = bytes;
        } else if (key == "processor" && index >= 0 && index < 2 &&
                   bytes.size() == protocol::unit::ProcessorRecord::kSize) {
          std::copy(bytes.begin(), bytes.end(), m.processors[index].begin());
        } else if (key == "table" && index >= 0 &&
                   static_cast<std::size_t>(index) < m.table.size() &&
                   bytes.size() == m.table[0].size()) {
          std::copy(bytes.begin(), bytes.end(), m.table[index].begin());
        }
        // Records of another shape belong to another scenario: they are skipped.
      }
    }
    if (!ok) {
      std::fprintf(stderr, "mrx520-sim: %s line %d not understood; skipped\n", file.c_str(),
                   lineNo);
    }
  }
}

}  // namespace sim
