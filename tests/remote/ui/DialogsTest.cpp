#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cerrno>
#include <condition_variable>
#include <mutex>

#include "../../support/SimProcess.h"
#include "platform/SimBluetooth.h"
#include "platform/qt/MessageBoxPrompt.h"
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

// A stack whose inquiry finds nothing and ends only when the test lets it (or
// after 10 s), cancelled or not; it then fails with `errorNumber` if not 0.
class HeldBluetooth final : public platform::Bluetooth {
 public:
  explicit HeldBluetooth(int errorNumber, bool held)
      : errorNumber_(errorNumber), released_(!held) {}
  void Release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  std::string BackendName() const override { return "held"; }
  bool Inquiry(const std::function<bool(const platform::BtDeviceInfo&)>&, std::string&) override {
    return true;
  }
  bool CancellableInquiry(const std::function<bool(const platform::BtDeviceInfo&)>&, int,
                          platform::BtError& error) override {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(10), [&] { return released_; });
    error.number = errorNumber_;
    return errorNumber_ == 0;
  }
  int Connect(const platform::BtAddress&, std::string_view, int, std::string&) override {
    return -1;
  }
  bool GetRadioMode(platform::RadioMode& mode) override {
    mode = platform::RadioMode::kDiscoverable;
    return true;
  }
  bool SetRadioMode(platform::RadioMode) override { return true; }

 private:
  int errorNumber_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool released_;
};

bool WaitCursorShown() {
  const QCursor* cursor = QApplication::overrideCursor();
  return cursor != nullptr && cursor->shape() == Qt::WaitCursor;
}

TEST_F(DialogsTest, CancelWaitsAtMostItsTimeForAnInquiryThatDoesNotStop) {
  HeldBluetooth held(0, true);
  {
    InquiryDialog dialog(held);
    dialog.show();
    ASSERT_TRUE(Run([&] { return dialog.CancelButton()->isEnabled(); }));
    EXPECT_TRUE(WaitCursorShown()) << "the radio is searching";
    EXPECT_EQ(dialog.StatusText(), "Looking for devices ...");

    dialog.CancelButton()->click();  // returns after at most 1500 ms
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_TRUE(dialog.InquiryRunning()) << "closing waited for the inquiry to end";
    EXPECT_EQ(dialog.StatusText(), "Cancel in progress. Please wait!");

    held.Release();
    ASSERT_TRUE(Run([&] { return !dialog.InquiryRunning() && !WaitCursorShown(); }));
  }
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(DialogsTest, AFailedInquiryShowsItsErrorNumberAndRestoresTheCursor) {
  HeldBluetooth failing(ENETDOWN, false);
  InquiryDialog dialog(failing);
  dialog.show();
  ASSERT_TRUE(
      Run([&] { return !dialog.InquiryRunning() && dialog.StatusText().startsWith("Socket"); }));
  ASSERT_TRUE(
      Run([&] { return dialog.StatusText() == QString("Socket Error: %1").arg(ENETDOWN); }));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(dialog.List()->count(), 0);
}

TEST_F(DialogsTest, CancellingAnInquiryTheStackStopsReturnsOnceItHasEnded) {
  InquiryDialog dialog(bluetooth);
  dialog.show();
  ASSERT_TRUE(Run([&] { return dialog.CancelButton()->isEnabled(); }));
  dialog.CancelButton()->click();
  EXPECT_FALSE(dialog.InquiryRunning());
}

TEST_F(DialogsTest, TheFatalPromptIsAMessageBoxWithItsTitleAndText) {
  QString title;
  QString text;
  QTimer::singleShot(0, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible()) {
        title = box->windowTitle();
        text = box->text();
        box->accept();
      }
    }
  });
  platform::qt::MessageBoxPrompt prompt;
  prompt.Error("Fatal", "Unable to create the serial read thread!");
  EXPECT_EQ(title, "Fatal");
  EXPECT_EQ(text, "Unable to create the serial read thread!");
}

}  // namespace
}  // namespace remote::ui
