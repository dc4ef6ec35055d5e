#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <memory>
#include <string>
#include <vector>

#include "../../support/TempDir.h"
#include "../../support/WaitFor.h"
#include "../link/ScriptedBluetooth.h"
#include "platform/HandheldEnv.h"
#include "platform/Power.h"
#include "platform/Registry.h"
#include "protocol/remote/FrameAssembler.h"
#include "protocol/remote/ListEntry.h"
#include "protocol/remote/RemoteFrame.h"
#include "protocol/remote/RemoteProtocol.h"
#include "protocol/remote/StatusRecord.h"
#include "protocol/remote/UnitInfoRecord.h"
#include "remote/link/DeviceStore.h"
#include "remote/ui/CWavrixView.h"

namespace remote::ui {

struct RecordingPrompt final : platform::Prompt {
  void Error(std::string_view title, std::string_view text) override {
    shown.push_back(std::string(title) + ": " + std::string(text));
  }
  std::vector<std::string> shown;
};

// The view against a unit the test plays: the stack hands the view one end of
// a socket pair, the test holds the other, reads the frames the view sends
// and writes the unit's records.
class ViewFixture : public ::testing::Test {
 protected:
  using Answer = testing_support::ScriptedBluetooth::Answer;

  void MakeView(bool serviceMode = false, bool withDefault = true) {
    if (withDefault) {
      link::DeviceStore store(registry, handheld);
      store.Load();
      store.Merge({*platform::BtAddress::Parse("00:50:C2:00:04:D2"), "Valdur MRX520-1234",
                   std::string(protocol::remote::kServiceHardware)},
                  true);
      store.Save();
    }
    view = std::make_unique<CWavrixView>(ViewServices{bluetooth, power, registry, handheld,
                                                      platform::DefaultClock(), prompt, serviceMode,
                                                      false});
    view->inquire = [this](link::DeviceEntry&) {
      ++inquiries;
      return false;
    };
    view->confirm = [this](const QString&) { return confirmAnswer; };
    view->show();
    view->Start();
  }

  // Connects and plays a unit that is on, at -30.0 dB, listening to `source`.
  void Connect(protocol::remote::StatusRecord status = Status()) {
    if (!view) MakeView();
    ASSERT_TRUE(Run([&] {
      peer = bluetooth.TakePeer();
      return peer.Get() >= 0;
    }));
    // The reader's news of the connection comes before anything the unit sends.
    ASSERT_TRUE(Run([&] { return Has(protocol::remote::kReqInfo); }));
    SendInfo();
    SendList();
    SendStatus(status);
    ASSERT_TRUE(Run([&] { return view->State().HaveStatus() && view->State().ListComplete(); }));
    // The model's news to the view was posted while the last record was handled.
    QApplication::processEvents();
    sent.clear();
  }

  static protocol::remote::StatusRecord Status() {
    protocol::remote::StatusRecord s;
    s.volumeMin = -800;
    s.volumeMax = 100;
    s.volume = -300;
    s.volumeStep = 10;
    s.flags = protocol::remote::StatusRecord::kPowerOn;  // source kind 0
    s.sourceSlot = 1;
    s.sourceInput = 0;
    s.buttonSources = {{{0, 0}, {1, 0}, {1, 1}, {0xFF, 0xFF}, {0xFF, 0xFF}, {0xFF, 0xFF}}};
    return s;
  }
  static protocol::remote::StatusRecord CdStatus() {
    auto s = Status();
    s.sourceSlot = 0;
    s.sourceInput = 0;
    s.flags |= protocol::remote::StatusRecord::kSourceKindCd
               << protocol::remote::StatusRecord::kSourceKindShift;
    return s;
  }

  void Send(std::uint16_t record, std::span<const std::uint8_t> payload) {
    protocol::remote::RemoteFrame frame;
    frame.command = record;
    frame.payload.assign(payload.begin(), payload.end());
    const auto bytes = frame.Encode();
    ASSERT_EQ(write(peer.Get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  void SendStatus(const protocol::remote::StatusRecord& s) {
    Send(protocol::remote::kRecStatus, s.Encode());
  }
  void SendInfo() {
    protocol::remote::UnitInfoRecord info;
    info.serialNumber = 1234;
    info.inputMasks[0] = 0x1;  // CD
    info.inputMasks[1] = 0x3;  // two inputs of the card in slot 1
    Send(protocol::remote::kRecInfo, info.Encode());
  }
  // The listing: the main unit, two cards (one with no page), and three sources.
  void SendList(const std::string& longName = "Phono") {
    struct E {
      std::uint8_t slot, input, type;
      std::string first, second;
    };
    const std::vector<E> entries = {
        {0, 0xFF, 0, "MRX520", ""},  {1, 0xFF, 8, "BUZ310", ""}, {2, 0xFF, 11, "KLF310", ""},
        {3, 0xFF, 17, "Hidden", ""}, {0, 0, 0, "CD", "Disc"},    {1, 0, 8, longName, "Ph"},
        {1, 1, 8, "Tape", "T"},
    };
    std::uint8_t sequence = 0;
    for (const E& e : entries) {
      protocol::remote::ListEntry l;
      l.slot = e.slot;
      l.input = e.input;
      l.sequence = sequence++;
      l.type = e.type;
      l.firstName = e.first;
      l.secondName = e.second;
      Send(protocol::remote::kRecListEntry, l.Encode());
    }
    protocol::remote::ListEntry end;
    end.slot = protocol::remote::ListEntry::kControlBit;
    end.sequence = sequence;
    Send(protocol::remote::kRecListEntry, end.Encode());
  }

  // Reads what the view sent so far.
  void Collect() {
    if (peer.Get() < 0) return;
    std::uint8_t buffer[1024];
    for (;;) {
      const ssize_t n = recv(peer.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
      if (n <= 0) break;
      assembler.Feed(std::span(buffer, static_cast<std::size_t>(n)), 0,
                     [&](std::span<const std::uint8_t> f) {
                       protocol::remote::RemoteFrame frame;
                       if (protocol::remote::RemoteFrame::Decode(f, frame)) sent.push_back(frame);
                     });
    }
  }
  // Frames the view sent with `command` (polling left out).
  std::vector<protocol::remote::RemoteFrame> SentWith(std::uint16_t command) {
    Collect();
    std::vector<protocol::remote::RemoteFrame> out;
    for (const auto& f : sent) {
      if (f.command == command) out.push_back(f);
    }
    return out;
  }
  bool Has(std::uint16_t command) { return !SentWith(command).empty(); }
  // Orders only: the polling requests left out.
  std::vector<std::uint16_t> Orders() {
    Collect();
    std::vector<std::uint16_t> out;
    for (const auto& f : sent) {
      if ((f.command & protocol::remote::kRequestBit) == 0) out.push_back(f.command);
    }
    return out;
  }
  template <typename Condition>
  bool Run(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    return testing_support::WaitFor(
        [&] {
          QApplication::processEvents();
          return condition();
        },
        limit);
  }
  // Lets the view work until `ms` of real time have passed (for "nothing happens").
  void Settle(int ms) {
    Run([] { return false; }, std::chrono::milliseconds(ms));
  }

  int argc = 1;
  char name[8] = "test";
  char* argv[1] = {name};
  QApplication app{argc, argv};
  testing_support::TempDir dir;
  testing_support::ScriptedBluetooth bluetooth{platform::DefaultClock(), Answer::kKeep};
  platform::InjectedPower power;
  platform::MemoryRegistry registry;
  platform::HandheldEnv handheld{dir.path()};
  RecordingPrompt prompt;
  std::unique_ptr<CWavrixView> view;
  platform::UniqueFd peer;
  protocol::remote::FrameAssembler assembler;
  std::vector<protocol::remote::RemoteFrame> sent;
  int inquiries = 0;
  bool confirmAnswer = false;
};

}  // namespace remote::ui
