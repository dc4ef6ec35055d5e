#pragma once

#include <cstdint>
#include <string>

#include "platform/CodePage.h"
#include "protocol/remote/ListEntry.h"

namespace remote::link {

// An entry of the module or source list as the remote keeps it: the names in
// the programs' own text, and a tag the view sets (a menu command id).
struct UnitEntry {
  std::uint8_t slot = 0;
  std::uint8_t input = 0;
  std::uint8_t type = 0;
  std::string firstName;   // UTF-8
  std::string secondName;  // UTF-8
  std::uint32_t tag = 0;

  bool IsModule() const { return (input & protocol::remote::ListEntry::kModuleBit) != 0; }

  // The names arrive in the handheld's code page, like every name from the unit.
  static UnitEntry FromRecord(const protocol::remote::ListEntry& record) {
    UnitEntry e;
    e.slot = record.slot;
    e.input = record.input;
    e.type = record.type;
    e.firstName = platform::CodePageToUtf8(record.firstName);
    e.secondName = platform::CodePageToUtf8(record.secondName);
    return e;
  }
};

}  // namespace remote::link
