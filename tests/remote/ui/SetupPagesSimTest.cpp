// Every setup page against the simulated unit over the simulated Bluetooth
// stack: an edit saved on the remote is in the image the USB side reads.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <fstream>
#include <functional>
#include <memory>

#include "../../support/QtTestApp.h"
#include "../../support/RunProgram.h"
#include "../../support/SimProcess.h"
#include "platform/Bytes.h"
#include "platform/SimBluetooth.h"
#include "platform/SimBluetoothWire.h"
#include "platform/qt/MessagePump.h"
#include "protocol/remote/RemoteProtocol.h"
#include "protocol/unit/Hej520Image.h"
#include "protocol/unit/Jov520Image.h"
#include "protocol/unit/Klf310Image.h"
#include "protocol/unit/MainUnitImage.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/Nvo310Image.h"
#include "protocol/unit/PhonoImage.h"
#include "protocol/unit/Qvo520Image.h"
#include "protocol/unit/Siv520Image.h"
#include "protocol/unit/Twr310iImage.h"
#include "protocol/unit/Yor310Image.h"
#include "remote/link/UnitLink.h"
#include "remote/ui/SetupPageDisplay.h"
#include "remote/ui/SetupPageFactory.h"
#include "remote/ui/SetupPageInputs.h"
#include "remote/ui/SetupPageJov520.h"
#include "remote/ui/SetupPageKlf310.h"
#include "remote/ui/SetupPageMainUnit.h"
#include "remote/ui/SetupPageNvo310.h"
#include "remote/ui/SetupPageOutput.h"
#include "remote/ui/SetupPagePhono.h"
#include "remote/ui/SetupPageQvo520.h"
#include "remote/ui/SetupPageTwr310i.h"
#include "remote/ui/SetupPageYor310.h"
#include "sim/BluetoothRegistration.h"
#include "sim/RemoteStreamServer.h"
#include "sim/SimUnit.h"

namespace remote::ui {
namespace {

namespace pu = protocol::unit;
using testing_support::TempDir;
using Image = std::vector<std::uint8_t>;

// The remote as the view runs it: link, unit model and polling on this thread.
class RemoteSide {
 public:
  explicit RemoteSide(const std::filesystem::path& bluetoothDir)
      : bluetooth_(bluetoothDir),
        link_(bluetooth_, platform::DefaultClock()),
        state_(link_, platform::DefaultClock()),
        window_(&host_, [this](const platform::Message& m) { state_.HandleLinkMessage(m); }) {
    QObject::connect(&tick_, &QTimer::timeout, [this] { state_.Tick(); });
  }
  ~RemoteSide() {
    link_.Close();
    window_.Close();
  }
  void Connect(const platform::BtAddress& address) {
    link_.SetUnit(address, "Unit", std::string(protocol::remote::kServiceHardware));
    link_.SetEnabled(true);
    state_.StartPolling();
    tick_.start(20);
    ASSERT_TRUE(link_.Start(&window_, false));
  }
  link::UnitState& State() { return state_; }
  template <typename Condition>
  bool Run(Condition done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    return testing_support::WaitFor(
        [&] {
          QCoreApplication::processEvents();
          return done();
        },
        limit);
  }
  bool Complete() { return state_.HaveInfo() && state_.ListComplete(); }

 private:
  platform::SimBluetooth bluetooth_;
  link::UnitLink link_;
  link::UnitState state_;
  QObject host_;
  platform::qt::MessagePump window_;
  QTimer tick_;
};

// The demo unit in process, reachable over the simulated stack.
class SetupPagesSimTest : public ::testing::Test {
 protected:
  SetupPagesSimTest()
      : unit(sim::DefaultScenario(), platform::DefaultClock()),
        stream(unit),
        module(sim::BluetoothRegistration::AddressForSerial(1234), "Valdur MRX520-1234",
               dir.path() / "bluetooth", stream) {
    testing_support::TestApplication();
    stream.SetModule(&module);
    std::string error;
    EXPECT_TRUE(module.Start(error)) << error;
    remote = std::make_unique<RemoteSide>(dir.path() / "bluetooth");
    remote->Connect(sim::BluetoothRegistration::AddressForSerial(1234));
  }
  ~SetupPagesSimTest() override {
    remote.reset();
    module.Stop();
    stream.Stop();
  }

  TempDir dir;
  sim::SimUnit unit;
  sim::RemoteStreamServer stream;
  sim::BluetoothRegistration module;
  std::unique_ptr<RemoteSide> remote;
};

// One row per page of the Setup menu: what the user changes, and where the
// unit keeps it for the USB side.
struct PageRow {
  const char* name;
  int slot;
  int subAddress;
  std::uint8_t type;
  std::function<void(QWidget*)> edit;
  std::function<void(sim::SimUnit&)> check;
};

void PrintTo(const PageRow& row, std::ostream* os) {
  *os << row.name;
}

std::string Name(const Image& image, std::size_t at) {
  return std::string(reinterpret_cast<const char*>(image.data() + at));
}
std::int16_t I16(const Image& image, std::size_t at) {
  return static_cast<std::int16_t>(platform::GetU16(image, at));
}
template <typename Page>
Page& As(QWidget* w) {
  return *dynamic_cast<Page*>(w);
}

class SetupPageSimTest : public SetupPagesSimTest, public ::testing::WithParamInterface<PageRow> {};

TEST_P(SetupPageSimTest, SavedEditReachesTheImageUsbReads) {
  const PageRow& row = GetParam();
  std::unique_ptr<QWidget> widget(
      CreateSetupPage(remote->State(), row.slot, row.subAddress, row.type));
  auto* page = dynamic_cast<SetupPage*>(widget.get());
  ASSERT_NE(page, nullptr);
  widget->show();
  page->Open();
  ASSERT_TRUE(remote->Run([&] { return page->BlockValid(); }));
  EXPECT_FALSE(page->Waiting());
  row.edit(widget.get());
  page->Save();
  ASSERT_TRUE(remote->Run([&] { return page->IsClosed(); }));
  row.check(unit);
}

INSTANTIATE_TEST_SUITE_P(
    EveryPage, SetupPageSimTest,
    ::testing::Values(
        PageRow{"QVI520", 1, 0, pu::type::kQVI520,
                [](QWidget* w) {
                  As<SetupPagePhono>(w).Gain().bar->setValue(77);
                  As<SetupPagePhono>(w).NameEdit()->setText("Phono A");
                },
                [](sim::SimUnit& u) {
                  const Image s = u.StoredSettings(1);
                  EXPECT_EQ(s[pu::PhonoImage::kGain], 77);
                  EXPECT_EQ(Name(s, pu::PhonoImage::kName), "Phono A");
                }},
        PageRow{"QVO520", 2, 0, pu::type::kQVO520,
                [](QWidget* w) { As<SetupPageQvo520>(w).Levels()[2].bar->setValue(-150); },
                [](sim::SimUnit& u) {
                  EXPECT_EQ(I16(u.StoredSettings(2), pu::Qvo520Image::kLevel3), -150);
                }},
        PageRow{"HEJ520", 4, 0, pu::type::kHEJ520,
                [](QWidget* w) {
                  As<SetupPageInputs>(w).Enables()[1]->setChecked(false);
                  As<SetupPageInputs>(w).Names()[0]->setText("Turntable");
                },
                [](sim::SimUnit& u) {
                  const Image s = u.StoredSettings(4);
                  EXPECT_EQ(s[pu::Hej520Image::kDisable] & 0x02, 0x02);
                  EXPECT_EQ(Name(s, pu::Hej520Image::NameOffset(0)), "Turntable");
                }},
        PageRow{"SIV520", 5, 0, pu::type::kSIV520,
                [](QWidget* w) { As<SetupPageInputs>(w).Names()[7]->setText("Streamer"); },
                [](sim::SimUnit& u) {
                  EXPECT_EQ(Name(u.StoredSettings(5), pu::Siv520Image::NameOffset(7)), "Streamer");
                }},
        PageRow{"TWR310i", 6, 0, pu::type::kTWR310i,
                [](QWidget* w) {
                  As<SetupPageTwr310i>(w).NameEdit()->setText("Lounge");
                  As<SetupPageTwr310i>(w).Levels()[1].bar->setValue(-42);
                },
                [](sim::SimUnit& u) {
                  const Image s = u.StoredSettings(6);
                  EXPECT_EQ(Name(s, pu::Twr310iImage::kName), "Lounge");
                  EXPECT_EQ(I16(s, pu::Twr310iImage::kLevel2), -42);
                }},
        PageRow{"NVO310", 7, 0, pu::type::kNVO310,
                [](QWidget* w) { As<SetupPageNvo310>(w).Group()->setCurrentIndex(2); },
                [](sim::SimUnit& u) {
                  EXPECT_EQ(
                      u.StoredSettings(7)[pu::Nvo310Image::kFlags] & pu::Nvo310Image::kGroupMask,
                      pu::Nvo310Image::kGroupMc71);
                }},
        PageRow{"BUZ310", 8, 0, pu::type::kBUZ310,
                [](QWidget* w) { As<SetupPagePhono>(w).HighPass()->setChecked(true); },
                [](sim::SimUnit& u) {
                  EXPECT_EQ(
                      u.StoredSettings(8)[pu::PhonoImage::kFlags] & pu::PhonoImage::kHighPassBit,
                      pu::PhonoImage::kHighPassBit);
                }},
        PageRow{"JOV520", 9, 0, pu::type::kJOV520,
                [](QWidget* w) {
                  As<SetupPageJov520>(w).AutoRepeat()->setChecked(true);
                  As<SetupPageJov520>(w).Led().bar->setValue(33);
                },
                [](sim::SimUnit& u) {
                  const Image s = u.StoredSettings(9);
                  EXPECT_EQ(s[pu::Jov520Image::kFlags] & pu::Jov520Image::kAutoRepeatBit,
                            pu::Jov520Image::kAutoRepeatBit);
                  EXPECT_EQ(s[pu::Jov520Image::kLedBrightness], 33);
                }},
        PageRow{"YOR310", 10, 0, pu::type::kYOR310,
                [](QWidget* w) { As<SetupPageYor310>(w).Offsets()[1].bar->setValue(250); },
                [](sim::SimUnit& u) {
                  EXPECT_EQ(I16(u.StoredSettings(10), pu::Yor310Image::kOffset2), 250);
                }},
        PageRow{"KLF310", 11, 0, pu::type::kKLF310,
                [](QWidget* w) { As<SetupPageKlf310>(w).NameEdit()->setText("Sub"); },
                [](sim::SimUnit& u) {
                  EXPECT_EQ(Name(u.StoredSettings(11), pu::Klf310Image::ChannelNameOffset(0)),
                            "Sub");
                }},
        PageRow{"MRX520", 0, 1, pu::kMainUnit.code,
                [](QWidget* w) {
                  auto* step = As<SetupPageMainUnit>(w).VolumeStep();
                  step->setCurrentIndex(step->findText("1.0 dB"));
                  As<SetupPageMainUnit>(w).Language()->setCurrentIndex(1);
                },
                [](sim::SimUnit& u) {
                  const Image s = u.StoredSettings(0);
                  EXPECT_EQ(s[pu::MainUnitImage::kVolumeStep], 10);
                  EXPECT_NE(platform::GetU16(s, pu::MainUnitImage::kOptions) &
                                pu::MainUnitImage::kLanguageBit,
                            0);
                }},
        PageRow{"Display", 14, 0, pu::type::kFront26,
                [](QWidget* w) {
                  auto& d = As<SetupPageDisplay>(w);
                  d.Levels()[2].bar->setValue(d.Levels()[2].bar->minimum());
                  d.AltScreen()->setCurrentIndex(4);
                },
                [](sim::SimUnit& u) {
                  EXPECT_EQ(u.DisplayLevels()[2].value, u.DisplayLevels()[2].min);
                  EXPECT_EQ(platform::GetU16(u.StoredSettings(0), pu::MainUnitImage::kAltScreen),
                            60);
                }}),
    [](const auto& row) { return std::string(row.param.name); });

// The output groups are the unit's own state: what the page sends comes back
// in the unit's next record 32.
TEST_F(SetupPagesSimTest, OutputGroupsComeBackFromTheUnit) {
  ASSERT_TRUE(remote->Run([&] { return remote->Complete(); }));
  SetupPageOutput page(remote->State());
  EXPECT_TRUE(page.Box(0, 0)->isChecked()) << "group A plays channel 1 on a fresh unit";
  page.Box(3, 0)->setChecked(true);
  page.ExitAndSave();
  EXPECT_TRUE(page.IsClosed());
  remote->State().Reset();
  ASSERT_TRUE(remote->Run([&] { return remote->State().HaveInfo(); }));
  EXPECT_EQ(remote->State().Info().groupMasks,
            (std::array<std::uint8_t, 4>{0x03, 0x0C, 0x30, 0xC1}));
}

// Every page of the Setup menu drawn to a picture of the handheld's screen.
TEST_F(SetupPagesSimTest, DrawsEveryPage) {
  ASSERT_TRUE(remote->Run([&] { return remote->Complete(); }));
  const char* wanted = std::getenv("WAVRIX_SCREENSHOTS");
  const QString out = wanted != nullptr && *wanted != '\0'
                          ? QString(wanted)
                          : QString::fromStdString((dir.path() / "pictures").string());
  const auto files = DrawSetupPages(remote->State(), out);
  // The menu's rows plus the room-correction card's page.
  EXPECT_EQ(files.size(), SetupPageRows(remote->State()).size() + 1);
  for (const QString& file : files) {
    SCOPED_TRACE(file.toStdString());
    const QImage image(file);
    EXPECT_EQ(image.size(), QSize(SetupPage::kWidth, SetupPage::kHeight));
  }
}

// As a user would: the real simulator program, a name edited on the remote,
// read back over USB with mrxctl.
TEST(SetupPagesEndToEndTest, NameSavedOnTheRemoteReadsBackOverUsb) {
  testing_support::TestApplication();
  TempDir dir;
  testing_support::SimProcess sim(dir.path(), {"--no-state"});
  ASSERT_TRUE(sim.Running());
  const auto address = sim::BluetoothRegistration::AddressForSerial(1234);
  ASSERT_TRUE(testing_support::WaitFor([&] {
    return std::filesystem::exists(platform::simbt::SocketPath(dir.path() / "bluetooth", address));
  }));
  RemoteSide remote(dir.path() / "bluetooth");
  remote.Connect(address);
  SetupPageTwr310i page(remote.State(), 6);
  page.show();
  page.Open();
  ASSERT_TRUE(remote.Run([&] { return page.BlockValid(); }));
  page.NameEdit()->setText("Den");
  page.Save();
  ASSERT_TRUE(remote.Run([&] { return page.IsClosed(); }));

  const auto file = dir.path() / "twr.bin";
  std::string out;
  ASSERT_EQ(testing_support::RunProgram("MRX_RUNTIME_DIR=" + dir.path().string() + " " +
                                            MRX_BINARY_DIR "/tools/mrxctl/mrxctl settings read 6 " +
                                            file.string() + " 2>&1",
                                        out),
            0)
      << out;
  std::ifstream in(file, std::ios::binary);
  const Image image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GE(image.size(), pu::Twr310iImage::kEnd);
  EXPECT_EQ(Name(image, pu::Twr310iImage::kName), "Den");
}

}  // namespace
}  // namespace remote::ui
