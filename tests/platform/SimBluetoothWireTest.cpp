#include <gtest/gtest.h>

#include "platform/SimBluetoothWire.h"

namespace platform::simbt {
namespace {

TEST(SimBluetoothWireTest, ServiceRecordLines) {
  const ServiceRecord config{2, kSerialPortClass, "COM-CONFIG"};
  EXPECT_EQ(FormatService(config), "SERVICE 2 1101 COM-CONFIG");
  EXPECT_EQ(ParseService("SERVICE 2 1101 COM-CONFIG"), config);
  EXPECT_EQ(ParseService("SERVICE 30 110A A name with blanks"),
            (ServiceRecord{30, 0x110A, "A name with blanks"}));
  EXPECT_EQ(ParseService("SERVICE 1 1101"), (ServiceRecord{1, kSerialPortClass, ""}));
  for (const char* bad : {"SERVICE", "SERVICE 0 1101 X", "SERVICE 31 1101 X", "SERVICE x 1101 X",
                          "SERVICE 1 11 X", "SERVICE 1 11011 X", "SERVICES 1 1101 X", "END"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(ParseService(bad));
  }
}

TEST(SimBluetoothWireTest, TheChannelComesFromTheServiceRecords) {
  const std::vector<ServiceRecord> unit = {
      {5, 0x1105, "COM-CONFIG"},  // not a Serial Port record: never chosen
      {1, kSerialPortClass, "COM-HARDWARE"},
      {2, kSerialPortClass, "COM-CONFIG"},
  };
  const std::pair<const char*, int> rows[] = {
      {"COM-HARDWARE", 1},
      {"COM-CONFIG", 2},
      {"", 1},           // the class alone: the first Serial Port service
      {"COM-OTHER", 1},  // a name the device does not publish
  };
  for (const auto& [service, channel] : rows) {
    SCOPED_TRACE(service);
    EXPECT_EQ(ChooseChannel(unit, service), channel);
  }
  EXPECT_EQ(ChooseChannel({{3, 0x1105, "COM-HARDWARE"}}, "COM-HARDWARE"), 0);
}

}  // namespace
}  // namespace platform::simbt
