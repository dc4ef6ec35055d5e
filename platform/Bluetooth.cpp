#include "platform/Bluetooth.h"

#include <poll.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/BluezBluetooth.h"
#include "platform/SimBluetooth.h"

namespace platform {

std::string BtAddress::Bracketed() const {
  char text[24];
  std::snprintf(text, sizeof text, "[%04X%08X]", high & 0xFFFF, low);
  return text;
}

std::string BtAddress::Colon() const {
  char text[24];
  std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", (high >> 8) & 0xFF, high & 0xFF,
                (low >> 24) & 0xFF, (low >> 16) & 0xFF, (low >> 8) & 0xFF, low & 0xFF);
  return text;
}

std::optional<BtAddress> BtAddress::Parse(std::string_view text) {
  if (text.size() == 14 && text.front() == '[' && text.back() == ']') text = text.substr(1, 12);
  std::string digits;
  if (text.size() == 17) {
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (i % 3 == 2) {
        if (text[i] != ':') return std::nullopt;
      } else {
        digits += text[i];
      }
    }
  } else if (text.size() == 12) {
    digits = std::string(text);
  } else {
    return std::nullopt;
  }
  std::uint64_t value = 0;
  for (char c : digits) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    const char l = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    value = value * 16 + static_cast<std::uint64_t>(l <= '9' ? l - '0' : l - 'a' + 10);
  }
  return BtAddress{static_cast<std::uint32_t>(value), static_cast<std::uint32_t>(value >> 32)};
}

bool Bluetooth::CancellableInquiry(const std::function<bool(const BtDeviceInfo&)>& found,
                                   int cancelFd, BtError& error) {
  auto cancelled = [cancelFd] {
    pollfd p{cancelFd, POLLIN, 0};
    return cancelFd >= 0 && poll(&p, 1, 0) > 0;
  };
  if (cancelled()) return true;
  const bool ok = Inquiry([&](const BtDeviceInfo& device) { return found(device) && !cancelled(); },
                          error.text);
  if (!ok) error.number = ENETDOWN;
  return ok;
}

std::unique_ptr<Bluetooth> MakeBluetooth(std::string_view choice,
                                         const AdapterProbe& adapterPresent, std::string& error) {
  if (choice == "sim") return std::make_unique<SimBluetooth>();
  if (choice == "bluez") {
    if (!adapterPresent(error)) return nullptr;
    return std::make_unique<BluezBluetooth>();
  }
  if (!choice.empty()) {
    error = "WAVRIX_BLUETOOTH must be 'bluez' or 'sim', not '" + std::string(choice) + "'";
    return nullptr;
  }
  // An adapter that is switched off still counts: the link switches it on.
  std::string why;
  if (adapterPresent(why)) return std::make_unique<BluezBluetooth>();
  return std::make_unique<SimBluetooth>();
}

std::unique_ptr<Bluetooth> MakeBluetooth(std::string& error) {
  const char* choice = std::getenv("WAVRIX_BLUETOOTH");
  return MakeBluetooth(choice != nullptr ? choice : "", BluezBluetooth::AdapterPresent, error);
}

}  // namespace platform
