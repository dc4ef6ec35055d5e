#include "sim/ModuleModel.h"

#include <algorithm>
#include <bit>
#include <optional>
#include <string_view>

#include "desktop/unitlink/UnitCommand.h"
#include "platform/Bytes.h"

namespace sim {
namespace {

// ---------------------------------------------------------------------------
// Request frame and command codes the model interprets.

// The live commands and frame offsets are the unit link's own.
namespace ul = desktop::unitlink;
constexpr std::uint8_t Code(ul::UnitCommand c) { return static_cast<std::uint8_t>(c); }
inline constexpr std::size_t kFrameHeaderSize = ul::kHeaderSize;
inline constexpr std::size_t kFrameOffCode = ul::kOffCode;
inline constexpr std::size_t kFrameOffLength = ul::kOffLength;
inline constexpr std::size_t kFrameOffArg1 = ul::kOffArg1;
inline constexpr std::size_t kFrameOffArg2 = ul::kOffArg2;

inline constexpr std::uint8_t kCmdLiveLevels = Code(ul::UnitCommand::kLiveValues);
inline constexpr std::uint8_t kCmdLiveWords = Code(ul::UnitCommand::kLiveValues2);
inline constexpr std::uint8_t kCmdLiveWord = Code(ul::UnitCommand::kLiveValue);
inline constexpr std::uint8_t kCmdEqualizerGain = Code(ul::UnitCommand::kLiveEqualizerGain);
inline constexpr std::uint8_t kCmdEqualizerCurve = Code(ul::UnitCommand::kEqualizerCurve);
inline constexpr std::uint8_t kCmdJovValue = Code(ul::UnitCommand::kJovValue);
inline constexpr std::uint8_t kCmdWriteTableEntry = Code(ul::UnitCommand::kWriteTableEntry);

// Module type codes as the descriptor reports them.
inline constexpr std::uint8_t kTypeQvi520 = 1;
inline constexpr std::uint8_t kTypeQvo520 = 2;
inline constexpr std::uint8_t kTypeQvo520b = 3;
inline constexpr std::uint8_t kTypeHej520 = 4;
inline constexpr std::uint8_t kTypeSiv520 = 5;
inline constexpr std::uint8_t kTypeTwr310i = 6;
inline constexpr std::uint8_t kTypeNvo310 = 7;
inline constexpr std::uint8_t kTypeBuz310 = 8;
inline constexpr std::uint8_t kTypeJov520 = 9;
inline constexpr std::uint8_t kTypeYor310 = 10;
inline constexpr std::uint8_t kTypeKlf310 = 11;
inline constexpr std::uint8_t kTypeFront26 = 16;

// ---------------------------------------------------------------------------
// Settings image layouts. Every image starts with the 8-byte identity record,
// which the unit fills; names are 16 zero-padded bytes of at most 15 characters.

inline constexpr std::size_t kIdentitySize = 8;
inline constexpr std::size_t kNameSize = 16;
// Size announced by a module whose layout this model does not know.
inline constexpr std::uint16_t kUnknownTypeLength = 64;

namespace mainunit {
inline constexpr std::size_t kHddOption = 8;    // u16, bit 0
inline constexpr std::size_t kOptions = 64;     // u16: bit 1 language, bit 10 clock display
inline constexpr std::size_t kVolumeStep = 77;  // u8, tenths of a dB
inline constexpr std::size_t kAltScreen = 106;  // u16, seconds, 0 = off
inline constexpr std::uint16_t kLength = 128;
inline constexpr std::uint16_t kOptionClockDisplay = 1u << 10;
inline constexpr std::uint8_t kDefaultVolumeStep = 5;    // "0.5 dB"
inline constexpr std::uint16_t kDefaultAltScreen = 300;  // "5 min"
}  // namespace mainunit

namespace phono {  // QVI520 and BUZ310
inline constexpr std::size_t kName = 8;
inline constexpr std::size_t kGain = 24;           // u8, tenths of a dB, 0-120
inline constexpr std::size_t kSelectedCurve = 25;  // u8, slot 0-7
inline constexpr std::size_t kFirstSlot = 26;
inline constexpr std::size_t kSlotSize = 26;
inline constexpr std::size_t kSlotCount = 8;
inline constexpr std::size_t kFlags = 234;  // bit 0: 1 Hz high-pass
inline constexpr std::uint16_t kLength = 236;
// Within a curve slot.
inline constexpr std::size_t kSlotWord = 0;   // bit 0 in use, bits 1-7 curve number
inline constexpr std::size_t kSlotTimes = 2;  // four u16 time constants in microseconds
inline constexpr std::size_t kSlotName = 10;
inline constexpr std::size_t kTimeCount = 4;
inline constexpr std::uint16_t kSlotInUse = 1;
inline constexpr int kCurveNumberShift = 1;
inline constexpr std::uint16_t kCurveNumberMask = 0x7F;
inline constexpr std::uint16_t kCurveJustSelected = 1u << 8;
inline constexpr std::uint8_t kDefaultGain = 100;  // 10.0 dB

struct Curve {
  std::string_view name;
  std::array<std::uint16_t, kTimeCount> t;  // t1 bass, t2 mid, t3 high, t4 lower bass
};
// The classic replay curves, one per slot; curve number = slot.
inline constexpr std::array<Curve, kSlotCount> kDefaultCurves = {{
    {"RIAA (IEC)", {3180, 318, 75, 7950}},
    {"RIAA", {3180, 318, 75, 0}},
    {"TELDEC", {3180, 318, 50, 0}},
    {"AES", {0, 398, 64, 0}},
    {"Columbia LP M33", {1590, 318, 100, 0}},
    {"NAB", {0, 318, 100, 0}},
    {"NARTB", {2720, 318, 100, 0}},
    {"London M33&M45", {1590, 318, 57, 0}},
}};
constexpr std::size_t SlotOffset(std::size_t slot) {
  return kFirstSlot + kSlotSize * slot;
}
}  // namespace phono

namespace qvo {  // QVO520, types 2 and 3
inline constexpr std::size_t kName = 8;
inline constexpr std::size_t kLevel1 = 24;
inline constexpr std::size_t kAssign1 = 28;
inline constexpr std::size_t kAssign2 = 30;
inline constexpr std::size_t kMode = 34;  // 0 mono bi-amping, 1 stereo
inline constexpr std::size_t kLevel2 = 36;
inline constexpr std::size_t kLevel3 = 38;
inline constexpr std::size_t kLevel4 = 40;
inline constexpr std::size_t kAssign3 = 42;
inline constexpr std::size_t kAssign4 = 44;
inline constexpr std::uint16_t kLength = 48;
inline constexpr std::uint16_t kDefaultMode = 1;
inline constexpr std::int16_t kDefaultLevel = 0;  // 0.0 dB
inline constexpr std::array<std::size_t, 4> kLevels = {kLevel1, kLevel2, kLevel3, kLevel4};
inline constexpr std::array<std::size_t, 4> kAssigns = {kAssign1, kAssign2, kAssign3, kAssign4};
// Front Left, Front Right, Rear Left, Rear Right of the channel list.
inline constexpr std::array<std::uint16_t, 4> kDefaultAssigns = {0, 1, 2, 3};
}  // namespace qvo

namespace hej {  // HEJ520
inline constexpr std::size_t kFirstName = 8;
inline constexpr std::size_t kAssign1 = 56;
inline constexpr std::size_t kAssign2 = 58;
inline constexpr std::size_t kDisable = 60;
inline constexpr std::size_t kCd = 61;
inline constexpr std::size_t kRate = 62;  // 0 44.1 kHz, 1 48 kHz, 2 96 kHz
inline constexpr std::uint16_t kLength = 64;
inline constexpr std::uint8_t kDefaultRate = 1;
inline constexpr std::array<std::string_view, 3> kDefaultNames = {"Input 1", "Input 2", "Input 3"};
}  // namespace hej

namespace siv {  // SIV520
inline constexpr std::size_t kFirstName = 8;
inline constexpr std::size_t kDisable = 136;
inline constexpr std::size_t kCd = 137;
inline constexpr std::uint16_t kLength = 138;
inline constexpr std::array<std::string_view, 8> kDefaultNames = {
    "Input 1", "Input 2", "Input 3", "Input 4", "Input 5", "Input 6", "Input 7", "Input 8"};
}  // namespace siv

namespace twr {  // TWR310i
inline constexpr std::size_t kName = 8;
inline constexpr std::size_t kLevel1 = 24;
inline constexpr std::size_t kAssign1 = 28;
inline constexpr std::size_t kAssign2 = 30;
inline constexpr std::size_t kLevel2 = 32;
inline constexpr std::uint16_t kLength = 34;
inline constexpr std::int16_t kDefaultLevel = 0;
}  // namespace twr

namespace nvo {                               // NVO310
inline constexpr std::size_t kFirstName = 8;  // 4 stereo, MC 5.1, its stereo, MC 7.1
inline constexpr std::size_t kDisable = 120;
inline constexpr std::size_t kFlags = 122;  // bit 0 high-pass, bits 1-2 active group
inline constexpr std::uint16_t kLength = 124;
inline constexpr std::array<std::string_view, 7> kDefaultNames = {
    "Stereo 1", "Stereo 2", "Stereo 3", "Stereo 4", "MC 5.1", "Stereo 5", "MC 7.1"};
}  // namespace nvo

namespace jov {  // JOV520
inline constexpr std::size_t kName = 8;
inline constexpr std::size_t kFlags = 24;  // bit 0 auto repeat (remote page)
inline constexpr std::size_t kLedBrightness = 27;
inline constexpr std::uint16_t kLength = 28;
inline constexpr std::uint8_t kDefaultBrightness = 50;
}  // namespace jov

namespace yor {  // YOR310
inline constexpr std::size_t kName = 8;
inline constexpr std::size_t kOffset1 = 24;
inline constexpr std::size_t kOffset2 = 26;
inline constexpr std::uint16_t kLength = 28;
inline constexpr std::int16_t kDefaultOffset = 0;
}  // namespace yor

namespace klf {  // KLF310
inline constexpr std::size_t kMac = 8;
inline constexpr std::size_t kIp = 14;
inline constexpr std::size_t kSubnet = 18;
inline constexpr std::size_t kChannelTable = 28;
inline constexpr std::size_t kChannelSize = 48;
inline constexpr std::size_t kChannelCount = 16;
inline constexpr std::size_t kConfig = 796;  // u16: bits 0-4 channels, bit 5 advanced
inline constexpr std::uint16_t kLength = 798;
// Within a channel record.
inline constexpr std::size_t kChFlags = 0;
inline constexpr std::size_t kChStart = 4;
inline constexpr std::size_t kChStop = 8;
inline constexpr std::size_t kChDelay = 12;
inline constexpr std::size_t kChName = 24;
inline constexpr std::size_t kChNameSize = 24;
inline constexpr std::uint32_t kFlagInUse = 1u << 0;
inline constexpr std::uint32_t kFlagActive = 1u << 1;
inline constexpr int kFlagFractionShift = 2;
inline constexpr int kFlagIndexShift = 6;
inline constexpr std::uint16_t kConfigAdvanced = 1u << 5;
// Live channel change: u16 marker, then the first 46 bytes of the record.
inline constexpr std::size_t kEntryPrefix = 2;
inline constexpr std::size_t kEntryBytes = 46;

inline constexpr std::array<std::uint8_t, 6> kDefaultMac = {0x02, 0x4D, 0x52, 0x58, 0x03, 0x10};
// The simulator serves the card's ports on loopback, so the page reaches it as configured.
inline constexpr std::array<std::uint8_t, 4> kDefaultIp = {127, 0, 0, 1};
inline constexpr std::array<std::uint8_t, 4> kDefaultSubnet = {255, 0, 0, 0};
inline constexpr std::uint16_t kDefaultChannels = 6;  // the page's minimum
inline constexpr std::uint32_t kDefaultFraction = 3;  // 1/3 octave
inline constexpr float kDefaultStartHz = 20.0F;
inline constexpr float kDefaultStopHz = 500.0F;
inline constexpr float kDefaultDelayMs = 0.0F;
inline constexpr std::array<std::string_view, kChannelCount> kDefaultNames = {
    "Front Left",  "Front Right",  "Rear Left",   "Rear Right",   "Centre",      "Subwoofer",
    "Mid Left",    "Mid Right",    "Zone 1 Left", "Zone 1 Right", "Zone 2 Left", "Zone 2 Right",
    "Zone 3 Left", "Zone 3 Right", "Zone 4 Left", "Zone 4 Right"};
constexpr std::size_t ChannelOffset(std::size_t channel) {
  return kChannelTable + kChannelSize * channel;
}

// Descriptor bytes 20-51: boot entry, then application entry.
inline constexpr std::uint32_t kVersionMarker = 0x17081990;
inline constexpr std::size_t kBootEntry = 0;
inline constexpr std::size_t kMainEntry = 16;
inline constexpr std::size_t kEntryMarker = 0;
inline constexpr std::size_t kEntryMajor = 5;
inline constexpr std::size_t kEntryMinor = 6;
inline constexpr std::size_t kEntryDay = 8;
inline constexpr std::size_t kEntryMonth = 9;
inline constexpr std::size_t kEntryYear = 10;
struct SoftwareVersion {
  std::uint8_t major;
  std::uint16_t minor;
  std::uint8_t day;
  std::uint8_t month;
  std::uint16_t year;
};
inline constexpr SoftwareVersion kBootVersion = {1, 3, 10, 6, 2008};
inline constexpr SoftwareVersion kMainVersion = {3, 12, 4, 11, 2008};
}  // namespace klf

// ---------------------------------------------------------------------------
// Field helpers.

void PutName(std::span<std::uint8_t> image, std::size_t at, std::string_view text,
             std::size_t fieldSize = kNameSize) {
  std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(at), fieldSize, 0);
  const std::size_t n = std::min(text.size(), fieldSize - 1);
  std::copy_n(text.begin(), n, image.begin() + static_cast<std::ptrdiff_t>(at));
}

void PutI16(std::span<std::uint8_t> image, std::size_t at, std::int16_t v) {
  platform::PutU16(image, at, static_cast<std::uint16_t>(v));
}

void PutFloat(std::span<std::uint8_t> image, std::size_t at, float v) {
  platform::PutU32(image, at, std::bit_cast<std::uint32_t>(v));
}

// Live values land only where the image has room; a short working copy is not overrun.
bool Fits(std::span<const std::uint8_t> image, std::size_t at, std::size_t width) {
  return at + width <= image.size();
}

// ---------------------------------------------------------------------------
// Factory defaults per type.

void FillMainUnit(std::span<std::uint8_t> image) {
  using namespace mainunit;
  platform::PutU16(image, kHddOption, 0);
  platform::PutU16(image, kOptions, kOptionClockDisplay);  // English, clock shown
  image[kVolumeStep] = kDefaultVolumeStep;
  platform::PutU16(image, kAltScreen, kDefaultAltScreen);
}

void FillPhono(std::span<std::uint8_t> image, std::string_view cardName) {
  using namespace phono;
  PutName(image, kName, cardName);
  image[kGain] = kDefaultGain;
  image[kSelectedCurve] = 0;
  for (std::size_t k = 0; k < kSlotCount; ++k) {
    const std::size_t slot = SlotOffset(k);
    const auto word = static_cast<std::uint16_t>((k << kCurveNumberShift) | kSlotInUse);
    platform::PutU16(image, slot + kSlotWord, word);
    for (std::size_t i = 0; i < kTimeCount; ++i) {
      platform::PutU16(image, slot + kSlotTimes + 2 * i, kDefaultCurves[k].t[i]);
    }
    PutName(image, slot + kSlotName, kDefaultCurves[k].name);
  }
  image[kFlags] = 0;
}
void FillQvi520(std::span<std::uint8_t> image) {
  FillPhono(image, "Phono Input");
}
void FillBuz310(std::span<std::uint8_t> image) {
  FillPhono(image, "Phono");
}

void FillQvo520(std::span<std::uint8_t> image) {
  using namespace qvo;
  PutName(image, kName, "Output");
  for (std::size_t i = 0; i < kLevels.size(); ++i) {
    PutI16(image, kLevels[i], kDefaultLevel);
    platform::PutU16(image, kAssigns[i], kDefaultAssigns[i]);
  }
  platform::PutU16(image, kMode, kDefaultMode);
}

void FillHej520(std::span<std::uint8_t> image) {
  using namespace hej;
  for (std::size_t i = 0; i < kDefaultNames.size(); ++i) {
    PutName(image, kFirstName + kNameSize * i, kDefaultNames[i]);
  }
  platform::PutU16(image, kAssign1, 0);  // Front Left
  platform::PutU16(image, kAssign2, 1);  // Front Right
  image[kDisable] = 0;
  image[kCd] = 0;
  image[kRate] = kDefaultRate;
}

void FillSiv520(std::span<std::uint8_t> image) {
  using namespace siv;
  for (std::size_t i = 0; i < kDefaultNames.size(); ++i) {
    PutName(image, kFirstName + kNameSize * i, kDefaultNames[i]);
  }
  image[kDisable] = 0;
  image[kCd] = 0;
}

void FillTwr310i(std::span<std::uint8_t> image) {
  using namespace twr;
  PutName(image, kName, "Analog Out");
  PutI16(image, kLevel1, kDefaultLevel);
  PutI16(image, kLevel2, kDefaultLevel);
  platform::PutU16(image, kAssign1, 0);
  platform::PutU16(image, kAssign2, 1);
}

void FillNvo310(std::span<std::uint8_t> image) {
  using namespace nvo;
  for (std::size_t i = 0; i < kDefaultNames.size(); ++i) {
    PutName(image, kFirstName + kNameSize * i, kDefaultNames[i]);
  }
  image[kDisable] = 0;
  image[kFlags] = 0;  // high-pass off, "Stereo" group active
}

void FillJov520(std::span<std::uint8_t> image) {
  using namespace jov;
  PutName(image, kName, "CD Drive");
  image[kFlags] = 0;
  image[kLedBrightness] = kDefaultBrightness;
}

void FillYor310(std::span<std::uint8_t> image) {
  using namespace yor;
  PutName(image, kName, "Offset");
  PutI16(image, kOffset1, kDefaultOffset);
  PutI16(image, kOffset2, kDefaultOffset);
}

void FillKlf310(std::span<std::uint8_t> image) {
  using namespace klf;
  std::copy(kDefaultMac.begin(), kDefaultMac.end(), image.begin() + kMac);
  std::copy(kDefaultIp.begin(), kDefaultIp.end(), image.begin() + kIp);
  std::copy(kDefaultSubnet.begin(), kDefaultSubnet.end(), image.begin() + kSubnet);
  for (std::size_t i = 0; i < kChannelCount; ++i) {
    const std::size_t ch = ChannelOffset(i);
    std::uint32_t flags = (kDefaultFraction << kFlagFractionShift) |
                          (static_cast<std::uint32_t>(i) << kFlagIndexShift);
    if (i < kDefaultChannels) flags |= kFlagInUse | kFlagActive;
    platform::PutU32(image, ch + kChFlags, flags);
    PutFloat(image, ch + kChStart, kDefaultStartHz);
    PutFloat(image, ch + kChStop, kDefaultStopHz);
    PutFloat(image, ch + kChDelay, kDefaultDelayMs);
    PutName(image, ch + kChName, kDefaultNames[i], kChNameSize);
  }
  platform::PutU16(image, kConfig, kDefaultChannels | kConfigAdvanced);
}

struct ModuleLayout {
  std::uint8_t type;
  std::uint16_t length;
  void (*fillDefaults)(std::span<std::uint8_t>);  // null: image is all zero
};

inline constexpr ModuleLayout kLayouts[] = {
    {kMainUnitType, mainunit::kLength, FillMainUnit},
    {kTypeQvi520, phono::kLength, FillQvi520},
    {kTypeQvo520, qvo::kLength, FillQvo520},
    {kTypeQvo520b, qvo::kLength, FillQvo520},
    {kTypeHej520, hej::kLength, FillHej520},
    {kTypeSiv520, siv::kLength, FillSiv520},
    {kTypeTwr310i, twr::kLength, FillTwr310i},
    {kTypeNvo310, nvo::kLength, FillNvo310},
    {kTypeBuz310, phono::kLength, FillBuz310},
    {kTypeJov520, jov::kLength, FillJov520},
    {kTypeYor310, yor::kLength, FillYor310},
    {kTypeKlf310, klf::kLength, FillKlf310},
    {kTypeFront26, 0, nullptr},  // the display keeps its settings in the main unit
};

std::optional<ModuleLayout> FindLayout(std::uint8_t type) {
  for (const ModuleLayout& l : kLayouts) {
    if (l.type == type) return l;
  }
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// Live values.

// Where the u16 words of commands 157, 171 and 172 land, in argument order;
// kIgnored (the identity record, never a live target) for a word the page
// always sends as 0.
inline constexpr std::size_t kIgnored = 0;
struct LiveWordTarget {
  std::uint8_t type;
  std::uint8_t code;
  std::array<std::size_t, 4> offsets;
};
inline constexpr LiveWordTarget kLiveWordTargets[] = {
    {kTypeTwr310i, kCmdLiveLevels, {twr::kLevel1, twr::kLevel2, kIgnored, kIgnored}},
    {kTypeTwr310i, kCmdLiveWords, {twr::kAssign1, twr::kAssign2, kIgnored, kIgnored}},
    {kTypeYor310, kCmdLiveLevels, {yor::kOffset1, yor::kOffset2, kIgnored, kIgnored}},
    {kTypeHej520, kCmdLiveWords, {hej::kAssign1, hej::kAssign2, kIgnored, kIgnored}},
    {kTypeQvo520, kCmdLiveLevels, qvo::kLevels},
    {kTypeQvo520, kCmdLiveWords, qvo::kAssigns},
    {kTypeQvo520, kCmdLiveWord, {qvo::kMode, kIgnored, kIgnored, kIgnored}},
    {kTypeQvo520b, kCmdLiveLevels, qvo::kLevels},
    {kTypeQvo520b, kCmdLiveWords, qvo::kAssigns},
    {kTypeQvo520b, kCmdLiveWord, {qvo::kMode, kIgnored, kIgnored, kIgnored}},
};

// Number of u16 words each word command carries.
std::size_t WordCount(std::uint8_t code) {
  return code == kCmdLiveWord ? 1 : 4;
}

// Commands whose single value travels in arg2 and lands in one image byte.
struct LiveByteTarget {
  std::uint8_t type;
  std::uint8_t code;
  std::size_t offset;
};
inline constexpr LiveByteTarget kLiveByteTargets[] = {
    {kTypeQvi520, kCmdEqualizerGain, phono::kGain},
    {kTypeBuz310, kCmdEqualizerGain, phono::kGain},
    {kTypeJov520, kCmdJovValue, jov::kLedBrightness},
};

inline constexpr std::size_t kCurveRecordSize = 10;  // curve word + four time constants

// Command 160: the card plays the curve it is sent, so the slot holding that curve
// number takes the time constants; a fresh selection also becomes the selected slot.
// The currently selected slot wins when several slots share a number.
void ApplyCurve(std::span<const std::uint8_t> data, std::span<std::uint8_t> image) {
  using namespace phono;
  const std::uint16_t word = platform::GetU16(data, 0);
  const std::uint16_t number = (word >> kCurveNumberShift) & kCurveNumberMask;
  auto matches = [&](std::size_t slot) {
    const std::uint16_t slotWord = platform::GetU16(image, SlotOffset(slot) + kSlotWord);
    return (slotWord & kSlotInUse) != 0 &&
           ((slotWord >> kCurveNumberShift) & kCurveNumberMask) == number;
  };
  std::optional<std::size_t> target;
  const std::size_t selected = image[kSelectedCurve];
  if (selected < kSlotCount && matches(selected)) {
    target = selected;
  } else {
    for (std::size_t k = 0; k < kSlotCount && !target; ++k) {
      if (matches(k)) target = k;
    }
  }
  if (!target) return;  // a curve the card does not hold: nothing to store
  if ((word & kCurveJustSelected) != 0) image[kSelectedCurve] = static_cast<std::uint8_t>(*target);
  for (std::size_t i = 0; i < kTimeCount; ++i) {
    platform::PutU16(image, SlotOffset(*target) + kSlotTimes + 2 * i,
                     platform::GetU16(data, 2 + 2 * i));
  }
}

// ---------------------------------------------------------------------------
// Front display.

// Reply order of command 33.
enum DisplayLevelSlot : int {
  kBrightnessOn = 0,
  kBrightnessOff = 1,
  kContrast = 2,
  kPeakMeterDelay = 3,
  kZel520Front = 4,
  kZel520Rear = 5,
  kTwr520Led = 6,
  kBrightnessAlternate = 7,
};

struct DisplayLevelDefault {
  std::uint8_t code;  // setting command
  int slot;
  DisplayLevel level;
};
inline constexpr DisplayLevelDefault kDisplayLevels[] = {
    {146, kBrightnessOn, {12, 0, 15}},       {150, kBrightnessOff, {2, 0, 15}},
    {155, kBrightnessAlternate, {6, 0, 15}}, {151, kContrast, {32, 0, 63}},
    {152, kPeakMeterDelay, {10, 0, 50}},     {148, kTwr520Led, {50, 0, 100}},
    {147, kZel520Front, {50, 0, 100}},       {162, kZel520Rear, {30, 0, 100}},
};
static_assert(std::size(kDisplayLevels) == kDisplayLevelCount);

// 5 x 7 glyphs, one byte per row, bit 4 = leftmost column.
inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;
inline constexpr int kGlyphAdvance = kGlyphWidth + 1;
struct Glyph {
  char ch;
  std::array<std::uint8_t, kGlyphHeight> rows;
};
inline constexpr Glyph kFont[] = {
    {' ', {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}},
    {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}},
    {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {',', {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'+', {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'/', {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00}},
    {'%', {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03}},
    {'(', {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}},
    {')', {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08}},
    {'&', {0x0C, 0x12, 0x14, 0x08, 0x15, 0x12, 0x0D}},
    {'\'', {0x0C, 0x04, 0x08, 0x00, 0x00, 0x00, 0x00}},
    {'!', {0x04, 0x04, 0x04, 0x04, 0x04, 0x00, 0x04}},
    {'?', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x00, 0x04}},
    {'_', {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F}},
    {'=', {0x00, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x00}},
    {'#', {0x0A, 0x0A, 0x1F, 0x0A, 0x1F, 0x0A, 0x0A}},
    {'*', {0x00, 0x04, 0x15, 0x0E, 0x15, 0x04, 0x00}},
};

const Glyph& FindGlyph(char c) {
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');  // the display has no lower case
  const Glyph* unknown = nullptr;
  for (const Glyph& g : kFont) {
    if (g.ch == c) return g;
    if (g.ch == '?') unknown = &g;
  }
  return *unknown;
}

// Screen layout (pixels).
inline constexpr int kWidth = static_cast<int>(kDisplayWidth);
inline constexpr int kHeight = static_cast<int>(kDisplayHeight);
inline constexpr int kMargin = 4;
inline constexpr int kClockTop = 4;
inline constexpr int kLine1Top = 22;
inline constexpr int kLine2Top = 56;
inline constexpr int kLine3Top = 82;
inline constexpr int kLine1MaxScale = 3;
inline constexpr int kLine23MaxScale = 2;
inline constexpr int kStandbyClockScale = 4;
inline constexpr std::size_t kClockChars = 5;  // "HH:MM"

struct TextItem {
  std::string_view text;
  int left;
  int top;
  int scale;
};

int TextWidth(std::size_t chars, int scale) {
  return chars == 0 ? 0 : static_cast<int>(chars) * kGlyphAdvance * scale - scale;
}

// Largest scale up to `maxScale` at which the text fits between the margins.
int FitScale(std::string_view text, int maxScale) {
  for (int s = maxScale; s > 1; --s) {
    if (TextWidth(text.size(), s) <= kWidth - 2 * kMargin) return s;
  }
  return 1;
}

TextItem Centred(std::string_view text, int top, int maxScale) {
  const int scale = FitScale(text, maxScale);
  return {text, std::max(kMargin, (kWidth - TextWidth(text.size(), scale)) / 2), top, scale};
}

using RowPixels = std::array<bool, kDisplayWidth>;

void DrawTextRow(const TextItem& item, int row, int clipLeft, int clipRight, RowPixels& pixels) {
  if (row < item.top || row >= item.top + kGlyphHeight * item.scale) return;
  const int glyphRow = (row - item.top) / item.scale;
  for (std::size_t i = 0; i < item.text.size(); ++i) {
    const std::uint8_t bits = FindGlyph(item.text[i]).rows[static_cast<std::size_t>(glyphRow)];
    const int charLeft = item.left + static_cast<int>(i) * kGlyphAdvance * item.scale;
    for (int col = 0; col < kGlyphWidth; ++col) {
      if ((bits & (0x10 >> col)) == 0) continue;
      for (int dx = 0; dx < item.scale; ++dx) {
        const int x = charLeft + col * item.scale + dx;
        if (x >= clipLeft && x <= clipRight) pixels[static_cast<std::size_t>(x)] = true;
      }
    }
  }
}

void TwoDigits(int v, char* out) {
  v = std::clamp(v, 0, 99);
  out[0] = static_cast<char>('0' + v / 10);
  out[1] = static_cast<char>('0' + v % 10);
}

// Display row: word 0 unused, words 1-15 carry pixels 0-239, bit 15 first.
inline constexpr std::size_t kRowFirstPixelWord = 1;
inline constexpr std::size_t kPixelsPerWord = 16;

// ---------------------------------------------------------------------------
// QVO520 processor records.

namespace proc {
inline constexpr std::size_t kModel = 0;  // bit 0 software flag, bits 1-7 model code
inline constexpr std::size_t kComponent = 1;
inline constexpr std::size_t kDate = 2;
inline constexpr std::size_t kVersion = 4;
inline constexpr std::size_t kSecondComponent = 7;
inline constexpr std::size_t kSecondDate = 8;
inline constexpr std::size_t kSecondVersion = 10;
inline constexpr std::size_t kBoardIdentity = 12;
// Within the board identity record.
inline constexpr std::size_t kIdWritten = 0;
inline constexpr std::size_t kIdYear = 1;
inline constexpr std::size_t kIdMonth = 2;
inline constexpr std::size_t kIdDay = 3;
inline constexpr std::size_t kIdSerial = 4;

inline constexpr std::uint8_t kModelZel520 = 4;
inline constexpr std::uint8_t kComponentDsp = 19;
inline constexpr std::uint8_t kComponentPfc = 18;

struct Software {
  std::uint8_t major;
  std::uint16_t minor;
  std::uint8_t day;
  std::uint8_t month;
  std::uint16_t year;
};
// Factory software, older than the DSP package the desktop carries, so an update is offered.
inline constexpr Software kDsp = {2, 5, 14, 3, 2008};
inline constexpr Software kPfc = {1, 2, 5, 11, 2007};
struct Board {
  std::uint16_t year;
  std::uint8_t month;
  std::uint8_t day;
  std::uint32_t serial;
};
inline constexpr std::array<Board, 2> kBoards = {{{2008, 9, 15, 1201}, {2008, 9, 15, 1202}}};

constexpr std::uint16_t PackDate(std::uint8_t day, std::uint8_t month, std::uint16_t year) {
  return static_cast<std::uint16_t>((day & 0x1F) | ((month & 0x0F) << 5) |
                                    (((year - 2000) & 0x7F) << 9));
}
// First part: bit 0 "update", bits 1-5 major, bits 6-15 minor.
constexpr std::uint16_t PackMainVersion(std::uint8_t major, std::uint16_t minor, bool update) {
  return static_cast<std::uint16_t>((update ? 1 : 0) | ((major & 0x1F) << 1) | (minor << 6));
}
// Second part: bits 0-5 major, bits 6-15 minor.
constexpr std::uint16_t PackSecondVersion(std::uint8_t major, std::uint16_t minor) {
  return static_cast<std::uint16_t>((major & 0x3F) | (minor << 6));
}
}  // namespace proc

}  // namespace

std::uint16_t DefaultSettingsLength(std::uint8_t type) {
  const auto layout = FindLayout(type);
  return layout ? layout->length : kUnknownTypeLength;
}

std::vector<std::uint8_t> DefaultSettings(std::uint8_t type) {
  std::vector<std::uint8_t> image(DefaultSettingsLength(type), 0);
  const auto layout = FindLayout(type);
  if (layout && layout->fillDefaults != nullptr) layout->fillDefaults(image);
  std::fill_n(image.begin(), std::min(image.size(), kIdentitySize), 0);
  return image;
}

bool ApplyLiveValue(std::uint8_t type, std::span<const std::uint8_t> frame,
                    std::span<std::uint8_t> image) {
  if (frame.size() < kFrameHeaderSize) return false;
  const std::uint8_t code = frame[kFrameOffCode];
  const std::size_t dataLength =
      std::min<std::size_t>(frame[kFrameOffLength], frame.size() - kFrameHeaderSize);
  const auto data = frame.subspan(kFrameHeaderSize, dataLength);

  for (const LiveWordTarget& t : kLiveWordTargets) {
    if (t.type != type || t.code != code) continue;
    const std::size_t words = WordCount(code);
    if (data.size() < 2 * words) return false;
    for (std::size_t i = 0; i < words; ++i) {
      const std::size_t at = t.offsets[i];
      if (at != kIgnored && Fits(image, at, 2)) {
        platform::PutU16(image, at, platform::GetU16(data, 2 * i));
      }
    }
    return true;
  }
  for (const LiveByteTarget& t : kLiveByteTargets) {
    if (t.type != type || t.code != code) continue;
    if (Fits(image, t.offset, 1)) image[t.offset] = frame[kFrameOffArg2];
    return true;
  }
  if (code == kCmdEqualizerCurve && (type == kTypeQvi520 || type == kTypeBuz310)) {
    if (data.size() < kCurveRecordSize || !Fits(image, phono::kLength, 0)) return false;
    ApplyCurve(data, image);
    return true;
  }
  if (code == kCmdWriteTableEntry && type == kTypeKlf310) {
    const std::size_t channel = frame[kFrameOffArg1];
    if (channel >= klf::kChannelCount || data.size() < klf::kEntryPrefix + klf::kEntryBytes) {
      return false;
    }
    const std::size_t at = klf::ChannelOffset(channel);
    if (!Fits(image, at, klf::kEntryBytes)) return false;
    // The last two name bytes are not carried; they stay as stored.
    std::copy_n(data.begin() + klf::kEntryPrefix, klf::kEntryBytes,
                image.begin() + static_cast<std::ptrdiff_t>(at));
    return true;
  }
  return false;
}

std::array<DisplayLevel, kDisplayLevelCount> DefaultDisplayLevels() {
  std::array<DisplayLevel, kDisplayLevelCount> levels{};
  for (const DisplayLevelDefault& d : kDisplayLevels) {
    levels[static_cast<std::size_t>(d.slot)] = d.level;
  }
  return levels;
}

int DisplayLevelIndex(std::uint8_t code) {
  for (const DisplayLevelDefault& d : kDisplayLevels) {
    if (d.code == code) return d.slot;
  }
  return -1;
}

std::array<std::uint8_t, kDisplayRowBytes> RenderDisplayRow(const DisplayContent& content,
                                                            int row) {
  std::array<std::uint8_t, kDisplayRowBytes> out{};
  if (row < 0 || row >= kHeight) return out;

  std::array<char, kClockChars> clock{};
  TwoDigits(content.hour, &clock[0]);
  clock[2] = ':';
  TwoDigits(content.minute, &clock[3]);
  const std::string_view clockText(clock.data(), clock.size());

  RowPixels pixels{};
  if (content.powerOn) {
    // Frame around the whole screen; text stays inside it.
    const bool edgeRow = row == 0 || row == kHeight - 1;
    for (int x = 0; x < kWidth; ++x) {
      if (edgeRow || x == 0 || x == kWidth - 1) pixels[static_cast<std::size_t>(x)] = true;
    }
    const TextItem items[] = {
        {clockText, kWidth - kMargin - TextWidth(kClockChars, 1), kClockTop, 1},
        Centred(content.line1, kLine1Top, kLine1MaxScale),
        Centred(content.line2, kLine2Top, kLine23MaxScale),
        Centred(content.line3, kLine3Top, kLine23MaxScale),
    };
    for (const TextItem& item : items) DrawTextRow(item, row, 1, kWidth - 2, pixels);
  } else {
    // Standby: a large clock alone in the middle.
    const int scale = kStandbyClockScale;
    const TextItem item{clockText, (kWidth - TextWidth(kClockChars, scale)) / 2,
                        (kHeight - kGlyphHeight * scale) / 2, scale};
    DrawTextRow(item, row, 0, kWidth - 1, pixels);
  }

  for (std::size_t x = 0; x < kDisplayWidth; ++x) {
    if (!pixels[x]) continue;
    const std::size_t at = 2 * (kRowFirstPixelWord + x / kPixelsPerWord);
    const auto bit = static_cast<std::uint16_t>(0x8000u >> (x % kPixelsPerWord));
    platform::PutU16(out, at, static_cast<std::uint16_t>(platform::GetU16(out, at) | bit));
  }
  return out;
}

std::array<std::uint8_t, kProcessorRecordSize> DefaultProcessorRecord(int index) {
  using namespace proc;
  std::array<std::uint8_t, kProcessorRecordSize> record{};
  const Board& board = kBoards[index == 0 ? 0 : 1];
  record[kModel] = static_cast<std::uint8_t>(kModelZel520 << 1);
  record[kComponent] = kComponentDsp;
  platform::PutU16(record, kDate, PackDate(kDsp.day, kDsp.month, kDsp.year));
  platform::PutU16(record, kVersion, PackMainVersion(kDsp.major, kDsp.minor, false));
  record[kSecondComponent] = kComponentPfc;
  platform::PutU16(record, kSecondDate, PackDate(kPfc.day, kPfc.month, kPfc.year));
  platform::PutU16(record, kSecondVersion, PackSecondVersion(kPfc.major, kPfc.minor));
  const std::size_t id = kBoardIdentity;
  record[id + kIdWritten] = 1;
  record[id + kIdYear] = static_cast<std::uint8_t>(board.year - 2000);
  record[id + kIdMonth] = board.month;
  record[id + kIdDay] = board.day;
  platform::PutU32(record, id + kIdSerial, ((board.serial / 10000) << 16) | (board.serial % 10000));
  return record;
}

std::array<std::uint8_t, 32> ModuleSpecificDescriptor(std::uint8_t type) {
  using namespace klf;
  std::array<std::uint8_t, 32> bytes{};
  if (type != kTypeKlf310) return bytes;
  auto put = [&](std::size_t entry, const SoftwareVersion& v) {
    platform::PutU32(bytes, entry + kEntryMarker, kVersionMarker);
    bytes[entry + kEntryMajor] = v.major;
    platform::PutU16(bytes, entry + kEntryMinor, v.minor);
    bytes[entry + kEntryDay] = v.day;
    bytes[entry + kEntryMonth] = v.month;
    platform::PutU16(bytes, entry + kEntryYear, v.year);
  };
  put(kBootEntry, kBootVersion);
  put(kMainEntry, kMainVersion);
  return bytes;
}

// The remote's live values reach a card as the desktop's would: the same
// image fields, through the same targets.
bool ApplyRemoteLiveValue(std::uint8_t type, std::uint8_t code,
                          std::span<const std::uint8_t> payload, std::span<std::uint8_t> image) {
  std::array<std::uint8_t, kFrameHeaderSize + 8> frame{};
  auto words = [&](std::uint8_t usbCode, const std::array<std::uint16_t, 4>& values) {
    frame[kFrameOffCode] = usbCode;
    frame[kFrameOffLength] = 8;
    for (std::size_t i = 0; i < 4; ++i) {
      platform::PutU16(std::span(frame).subspan(kFrameHeaderSize), 2 * i, values[i]);
    }
    return ApplyLiveValue(type, frame, image);
  };
  auto byte = [&](std::uint8_t usbCode, std::uint8_t value) {
    frame[kFrameOffCode] = usbCode;
    frame[kFrameOffArg2] = value;
    return ApplyLiveValue(type, std::span(frame).first(kFrameHeaderSize), image);
  };
  switch (code) {
    case 66: {  // u16 slot, four u16 levels
      if (payload.size() < 10) return false;
      return words(kCmdLiveLevels,
                   {platform::GetU16(payload, 2), platform::GetU16(payload, 4),
                    platform::GetU16(payload, 6), platform::GetU16(payload, 8)});
    }
    case 69: {  // u16 slot and selector, u16 four 4-bit channel numbers
      if (payload.size() < 4) return false;
      const std::uint16_t v = platform::GetU16(payload, 2);
      return words(kCmdLiveWords, {static_cast<std::uint16_t>(v & 0xF),
                                   static_cast<std::uint16_t>((v >> 4) & 0xF),
                                   static_cast<std::uint16_t>((v >> 8) & 0xF),
                                   static_cast<std::uint16_t>((v >> 12) & 0xF)});
    }
    case 67:  // u8 slot, gain, second value
      if (payload.size() < 3) return false;
      return byte(kCmdEqualizerGain, payload[1]);
    case 56:  // u8 slot, selected curve
      if (payload.size() < 2 || (type != kTypeQvi520 && type != kTypeBuz310) ||
          payload[1] >= phono::kSlotCount || !Fits(image, phono::kSelectedCurve, 1)) {
        return false;
      }
      image[phono::kSelectedCurve] = payload[1];
      return true;
    case 70:  // u16 slot/control, u16 value
      if (payload.size() < 4) return false;
      return byte(kCmdJovValue, static_cast<std::uint8_t>(std::min<std::uint16_t>(
                                    platform::GetU16(payload, 2), 255)));
    default:
      return false;
  }
}

}  // namespace sim
