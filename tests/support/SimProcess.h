#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "TempDir.h"
#include "WaitFor.h"

extern char** environ;

namespace testing_support {

// The real mrx520-sim program, serving in `runtimeDir`, stopped on destruction.
class SimProcess {
 public:
  SimProcess(const std::filesystem::path& runtimeDir, std::vector<std::string> extraArgs = {})
      : runtimeDir_(runtimeDir) {
    Start(std::move(extraArgs));
  }
  ~SimProcess() { Stop(); }

  void Start(std::vector<std::string> extraArgs) {
    std::vector<std::string> args = {MRX_BINARY_DIR "/sim/mrx520-sim", "--runtime-dir",
                                     runtimeDir_.string()};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    // Ready when the device is there, or over when the program gave up.
    WaitFor([&] {
      if (pid_ > 0 && waitpid(pid_, &exitStatus_, WNOHANG) == pid_) pid_ = -1;
      return pid_ <= 0 || std::filesystem::exists(runtimeDir_ / "MRXUSBDevice0");
    });
  }

  // Ends the process as a user would (SIGTERM), or abruptly (SIGKILL).
  int Stop(int signal = SIGTERM) {
    if (pid_ <= 0) return exitStatus_;
    kill(pid_, signal);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    exitStatus_ = status;
    return status;
  }
  // Like Stop, but gives the process only `limit` to end; false when it had
  // to be killed. The exit status is in `status`.
  bool StopWithin(int signal, std::chrono::milliseconds limit, int& status) {
    status = exitStatus_;
    if (pid_ <= 0) return true;
    kill(pid_, signal);
    const bool inTime = WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, limit);
    if (!inTime) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    exitStatus_ = status;
    return inTime;
  }
  bool Running() const { return pid_ > 0; }
  // Sends a signal and goes on (SIGSTOP, SIGCONT).
  void Signal(int signal) {
    if (pid_ > 0) kill(pid_, signal);
  }
  // Waits for the process to end on its own; its wait status, or -1 when it
  // is still running after `limit`.
  int WaitForExit(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    WaitFor(
        [&] {
          if (pid_ > 0 && waitpid(pid_, &exitStatus_, WNOHANG) == pid_) pid_ = -1;
          return pid_ <= 0;
        },
        limit);
    return pid_ <= 0 ? exitStatus_ : -1;
  }

 private:
  std::filesystem::path runtimeDir_;
  pid_t pid_ = -1;
  int exitStatus_ = -1;
};

}  // namespace testing_support
