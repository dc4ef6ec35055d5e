#include "platform/qt/DeviceWatcher.h"

#include <QString>
#include <string>

#include "platform/RuntimeDir.h"

namespace platform::qt {

DeviceWatcher::DeviceWatcher(std::function<void()> changed, std::filesystem::path directory) {
  if (directory.empty()) directory = RuntimeDir();
  // A folder that is not this user's own is not watched: nothing in it is opened.
  if (std::string why; !CheckPrivateDir(directory, true, why)) return;
  watcher_.addPath(QString::fromStdString(directory.string()));
  QObject::connect(&watcher_, &QFileSystemWatcher::directoryChanged, &watcher_,
                   [changed = std::move(changed)](const QString&) { changed(); });
}

}  // namespace platform::qt
