#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "desktop/unitlink/CTiroUSB.h"
#include "platform/RuntimeDir.h"
#include "protocol/unit/Frame.h"
#include "tools/mrxctl/Mrxctl.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  // Settings and firmware are never sent to a device someone else could have put there.
  if (std::string why; !platform::CheckPrivateDir(platform::RuntimeDir(), false, why)) {
    std::fprintf(stderr, "mrxctl: %s\n", why.c_str());
    return 77;
  }
  auto& usb = desktop::unitlink::theTiroUSB;
  char name[64];
  std::snprintf(name, sizeof name, protocol::unit::kDevicePathFormat, protocol::unit::kDeviceName);
  usb.SetDeviceName(name);
  return tools::mrxctl::Run(args, usb, std::cout, std::cerr, platform::DefaultClock(),
                            isatty(STDOUT_FILENO) != 0);
}
