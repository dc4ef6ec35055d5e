#include "desktop/backup/UnitAccess.h"

#include <algorithm>

#include "platform/UnixDeviceIo.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/SettingsImage.h"

namespace desktop::backup {

namespace pu = protocol::unit;
namespace ul = unitlink;

namespace {

constexpr unsigned kLastCardAddress = 15;
// An exchange that took this long ran into the device's reply limit (which
// after one silence is the short one): no answer, where an empty address is
// refused at once.
constexpr std::uint64_t kSilentMs = platform::UnixDeviceIo::kSilentUnitTimeoutMs - 50;

}  // namespace

Found DiscoverUnit(ul::CTiroUSB& usb, ul::Discovery& found, std::vector<std::uint8_t>& silent,
                   std::string& error, platform::Clock& clock) {
  found = {};
  silent.clear();
  if (!Asked([&] { return ul::ReadModuleDescriptor(usb, pu::kMainUnitAddress, found.mainUnit); })) {
    if (!usb.IsDevicePresent()) {
      error = "no MRX520 unit found; connect the unit, or start the simulator (mrx520-sim)";
      return Found::kNoUnit;
    }
    error = "the unit did not answer";
    return Found::kNoAnswer;
  }
  found.unitPresent = true;
  if (!found.mainUnit.Fields().SoftwareRunning()) return Found::kUnit;
  // Addresses are four bits wide: a larger count is not asked beyond them.
  const unsigned slots = std::min(unsigned{found.mainUnit.Fields().slotCount}, kLastCardAddress);
  for (unsigned i = 1; i <= slots; ++i) {
    const auto address = static_cast<std::uint8_t>(i);
    ul::ModuleInfo card;
    bool timedOut = false;
    const bool answered = Asked([&] {
      const std::uint64_t start = clock.Milliseconds();
      if (ul::ReadModuleDescriptor(usb, address, card)) return true;
      timedOut = timedOut || clock.Milliseconds() - start >= kSilentMs;
      return false;
    });
    if (answered) {
      found.cards.push_back(card);
    } else if (timedOut) {
      silent.push_back(address);
    }
  }
  return Found::kUnit;
}

std::vector<ul::ModuleInfo> AllModules(const ul::Discovery& found) {
  std::vector<ul::ModuleInfo> all{found.mainUnit};
  all.insert(all.end(), found.cards.begin(), found.cards.end());
  return all;
}

std::string ModuleName(const ul::ModuleInfo& module) {
  return "module " + std::to_string(module.address) + " (" +
         std::string(pu::ModuleModel(module.address, module.Fields().type)) + ")";
}

bool WriteImage(ul::CTiroUSB& usb, std::uint8_t address, std::span<const std::uint8_t> image) {
  for (std::size_t i = 0; i < pu::SettingsImage::ChunkCount(image.size()); ++i) {
    if (!Asked([&] { return ul::WriteSettingsChunk(usb, address, image.size(), i, image); })) {
      return false;  // the stored copy stays as it was
    }
  }
  return Asked([&] { return ul::StoreSettings(usb, address); });
}

bool ReadImage(ul::CTiroUSB& usb, const ul::ModuleInfo& module, bool stored,
               std::vector<std::uint8_t>& image) {
  const std::size_t length = ul::SettingsLength(module);
  std::vector<std::uint8_t> buffer(pu::SettingsImage::kMaxSize);
  // Each chunk is asked again on its own: an image of many chunks still
  // arrives from a unit that drops one exchange in a few.
  for (std::size_t i = 0; i < pu::SettingsImage::ChunkCount(length); ++i) {
    if (!Asked([&] {
          return ul::ReadSettingsChunk(usb, module.address, length, i, stored, buffer);
        })) {
      return false;
    }
  }
  buffer.resize(length);
  image = std::move(buffer);
  return true;
}

}  // namespace desktop::backup
