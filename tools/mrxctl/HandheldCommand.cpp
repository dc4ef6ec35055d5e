#include "tools/mrxctl/HandheldCommand.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <string>

#include "desktop/firmware/UpdateRunner.h"
#include "desktop/handheld/CPPCDoloThread.h"
#include "platform/HandheldEnv.h"
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
  }

 private:
  std::mutex mutex_;
  std::ostream& err_;
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

int Run(const Deploy& d, Context& ctx) {
  const std::filesystem::path root =
      d.handheld.empty() ? platform::HandheldEnv::DefaultRoot() : std::filesystem::path(d.handheld);
  platform::RemoteApi api(root);
  ErrorLines prompt(ctx.err);
  bool barShown = false;
  fw::UpdateRunner runner([&](const fw::UpdateStatus& status) {
    if (status.kind == fw::StatusKind::kProgress) {
      if (ctx.terminal) {
        ctx.out << "\r" << Bar(status.percentage) << " " << status.text << "\x1b[K" << std::flush;
        barShown = true;
      } else {
        ctx.out << Bar(status.percentage) << " " << status.text << "\n";
      }
      return;
    }
    if (barShown) ctx.out << "\n";
    barShown = false;
    (status.kind == fw::StatusKind::kFault ? ctx.err : ctx.out) << status.text << "\n";
  });
  CPPCDoloThread worker(runner.Target(), api, prompt, ctx.clock, ::GetDoloBase(),
                        d.waitSeconds * 1000);
  const fw::UpdateResult result = runner.Run(worker);
  switch (result.reason) {
    case fw::UpdateReason::kDone:
      return kExitOk;
    case fw::UpdateReason::kNoHandheld:
      ctx.err << "mrxctl: " << api.LastError() << " (set WAVRIX_HANDHELD or --handheld)\n";
      break;
    case fw::UpdateReason::kWrongHandheld:
    case fw::UpdateReason::kNoStorageCard:
      break;  // the worker's own message said why
    default:
      // A file not written, or the installer not started (the worker said which).
      ctx.err << "mrxctl: the handheld did not get the whole update\n";
      break;
  }
  return UpdateExitCode(result.reason);
}

}  // namespace

void AddHandheldCommand(CLI::App& app, Context& ctx, std::function<int()>& action) {
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
      [&ctx, &action, deploy] { action = [&ctx, deploy] { return Run(*deploy, ctx); }; });
}

}  // namespace tools::mrxctl
