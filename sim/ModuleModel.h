#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// What the simulated unit knows about each kind of module: the layout and
// defaults of its settings image, where live values land in that image, the
// front display's settings and picture, and the output card's processor
// records. Pure data and arithmetic: no I/O, no locking.
namespace sim {

// Type code the simulated main unit reports in its own descriptor.
inline constexpr std::uint8_t kMainUnitType = 0;
inline constexpr std::size_t kDisplayWidth = 240;
inline constexpr std::size_t kDisplayHeight = 128;
inline constexpr std::size_t kDisplayRowBytes = 32;  // sixteen u16; word 0 not drawn
inline constexpr std::size_t kDisplayLevelCount = 8;
inline constexpr std::size_t kProcessorRecordSize = 40;
inline constexpr std::size_t kBoardIdentitySize = 28;

// Settings image size a module of this type announces (0 = no settings).
std::uint16_t DefaultSettingsLength(std::uint8_t type);

// The factory defaults of a module's settings image, `DefaultSettingsLength`
// bytes long. Bytes 0-7 (identity) are zero; the unit fills them.
std::vector<std::uint8_t> DefaultSettings(std::uint8_t type);

// A live-value command (157, 171, 172, 159, 160, 170; 175 for a KLF310 channel
// record) sent to a module of this type: store the value(s) where the settings
// image keeps them. `frame` is the
// whole request frame (header and data). Returns false for a command this type
// does not take (the unit then ignores it but the exchange still succeeds).
bool ApplyLiveValue(std::uint8_t type, std::span<const std::uint8_t> frame,
                    std::span<std::uint8_t> image);

// One display setting: current value, minimum, maximum.
struct DisplayLevel {
  std::uint8_t value;
  std::uint8_t min;
  std::uint8_t max;
};
// The eight display settings in reply order (brightness on, brightness off,
// contrast, peak meter delay, ZEL520 front, ZEL520 rear, TWR520, brightness alternate).
std::array<DisplayLevel, kDisplayLevelCount> DefaultDisplayLevels();
// Index into the eight settings for a setting command (146, 150, 155, 151,
// 152, 148, 147, 162); -1 for any other code.
int DisplayLevelIndex(std::uint8_t code);

// What the front display shows, as far as the picture needs it.
struct DisplayContent {
  std::string line1;  // e.g. "MRX520"
  std::string line2;  // e.g. the source name
  std::string line3;  // e.g. "-30.0 dB"
  int hour = 0;
  int minute = 0;
  bool powerOn = true;
};
// Row `row` (0-127) of the display picture, as command 17 replies it.
std::array<std::uint8_t, kDisplayRowBytes> RenderDisplayRow(const DisplayContent& content, int row);

// Processor record `index` (0 or 1) of a fresh QVO520 card.
std::array<std::uint8_t, kProcessorRecordSize> DefaultProcessorRecord(int index);

// Descriptor bytes 20-51 a module of this type reports (the KLF310 card puts its
// boot and main software versions there; others zeros).
std::array<std::uint8_t, 32> ModuleSpecificDescriptor(std::uint8_t type);

// A live value of the remote's stream (codes 56, 66, 67, 69, 70; the payload
// as the remote sends it, slot first) into a card's image.
bool ApplyRemoteLiveValue(std::uint8_t type, std::uint8_t code,
                          std::span<const std::uint8_t> payload, std::span<std::uint8_t> image);

}  // namespace sim
