#include "tools/mrxctl/HandheldCommand.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <string>

#include "desktop/firmware/WorkerMessages.h"
#include "desktop/handheld/CPPCDoloThread.h"
#include "platform/HandheldEnv.h"
#include "platform/MessageTarget.h"
#include "platform/Prompt.h"
#include "platform/RemoteApi.h"
#include "tools/mrxctl/Mrxctl.h"

namespace tools::mrxctl {

namespace {

namespace fw = desktop::firmware;
using desktop::handheld::CPPCDoloThread;

// The worker's message boxes become lines on standard error.
class ErrorLines final : public platform::Prompt {
 public:
  explicit ErrorLines(std::ostream& err) : err_(err) {}
  void Error(std::string_view, std::string_view text) override {
    std::lock_guard lock(mutex_);
    err_ << "mrxctl: " << text << "\n" << std::flush;
    last_ = text;
  }
  std::string Last() {
    std::lock_guard lock(mutex_);
    return last_;
  }

 private:
  std::mutex mutex_;
  std::ostream& err_;
  std::string last_;
};

std::string Bar(unsigned percentage) {
  constexpr unsigned kWidth = 30;
  const unsigned filled = std::min(percentage, 100u) * kWidth / 100;
  return "[" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "]";
}

struct Deploy {
  std::string handheld;
  unsigned waitSeconds = CPPCDoloThread::kConnectWaitMs / 1000;
};

int Run(const Deploy& d, platform::Clock& clock, bool terminal, std::ostream& out,
        std::ostream& err) {
  const std::filesystem::path root =
      d.handheld.empty() ? platform::HandheldEnv::DefaultRoot() : std::filesystem::path(d.handheld);
  platform::RemoteApi api(root);
  platform::QueueTarget queue;
  ErrorLines prompt(err);
  CPPCDoloThread worker(queue, api, prompt, clock, ::GetDoloBase(), d.waitSeconds * 1000);
  worker.Resume();
  bool finished = false, barShown = false;
  while (!finished) {
    const auto message = queue.Take(std::chrono::milliseconds(500));
    if (!message) continue;
    if (message->id == fw::WM_WORKER_FINISHED) finished = true;
    if (message->id != fw::WM_WORKER_STATUS) continue;
    const auto percentage = static_cast<unsigned>(message->wParam);
    if (message->sent) {  // progress lines
      if (terminal) {
        out << "\r" << Bar(percentage) << " " << message->text << "\x1b[K" << std::flush;
        barShown = true;
      } else {
        out << Bar(percentage) << " " << message->text << "\n";
      }
      continue;
    }
    if (barShown) out << "\n";
    barShown = false;
    (message->text == CPPCDoloThread::kTextError ? err : out) << message->text << "\n";
  }
  worker.Join();
  if (worker.ExitCode() == 1) return kExitOk;
  const std::string last = prompt.Last();
  if (last == CPPCDoloThread::kTextNoSync) {
    err << "mrxctl: " << api.LastError() << " (set WAVRIX_HANDHELD or --handheld)\n";
    return kExitUnavailable;
  }
  if (last == CPPCDoloThread::kTextWrongArchitecture || last == CPPCDoloThread::kTextNoCard) {
    return kExitUnavailable;
  }
  err << "mrxctl: not every file reached the handheld\n";
  return kExitIoError;
}

}  // namespace

void AddHandheldCommand(CLI::App& app, platform::Clock& clock, const bool& terminal,
                        std::ostream& out, std::ostream& err, std::function<int()>& action) {
  auto* handheld = app.add_subcommand("handheld", "the handheld remote control's installation");
  handheld->fallthrough();
  auto deploy = std::make_shared<Deploy>();
  auto* leaf = handheld->add_subcommand(
      "deploy",
      "copy the remote, its installer and their files to the handheld's storage card "
      "(folder 2577) and start the installer there");
  leaf->add_option("--handheld", deploy->handheld, "the handheld's folder (else $WAVRIX_HANDHELD)")
      ->type_name("DIR");
  leaf->add_option("--wait", deploy->waitSeconds, "seconds to wait for the handheld")
      ->type_name("SECONDS")
      ->capture_default_str()
      ->check(CLI::Range(0u, 3600u));
  leaf->callback(
      [&, deploy] { action = [&, deploy] { return Run(*deploy, clock, terminal, out, err); }; });
}

}  // namespace tools::mrxctl
