#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/Bluetooth.h"
#include "platform/SimBluetooth.h"
#include "tests/support/TempDir.h"

namespace platform {
namespace {

struct ChoiceCase {
  const char* name;
  std::string_view choice;
  bool adapter;
  const char* backend;  // null: no stack, with an error
};

class MakeBluetoothTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(MakeBluetoothTest, PicksTheStackTheChoiceAndTheHostGive) {
  const ChoiceCase& c = GetParam();
  const AdapterProbe probe = [&](std::string& why) {
    if (!c.adapter) why = "no Bluetooth adapter";
    return c.adapter;
  };
  std::string error;
  const auto bluetooth = MakeBluetooth(c.choice, probe, error);
  if (c.backend == nullptr) {
    EXPECT_EQ(bluetooth, nullptr);
    EXPECT_FALSE(error.empty());
  } else {
    ASSERT_NE(bluetooth, nullptr) << error;
    EXPECT_EQ(bluetooth->BackendName(), c.backend);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Choices, MakeBluetoothTest,
    ::testing::Values(
        // An adapter, even one switched off, is the host's stack: never the simulated one.
        ChoiceCase{"NoChoiceWithAnAdapter", "", true, "bluez"},
        ChoiceCase{"NoChoiceWithoutAnAdapter", "", false, "sim"},
        ChoiceCase{"BluezWithAnAdapter", "bluez", true, "bluez"},
        ChoiceCase{"BluezWithoutAnAdapter", "bluez", false, nullptr},
        ChoiceCase{"SimWithAnAdapter", "sim", true, "sim"},
        ChoiceCase{"UnknownStack", "widcomm", true, nullptr}),
    [](const ::testing::TestParamInfo<ChoiceCase>& row) { return std::string(row.param.name); });

// A device in the simulated stack's folder could be anyone's once others can
// write it: the stack neither lists nor connects to it.
TEST(SimBluetoothTest, AFolderOthersCanWriteIsRefusedByName) {
  testing_support::TempDir dir;
  chmod(dir.path().c_str(), 0777);
  SimBluetooth stack(dir.path());
  std::string error;
  EXPECT_FALSE(stack.Inquiry([](const BtDeviceInfo&) { return true; }, error));
  EXPECT_NE(error.find(dir.path().string() + " can be written by other users"), std::string::npos)
      << error;
  error.clear();
  EXPECT_LT(stack.Connect(BtAddress{1, 2}, "COM-HARDWARE", -1, error), 0);
  EXPECT_NE(error.find(dir.path().string()), std::string::npos) << error;
  EXPECT_FALSE(stack.SetRadioMode(RadioMode::kOff));
}

}  // namespace
}  // namespace platform
