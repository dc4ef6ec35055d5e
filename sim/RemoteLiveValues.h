#pragma once

#include <cstdint>
#include <span>

namespace sim {

// A live value of the remote's stream (codes 56, 66, 67, 69, 70; the payload
// as the remote sends it, slot first) into a card's image: the same fields the
// desktop's live commands reach.
bool ApplyRemoteLiveValue(std::uint8_t type, std::uint8_t code,
                          std::span<const std::uint8_t> payload, std::span<std::uint8_t> image);

}  // namespace sim
