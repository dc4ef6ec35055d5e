#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/UniqueFd.h"
#include "sim/UnitState.h"

namespace sim {

// How far the unit's clock may be set from the host's: its dates run from 2000
// to 2255, the host's clock may be anywhere within centuries of them.
inline constexpr std::int64_t kMaxClockOffsetSeconds = 20'000'000'000;

// What the unit keeps across power cycles, one record per line: the clock
// offset, software versions, display settings, and per module the stored
// settings, processor records and table entries. Every value is written as
// numbers or hexadecimal bytes, so every line reads back as it was written.
std::string EncodeState(const UnitState& state);

// Reads what EncodeState wrote into `state`. A missing file leaves `state` as
// it is (a unit used for the first time). A file that cannot be read whole
// (not a state file, a line not understood, a value out of range) leaves
// `state` as it is too and returns false with `error` naming the file and the
// line. Records of modules the scenario does not have, or of another size,
// belong to another scenario: they are skipped with a note on standard error.
bool LoadState(const std::filesystem::path& file, UnitState& state, std::string& error);

// The same for a text EncodeState wrote; `file` only names it in `error`.
bool ParseState(const std::string& text, const std::filesystem::path& file, UnitState& state,
                std::string& error);

// Takes the state file for this simulator alone, by a lock on "FILE.lock"
// that ends with the process: two simulators on one file would each save
// over what the other stored. False with `error` naming the file when
// another simulator holds it or the lock cannot be taken.
bool LockStateFile(const std::filesystem::path& file, platform::UniqueFd& lock, std::string& error);

}  // namespace sim
