#pragma once

#include <string_view>

namespace platform::qt {

// The system's event sounds by their names ("SystemAsterisk", ...). Linux
// desktops have no such table: every name plays the bell, returning at once.
void PlaySystemSound(std::string_view name);

}  // namespace platform::qt
