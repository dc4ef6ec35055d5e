#include "platform/SocketPath.h"

namespace platform {

std::string SocketFolderProblem(const std::filesystem::path& folder,
                                const std::filesystem::path& socket) {
  const std::size_t length = socket.string().size();
  if (length <= kMaxSocketPathBytes) return {};
  return "the runtime folder " + folder.string() + " is too long for a socket (" + socket.string() +
         " has " + std::to_string(length) + " bytes; at most " +
         std::to_string(kMaxSocketPathBytes) + " fit)";
}

}  // namespace platform
