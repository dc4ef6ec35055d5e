#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "desktop/firmware/WorkerMessages.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "platform/Clock.h"

namespace tools::mrxctl {

// What every command group works with: the unit, the two streams, the clock
// updates wait on, and the global options. One per mrxctl run; it outlives
// the parse and the command's action.
struct Context {
  desktop::unitlink::CTiroUSB& usb;
  std::ostream& out;
  std::ostream& err;
  platform::Clock& clock;
  bool terminal = false;  // progress bars drawn in place
  bool json = false;      // --json, set by the time an action runs
};

// How an exchange that may be dropped went, asked again as Ask does.
enum class Answer { kAnswered, kRefused, kSilent, kNoUnit };

// How often a command asks an exchange before it counts as refused.
inline constexpr int kExchangeAttempts = 3;

// One exchange, asked again when it fails at once (a unit that drops an
// exchange takes the next). A failure that took the device's whole reply
// limit is silence: asking again would only wait as long again.
Answer Ask(Context& ctx, const std::function<bool()>& exchange);

// The messages several commands give, in one wording each.
// "no MRX520 unit answers ..."; returns kExitUnavailable.
int NoUnitAnswers(Context& ctx);
// "no module at address N" (the caller's exit code says how bad).
void SayNoModuleAt(Context& ctx, unsigned address);
// A runtime folder whose socket paths would be too long; returns kExitUnavailable.
int FolderTooLong(std::ostream& err, const std::string& problem);
// "cannot read ..." / "cannot write ..." with the file layer's own error text.
void SayCannotRead(Context& ctx, const std::string& error);
void SayCannotWrite(Context& ctx, const std::string& error);
// A file name that means this program's standard output ("-", "/dev/stdout").
bool IsStandardOutput(const std::string& file);

// The exit code of an update that ended for `reason` (kExitOk when done).
int UpdateExitCode(desktop::firmware::UpdateReason reason);

}  // namespace tools::mrxctl
