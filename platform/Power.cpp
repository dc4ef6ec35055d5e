#include "platform/Power.h"

#include <time.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/AtomicFile.h"

namespace platform {

namespace {

constexpr int kPollMs = 2000;
constexpr std::int64_t kResumeThresholdMs = 1500;

std::int64_t Ms(clockid_t id) {
  timespec ts{};
  clock_gettime(id, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::string Attribute(const std::filesystem::path& dir, const char* name) {
  std::string text;
  if (!ReadWholeFile(dir / name, text)) return {};
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

SystemPower::SystemPower(std::filesystem::path supplies)
    : supplies_(std::move(supplies)), lastSuspended_(SuspendedMs()), lastBattery_(Battery()) {}

std::int64_t SystemPower::SuspendedMs() {
  return Ms(CLOCK_BOOTTIME) - Ms(CLOCK_MONOTONIC);
}

BatteryStatus SystemPower::Battery() {
  BatteryStatus status;
  std::error_code ec;
  for (const auto& item : std::filesystem::directory_iterator(supplies_, ec)) {
    const std::string type = Attribute(item.path(), "type");
    if (type == "Battery" && !status.present) {
      status.present = true;
      const std::string capacity = Attribute(item.path(), "capacity");
      if (!capacity.empty()) status.percent = std::atoi(capacity.c_str());
    } else if (type == "Mains" && Attribute(item.path(), "online") == "1") {
      status.onAc = true;
    }
  }
  if (!status.present) status.onAc = true;  // a machine without a battery runs on mains
  return status;
}

std::optional<PowerEvent> SystemPower::WaitEvent(int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock lock(mutex_);
  for (;;) {
    if (interrupted_) {
      interrupted_ = false;
      return std::nullopt;
    }
    const std::int64_t suspended = SuspendedMs();
    if (suspended - lastSuspended_ > kResumeThresholdMs) {
      lastSuspended_ = suspended;
      return PowerEvent::kResumed;
    }
    const BatteryStatus battery = Battery();
    if (!(battery == lastBattery_)) {
      lastBattery_ = battery;
      return PowerEvent::kStatusChanged;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= end) return std::nullopt;
    wake_.wait_for(lock, std::min<std::chrono::steady_clock::duration>(
                             end - now, std::chrono::milliseconds(kPollMs)));
  }
}

void SystemPower::Interrupt() {
  {
    std::lock_guard lock(mutex_);
    interrupted_ = true;
  }
  wake_.notify_all();
}

BatteryStatus InjectedPower::Battery() {
  std::lock_guard lock(mutex_);
  return battery_;
}

std::optional<PowerEvent> InjectedPower::WaitEvent(int timeoutMs) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                    [&] { return interrupted_ || !events_.empty(); });
  if (interrupted_) {
    interrupted_ = false;
    return std::nullopt;
  }
  if (events_.empty()) return std::nullopt;
  const PowerEvent e = events_.front();
  events_.pop_front();
  return e;
}

void InjectedPower::Interrupt() {
  {
    std::lock_guard lock(mutex_);
    interrupted_ = true;
  }
  changed_.notify_all();
}

void InjectedPower::Inject(PowerEvent event) {
  {
    std::lock_guard lock(mutex_);
    events_.push_back(event);
  }
  changed_.notify_all();
}

void InjectedPower::SetBattery(BatteryStatus status) {
  {
    std::lock_guard lock(mutex_);
    battery_ = status;
  }
  changed_.notify_all();
}

}  // namespace platform
