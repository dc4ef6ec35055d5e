#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "protocol/klf/CurveBin.h"
#include "protocol/unit/Klf310Image.h"
#include "protocol/unit/ModuleDescriptor.h"

namespace sim::cards {

// Descriptor bytes 20-51 a module of this type reports: the KLF310 card puts
// its boot and main software versions there (`application` once an update
// has flashed one); every other module zeros.
std::array<std::uint8_t, protocol::unit::ModuleDescriptor::kModuleSpecificSize>
ModuleSpecificDescriptor(std::uint8_t type,
                         const std::optional<protocol::unit::Klf310VersionEntry>& application = {});

// The curve bin a card leaves the factory with: no correction, every room at 0 dB.
protocol::klf::CurveBin DefaultCurveBin();

}  // namespace sim::cards
