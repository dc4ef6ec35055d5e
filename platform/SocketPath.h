#pragma once

#include <sys/un.h>

#include <cstddef>
#include <filesystem>
#include <string>

namespace platform {

// The longest path a local socket can be bound or reached at.
inline constexpr std::size_t kMaxSocketPathBytes = sizeof(sockaddr_un::sun_path) - 1;

// Empty when `socket` fits a local socket address; else a message that names
// `folder` (where the socket would live) as too long, so that the user knows
// to choose a shorter one instead of seeing a unit that does not answer.
std::string SocketFolderProblem(const std::filesystem::path& folder,
                                const std::filesystem::path& socket);

}  // namespace platform
