#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Bluetooth.h"

// The simulated Bluetooth stack: every device a simulator registers is a
// Unix-domain socket DIR/<12 hex digits of its address>.sock, DIR being
// $MRX_RUNTIME_DIR/bluetooth. A client opens it and sends one line:
//
//   "NAME\n"               the device answers "NAME <friendly name>\n" and closes
//   "CONNECT <service>\n"  the device answers "OK\n" and the socket is then the
//                          serial stream, or "REFUSED <reason>\n" and closes
//
// The adapter's radio mode is the text file DIR/radio ("0" off, "1"
// connectable, "2" discoverable; discoverable when absent).
namespace platform::simbt {

inline constexpr std::string_view kSocketSuffix = ".sock";
inline constexpr std::string_view kRadioFile = "radio";
inline constexpr std::string_view kName = "NAME";
inline constexpr std::string_view kConnect = "CONNECT";
inline constexpr std::string_view kOk = "OK";
inline constexpr std::string_view kRefused = "REFUSED";
// A hello or answer line longer than this is refused.
inline constexpr std::size_t kMaxLine = 512;
inline constexpr int kAnswerTimeoutMs = 2000;

std::filesystem::path Directory();
std::filesystem::path SocketPath(const std::filesystem::path& dir, const BtAddress& address);
// The address a socket file stands for; none for other files.
std::optional<BtAddress> AddressOfSocket(const std::filesystem::path& file);

// Reads one line (without the '\n') from `fd`, waiting at most `timeoutMs`
// and giving up when `cancelFd` (if >= 0) becomes readable. Reads byte by byte
// so nothing after the line is consumed.
bool ReadLine(int fd, std::string& line, int timeoutMs, int cancelFd = -1);
bool WriteAll(int fd, std::string_view bytes);

}  // namespace platform::simbt
