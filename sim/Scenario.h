#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// A software version and date as a descriptor reports them.
struct SoftwareVersion {
  std::uint16_t major = 1;
  std::uint16_t minor = 0;
  std::uint8_t day = 1;
  std::uint8_t month = 1;
  std::uint8_t year = 24;  // year - 2000; 0 = no date
};

struct ModuleRecord {
  std::uint8_t address = 0;
  std::uint8_t subAddress = 0;
  std::uint8_t type = 0;
  std::uint16_t serial = 0;
  std::uint8_t deliveryDay = 1;
  std::uint8_t deliveryMonth = 1;
  std::uint8_t deliveryYear = 24;
  SoftwareVersion version;
  // Settings image size; empty = the type's default.
  std::optional<std::uint16_t> settingsLength;
  bool running = true;  // descriptor flags bit 0
  // A KLF310 card's own IPv4 address (127.0.0.0/8) in its factory settings;
  // empty = one the simulator picks at start.
  std::optional<std::array<std::uint8_t, 4>> ip;
};

// The largest values the fault settings take, in scenarios and on the command line.
inline constexpr unsigned long kMaxEvery = 1'000'000;
inline constexpr unsigned long kMaxDelayMs = 60'000;
inline constexpr unsigned long kMaxRefuseMs = 3'600'000;
inline constexpr unsigned long kMaxRestartMs = 600'000;
inline constexpr unsigned long kMaxCardAddress = 15;
// The largest settings image a module has.
inline constexpr unsigned long kMaxSettingsLength = 2048;

// What misbehaviour to show on the USB link.
struct Faults {
  unsigned failEvery = 0;           // every n-th exchange fails; 0 = never
  std::uint32_t refuseOpensMs = 0;  // opens fail for this long after start
  std::uint32_t delayMs = 0;        // added to every exchange
  bool eepromError = false;         // status byte 2 bit 0
  std::uint32_t restartMs = 3000;   // how long the device is gone after an erase
  unsigned displayRows = 0;         // command 17 answers rows below this only; 0 = every row
  unsigned dropEvery = 0;           // every n-th exchange is taken but its answer never sent
  std::uint8_t silentModule = 0;    // card address whose exchanges are never answered; 0 = none

  bool operator==(const Faults&) const = default;
};

// What misbehaviour to show on the remote's Bluetooth stream. Counts run from
// 1 over the whole life of the stream server, so every N-th is the N-th, 2N-th …
struct StreamFaults {
  unsigned lostEvery = 0;      // every n-th frame from the unit is not sent; 0 = never
  unsigned crcEvery = 0;       // every n-th frame from the unit goes out with a wrong CRC
  unsigned refuseEvery = 0;    // every n-th connection attempt is refused
  std::uint32_t refuseMs = 0;  // connections are refused for this long after start
  unsigned dropEvery = 0;      // every n-th connection is dropped right after connecting
  std::uint32_t delayMs = 0;   // before each answer

  bool operator==(const StreamFaults&) const = default;
};

// What misbehaviour to show on the KLF310 cards' TCP ports. Requests are
// counted from 1 over every card and both ports.
struct KlfFaults {
  unsigned failEvery = 0;      // every n-th request ends its connection unanswered
  unsigned lostEvery = 0;      // every n-th request is taken but never answered
  std::uint32_t refuseMs = 0;  // nothing listens for this long after start
  std::uint32_t delayMs = 0;   // before each request is taken
  // The n-th request on a card's update port is taken, and from then on the
  // cards take connections but answer nothing.
  std::uint32_t silentFrom = 0;

  bool operator==(const KlfFaults&) const = default;
};

// Where the unit ends abruptly, as at a power cut (see SimUnit::CutPowerAtBlock
// and the like); empty = never. Given on the command line only.
struct PowerCuts {
  std::optional<std::uint32_t> downloadBlock;
  std::optional<std::uint32_t> cardBlock;
  std::optional<std::uint32_t> klfBlock;
  std::optional<std::uint32_t> remoteBlock;
  std::optional<std::uint32_t> settingsWrite;

  bool operator==(const PowerCuts&) const = default;
};

// One simulated unit: the main unit (address 0) and its cards.
struct Scenario {
  std::uint8_t slotCount = 14;
  SoftwareVersion bootVersion{1, 12, 20, 11, 23};
  std::vector<ModuleRecord> modules;  // address 0 first
  Faults faults;
  StreamFaults streamFaults;
  KlfFaults klfFaults;
  PowerCuts powerCuts;

  const ModuleRecord* Find(std::uint8_t address) const;
};

// The demo unit: main unit with 14 slots, one card of each type 1-11 at
// addresses 1-11, an unknown type at 12, a second QVO520 at 13 and the
// Front26 display at 14.
Scenario DefaultScenario();

// Scenario text: one record per line, "key=value" words, '#' comments:
//   unit slots=14 serial=1234 version=2.105 date=2024-03-05 boot=1.012 bootdate=2023-11-20
//   module address=1 type=1 serial=2001 version=1.020 date=2023-05-01 [settings=N] [sub=0]
//          [delivery=2024-01-15] [running=0] [ip=127.0.0.78]
//   faults fail-every=50 klf-delay-ms=20 ...  (every key of the settings table, SimSettings())
// `error` receives "line N: reason" when the text is refused.
std::optional<Scenario> ParseScenario(std::string_view text, std::string& error);

}  // namespace sim
