#include <gtest/gtest.h>

#include "RecordingLink.h"
#include "platform/Bytes.h"
#include "protocol/remote/ListEntry.h"
#include "protocol/remote/RemoteFrame.h"
#include "protocol/remote/RemoteProtocol.h"
#include "remote/link/RemoteMessages.h"
#include "remote/link/UnitState.h"

namespace remote::link {
namespace {

using namespace protocol::remote;

using Bytes = std::vector<std::uint8_t>;

class UnitStateTest : public ::testing::Test {
 protected:
  UnitStateTest() : state(link, clock) { state.SetView(&view); }

  void Receive(std::uint16_t code, Bytes payload = {}) {
    state.Dispatch(RemoteFrame{code, 0, std::move(payload)}.Encode());
  }
  void ReceiveStatus(const StatusRecord& r) {
    const auto b = r.Encode();
    Receive(kRecStatus, Bytes(b.begin(), b.end()));
  }
  void ReceiveEntry(std::uint8_t slot, std::uint8_t input, std::uint8_t sequence, std::string first,
                    std::string second = "") {
    ListEntry e;
    e.slot = slot;
    e.input = input;
    e.sequence = sequence;
    e.firstName = std::move(first);
    e.secondName = std::move(second);
    Receive(kRecListEntry, e.Encode());
  }
  std::vector<std::uint32_t> Messages() {
    std::vector<std::uint32_t> ids;
    view.Drain([&](const platform::Message& m) { ids.push_back(m.id); });
    return ids;
  }
  // Advances virtual time in 50 ms steps of the UI timer.
  void Run(std::uint64_t ms) {
    for (std::uint64_t t = 0; t < ms; t += 50) {
      clock.Advance(50);
      state.Tick();
    }
  }

  RecordingLink link;
  platform::VirtualClock clock;
  platform::QueueTarget view;
  UnitState state;
};

TEST_F(UnitStateTest, EmptyRequestFrameIsDispatchedAsCodeZeroAndIgnored) {
  state.Dispatch(RemoteFrame{0x80, 0, {}}.Encode());
  EXPECT_TRUE(Messages().empty());
  EXPECT_FALSE(state.HaveInfo());
  EXPECT_FALSE(state.HaveStatus());
  EXPECT_TRUE(link.sent.empty());
}

TEST_F(UnitStateTest, PollsInfoThenStatusThenListingAndThenOnlyListens) {
  state.StartPolling();
  Run(200);
  EXPECT_EQ(link.Commands(), (std::vector<std::uint16_t>{kReqInfo, kReqListing}));
  link.sent.clear();
  Run(400);  // info still missing: asked every 200 ms; listing not yet due again
  EXPECT_EQ(link.Commands(), (std::vector<std::uint16_t>{kReqInfo, kReqInfo}));

  link.sent.clear();
  Receive(kRecInfo, Bytes(56, 0));
  EXPECT_EQ(link.Commands(), std::vector<std::uint16_t>{kReqStatus})
      << "0x9F follows record 32 at once";
  EXPECT_TRUE(state.HaveInfo());
  link.sent.clear();
  Run(400);
  EXPECT_EQ(std::count(link.sent.begin(), link.sent.end(), RecordingLink::Sent{kReqStatus, {}}), 2);

  StatusRecord status;
  status.flags = StatusRecord::kPowerOn;
  ReceiveStatus(status);
  ReceiveEntry(0x80, 0, 0, "");  // empty listing complete
  link.sent.clear();
  Run(3000);
  EXPECT_TRUE(link.sent.empty()) << "after status and listing nothing is polled";

  // A new record 32 (the unit restarted) starts the status poll again.
  Receive(kRecInfo, Bytes(56, 0));
  EXPECT_FALSE(state.HaveStatus());
  EXPECT_EQ(link.Commands(), std::vector<std::uint16_t>{kReqStatus});
}

TEST_F(UnitStateTest, OnlyAChangedStatusRefreshesTheView) {
  StatusRecord status;
  status.volume = -300;
  status.flags = StatusRecord::kPowerOn | (2 << StatusRecord::kGroupShift);
  ReceiveStatus(status);
  EXPECT_EQ(Messages(), std::vector<std::uint32_t>{kWmStatusChanged});
  EXPECT_EQ(state.Status().Group(), 2);
  ReceiveStatus(status);
  EXPECT_TRUE(Messages().empty()) << "an identical record 31 is no news";
  EXPECT_TRUE(state.HaveStatus());
  status.volume = -290;
  ReceiveStatus(status);
  EXPECT_EQ(Messages(), std::vector<std::uint32_t>{kWmStatusChanged});
  EXPECT_EQ(state.VolumeText(), "-29.0dB");
}

TEST_F(UnitStateTest, ListingKeepsSequenceReplacesInPlaceAndCompletes) {
  ReceiveEntry(0, 0xFF, 0, "MRX520", "V2.105");
  ReceiveEntry(0, 0, 1, "CD", "MRX520");
  ReceiveEntry(5, 2, 2, "Digital 3", "SIV520");
  ReceiveEntry(7, 0, 9, "Out of sequence");
  ASSERT_EQ(state.Sources().size(), 2u);
  EXPECT_EQ(state.ListSequence(), 3);
  state.SetTag(false, 0, 0, 4711);
  ReceiveEntry(0, 0, 3, "CD Drive", "MRX520");  // same slot and input: replaced in place
  ASSERT_EQ(state.Sources().size(), 2u);
  EXPECT_EQ(state.Sources()[0].firstName, "CD Drive");
  EXPECT_EQ(state.Sources()[0].tag, 0u) << "the old entry is gone, tag and all";
  EXPECT_EQ(state.FirstName(true, 0, 0xFF), "MRX520");
  EXPECT_EQ(state.SecondName(false, 5, 2), "SIV520");
  EXPECT_EQ(state.FirstName(false, 9, 9), "");
  EXPECT_FALSE(state.ListComplete());

  ReceiveEntry(0x80, 0, 7, "");  // a count that does not match is ignored
  EXPECT_FALSE(state.ListComplete());
  ReceiveEntry(0x80, 0, 4, "");
  EXPECT_TRUE(state.ListComplete());
  EXPECT_EQ(Messages(), std::vector<std::uint32_t>{kWmListComplete});

  ReceiveEntry(0x80, 0, 0xFF, "");
  EXPECT_TRUE(state.Modules().empty());
  EXPECT_TRUE(state.Sources().empty());
}

TEST_F(UnitStateTest, ListNamesArriveInTheHandheldsCodePage) {
  ReceiveEntry(3, 1, 0, "Caf\xE9 \x80", "\x93Phono\x94");
  ASSERT_EQ(state.Sources().size(), 1u);
  EXPECT_EQ(state.FirstName(false, 3, 1), "Caf\u00E9 \u20AC");
  EXPECT_EQ(state.SecondName(false, 3, 1), "\u201CPhono\u201D");
}

TEST_F(UnitStateTest, VolumeIsClampedAndQuantisedTowardZero) {
  struct Row {
    const char* name;
    int wanted;
    int step;
    int sent;  // INT32_MIN = nothing sent
  } rows[] = {
      {"RoundsDown", 25, 10, 20},
      {"NegativeRoundsTowardZero", -25, 10, -20},
      {"AboveMaximum", 150, 10, 100},
      {"BelowMinimum", -1000, 10, -800},
      {"HalfDecibelStep", -298, 5, -295},
      {"UnchangedSendsNothing", -305, 10, INT32_MIN},
      {"StepZeroFromTheUnitTakenAsOne", 33, 0, 33},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    state.Reset();
    StatusRecord status;
    status.volumeStep = static_cast<std::uint16_t>(r.step);
    status.volume = -300;
    ReceiveStatus(status);
    link.sent.clear();
    EXPECT_TRUE(state.SetVolume(r.wanted));
    if (r.sent == INT32_MIN) {
      EXPECT_TRUE(link.sent.empty());
      continue;
    }
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0].command, kCmdVolume);
    EXPECT_EQ(static_cast<std::int16_t>(platform::GetU16(link.sent[0].payload, 0)), r.sent);
    EXPECT_EQ(state.Status().volume, r.sent) << "kept at once, before the unit answers";
  }
}

TEST_F(UnitStateTest, ToggleCommandsWriteFlagsFirstAndSendTheNewState) {
  using Toggle = bool (*)(UnitState&);
  struct Row {
    const char* name;
    std::uint16_t flagsBefore;
    Toggle toggle;
    RecordingLink::Sent sent;
    std::uint16_t flagsAfter;
  } rows[] = {
      {"PowerOn",
       0,
       [](UnitState& s) { return s.TogglePower(); },
       {kCmdPowerOn, {}},
       StatusRecord::kPowerOn},
      {"PowerOff",
       StatusRecord::kPowerOn,
       [](UnitState& s) { return s.TogglePower(); },
       {kCmdPowerOff, {}},
       0},
      {"Mute",
       0,
       [](UnitState& s) { return s.ToggleMute(false); },
       {kCmdMute, {}},
       StatusRecord::kMuted},
      {"Unmute",
       StatusRecord::kMuted,
       [](UnitState& s) { return s.ToggleMute(false); },
       {kCmdUnmute, {}},
       0},
      {"FadeOut",
       0,
       [](UnitState& s) { return s.ToggleMute(true); },
       {kCmdFade, {1, 0}},
       StatusRecord::kFadedOut},
      {"FadeIn",
       StatusRecord::kFadedOut,
       [](UnitState& s) { return s.ToggleMute(true); },
       {kCmdFade, {0, 0}},
       0},
      {"Invert",
       0,
       [](UnitState& s) { return s.TogglePolarity(); },
       {kCmdPolarity, {1, 0}},
       StatusRecord::kPolarityInverted},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    StatusRecord status;
    status.flags = r.flagsBefore;
    status.volume = static_cast<std::int16_t>(-100 - r.flagsBefore);  // differs per row
    ReceiveStatus(status);
    link.sent.clear();
    EXPECT_TRUE(r.toggle(state));
    EXPECT_EQ(link.sent, std::vector<RecordingLink::Sent>{r.sent});
    EXPECT_EQ(state.Status().flags, r.flagsAfter);
  }
}

TEST_F(UnitStateTest, CommandBuildersPutTheirPayloads) {
  StatusRecord status;
  status.outputFlags = StatusRecord::kFixed35Volt | StatusRecord::kRoomModeOn;
  ReceiveStatus(status);
  link.sent.clear();
  platform::LocalTime t;
  t.year = 2024;
  t.month = 3;
  t.day = 5;
  t.dayOfWeek = 2;  // Tuesday
  t.hour = 13;
  t.minute = 7;
  t.second = 9;
  state.ToggleFixedOutput(StatusRecord::kFixedCurrent);
  state.SetGroup(3);
  state.SetBitResolution(16);
  state.RoomCorrectionOff();
  state.RoomCorrectionPreset(2);
  state.SelectSource(5, 2);
  state.AssignButton(1, 5, 2);
  state.CdPlay(4);
  state.Cd(UnitState::CdAction::kRewind);
  state.SetUnitClock(t);
  state.RequestModuleBlock(5, 1);
  state.WriteModuleBlock(6, 0, Bytes{1, 2}, true);
  const std::vector<RecordingLink::Sent> expected = {
      {kCmdFixedOutput, {3, 0}},
      {kCmdGroup, {3}},
      {kCmdBitResolution, {8}},
      {kCmdRoomCorrection, {1}},
      {kCmdRoomCorrection, {2}},
      {kCmdRoomPreset, {2}},
      {kCmdSource, {5, 2}},
      {kCmdAssignButton, {1, 5, 2}},
      {kCmdCdPlay, {4, 0}},
      {kCmdCdRewind, {}},
      {kCmdSetClock, {24, 3, 5, 3, 13, 7, 9, 0, 0, 0, 0}},
      {kReqBlock, {0x0B, 0}},
      {kCmdWriteBlock, {0x2C, 0, 0, 0, 1, 2}},
  };
  EXPECT_EQ(link.sent, expected);
  EXPECT_EQ(state.Status().outputFlags, status.outputFlags) << "the unit's next record brings it";
}

TEST_F(UnitStateTest, InitAsksForTheClockAtEveryStatusChangeUntilItArrives) {
  platform::LocalTime set;
  int calls = 0;
  state.SetLocalTimeSetter([&](const platform::LocalTime& t, int&) {
    set = t;
    ++calls;
    return true;
  });
  state.SetInitPending(true);
  StatusRecord status;
  for (int i = 0; i < 2; ++i) {
    status.volume = static_cast<std::int16_t>(-500 + i);
    ReceiveStatus(status);
  }
  EXPECT_EQ(link.Commands(), (std::vector<std::uint16_t>{kReqClock, kReqClock}));
  Receive(kRecClock, {24, 12, 31, 7, 23, 59, 58, 0, 0, 0, 0});
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(set.year, 2024);
  EXPECT_EQ(set.day, 31);
  EXPECT_EQ(set.second, 58);
  EXPECT_FALSE(state.InitPending());
  link.sent.clear();
  status.volume = -400;
  ReceiveStatus(status);
  EXPECT_TRUE(link.sent.empty());
}

TEST_F(UnitStateTest, AClockThatCannotBeSetIsReportedAndInitStaysPending) {
  state.SetLocalTimeSetter([](const platform::LocalTime&, int& error) {
    error = 87;
    return false;
  });
  state.SetInitPending(true);
  Receive(kRecClock, {24, 13, 1, 1, 0, 0, 0, 0, 0, 0, 0});
  std::string text;
  view.Drain([&](const platform::Message& m) { text = m.text; });
  EXPECT_EQ(text, "Error=87");
  EXPECT_TRUE(state.InitPending());
}

TEST_F(UnitStateTest, PageNewsGoesToTheOpenPageOnlyAndALostLinkResetsAll) {
  platform::QueueTarget page;
  Receive(kRecModuleBlock, {0x0A, 0, 0, 0, 9, 8});
  EXPECT_EQ(state.Block().Address(), 5);
  state.SetPage(&page);
  Receive(kRecWriteAck);
  std::vector<std::uint32_t> ids;
  page.Drain([&](const platform::Message& m) { ids.push_back(m.id); });
  EXPECT_EQ(ids, std::vector<std::uint32_t>{kWmWriteAck});
  EXPECT_TRUE(Messages().empty());

  Receive(kRecInfo, Bytes(56, 1));
  Receive(kRecDiscStatus, {8, 0, 1, 12, 3});
  EXPECT_TRUE(state.Disc().DiscPresent());
  EXPECT_EQ(state.Disc().track, 3);
  link.open = false;
  state.CheckLink();
  EXPECT_FALSE(state.HaveInfo());
  EXPECT_EQ(state.Status().volume, -800);
  EXPECT_EQ(state.Status().volumeMax, 100);
  EXPECT_EQ(state.Status().volumeStep, 10);
  EXPECT_EQ(state.Status().flags, 0);
  EXPECT_FALSE(state.Disc().DiscPresent());
  EXPECT_EQ(state.Block().header, 0u);
}

}  // namespace
}  // namespace remote::link
