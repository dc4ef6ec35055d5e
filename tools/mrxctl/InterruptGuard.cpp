#include "tools/mrxctl/InterruptGuard.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace tools::mrxctl {

namespace {

enum State : int { kSafe, kUnsafe, kAsked };

// Everything the handler touches is set up before it can run: it only reads
// the text and writes it, as a signal handler may.
std::atomic<int> state{kSafe};
char warning[512];
std::size_t warningLength = 0;
struct sigaction previous {};

void OnInterrupt(int) {
  int expected = kUnsafe;
  if (state.compare_exchange_strong(expected, kAsked)) {
    if (write(STDERR_FILENO, warning, warningLength) < 0) {
      // Nothing else can be said from here; the next Ctrl-C still stops.
    }
    return;
  }
  // Stops the way an unhandled Ctrl-C does, so callers see the signal.
  signal(SIGINT, SIG_DFL);
  raise(SIGINT);
}

}  // namespace

InterruptGuard::InterruptGuard(const std::string& text) {
  const std::string line = "\nmrxctl: " + text + "\nPress Ctrl-C again to stop anyway.\n";
  warningLength = std::min(line.size(), sizeof warning);
  std::memcpy(warning, line.data(), warningLength);
  state = kSafe;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &previous);
}

InterruptGuard::~InterruptGuard() {
  sigaction(SIGINT, &previous, nullptr);
  state = kSafe;
}

void InterruptGuard::SetUnsafe(bool unsafe) {
  if (!unsafe) {
    state = kSafe;
    return;
  }
  int expected = kSafe;
  state.compare_exchange_strong(expected, kUnsafe);
}

}  // namespace tools::mrxctl
