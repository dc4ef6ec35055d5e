#pragma once

#include <cstddef>

#include "protocol/unit/Frame.h"
#include "protocol/unit/IdentityRecord.h"

namespace protocol::unit {

// What every module's settings image shares: the identity record in bytes 0-7,
// 16-byte names, and the 58-byte chunks it travels in (commands 8 and 138).
struct SettingsImage {
  // The desktop holds at most this many bytes per module; a module that
  // announces more is read and written only this far.
  static constexpr std::size_t kMaxSize = 2048;
  static constexpr std::size_t kChunkSize = kMaxData;
  static constexpr std::size_t kIdentity = 0;
  static constexpr std::size_t kIdentitySize = IdentityRecord::kSize;
  // Names: zero-padded 8-bit text of at most 15 characters.
  static constexpr std::size_t kNameSize = 16;
  // Read with command 8 arg1: the first chunk of a read asks the unit to reload.
  static constexpr std::uint8_t kReloadFlag = 1;
  // Command 138 arg1 of the frame that follows the chunks.
  static constexpr std::uint8_t kStoreFlag = 1;

  // Number of chunk requests for an image of `length` bytes: a last chunk of
  // length 0 goes out when the length is a multiple of 58.
  static constexpr std::size_t ChunkCount(std::size_t length) {
    return length == 0 ? 0 : length / kChunkSize + 1;
  }
};

}  // namespace protocol::unit
