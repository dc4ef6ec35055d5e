#pragma once

#include <QFileSystemWatcher>
#include <filesystem>
#include <functional>

namespace platform::qt {

// Calls back whenever the device directory changes: a unit's device appearing
// or going away (plugged, unplugged, restarting after a software update).
class DeviceWatcher {
 public:
  // An empty directory means RuntimeDir(). The directory is created when
  // missing, so changes are seen before the first unit ever appears.
  explicit DeviceWatcher(std::function<void()> changed, std::filesystem::path directory = {});
  DeviceWatcher(const DeviceWatcher&) = delete;
  DeviceWatcher& operator=(const DeviceWatcher&) = delete;

  bool Watching() const { return !watcher_.directories().isEmpty(); }

 private:
  QFileSystemWatcher watcher_;
};

}  // namespace platform::qt
