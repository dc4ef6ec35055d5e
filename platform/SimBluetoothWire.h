#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Bluetooth.h"

// The simulated Bluetooth stack: every device a simulator registers is a
// Unix-domain socket DIR/<12 hex digits of its address>.sock, DIR being
// $MRX_RUNTIME_DIR/bluetooth. A client opens it and sends one line:
//
//   "NAME\n"               the device answers "NAME <friendly name>\n" and closes
//   "SERVICES\n"           the device answers one "SERVICE <channel> <class> <name>\n"
//                          per service record (class as 4 hex digits, 1101 for
//                          the Serial Port profile), then "END\n", and closes
//   "CONNECT <channel>\n"  the device answers "OK\n" and the socket is then the
//                          serial stream of that RFCOMM channel, or
//                          "REFUSED <reason>\n" and closes
//
// As with RFCOMM, a client finds the channel by a service look-up and then
// connects to the address and channel; the device never matches names.
//
// The adapter's radio mode is the text file DIR/radio ("0" off, "1"
// connectable, "2" discoverable; discoverable when absent).
namespace platform::simbt {

inline constexpr std::string_view kSocketSuffix = ".sock";
inline constexpr std::string_view kRadioFile = "radio";
inline constexpr std::string_view kName = "NAME";
inline constexpr std::string_view kServices = "SERVICES";
inline constexpr std::string_view kService = "SERVICE";
inline constexpr std::string_view kEnd = "END";
inline constexpr std::string_view kConnect = "CONNECT";
inline constexpr std::string_view kOk = "OK";
inline constexpr std::string_view kRefused = "REFUSED";
// A hello or answer line longer than this is refused.
inline constexpr std::size_t kMaxLine = 512;
inline constexpr int kAnswerTimeoutMs = 2000;
// A device publishes at most this many service records.
inline constexpr std::size_t kMaxServices = 30;
inline constexpr std::uint16_t kSerialPortClass = 0x1101;

// One service record of a device: the RFCOMM channel it listens on.
struct ServiceRecord {
  int channel = 0;  // 1-30
  std::uint16_t serviceClass = kSerialPortClass;
  std::string name;
  bool operator==(const ServiceRecord&) const = default;
};
// "SERVICE <channel> <class> <name>" without the line end.
std::string FormatService(const ServiceRecord& record);
std::optional<ServiceRecord> ParseService(std::string_view line);
// The channel to connect to for `service`: the Serial Port record of that
// name, else (a stack given only the service class) the first Serial Port
// record; 0 when the device has none.
int ChooseChannel(const std::vector<ServiceRecord>& records, std::string_view service);

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
