#include "tools/mrxctl/Context.h"

#include "platform/UnixDeviceIo.h"
#include "tools/mrxctl/Mrxctl.h"

namespace tools::mrxctl {

namespace {

// A failure this slow was the device's reply limit running out (a little
// below the limit, which is counted in whole milliseconds).
constexpr std::uint64_t kNoAnswerMs = platform::UnixDeviceIo::kReplyTimeoutMs - 100;

}  // namespace

Answer Ask(Context& ctx, const std::function<bool()>& exchange) {
  for (int attempt = 0; attempt < kExchangeAttempts; ++attempt) {
    const std::uint64_t start = ctx.clock.Milliseconds();
    if (exchange()) return Answer::kAnswered;
    if (ctx.clock.Milliseconds() - start >= kNoAnswerMs) return Answer::kSilent;
  }
  return ctx.usb.IsDevicePresent() ? Answer::kRefused : Answer::kNoUnit;
}

int NoUnitAnswers(Context& ctx) {
  ctx.err << "mrxctl: no MRX520 unit answers; connect the unit, or start the simulator "
             "(mrx520-sim).\n";
  return kExitUnavailable;
}

void SayNoModuleAt(Context& ctx, unsigned address) {
  ctx.err << "mrxctl: no module at address " << address << "\n";
}

int FolderTooLong(std::ostream& err, const std::string& problem) {
  err << "mrxctl: " << problem << ".\nSet MRX_RUNTIME_DIR to a shorter folder.\n";
  return kExitUnavailable;
}

void SayCannotRead(Context& ctx, const std::string& error) {
  ctx.err << "mrxctl: cannot read " << error << "\n";
}

bool IsStandardOutput(const std::string& file) {
  return file == "-" || file == "/dev/stdout" || file == "/dev/fd/1" || file == "/proc/self/fd/1";
}

void SayCannotWrite(Context& ctx, const std::string& error) {
  ctx.err << "mrxctl: cannot write " << error << "\n";
}

int UpdateExitCode(desktop::firmware::UpdateReason reason) {
  using R = desktop::firmware::UpdateReason;
  switch (reason) {
    case R::kDone:
      return kExitOk;
    case R::kNotFound:
      return kExitSoftware;
    case R::kNoHandheld:
    case R::kWrongHandheld:
    case R::kNoStorageCard:
      return kExitUnavailable;
    case R::kNoResult:
    case R::kUnitGone:
    case R::kBlockRefused:
    case R::kCardSilent:
    case R::kImageRefused:
    case R::kCancelled:
    case R::kCopyFailed:
    case R::kNotConfirmed:
    case R::kNotTaken:
    case R::kUnanswered:
      break;
  }
  return kExitIoError;
}

}  // namespace tools::mrxctl
