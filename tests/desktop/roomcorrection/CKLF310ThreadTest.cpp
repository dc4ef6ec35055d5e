// The card update worker in virtual time against a small TCP peer standing in
// for the card: the blocks it sends, the texts it shows, waiting and cancel.
#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <string>
#include <vector>

#include "desktop/firmware/WorkerMessages.h"
#include "desktop/roomcorrection/CKLF310Thread.h"
#include "platform/Bytes.h"
#include "platform/Clock.h"
#include "platform/RecordingTarget.h"
#include "tests/desktop/roomcorrection/TinyKlfPeer.h"
#include "tests/support/WaitFor.h"

namespace desktop::roomcorrection {
namespace {

namespace pk = protocol::klf;
namespace fw = desktop::firmware;
using Bytes = std::vector<std::uint8_t>;
using testing_support::TinyKlfPeer;

// A package list of the head and the card's image: 2 x 1400 + 95 bytes at
// 0x40010000 and 16 bytes at 0x4003FFF0, version V4.000.
struct ImageList {
  ImageList() {
    first.resize(2 * 1400 + 95);
    std::iota(first.begin(), first.end(), std::uint8_t{1});
    second.assign(16, 0xA5);
    segments[1] = {0x4003FFF0, 16, nullptr, second.data()};
    segments[0] = {0x40010000, static_cast<std::uint32_t>(first.size()), &segments[1],
                   first.data()};
    image = {nullptr, fw::kDoloKlf310, 1, 1, 39, 0x0004, 27, 1, 2009, 19, 41, 25, 0, &segments[0]};
    head = {&image, fw::kDoloHead, 1, 0, 0, 0, 27, 1, 2009, 20, 2, 54, 0, nullptr};
    headOnly = head;
    headOnly.next = nullptr;
  }
  Bytes first, second;
  fw::DoloSegment segments[2];
  fw::_DoloPacket image, head, headOnly;
};

TinyKlfPeer::Handler Card(std::uint32_t silentAt = 0) {
  return [silentAt](const Bytes& request) -> std::vector<Bytes> {
    const auto header = pk::MessageHeader::Decode(request);
    if (header.command == pk::command::kWriteBlock && platform::GetU32(request, 4) == silentAt)
      return {};
    const auto bare = pk::EncodeBare(header.command);
    return {Bytes(bare.begin(), bare.end())};
  };
}

std::vector<std::string> Texts(platform::RecordingTarget& owner) {
  std::vector<std::string> texts;
  for (const auto& m : owner.Messages()) {
    if (m.id == fw::WM_WORKER_STATUS) texts.push_back(m.text);
  }
  return texts;
}

std::intptr_t Result(platform::RecordingTarget& owner) {
  const auto messages = owner.Messages();
  EXPECT_FALSE(messages.empty());
  EXPECT_EQ(messages.back().id, fw::WM_WORKER_FINISHED);
  return messages.empty() ? -1 : messages.back().wParam;
}

TEST(CKLF310ThreadTest, UpdateSendsBlocksThatNeverSpanSegments) {
  ImageList list;
  TinyKlfPeer peer(Card());
  platform::VirtualClock clock;
  platform::RecordingTarget owner;
  CKLF310Thread worker(owner, "127.0.0.1", clock, &list.head, peer.Port());
  worker.Resume();
  ASSERT_TRUE(owner.WaitFor(fw::WM_WORKER_FINISHED));
  worker.Join();
  EXPECT_EQ(Result(owner), 1);

  struct Expected {
    std::uint16_t command;
    std::uint32_t address;
    std::uint16_t count;
  };
  const Expected expected[] = {{1, 0, 0},
                               {2, 0, 0},
                               {3, 0x40010000, 1400},
                               {3, 0x40010578, 1400},
                               {3, 0x40010AF0, 96},
                               {3, 0x4003FFF0, 16},
                               {4, 0, 0},
                               {5, 0, 0}};
  const auto requests = peer.Requests();
  ASSERT_EQ(requests.size(), std::size(expected));
  for (std::size_t i = 0; i < requests.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(pk::MessageHeader::Decode(requests[i]).command, expected[i].command);
    if (expected[i].command != pk::command::kWriteBlock) continue;
    EXPECT_EQ(platform::GetU32(requests[i], 4), expected[i].address);
    EXPECT_EQ(platform::GetU16(requests[i], 8), expected[i].count);
    EXPECT_EQ(requests[i].size(), 12u + expected[i].count);
  }
  EXPECT_EQ(requests[4][12 + 94], list.first.back());
  EXPECT_EQ(requests[4][12 + 95], 0xFF);  // padding, not image

  const std::vector<std::string> texts = Texts(owner);
  ASSERT_EQ(texts.size(), 7u);
  EXPECT_EQ(texts[0], "Start of boot software ...");
  EXPECT_EQ(texts[1], "Erasing flash memory ...");
  // No virtual time passes while blocks go out: speed = bytes sent.
  EXPECT_EQ(texts[2], "48%: Download of V4.000 in progress (1400 Bytes/s) ...");
  EXPECT_EQ(texts[3], "96%: Download of V4.000 in progress (2800 Bytes/s) ...");
  EXPECT_EQ(texts[4], "99%: Download of V4.000 in progress (2895 Bytes/s) ...");
  EXPECT_EQ(texts[5], "100%: Download of V4.000 in progress (2911 Bytes/s) ...");
  EXPECT_EQ(texts[6], "Download finished (2911 Bytes/s)!");
  EXPECT_EQ(owner.Messages().front().id, fw::WM_WORKER_STARTED);
  EXPECT_EQ(clock.Milliseconds(), CKLF310Thread::kBootPauseMs);
}

TEST(CKLF310ThreadTest, WaitingShowsEachSecondOnceFromZero) {
  ImageList list;
  platform::VirtualClock clock;
  TinyKlfPeer peer(Card(), [&] { return clock.Milliseconds() >= 3200; });
  platform::RecordingTarget owner;
  CKLF310Thread worker(owner, "127.0.0.1", clock, &list.head, peer.Port());
  worker.Resume();
  ASSERT_TRUE(owner.WaitFor(fw::WM_WORKER_FINISHED));
  worker.Join();
  EXPECT_EQ(Result(owner), 1);

  // The peer opens once virtual time has passed 3.2 s; the worker may spin
  // on a little before it notices, but every second shows exactly once.
  std::vector<std::string> waits;
  for (const std::string& t : Texts(owner)) {
    if (t.starts_with("Trying to connect")) waits.push_back(t);
  }
  ASSERT_GE(waits.size(), 4u);
  for (std::size_t s = 0; s < waits.size(); ++s) {
    EXPECT_EQ(waits[s], "Trying to connect ... (" + std::to_string(s) + " sec)");
  }
}

TEST(CKLF310ThreadTest, CancelWhileWaitingErasesNothing) {
  ImageList list;
  platform::VirtualClock clock;
  TinyKlfPeer peer(Card(), [] { return false; });  // the card never answers
  platform::RecordingTarget owner;
  CKLF310Thread worker(owner, "127.0.0.1", clock, &list.head, peer.Port());
  worker.Resume();
  ASSERT_TRUE(testing_support::WaitFor([&] { return Texts(owner).size() >= 3; }));
  worker.Cancel();
  ASSERT_TRUE(owner.WaitFor(fw::WM_WORKER_FINISHED));
  worker.Join();
  EXPECT_EQ(Result(owner), 0);
  EXPECT_EQ(Texts(owner).back(), "ERROR: Update cancelled!");
  EXPECT_TRUE(peer.Requests().empty());
}

TEST(CKLF310ThreadTest, MissingImageLeavesTheCardRunning) {
  ImageList list;
  TinyKlfPeer peer(Card());
  platform::VirtualClock clock;
  platform::RecordingTarget owner;
  CKLF310Thread worker(owner, "127.0.0.1", clock, &list.headOnly, peer.Port());
  worker.Resume();
  ASSERT_TRUE(owner.WaitFor(fw::WM_WORKER_FINISHED));
  worker.Join();
  EXPECT_EQ(Result(owner), 0);
  EXPECT_EQ(Texts(owner), std::vector<std::string>{"FATAL: Software not found!"});
  EXPECT_TRUE(peer.Requests().empty());  // not even sent to its boot software
}

// A card that does not answer one command: the command is asked again on a
// new connection, then the update ends with the reason that says what
// happened. After a failed block the end and start still go out; an
// unanswered end or start is left to the version the card reports (kUnanswered).
TEST(CKLF310ThreadTest, AnUnansweredCommandIsAskedAgainThenDecidesTheReason) {
  constexpr std::uint32_t kSecondBlock = 0x40010578;
  using R = fw::UpdateReason;
  struct Row {
    const char* name;
    std::uint16_t silentCommand;
    std::uint32_t silentBlock;
    bool wrongCode;  // answers with another command's code instead of none
    R reason;
    std::vector<std::uint16_t> commands;
    int connections;  // each attempt after an unanswered one comes on a new one
    const char* fault;
  } rows[] = {
      {"the erase",
       2,
       0,
       false,
       R::kCardSilent,
       {1, 2, 2, 2},
       4,
       "ERROR: The card did not answer the erase!"},
      {"the erase, answered as another command",
       2,
       0,
       true,
       R::kCardSilent,
       {1, 2, 2, 2},
       4,
       "ERROR: The card did not answer the erase!"},
      {"a block",
       3,
       kSecondBlock,
       false,
       R::kBlockRefused,
       {1, 2, 3, 3, 3, 3, 4, 5},
       5,
       "ERROR: Can't write to device"},
      {"the end of the download",
       4,
       0,
       false,
       R::kUnanswered,
       {1, 2, 3, 3, 3, 3, 4, 4, 4, 5},
       5,
       "ERROR: The card did not confirm the end of the download; its version will tell whether "
       "it took the update"},
      {"the start of the software",
       5,
       0,
       false,
       R::kUnanswered,
       {1, 2, 3, 3, 3, 3, 4, 5, 5, 5},
       4,
       "ERROR: The card did not confirm the start of its software; its version will tell "
       "whether it took the update"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ImageList list;
    TinyKlfPeer peer([&row](const Bytes& request) -> std::vector<Bytes> {
      const auto header = pk::MessageHeader::Decode(request);
      const bool silent = header.command == row.silentCommand &&
                          (row.silentBlock == 0 || platform::GetU32(request, 4) == row.silentBlock);
      const auto bare = pk::EncodeBare(silent && row.wrongCode ? std::uint16_t{4} : header.command);
      if (silent && !row.wrongCode) return {};
      return {Bytes(bare.begin(), bare.end())};
    });
    platform::VirtualClock clock;
    platform::RecordingTarget owner;
    CKLF310Thread worker(owner, "127.0.0.1", clock, &list.head, peer.Port());
    worker.SetLinkTimeouts(2000, 200);
    worker.Resume();
    ASSERT_TRUE(owner.WaitFor(fw::WM_WORKER_FINISHED));
    worker.Join();
    const auto messages = owner.Messages();
    EXPECT_EQ(Result(owner), 0);
    EXPECT_EQ(messages.back().lParam, static_cast<std::intptr_t>(row.reason));

    std::vector<std::uint16_t> commands;
    for (const Bytes& r : peer.Requests()) commands.push_back(pk::MessageHeader::Decode(r).command);
    EXPECT_EQ(commands, row.commands);
    EXPECT_EQ(peer.Connections(), row.connections);

    std::vector<std::string> faults;
    std::vector<std::intptr_t> unsafe;
    for (const auto& m : messages) {
      if (m.id == fw::WM_WORKER_UNSAFE) unsafe.push_back(m.wParam);
      if (m.id == fw::WM_WORKER_STATUS && fw::StatusKindOf(m.lParam) == fw::StatusKind::kFault) {
        faults.push_back(m.text);
        EXPECT_EQ(fw::StatusFaultOf(m.lParam), row.reason);
      }
    }
    EXPECT_EQ(faults, std::vector<std::string>{row.fault}) << "one line for the failure";
    EXPECT_EQ(unsafe, (std::vector<std::intptr_t>{1, 0})) << "from the erase to the end";
  }
}

}  // namespace
}  // namespace desktop::roomcorrection
