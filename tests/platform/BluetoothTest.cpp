#include <gtest/gtest.h>

#include "platform/Bluetooth.h"

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

}  // namespace
}  // namespace platform
