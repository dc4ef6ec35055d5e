#include "platform/HandheldProcesses.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>

extern char** environ;

namespace platform {

namespace {

constexpr const char* kHandheldVariable = "WAVRIX_HANDHELD";
constexpr std::uint32_t kTerminatePollMs = 10;

bool Inside(const std::filesystem::path& file, const std::filesystem::path& root) {
  auto r = root.begin();
  auto f = file.begin();
  for (; r != root.end(); ++r, ++f) {
    if (r->empty()) continue;  // a trailing separator
    if (f == file.end() || *f != *r) return false;
  }
  return true;
}

}  // namespace

pid_t HandheldProcesses::Start(std::string_view program, const std::vector<std::string>& args,
                               std::string_view workingFolder, std::string* why) const {
  const auto refuse = [&](const std::string& reason) {
    if (why != nullptr) *why = reason;
    return -1;
  };
  const auto file = env_.MapPath(program);
  if (!file) return refuse(std::string(program) + ": not a path on the handheld");
  std::optional<std::filesystem::path> folder =
      workingFolder.empty() ? std::optional(file->parent_path()) : env_.MapPath(workingFolder);
  if (!folder) return refuse(std::string(workingFolder) + ": not a folder on the handheld");
  // The program is found from the new working folder: its path must not
  // depend on the old one.
  std::error_code ec;
  const std::filesystem::path root = std::filesystem::absolute(env_.Root(), ec);
  if (ec) return refuse(env_.Root().string() + ": " + ec.message());

  std::vector<std::string> argv = {std::filesystem::absolute(*file, ec).string()};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> argp;
  for (auto& a : argv) argp.push_back(a.data());
  argp.push_back(nullptr);

  std::vector<std::string> envs;
  const std::string prefix = std::string(kHandheldVariable) + "=";
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::string_view(*e).starts_with(prefix)) continue;
    envs.emplace_back(*e);
  }
  envs.push_back(prefix + root.string());
  std::vector<char*> envp;
  for (auto& e : envs) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, folder->c_str());
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return refuse(argv[0] + ": " + std::strerror(rc));
  return pid;
}

std::vector<pid_t> HandheldProcesses::Find(std::string_view fileName) const {
  std::vector<pid_t> found;
  std::error_code ec;
  const std::filesystem::path root = std::filesystem::weakly_canonical(env_.Root(), ec);
  if (ec) return found;
  for (const auto& item : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string name = item.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code linkError;
    const std::filesystem::path exe = std::filesystem::read_symlink(item.path() / "exe", linkError);
    if (linkError) continue;  // gone, or not ours to look at
    if (exe.filename().string() != fileName || !Inside(exe, root)) continue;
    found.push_back(static_cast<pid_t>(std::atol(name.c_str())));
  }
  return found;
}

bool HandheldProcesses::Terminate(pid_t pid, std::uint32_t limitMs) {
  if (pid <= 0) return false;
  if (kill(pid, SIGKILL) != 0 && errno == ESRCH) return true;
  for (std::uint32_t waited = 0;; waited += kTerminatePollMs) {
    // Our own child would stay a zombie holding nothing; reap it if it is one.
    if (waitpid(pid, nullptr, WNOHANG) == pid) return true;
    std::error_code ec;
    const std::filesystem::path proc = "/proc/" + std::to_string(pid);
    if (!std::filesystem::exists(proc, ec)) return true;
    if (FILE* f = std::fopen((proc / "stat").c_str(), "r")) {
      char line[512] = {};
      const bool read = std::fgets(line, sizeof line, f) != nullptr;
      std::fclose(f);
      // A zombie has let go of its program file already.
      if (const char* close = read ? std::strrchr(line, ')') : nullptr;
          close != nullptr && close[1] == ' ' && close[2] == 'Z') {
        return true;
      }
    }
    if (waited >= limitMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kTerminatePollMs));
  }
}

std::string ShortcutText(std::string_view target) {
  return std::to_string(target.size()) + "#" + std::string(target);
}

}  // namespace platform
