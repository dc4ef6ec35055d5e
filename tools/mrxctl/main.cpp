#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "desktop/unitlink/CTiroUSB.h"
#include "protocol/unit/Frame.h"
#include "tools/mrxctl/Mrxctl.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  auto& usb = desktop::unitlink::theTiroUSB;
  char name[64];
  std::snprintf(name, sizeof name, protocol::unit::kDevicePathFormat, protocol::unit::kDeviceName);
  usb.SetDeviceName(name);
  return tools::mrxctl::Run(args, usb, std::cout, std::cerr, platform::DefaultClock(),
                            isatty(STDOUT_FILENO) != 0);
}
