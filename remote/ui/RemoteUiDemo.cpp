// Opens the remote's Bluetooth dialogs on their own: "inquiry" finds units and
// prints the chosen one; "config ADDRESS SERIAL" configures a unit's module.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "platform/Bluetooth.h"
#include "remote/ui/InquiryDialog.h"
#include "remote/ui/ModuleConfigDialog.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::string error;
  auto bluetooth = platform::MakeBluetooth(error);
  if (!bluetooth) {
    std::fprintf(stderr, "wavrix-dialogs: %s\n", error.c_str());
    return 69;
  }
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "inquiry" && argc == 2) {
    remote::ui::InquiryDialog dialog(*bluetooth);
    if (dialog.exec() != QDialog::Accepted) return 1;
    std::printf("%s %s %s\n", dialog.Selected().address.Colon().c_str(),
                dialog.Selected().name.c_str(), dialog.SelectedService().c_str());
    return 0;
  }
  if (what == "config" && argc == 4) {
    const auto address = platform::BtAddress::Parse(argv[2]);
    if (!address) {
      std::fprintf(stderr, "wavrix-dialogs: '%s' is not a Bluetooth address\n", argv[2]);
      return 64;
    }
    remote::ui::ModuleConfigDialog dialog(*bluetooth, *address,
                                          static_cast<std::uint16_t>(std::atoi(argv[3])));
    dialog.exec();
    return 0;
  }
  std::fprintf(stderr, "Usage: wavrix-dialogs inquiry | config ADDRESS SERIAL\n");
  return 64;
}
