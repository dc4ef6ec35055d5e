#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>

#include "../../support/SimProcess.h"
#include "platform/SimBluetooth.h"
#include "remote/ui/InquiryDialog.h"
#include "remote/ui/ModuleConfigDialog.h"
#include "sim/BluetoothRegistration.h"
#include "sim/RemoteStreamServer.h"
#include "sim/SimUnit.h"

namespace remote::ui {
namespace {

using testing_support::TempDir;

// Two units registered with the simulated stack; one has no name.
class DialogsTest : public ::testing::Test {
 protected:
  DialogsTest()
      : unit(sim::DefaultScenario(), platform::DefaultClock()),
        stream(unit),
        named(sim::BluetoothRegistration::AddressForSerial(1234), "Valdur MRX520-1234", Dir(),
              stream),
        unnamed({0x00000042, 0x0001}, "", Dir(), stream),
        bluetooth(Dir()) {
    stream.SetModule(&named);
    std::string error;
    EXPECT_TRUE(named.Start(error)) << error;
    EXPECT_TRUE(unnamed.Start(error)) << error;
  }
  ~DialogsTest() override {
    named.Stop();
    unnamed.Stop();
    stream.Stop();
  }
  std::filesystem::path Dir() const { return dir.path() / "bluetooth"; }
  template <typename Condition>
  bool Run(Condition condition) {
    return testing_support::WaitFor([&] {
      QApplication::processEvents();
      return condition();
    });
  }

  int argc = 1;
  char name[8] = "test";
  char* argv[1] = {name};
  QApplication app{argc, argv};
  TempDir dir;
  sim::SimUnit unit;
  sim::RemoteStreamServer stream;
  sim::BluetoothRegistration named;
  sim::BluetoothRegistration unnamed;
  platform::SimBluetooth bluetooth;
};

TEST_F(DialogsTest, InquiryListsEachUnitOnceAndReturnsTheChosenOne) {
  InquiryDialog dialog(bluetooth);
  EXPECT_FALSE(dialog.OkButton()->isEnabled());
  dialog.show();
  ASSERT_TRUE(Run([&] { return !dialog.InquiryRunning() && dialog.List()->count() == 2; }));
  ASSERT_TRUE(Run([&] { return dialog.StatusText().isEmpty(); }));
  EXPECT_EQ(dialog.List()->item(0)->text(), "[000100000042]");
  EXPECT_EQ(dialog.List()->item(1)->text(), "Valdur MRX520-1234 [0050C20004D2]");
  EXPECT_TRUE(dialog.CancelButton()->isEnabled());
  EXPECT_FALSE(dialog.OkButton()->isEnabled());
  dialog.List()->setCurrentRow(1);
  EXPECT_TRUE(dialog.OkButton()->isEnabled());
  dialog.OkButton()->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.Selected().address, named.Address());
  EXPECT_EQ(dialog.SelectedService(), "COM-HARDWARE");
}

TEST_F(DialogsTest, ConfigurationRunsTheWholeSequenceAndNamesTheModule) {
  ModuleConfigDialog dialog(bluetooth, named.Address(), 7);
  dialog.show();
  ASSERT_TRUE(Run([&] { return dialog.Finished() && dialog.Lines()->count() == 10; }));
  std::vector<std::string> lines;
  for (int i = 0; i < dialog.Lines()->count(); ++i)
    lines.push_back(dialog.Lines()->item(i)->text().toStdString());
  EXPECT_EQ(lines.front(), "*** Start of configuration ...");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "OK"), 6);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Valdur MRX520-0007"), lines.end());
  EXPECT_EQ(named.Name(), "Valdur MRX520-0007");
  dialog.reject();
}

}  // namespace
}  // namespace remote::ui
