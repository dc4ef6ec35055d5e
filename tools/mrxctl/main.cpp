#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "desktop/unitlink/CTiroUSB.h"
#include "desktop/unitlink/UnitCommand.h"
#include "tools/mrxctl/Mrxctl.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  auto& usb = desktop::unitlink::theTiroUSB;
  char name[64];
  std::snprintf(name, sizeof name, desktop::unitlink::kDevicePathFormat,
                desktop::unitlink::kDeviceName);
  usb.SetDeviceName(name);
  return tools::mrxctl::Run(args, usb, std::cout, std::cerr, platform::DefaultClock(),
                            isatty(STDOUT_FILENO) != 0);
}
