#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace desktop::roomcorrection {

// The dotted IPv4 address a KLF310 card's settings image gives its network
// side; empty when the image is too short to hold one.
std::string KlfCardHost(std::span<const std::uint8_t> image);

}  // namespace desktop::roomcorrection
