#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

extern char** environ;

namespace testing_support {

// Runs a shell command line (environment assignments, redirections and all)
// and collects its standard output. Returns its exit code; -1 when it did not
// exit normally or was still running after `limit`, when it is killed with
// everything it started.
inline int RunProgram(const std::string& command, std::string& output,
                      std::chrono::milliseconds limit = std::chrono::seconds(120)) {
  output.clear();
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  std::string shell = "/bin/sh", dashC = "-c", line = command;
  char* argv[] = {shell.data(), dashC.data(), line.data(), nullptr};
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], &actions, &attributes, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(fds[1]);
  if (spawned != 0) {
    close(fds[0]);
    return -1;
  }
  const auto end = std::chrono::steady_clock::now() + limit;
  bool timedOut = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    pollfd p{fds[0], POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
    if (p.revents == 0) continue;
    char buf[4096];
    const ssize_t n = read(fds[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    output.append(buf, static_cast<std::size_t>(n));
  }
  close(fds[0]);
  // It may close its output before it ends: the limit holds for that wait too.
  int status = 0;
  while (!timedOut && waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= end) timedOut = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (timedOut) {
    kill(-pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
  }
  if (!WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace testing_support
