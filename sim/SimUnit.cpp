#include "sim/SimUnit.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "desktop/firmware/ImageStamp.h"
#include "desktop/unitlink/UnitCommand.h"
#include "desktop/unitlink/UnitProtocol.h"
#include "platform/AtomicFile.h"
#include "platform/Bytes.h"

namespace sim {

using desktop::unitlink::UnitCommand;
namespace ul = desktop::unitlink;

namespace {

constexpr std::size_t kDescriptorSize = 52;
constexpr std::size_t kStatusSize = 10;

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

// The unit now runs what was flashed: take the version and date from the
// stand-in's stamp. Real images carry none and leave the version as it was.
void TakeStampedVersion(const std::vector<std::uint8_t>& flash, SoftwareVersion& version) {
  const auto stamp = desktop::firmware::ImageStamp::Decode(flash);
  if (!stamp) return;
  version.major = stamp->version & 0x3F;
  version.minor = static_cast<std::uint16_t>(stamp->version >> 6);
  version.day = stamp->day;
  version.month = stamp->month;
  version.year = static_cast<std::uint8_t>(stamp->year >= 2000 ? stamp->year - 2000 : 0);
}

}  // namespace

SimUnit::SimUnit(Scenario scenario, platform::Clock& clock, std::filesystem::path stateFile)
    : clock_(clock), scenario_(std::move(scenario)), stateFile_(std::move(stateFile)) {
  for (const ModuleSpec& moduleSpec : scenario_.modules) {
    Module m;
    m.setup = moduleSpec;
    m.defaults = DefaultSettings(moduleSpec.type);
    if (moduleSpec.settingsLength) m.defaults.resize(*moduleSpec.settingsLength, 0);
    m.working = m.defaults;
    // The identity record is the unit's own: serial and delivery from the scenario.
    if (m.working.size() >= 8) {
      m.working[1] = moduleSpec.deliveryYear;
      m.working[2] = moduleSpec.deliveryMonth;
      m.working[3] = moduleSpec.deliveryDay;
      platform::PutU16(m.working, 4, moduleSpec.serial);
    }
    m.stored = m.working;
    if (moduleSpec.type == 2 || moduleSpec.type == 3) {
      m.processors[0] = DefaultProcessorRecord(0);
      m.processors[1] = DefaultProcessorRecord(1);
    }
    modules_[moduleSpec.address] = std::move(m);
  }
  display_ = DefaultDisplayLevels();
  refuseUntil_ = clock_.Milliseconds() + scenario_.faults.refuseOpensMs;
  Load();
}

SimUnit::Module* SimUnit::FindModule(std::uint8_t address) {
  auto it = modules_.find(address);
  if (it == modules_.end()) return nullptr;
  // Cards beyond the unit's slot count are not on its bus.
  if (address > scenario_.slotCount) return nullptr;
  return &it->second;
}

bool SimUnit::IsPresent() {
  std::lock_guard lock(mutex_);
  const auto now = clock_.Milliseconds();
  return now >= absentUntil_ && now >= refuseUntil_;
}

void SimUnit::Restart(std::uint32_t ms) { absentUntil_ = clock_.Milliseconds() + ms; }

bool SimUnit::HandleControl(std::uint32_t code, std::span<const std::uint8_t> in,
                            std::span<std::uint8_t> out) {
  std::uint32_t delay = 0;
  {
    std::lock_guard lock(mutex_);
    ++exchanges_;
    delay = scenario_.faults.delayMs;
  }
  if (delay != 0) clock_.Sleep(delay);

  std::lock_guard lock(mutex_);
  const auto now = clock_.Milliseconds();
  if (now < absentUntil_ || now < refuseUntil_) return false;
  if (code != ul::kUnitControlCode) return false;
  // A frame is the 6-byte header and as many data bytes as it says, 64 at most.
  if (in.size() < ul::kHeaderSize || in.size() > ul::kFrameSize) return false;
  if (in[ul::kOffLength] > ul::kMaxData || in.size() != ul::kHeaderSize + in[ul::kOffLength]) {
    return false;
  }
  if (out.size() > ul::kFrameSize) return false;
  const unsigned failEvery = scenario_.faults.failEvery;
  if (failEvery != 0 && exchanges_ % failEvery == 0) return false;

  std::array<std::uint8_t, 64> reply{};
  if (!HandleFrame(in, reply)) return false;
  std::copy_n(reply.begin(), out.size(), out.begin());
  return true;
}

void SimUnit::FillDescriptor(const Module& m, std::span<std::uint8_t> d) const {
  const bool isMain = m.setup.address == 0;
  const bool running = m.setup.running && !(isMain && erased_ == FlashArea::kHost);
  d[0] = running ? 1 : 0;
  d[2] = m.setup.type;
  platform::PutU16(d, 4, static_cast<std::uint16_t>(m.defaults.size()));
  d[6] = isMain ? scenario_.slotCount : 0;
  d[7] = isMain ? 1 : 0;
  platform::PutU16(d, 8, m.setup.version.major);
  platform::PutU16(d, 10, m.setup.version.minor);
  d[12] = m.setup.version.day;
  d[13] = m.setup.version.month;
  d[14] = m.setup.version.year;
  d[19] = running ? 1 : 0;
  const auto specific = ModuleSpecificDescriptor(m.setup.type);
  std::copy(specific.begin(), specific.end(), d.begin() + 20);
}

DisplayContent SimUnit::CurrentDisplay() {
  DisplayContent c;
  c.line1 = "MRX520";
  // What the remote set: the same unit on every link.
  c.line2 = remote_.sourceSlot == 0 && remote_.sourceInput == 0 ? "CD" : "Input";
  char volume[16];
  std::snprintf(volume, sizeof volume, "%.1f dB", remote_.volume / 10.0);
  c.line3 = volume;
  c.powerOn = remote_.power;
  const auto t = platform::ToLocalTime(clock_.WallTime() + rtcOffset_);
  c.hour = t.hour;
  c.minute = t.minute;
  return c;
}

bool SimUnit::HandleFrame(std::span<const std::uint8_t> frame, std::span<std::uint8_t, 64> reply) {
  const auto code = static_cast<UnitCommand>(frame[ul::kOffCode]);
  const std::uint8_t address = frame[ul::kOffModule];
  const std::uint8_t arg1 = frame[ul::kOffArg1];
  const std::uint8_t arg2 = frame[ul::kOffArg2];
  const std::uint8_t arg3 = frame[ul::kOffArg3];
  const auto data = frame.subspan(ul::kHeaderSize);

  // Address-0 commands of the unit itself.
  switch (code) {
    case UnitCommand::kEraseHost:
    case UnitCommand::kEraseBoot:
    case UnitCommand::kBeginDownload:
    case UnitCommand::kWriteDownloadBlock:
    case UnitCommand::kEndDownload:
    case UnitCommand::kStartHost:
      return address == 0 && Download(frame[ul::kOffCode], frame);
    case UnitCommand::kReadBootDescriptor: {
      if (address != 0) return false;
      Module main = modules_.at(0);
      main.setup.version = scenario_.bootVersion;
      main.setup.type = 0;
      FillDescriptor(main, reply.subspan(ul::kReplyOffData, kDescriptorSize));
      reply[ul::kReplyOffCount] = kDescriptorSize;
      return true;
    }
    case UnitCommand::kReadDisplayLevels:
      for (std::size_t i = 0; i < kDisplayLevelCount; ++i) {
        reply[ul::kReplyOffData + 3 * i] = display_[i].value;
        reply[ul::kReplyOffData + 3 * i + 1] = display_[i].min;
        reply[ul::kReplyOffData + 3 * i + 2] = display_[i].max;
      }
      reply[ul::kReplyOffCount] = 3 * kDisplayLevelCount;
      return true;
    case UnitCommand::kBrightnessOn:
    case UnitCommand::kBrightnessOff:
    case UnitCommand::kBrightnessAlternate:
    case UnitCommand::kContrast:
    case UnitCommand::kPeakmeterDelay:
    case UnitCommand::kLedTWR520:
    case UnitCommand::kLedZEL520Front:
    case UnitCommand::kLedZEL520Rear: {
      const int index = DisplayLevelIndex(frame[ul::kOffCode]);
      if (index < 0) return false;
      DisplayLevel& level = display_[static_cast<std::size_t>(index)];
      level.value = std::clamp(arg2, level.min, level.max);
      Save();
      return true;
    }
    case UnitCommand::kDisplayValueA3:
      return true;  // the unit takes it; nothing shows it
    case UnitCommand::kBtModuleInit:
      if (data.size() < 2) return false;
      btInit_ = (data[0] & 1) != 0;
      return true;
    default:
      break;
  }

  Module* m = FindModule(address);
  if (m == nullptr) return false;
  reply[0] = frame[ul::kOffCode];
  reply[ul::kReplyOffAddress] = m->setup.address;
  reply[ul::kReplyOffSubAddress] = m->setup.subAddress;
  auto replyData = reply.subspan(ul::kReplyOffData);
  const std::size_t settingsLength = m->defaults.size();

  switch (code) {
    case UnitCommand::kReadDescriptor:
      FillDescriptor(*m, replyData.first(kDescriptorSize));
      reply[ul::kReplyOffCount] = kDescriptorSize;
      return true;
    case UnitCommand::kReadSettings: {
      if (arg2 == 0 && arg1 == 1) m->working = m->stored;  // reload from EEPROM
      const std::size_t offset = std::size_t{58} * arg2;
      const std::size_t length = std::min<std::size_t>(arg3, 58);
      if (offset > settingsLength) return false;
      const std::size_t n = std::min(length, settingsLength - offset);
      std::copy_n(m->working.begin() + static_cast<std::ptrdiff_t>(offset), n, replyData.begin());
      reply[ul::kReplyOffCount] = static_cast<std::uint8_t>(n);
      return true;
    }
    case UnitCommand::kWriteSettings: {
      if (arg1 == 1) {  // store what was written
        m->stored = m->working;
        Save();
        return true;
      }
      const std::size_t offset = std::size_t{58} * arg2;
      if (offset > settingsLength) return false;
      const std::size_t n = std::min(data.size(), settingsLength - offset);
      std::copy_n(data.begin(), n, m->working.begin() + static_cast<std::ptrdiff_t>(offset));
      return true;
    }
    case UnitCommand::kResetSettings: {
      if (data.size() != 8) return false;
      m->working = m->defaults;
      if (m->working.size() >= 8) std::copy(data.begin(), data.end(), m->working.begin());
      m->stored = m->working;
      Save();
      return true;
    }
    case UnitCommand::kReadStatus:
      replyData[2] = scenario_.faults.eepromError ? 0x01 : 0x00;
      replyData[0] = m->setup.running ? 1 : 0;
      reply[ul::kReplyOffCount] = kStatusSize;
      return true;
    case UnitCommand::kReadClock: {
      if (address != 0) return true;  // no clock on cards: count 0
      const auto record = ul::EncodeClock(platform::ToLocalTime(clock_.WallTime() + rtcOffset_));
      std::copy(record.begin(), record.end(), replyData.begin());
      reply[ul::kReplyOffCount] = ul::kClockSize;
      return true;
    }
    case UnitCommand::kSetClock: {
      if (address != 0 || data.size() != ul::kClockSize) return false;
      const platform::LocalTime t = ul::DecodeClock(data.first<ul::kClockSize>());
      if (t.day < 1 || t.day > 31 || t.month < 1 || t.month > 12 || t.hour > 23 ||
          t.minute > 59 || t.second > 59) {
        return false;
      }
      rtcOffset_ = static_cast<std::int64_t>(platform::FromLocalTime(t)) -
                   static_cast<std::int64_t>(clock_.WallTime());
      Save();
      return true;
    }
    case UnitCommand::kReadDisplayRow: {
      if (m->setup.type != 16 || arg1 != m->setup.subAddress || arg2 >= kDisplayHeight) {
        return false;
      }
      const auto row = RenderDisplayRow(CurrentDisplay(), arg2);
      std::copy(row.begin(), row.end(), replyData.begin());
      reply[ul::kReplyOffCount] = kDisplayRowBytes;
      return true;
    }
    case UnitCommand::kReadProcessorRecord:
      if (arg2 > 1 || (m->setup.type != 2 && m->setup.type != 3)) return false;
      std::copy_n(m->processors[arg2].begin(), kProcessorRecordSize, replyData.begin());
      reply[ul::kReplyOffCount] = kProcessorRecordSize;
      return true;
    case UnitCommand::kWriteBankRecord:
      if (arg2 > 1 || data.size() != kBoardIdentitySize) return false;
      std::copy(data.begin(), data.end(), m->processors[arg2].begin() + 12);
      Save();
      return true;
    case UnitCommand::kBeginCardDownload:
    case UnitCommand::kWriteCardBlock:
    case UnitCommand::kEndCardDownload:
      return CardDownload(*m, frame[ul::kOffCode], frame);
    case UnitCommand::kCardCommandA8:
      return true;
    case UnitCommand::kWriteTableEntry: {
      if (m->setup.type != 11 || arg1 > 15 || data.size() < 2) return false;
      auto& entry = m->table[arg1];
      entry.fill(0);
      std::copy(data.begin() + 2, data.end(), entry.begin());
      Save();
      return true;
    }
    case UnitCommand::kLiveValues:
    case UnitCommand::kLiveValues2:
    case UnitCommand::kLiveValue:
    case UnitCommand::kLiveEqualizerGain:
    case UnitCommand::kEqualizerCurve:
    case UnitCommand::kJovValue:
      ApplyLiveValue(m->setup.type, frame, m->working);
      return true;
    default:
      return false;  // the unit does not know this command
  }
}

bool SimUnit::Download(std::uint8_t code, std::span<const std::uint8_t> frame) {
  switch (static_cast<UnitCommand>(code)) {
    case UnitCommand::kEraseHost:
      erased_ = FlashArea::kHost;
      hostFlash_.assign(kHostFlashEnd - kHostFlashStart, 0xFF);
      downloading_ = downloadEnded_ = false;
      Restart(scenario_.faults.restartMs);
      return true;
    case UnitCommand::kEraseBoot:
      erased_ = FlashArea::kBoot;
      bootFlash_.assign(kBootFlashEnd - kBootFlashStart, 0xFF);
      downloading_ = downloadEnded_ = false;
      Restart(scenario_.faults.restartMs);
      return true;
    case UnitCommand::kBeginDownload:
      if (erased_ == FlashArea::kNone) return false;
      downloading_ = true;
      downloadEnded_ = false;
      return true;
    case UnitCommand::kWriteDownloadBlock: {
      if (!downloading_) return false;
      const auto data = frame.subspan(ul::kHeaderSize);
      if (data.size() < 6) return false;
      const std::uint32_t at = platform::GetU32(data, 0);
      const std::uint16_t count = platform::GetU16(data, 4);
      // Blocks are even, at most 52 bytes, and say their own length truly.
      if (count % 2 != 0 || count > 52 || data.size() != count + 6u || at % 2 != 0) return false;
      const bool boot = erased_ == FlashArea::kBoot;
      const std::uint32_t start = boot ? kBootFlashStart : kHostFlashStart;
      const std::uint32_t end = boot ? kBootFlashEnd : kHostFlashEnd;
      if (at < start || at + count > end) return false;
      auto& flash = boot ? bootFlash_ : hostFlash_;
      std::copy_n(data.begin() + 6, count, flash.begin() + (at - start));
      return true;
    }
    case UnitCommand::kEndDownload:
      if (!downloading_) return false;
      downloading_ = false;
      downloadEnded_ = true;
      if (erased_ == FlashArea::kBoot) {
        erased_ = FlashArea::kNone;  // the boot loader is back
        TakeStampedVersion(bootFlash_, scenario_.bootVersion);
      }
      Save();
      return true;
    case UnitCommand::kStartHost:
      if (erased_ == FlashArea::kHost && !downloadEnded_) return false;
      if (erased_ == FlashArea::kHost) TakeStampedVersion(hostFlash_, modules_.at(0).setup.version);
      erased_ = FlashArea::kNone;
      downloadEnded_ = false;
      Restart(kStartRestartMs);
      Save();
      return true;
    default:
      return false;
  }
}

bool SimUnit::CardDownload(Module& m, std::uint8_t code, std::span<const std::uint8_t> frame) {
  if (m.setup.type != 2 && m.setup.type != 3) return false;
  const auto data = frame.subspan(ul::kHeaderSize);
  const std::uint8_t index = frame[ul::kOffArg2];
  switch (static_cast<UnitCommand>(code)) {
    case UnitCommand::kBeginCardDownload: {
      if (data.size() != 12 || data[0] > 1) return false;
      std::copy(data.begin(), data.end(), m.cardDownload[data[0]].begin());
      m.cardDownloadActive[data[0]] = true;
      return true;
    }
    case UnitCommand::kWriteCardBlock: {
      if (index > 1 || !m.cardDownloadActive[index] || data.size() < 6) return false;
      const std::uint16_t count = platform::GetU16(data, 4);
      return count <= 22 && data.size() == count + 6u;
    }
    case UnitCommand::kEndCardDownload: {
      if (index > 1 || !m.cardDownloadActive[index]) return false;
      m.cardDownloadActive[index] = false;
      // The processor now runs what was sent: date and version from the begin frame.
      const auto& begin = m.cardDownload[index];
      const unsigned major = begin[1] & 0x1F;
      const unsigned minor = platform::GetU16(begin, 2) & 0x3FF;
      const unsigned day = begin[4], month = begin[5];
      const unsigned year = platform::GetU16(begin, 6);
      auto& record = m.processors[index];
      platform::PutU16(record, 2,
                       static_cast<std::uint16_t>((day & 0x1F) | ((month & 0x0F) << 5) |
                                                  (((year >= 2000 ? year - 2000 : year) & 0x7F) << 9)));
      platform::PutU16(record, 4, static_cast<std::uint16_t>(1 | (major << 1) | (minor << 6)));
      Save();
      return true;
    }
    default:
      return false;
  }
}

std::vector<std::uint8_t> SimUnit::WorkingSettings(std::uint8_t address) {
  std::lock_guard lock(mutex_);
  auto it = modules_.find(address);
  return it == modules_.end() ? std::vector<std::uint8_t>{} : it->second.working;
}

std::vector<std::uint8_t> SimUnit::StoredSettings(std::uint8_t address) {
  std::lock_guard lock(mutex_);
  auto it = modules_.find(address);
  return it == modules_.end() ? std::vector<std::uint8_t>{} : it->second.stored;
}

SoftwareVersion SimUnit::HostVersion() {
  std::lock_guard lock(mutex_);
  return modules_.at(0).setup.version;
}

SoftwareVersion SimUnit::BootVersion() {
  std::lock_guard lock(mutex_);
  return scenario_.bootVersion;
}

bool SimUnit::BtInitActive() {
  std::lock_guard lock(mutex_);
  return btInit_;
}

std::uint64_t SimUnit::ExchangeCount() {
  std::lock_guard lock(mutex_);
  return exchanges_;
}

std::array<std::uint8_t, kProcessorRecordSize> SimUnit::ProcessorRecord(std::uint8_t address,
                                                                         int index) {
  std::lock_guard lock(mutex_);
  return modules_.at(address).processors.at(static_cast<std::size_t>(index));
}

std::array<std::uint8_t, 48> SimUnit::TableEntry(std::uint8_t address, int index) {
  std::lock_guard lock(mutex_);
  return modules_.at(address).table.at(static_cast<std::size_t>(index));
}

std::array<DisplayLevel, kDisplayLevelCount> SimUnit::DisplayLevels() {
  std::lock_guard lock(mutex_);
  return display_;
}

std::vector<std::uint8_t> SimUnit::FlashImage(bool boot) {
  std::lock_guard lock(mutex_);
  return boot ? bootFlash_ : hostFlash_;
}

void SimUnit::SetFailEvery(unsigned n) {
  std::lock_guard lock(mutex_);
  scenario_.faults.failEvery = n;
}

void SimUnit::SetDelayMs(std::uint32_t ms) {
  std::lock_guard lock(mutex_);
  scenario_.faults.delayMs = ms;
}

void SimUnit::SetEepromError(bool on) {
  std::lock_guard lock(mutex_);
  scenario_.faults.eepromError = on;
}

void SimUnit::RefuseOpensFor(std::uint32_t ms) {
  std::lock_guard lock(mutex_);
  refuseUntil_ = clock_.Milliseconds() + ms;
}

// The state file: what the unit keeps across power cycles, one record per line.
void SimUnit::Save() {
  if (stateFile_.empty()) return;
  std::ostringstream out;
  out << "mrx520-state 1\n";
  out << "rtc-offset " << rtcOffset_ << "\n";
  const SoftwareVersion& host = modules_.at(0).setup.version;
  out << "host-version " << host.major << ' ' << host.minor << ' ' << int(host.day) << ' '
      << int(host.month) << ' ' << int(host.year) << "\n";
  const SoftwareVersion& boot = scenario_.bootVersion;
  out << "boot-version " << boot.major << ' ' << boot.minor << ' ' << int(boot.day) << ' '
      << int(boot.month) << ' ' << int(boot.year) << "\n";
  for (std::size_t i = 0; i < kDisplayLevelCount; ++i) {
    out << "display " << i << ' ' << int(display_[i].value) << "\n";
  }
  for (const auto& [address, m] : modules_) {
    out << "stored " << int(address) << ' ' << Hex(m.stored) << "\n";
    for (int p = 0; p < 2; ++p) {
      out << "processor " << int(address) << ' ' << p << ' ' << Hex(m.processors[p]) << "\n";
    }
    for (int t = 0; t < 16; ++t) {
      out << "table " << int(address) << ' ' << t << ' ' << Hex(m.table[t]) << "\n";
    }
  }
  std::string error;
  if (!platform::WriteFileAtomically(stateFile_, out.str(), error)) {
    std::fprintf(stderr, "mrx520-sim: cannot save state: %s\n", error.c_str());
  }
}

void SimUnit::Load() {
  if (stateFile_.empty()) return;
  std::ifstream in(stateFile_);
  if (!in) return;
  std::string line;
  if (!std::getline(in, line) || line != "mrx520-state 1") {
    std::fprintf(stderr, "mrx520-sim: %s is not a state file; starting fresh\n",
                 stateFile_.c_str());
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
      ok = static_cast<bool>(words >> rtcOffset_);
    } else if (key == "host-version" || key == "boot-version") {
      unsigned major, minor, day, month, year;
      ok = static_cast<bool>(words >> major >> minor >> day >> month >> year);
      if (ok) {
        SoftwareVersion& v = key == "host-version" ? modules_.at(0).setup.version : scenario_.bootVersion;
        v = {static_cast<std::uint16_t>(major), static_cast<std::uint16_t>(minor),
             static_cast<std::uint8_t>(day), static_cast<std::uint8_t>(month),
             static_cast<std::uint8_t>(year)};
      }
    } else if (key == "display") {
      std::size_t i;
      int value;
      ok = static_cast<bool>(words >> i >> value) && i < kDisplayLevelCount;
      if (ok) display_[i].value = static_cast<std::uint8_t>(std::clamp<int>(value, display_[i].min, display_[i].max));
    } else if (key == "stored" || key == "processor" || key == "table") {
      int address = -1, index = 0;
      std::string hex;
      words >> address;
      if (key != "stored") words >> index;
      ok = static_cast<bool>(words >> hex) && FromHex(hex, bytes);
      auto it = modules_.find(static_cast<std::uint8_t>(address));
      if (ok && it != modules_.end() && address >= 0 && address < 256) {
        Module& m = it->second;
        if (key == "stored" && bytes.size() == m.stored.size()) {
          m.stored = m.working = bytes;
        } else if (key == "processor" && index >= 0 && index < 2 &&
                   bytes.size() == kProcessorRecordSize) {
          std::copy(bytes.begin(), bytes.end(), m.processors[index].begin());
        } else if (key == "table" && index >= 0 && index < 16 && bytes.size() == 48) {
          std::copy(bytes.begin(), bytes.end(), m.table[index].begin());
        }
        // Records of another shape belong to another scenario: they are skipped.
      }
    }
    if (!ok) {
      std::fprintf(stderr, "mrx520-sim: %s line %d not understood; skipped\n",
                   stateFile_.c_str(), lineNo);
    }
  }
}

}  // namespace sim
