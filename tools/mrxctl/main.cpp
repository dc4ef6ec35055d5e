#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "desktop/unitlink/CTiroUSB.h"
#include "platform/RuntimeDir.h"
#include "protocol/unit/Frame.h"
#include "tools/mrxctl/Mrxctl.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  // Settings and firmware are never sent to a device someone else could have
  // put there; asking for help or the version reaches no device.
  const bool onlyHelp = std::any_of(args.begin(), args.end(), [](const std::string& a) {
    return a == "--help" || a == "-h" || a == "--version";
  });
  if (std::string why;
      !onlyHelp && !platform::CheckPrivateDir(platform::RuntimeDir(), false, why)) {
    std::fprintf(stderr, "mrxctl: %s\n", why.c_str());
    return tools::mrxctl::kExitNoPermission;
  }
  auto& usb = desktop::unitlink::theTiroUSB;
  char name[64];
  std::snprintf(name, sizeof name, protocol::unit::kDevicePathFormat, protocol::unit::kDeviceName);
  usb.SetDeviceName(name);
  return tools::mrxctl::Run(args, usb, std::cout, std::cerr, platform::DefaultClock(),
                            isatty(STDOUT_FILENO) != 0);
}
