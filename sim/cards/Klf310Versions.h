#pragma once

#include <array>
#include <cstdint>

#include "protocol/unit/ModuleDescriptor.h"

namespace sim::cards {

// Descriptor bytes 20-51 a module of this type reports: the KLF310 card puts
// its boot and main software versions there; every other module zeros.
std::array<std::uint8_t, protocol::unit::ModuleDescriptor::kModuleSpecificSize>
ModuleSpecificDescriptor(std::uint8_t type);

}  // namespace sim::cards
