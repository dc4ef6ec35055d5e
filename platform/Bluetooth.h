#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A 48-bit Bluetooth address as two words: the lower 32 bits and the upper 16.
struct BtAddress {
  std::uint32_t low = 0;
  std::uint32_t high = 0;

  bool IsZero() const { return low == 0 && high == 0; }
  bool operator==(const BtAddress&) const = default;
  // "[%04X%08X]": high word, then low word.
  std::string Bracketed() const;
  // "00:1B:DC:0F:04:D2", most significant byte first.
  std::string Colon() const;
  // Takes the colon form, 12 hex digits, or the bracketed form.
  static std::optional<BtAddress> Parse(std::string_view text);
};

struct BtDeviceInfo {
  BtAddress address;
  std::string name;  // UTF-8; empty when the device gave none
};

enum class RadioMode { kOff = 0, kConnectable = 1, kDiscoverable = 2 };

// A failed look-up as the user is told of it: the system's error number and a
// sentence.
struct BtError {
  int number = 0;
  std::string text;
};

// The handheld's Bluetooth stack: inquiry, a stream to a device's Serial Port
// service, and the radio mode.
class Bluetooth {
 public:
  virtual ~Bluetooth() = default;
  virtual std::string BackendName() const = 0;
  // Reports each device found; `found` returns false to stop early. False with
  // `error` when the look-up cannot run.
  virtual bool Inquiry(const std::function<bool(const BtDeviceInfo&)>& found,
                       std::string& error) = 0;
  // A connected stream socket, or -1 with `error`. Gives up at once when
  // `cancelFd` (if >= 0) becomes readable. `service` names the unit's service
  // where the stack has several; the Serial Port service otherwise.
  virtual int Connect(const BtAddress& address, std::string_view service, int cancelFd,
                      std::string& error) = 0;
  virtual bool GetRadioMode(RadioMode& mode) = 0;
  virtual bool SetRadioMode(RadioMode mode) = 0;

  // The inquiry a window runs on its thread: like Inquiry, but gives up soon
  // after `cancelFd` (if >= 0) becomes readable, so closing the window never
  // waits for the radio, and tells a failure by its error number. This default
  // runs Inquiry, for stacks whose inquiry ends by itself in moments, and
  // counts a failure it has no number for as the stack being down (ENETDOWN).
  virtual bool CancellableInquiry(const std::function<bool(const BtDeviceInfo&)>& found,
                                  int cancelFd, BtError& error);
};

// Whether the host has a Bluetooth adapter, switched on or not; `why` says
// plainly when there is none.
using AdapterProbe = std::function<bool(std::string& why)>;

// The stack `choice` names ("bluez" or "sim"); without a choice, BlueZ when
// `adapterPresent` finds an adapter and the simulated stack otherwise. Null
// with `error` when the named stack cannot be used.
std::unique_ptr<Bluetooth> MakeBluetooth(std::string_view choice,
                                         const AdapterProbe& adapterPresent, std::string& error);

// The stack WAVRIX_BLUETOOTH names, as above, with the host's adapters.
std::unique_ptr<Bluetooth> MakeBluetooth(std::string& error);

}  // namespace platform
