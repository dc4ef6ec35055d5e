// Time from process start to the first painted sheet of myMRX, discovery of
// the simulator process included, as a ratio to starting a bare Qt dialog in
// the same run. Both run offscreen; each reports its first paint on stdout.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "../tests/support/SimProcess.h"

namespace {

long long NowNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Milliseconds from spawn to the program's "first-paint" line; -1 on failure.
double FirstPaintMs(const std::string& program, const std::vector<std::string>& env) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> envStrings = env;
  for (char** e = environ; *e != nullptr; ++e) envStrings.emplace_back(*e);
  std::vector<char*> envp;
  for (auto& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::string path = program;
  char* argv[] = {path.data(), nullptr};
  pid_t pid = -1;
  const long long start = NowNs();
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (spawned != 0) {
    close(pipeFds[0]);
    return -1;
  }
  std::string out;
  char buf[256];
  for (ssize_t n; (n = read(pipeFds[0], buf, sizeof buf)) > 0;)
    out.append(buf, static_cast<std::size_t>(n));
  close(pipeFds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  long long painted = 0;
  if (std::sscanf(out.c_str(), "first-paint %lld", &painted) != 1) return -1;
  return static_cast<double>(painted - start) / 1e6;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  testing_support::TempDir dir;
  testing_support::SimProcess sim(dir.path(), {"--no-state"});
  if (!sim.Running()) {
    std::printf("the simulator did not start\n");
    return 1;
  }
  const std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen", "MRX_FIRST_PAINT=1",
                                        "MRX_RUNTIME_DIR=" + dir.path().string()};
  std::vector<double> bare, sheet;
  // Alternate the two so both see the same machine load and warm caches.
  for (int i = 0; i < runs; ++i) {
    bare.push_back(FirstPaintMs(MRX_BINARY_DIR "/desktop/shell/mrx_bare_dialog", env));
    sheet.push_back(FirstPaintMs(MRX_BINARY_DIR "/desktop/shell/myMRX", env));
    if (bare.back() < 0 || sheet.back() < 0) {
      std::printf("a program did not report its first paint\n");
      return 1;
    }
  }
  const double b = Median(bare), s = Median(sheet);
  std::printf("bare Qt dialog, start to first paint:      %8.1f ms (median of %d)\n", b, runs);
  std::printf("myMRX with discovery, start to first paint: %8.1f ms (median of %d)\n", s, runs);
  std::printf("ratio to the bare dialog: %.2f (target <= 2)\n", s / b);
  return 0;
}
