#include "platform/RemoteApi.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/HandheldProcesses.h"

namespace platform {

namespace {

constexpr const char* kConfigName = "handheld.conf";
constexpr const char* kPartialSuffix = ".partial";

bool IsProgram(const std::filesystem::path& file) {
  std::string ext = file.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == ".exe";
}

}  // namespace

RemoteApi::RemoteApi(std::filesystem::path root) : env_(std::move(root)) {}

RemoteApi::~RemoteApi() {
  Uninit();
}

bool RemoteApi::Connected(std::string& why) {
  std::error_code ec;
  if (!std::filesystem::is_directory(env_.Root(), ec)) {
    why = "no handheld at " + env_.Root().string();
    return false;
  }
  if (!std::filesystem::is_regular_file(env_.Root() / kConfigName, ec)) {
    why = "the handheld at " + env_.Root().string() + " has no " + kConfigName;
    return false;
  }
  std::string error;
  if (!env_.LoadConfig(error)) {
    why = (env_.Root() / kConfigName).string() + ": " + error;
    return false;
  }
  return true;
}

bool RemoteApi::Init(Clock& clock, std::uint32_t limitMs) {
  for (std::uint32_t waited = 0;; waited += kConnectPollMs) {
    if (Connected(lastError_)) {
      connected_ = true;
      return true;
    }
    if (waited >= limitMs) return false;
    clock.Sleep(kConnectPollMs);
  }
}

void RemoteApi::Uninit() {
  std::lock_guard lock(mutex_);
  for (auto& [handle, file] : files_) {
    if (file.fd >= 0) ::close(file.fd);
    std::error_code ec;
    std::filesystem::remove(file.temporary, ec);
  }
  files_.clear();
  searches_.clear();
  connected_ = false;
  Reap();
}

void RemoteApi::Reap() {
  std::erase_if(started_, [](pid_t pid) { return waitpid(pid, nullptr, WNOHANG) != 0; });
}

std::uint16_t RemoteApi::ProcessorArchitecture() const {
  return static_cast<std::uint16_t>(env_.ProcessorArchitecture());
}

RemoteApi::Handle RemoteApi::FindFirst(std::string_view pathPattern, FindData& data) {
  if (!connected_) return kInvalidHandle;
  const auto slash = pathPattern.rfind('\\');
  const std::string_view folderPath =
      slash == std::string_view::npos ? std::string_view{} : pathPattern.substr(0, slash);
  std::string pattern(slash == std::string_view::npos ? pathPattern
                                                      : pathPattern.substr(slash + 1));
  if (pattern == "*.*") pattern = "*";  // the handheld's "every entry"
  const auto folder = env_.MapPath(folderPath);
  if (!folder) return kInvalidHandle;

  Search search;
  std::error_code ec;
  if (std::filesystem::equivalent(*folder, env_.Root(), ec)) {
    for (const auto& e : env_.ListRoot()) search.entries.push_back({e.name, e.attributes, 0});
  } else {
    for (const auto& item : std::filesystem::directory_iterator(*folder, ec)) {
      FindData d;
      d.name = item.path().filename().string();
      std::error_code itemError;
      d.attributes = item.is_directory(itemError) ? kAttrDirectory : kAttrNormal;
      if (item.is_regular_file(itemError)) d.size = item.file_size(itemError);
      search.entries.push_back(std::move(d));
    }
    std::sort(search.entries.begin(), search.entries.end(),
              [](const FindData& a, const FindData& b) { return a.name < b.name; });
  }
  std::erase_if(search.entries, [&](const FindData& d) {
    return d.name.ends_with(kPartialSuffix) ||
           fnmatch(pattern.c_str(), d.name.c_str(), FNM_CASEFOLD) != 0;
  });
  if (search.entries.empty()) return kInvalidHandle;
  data = search.entries.front();
  search.next = 1;
  std::lock_guard lock(mutex_);
  const Handle handle = nextHandle_++;
  searches_[handle] = std::move(search);
  return handle;
}

bool RemoteApi::FindNext(Handle find, FindData& data) {
  std::lock_guard lock(mutex_);
  auto it = searches_.find(find);
  if (it == searches_.end() || it->second.next >= it->second.entries.size()) return false;
  data = it->second.entries[it->second.next++];
  return true;
}

void RemoteApi::FindClose(Handle find) {
  std::lock_guard lock(mutex_);
  searches_.erase(find);
}

bool RemoteApi::CreateDirectory(std::string_view path) {
  if (!connected_) return false;
  const auto folder = env_.MapPath(path);
  std::error_code ec;
  return folder && std::filesystem::create_directory(*folder, ec) && !ec;
}

RemoteApi::Handle RemoteApi::CreateFile(std::string_view path) {
  if (!connected_) return kInvalidHandle;
  const auto file = env_.MapPath(path);
  std::error_code ec;
  if (!file || std::filesystem::is_directory(*file, ec)) return kInvalidHandle;
  OpenFile open;
  open.final = *file;
  open.temporary = file->parent_path() / ("." + file->filename().string() + kPartialSuffix);
  open.fd = ::open(open.temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                   IsProgram(*file) ? 0755 : 0644);
  if (open.fd < 0) {
    lastError_ = open.final.string() + ": " + std::strerror(errno);
    return kInvalidHandle;
  }
  std::lock_guard lock(mutex_);
  const Handle handle = nextHandle_++;
  files_[handle] = std::move(open);
  return handle;
}

bool RemoteApi::WriteFile(Handle file, std::span<const std::uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  auto it = files_.find(file);
  if (it == files_.end()) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(it->second.fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      it->second.failed = true;
      lastError_ = it->second.final.string() + ": " + std::strerror(errno);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool RemoteApi::SetFileTime(Handle file, std::time_t time) {
  std::lock_guard lock(mutex_);
  auto it = files_.find(file);
  if (it == files_.end()) return false;
  it->second.time = time;
  return true;
}

bool RemoteApi::CloseHandle(Handle handle) {
  std::lock_guard lock(mutex_);
  if (searches_.erase(handle) != 0) return true;
  auto it = files_.find(handle);
  if (it == files_.end()) return false;
  OpenFile file = std::move(it->second);
  files_.erase(it);
  bool ok = !file.failed && ::fsync(file.fd) == 0;
  ok = ::close(file.fd) == 0 && ok;
  std::error_code ec;
  if (ok) {
    std::filesystem::rename(file.temporary, file.final, ec);
    ok = !ec;
  }
  if (!ok) {
    std::filesystem::remove(file.temporary, ec);
    lastError_ = file.final.string() + ": not written whole";
    return false;
  }
  if (file.time) {
    const timespec times[2] = {{*file.time, 0}, {*file.time, 0}};
    ok = ::utimensat(AT_FDCWD, file.final.c_str(), times, 0) == 0;
  }
  return ok;
}

pid_t RemoteApi::CreateProcess(std::string_view path, const std::vector<std::string>& args) {
  if (!connected_) return -1;
  std::string why;
  const pid_t pid = HandheldProcesses(env_).Start(path, args, {}, &why);
  std::lock_guard lock(mutex_);
  if (pid <= 0) lastError_ = why;
  Reap();
  if (pid > 0) started_.push_back(pid);
  return pid;
}

}  // namespace platform
