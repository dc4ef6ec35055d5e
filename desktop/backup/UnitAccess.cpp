#include "desktop/backup/UnitAccess.h"

#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/SettingsImage.h"

namespace desktop::backup {

namespace pu = protocol::unit;
namespace ul = unitlink;

Found DiscoverUnit(ul::CTiroUSB& usb, ul::Discovery& found, std::string& error) {
  found = {};
  if (!Asked([&] { return ul::ReadModuleDescriptor(usb, pu::kMainUnitAddress, found.mainUnit); })) {
    if (!usb.IsDevicePresent()) {
      error = "no MRX520 unit found; connect the unit, or start the simulator (mrx520-sim)";
      return Found::kNoUnit;
    }
    error = "the unit did not answer";
    return Found::kNoAnswer;
  }
  found.unitPresent = true;
  const unsigned slots = found.mainUnit.Fields().slotCount;
  for (unsigned i = 1; i <= slots; ++i) {
    ul::ModuleInfo card;
    if (!Asked([&] { return ul::ReadModuleDescriptor(usb, static_cast<std::uint8_t>(i), card); })) {
      break;
    }
    found.cards.push_back(card);
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
