#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>

namespace platform {

struct BatteryStatus {
  bool present = false;  // a battery is there at all
  int percent = -1;      // 0-100, -1 unknown
  bool onAc = false;
  bool operator==(const BatteryStatus&) const = default;
};

enum class PowerEvent {
  kResumed,        // the handheld woke from suspend
  kStatusChanged,  // battery level or power source changed
};

// Power notifications and the battery gauge.
class Power {
 public:
  virtual ~Power() = default;
  virtual BatteryStatus Battery() = 0;
  // The next event, or none after `timeoutMs` or when Interrupt was called.
  virtual std::optional<PowerEvent> WaitEvent(int timeoutMs) = 0;
  // Ends a WaitEvent in progress at once (the waiting thread is to stop).
  virtual void Interrupt() = 0;
};

// The host: battery and mains state from /sys/class/power_supply; a resume is
// seen as the boot-time clock running ahead of the monotonic one, which stops
// while suspended.
class SystemPower final : public Power {
 public:
  explicit SystemPower(std::filesystem::path supplies = "/sys/class/power_supply");
  BatteryStatus Battery() override;
  std::optional<PowerEvent> WaitEvent(int timeoutMs) override;
  void Interrupt() override;

 private:
  static std::int64_t SuspendedMs();

  std::filesystem::path supplies_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool interrupted_ = false;
  std::int64_t lastSuspended_;
  BatteryStatus lastBattery_;
};

// Events a test hands in.
class InjectedPower final : public Power {
 public:
  BatteryStatus Battery() override;
  std::optional<PowerEvent> WaitEvent(int timeoutMs) override;
  void Interrupt() override;
  void Inject(PowerEvent event);
  void SetBattery(BatteryStatus status);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<PowerEvent> events_;
  BatteryStatus battery_;
  bool interrupted_ = false;
};

}  // namespace platform
