#include "sim/cards/Klf310Versions.h"

#include <algorithm>

#include "protocol/unit/Klf310Image.h"
#include "protocol/unit/ModuleCatalogue.h"

namespace sim::cards {

namespace {

namespace pu = protocol::unit;
using Entry = pu::Klf310VersionEntry;

Entry Version(std::uint8_t major, std::uint16_t minor, std::uint8_t day, std::uint8_t month,
              std::uint16_t year) {
  Entry e;
  e.valid = true;
  e.major = major;
  e.minor = minor;
  e.day = day;
  e.month = month;
  e.year = year;
  return e;
}

}  // namespace

std::array<std::uint8_t, pu::ModuleDescriptor::kModuleSpecificSize> ModuleSpecificDescriptor(
    std::uint8_t type, const std::optional<Entry>& application) {
  std::array<std::uint8_t, pu::ModuleDescriptor::kModuleSpecificSize> bytes{};
  if (type != pu::type::kKLF310) return bytes;
  const auto boot = Version(1, 3, 10, 6, 2008).Encode();
  const auto main = (application ? *application : Version(3, 12, 4, 11, 2008)).Encode();
  std::copy(boot.begin(), boot.end(),
            bytes.begin() + (Entry::kBootDescriptorOffset - pu::ModuleDescriptor::kModuleSpecific));
  std::copy(main.begin(), main.end(),
            bytes.begin() + (Entry::kMainDescriptorOffset - pu::ModuleDescriptor::kModuleSpecific));
  return bytes;
}

protocol::klf::CurveBin DefaultCurveBin() {
  protocol::klf::CurveBin bin;
  bin.roomLevel.fill(protocol::klf::CurveBin::kZeroDbLevelCode);
  return bin;
}

}  // namespace sim::cards
