#include "platform/qt/DeviceWatcher.h"

#include <QString>
#include <system_error>

#include "platform/RuntimeDir.h"

namespace platform::qt {

DeviceWatcher::DeviceWatcher(std::function<void()> changed, std::filesystem::path directory) {
  if (directory.empty()) directory = RuntimeDir();
  std::error_code ec;
  std::filesystem::create_directories(directory, ec);
  watcher_.addPath(QString::fromStdString(directory.string()));
  QObject::connect(&watcher_, &QFileSystemWatcher::directoryChanged, &watcher_,
                   [changed = std::move(changed)](const QString&) { changed(); });
}

}  // namespace platform::qt
