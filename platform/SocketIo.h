#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace platform {

// Writes every byte to a stream socket, riding out interruptions and a full
// buffer (waiting up to a second for room); false when the peer is gone.
bool WriteAll(int fd, std::span<const std::uint8_t> bytes);
bool WriteAll(int fd, std::string_view bytes);

}  // namespace platform
