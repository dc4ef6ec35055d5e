// The card link against a small TCP peer on loopback: the message split of a
// curve transfer, reply reassembly over several segments, and the replies
// that must fail the exchange.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <vector>

#include "desktop/roomcorrection/KlfLink.h"
#include "platform/Bytes.h"
#include "protocol/klf/KlfMessage.h"
#include "tests/desktop/roomcorrection/TinyKlfPeer.h"

namespace desktop::roomcorrection {
namespace {

namespace pk = protocol::klf;
using Bytes = std::vector<std::uint8_t>;
using testing_support::TinyKlfPeer;

pk::CurveBin BinFor(std::size_t k) {
  pk::CurveBin bin;
  bin.amplitude = static_cast<std::int8_t>(static_cast<int>(k % 200) - 100);
  bin.phase = static_cast<std::int16_t>(static_cast<int>(k) - 1024);
  bin.roomLevel = {static_cast<std::uint16_t>(k % 1021), 1, 2, 3};
  return bin;
}

std::vector<Bytes> Split(const Bytes& message, std::size_t piece) {
  if (piece == 0) return {message};
  std::vector<Bytes> pieces;
  for (std::size_t at = 0; at < message.size(); at += piece) {
    const auto end = std::min(message.size(), at + piece);
    pieces.emplace_back(message.begin() + static_cast<std::ptrdiff_t>(at),
                        message.begin() + static_cast<std::ptrdiff_t>(end));
  }
  return pieces;
}

// A card that answers reads with BinFor(k), in pieces of `piece` bytes
// (0: one send), after `tamper` has had its way with the reply's range;
// everything else gets a bare reply.
TinyKlfPeer::Handler CurveCard(std::size_t piece,
                               std::function<void(pk::CurveRange&)> tamper = {}) {
  return [piece, tamper](const Bytes& request) -> std::vector<Bytes> {
    const auto header = pk::MessageHeader::Decode(request);
    if (header.command != pk::command::kReadCurve) {
      const auto bare = pk::EncodeBare(header.command);
      return {Bytes(bare.begin(), bare.end())};
    }
    pk::CurveRange range = pk::CurveRange::Decode(std::span(request).subspan(4));
    std::vector<pk::CurveBin> bins;
    for (std::size_t i = 0; i < range.count; ++i) bins.push_back(BinFor(range.firstBin + i));
    if (tamper) tamper(range);
    return Split(pk::EncodeCurveReply(range, bins), piece);
  };
}

KlfLink& Connected(KlfLink& link, const TinyKlfPeer& peer) {
  link.SetTimeouts(2000, 2000);
  EXPECT_TRUE(link.Connect("127.0.0.1", peer.Port()));
  return link;
}

TEST(KlfLinkTest, WholeCurveReadIsThirteenRequestsReassembledFromPieces) {
  for (std::size_t piece : {std::size_t{0}, std::size_t{1}, std::size_t{5}, std::size_t{700}}) {
    SCOPED_TRACE(piece);
    TinyKlfPeer peer(CurveCard(piece));
    KlfLink link;
    std::vector<pk::CurveBin> bins(pk::CurveBin::kBinCount);
    ASSERT_TRUE(Connected(link, peer).ReadCurve(7, 0, bins));
    for (std::size_t k = 0; k < bins.size(); ++k) ASSERT_EQ(bins[k], BinFor(k)) << "bin " << k;

    const auto requests = peer.Requests();
    ASSERT_EQ(requests.size(), 13u);
    for (std::size_t i = 0; i < requests.size(); ++i) {
      const auto range = pk::CurveRange::Decode(std::span(requests[i]).subspan(4));
      EXPECT_EQ(requests[i].size(), 12u);
      EXPECT_EQ(range.channel, 7);
      EXPECT_EQ(range.count, i < 12 ? 160 : 128);
      EXPECT_EQ(range.firstBin, i * 160);
    }
  }
}

TEST(KlfLinkTest, WholeCurveWriteIsThirteenFullMessagesLastOneClosing) {
  TinyKlfPeer peer(CurveCard(0));
  KlfLink link;
  std::vector<pk::CurveBin> bins;
  for (std::size_t k = 0; k < pk::CurveBin::kBinCount; ++k) bins.push_back(BinFor(k));
  ASSERT_TRUE(Connected(link, peer).WriteCurve(2, 0, bins));

  const auto requests = peer.Requests();
  ASSERT_EQ(requests.size(), 13u);
  std::vector<pk::CurveBin> seen;
  for (std::size_t i = 0; i < requests.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(requests[i].size(), 1292u);
    EXPECT_EQ(platform::GetU16(requests[i], 2), 1288);
    pk::CurveRange range;
    std::vector<pk::CurveBin> part;
    ASSERT_TRUE(pk::DecodeCurveBins(requests[i], range, part));
    EXPECT_EQ(range.flags, i == 12 ? 0x01CF : 0x00CF);
    EXPECT_EQ(range.firstBin, i * 160);
    seen.insert(seen.end(), part.begin(), part.end());
  }
  EXPECT_EQ(seen, bins);
}

TEST(KlfLinkTest, RepliesThatFailTheTransfer) {
  struct Case {
    const char* name;
    std::function<std::vector<Bytes>(const Bytes&)> handler;
  };
  const Case cases[] = {
      {"count differs",
       CurveCard(0, [](pk::CurveRange& r) { r.count = static_cast<std::uint16_t>(r.count - 1); })},
      {"first bin differs",
       CurveCard(
           0, [](pk::CurveRange& r) { r.firstBin = static_cast<std::uint16_t>(r.firstBin + 1); })},
      {"declares more than the buffer",
       [](const Bytes&) {
         return std::vector<Bytes>{{0x12, 0x00, 0x81, 0x05}, Bytes(1409, 0)};
       }},
      {"closes mid-reply",
       [](const Bytes&) {
         return std::vector<Bytes>{{0x12, 0x00, 0x08}};
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TinyKlfPeer peer(c.handler);
    KlfLink link;
    link.SetTimeouts(2000, 300);
    std::vector<pk::CurveBin> bins(pk::CurveBin::kBinCount);
    ASSERT_TRUE(link.Connect("127.0.0.1", peer.Port()));
    EXPECT_FALSE(link.ReadCurve(0, 0, bins));
    EXPECT_FALSE(link.IsOpen());  // the stream is out of step: never reused
  }
}

// The card answers one request with two replies in one send, so both arrive
// in one read. The first must not be taken whole with unasked bytes behind it,
// nor those bytes kept to pass for the next request's answer.
TEST(KlfLinkTest, BytesBehindAWholeReplyFailTheExchange) {
  TinyKlfPeer peer([](const Bytes& request) {
    const auto header = pk::MessageHeader::Decode(request);
    const auto bare = pk::EncodeBare(header.command);
    Bytes twice(bare.begin(), bare.end());
    twice.insert(twice.end(), bare.begin(), bare.end());
    return std::vector<Bytes>{twice};
  });
  KlfLink link;
  std::vector<std::uint8_t> reply;
  EXPECT_FALSE(Connected(link, peer).Exchange(pk::EncodeBare(pk::command::kStartSoftware), reply));
  EXPECT_TRUE(reply.empty());
  EXPECT_FALSE(link.IsOpen());
}

TEST(KlfLinkTest, BinsBeforeAFailedMessageStay) {
  TinyKlfPeer peer(CurveCard(0, [](pk::CurveRange& r) {
    if (r.firstBin == 320) r.count = 1;
  }));
  KlfLink link;
  std::vector<pk::CurveBin> bins(pk::CurveBin::kBinCount);
  EXPECT_FALSE(Connected(link, peer).ReadCurve(0, 0, bins));
  EXPECT_EQ(bins[319], BinFor(319));
  EXPECT_EQ(bins[320], pk::CurveBin{});
  EXPECT_EQ(peer.Requests().size(), 3u);
}

TEST(KlfLinkTest, SilentCardTimesOutWithinTheLimit) {
  // Answers the start command only; silent to everything else.
  TinyKlfPeer peer([](const Bytes& request) {
    const auto header = pk::MessageHeader::Decode(request);
    if (header.command != pk::command::kStartSoftware) return std::vector<Bytes>{};
    const auto bare = pk::EncodeBare(header.command);
    return std::vector<Bytes>{Bytes(bare.begin(), bare.end())};
  });
  struct Case {
    const char* name;
    int earlierLimitMs;  // 0: the silent exchange is the first
  };
  // An earlier exchange under a longer limit must not stretch a later one.
  const Case cases[] = {{"first exchange", 0}, {"after one under a longer limit", 5000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    KlfLink link;
    std::vector<std::uint8_t> reply;
    if (c.earlierLimitMs != 0) {
      link.SetTimeouts(2000, c.earlierLimitMs);
      ASSERT_TRUE(link.Connect("127.0.0.1", peer.Port()));
      ASSERT_TRUE(link.Exchange(pk::EncodeBare(pk::command::kStartSoftware), reply));
    }
    link.SetTimeouts(2000, 200);
    ASSERT_TRUE(link.Connect("127.0.0.1", peer.Port()));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(link.Exchange(pk::EncodeBare(pk::command::kEraseFlash), reply));
    const auto took = std::chrono::steady_clock::now() - start;
    // It waits out its limit, give or take the kernel's timer ticks, and
    // far less than the earlier limit.
    EXPECT_GE(took, std::chrono::milliseconds(150));
    EXPECT_LT(took, std::chrono::milliseconds(2000));
    EXPECT_FALSE(link.IsOpen());
    EXPECT_TRUE(reply.empty());
  }
}

TEST(KlfLinkTest, ConnectKeepsAnOpenConnectionAndRefusalFails) {
  TinyKlfPeer peer(CurveCard(0));
  KlfLink link;
  ASSERT_TRUE(Connected(link, peer).Connect("127.0.0.1", peer.Port()));
  std::vector<std::uint8_t> reply;
  ASSERT_TRUE(link.Exchange(pk::EncodeBare(pk::command::kStartSoftware), reply));
  EXPECT_EQ(peer.Connections(), 1);
  link.Close();
  EXPECT_FALSE(link.IsOpen());

  KlfLink refused;
  refused.SetTimeouts(500, 500);
  const std::uint16_t port = peer.Port();
  // A port nobody listens on, next to the peer's.
  EXPECT_FALSE(
      refused.Connect("127.0.0.1", static_cast<std::uint16_t>(port == 65535 ? 1 : port + 1)));
  EXPECT_FALSE(refused.Connect("not an address", 4010));
}

TEST(KlfLinkTest, ProcessLinkFunctionsShareOneConnection) {
  TinyKlfPeer peer(CurveCard(3));
  ASSERT_TRUE(KlfConnect("127.0.0.1", peer.Port()));
  ASSERT_TRUE(KlfConnect("127.0.0.1", peer.Port()));
  std::vector<pk::CurveBin> bins(200);
  EXPECT_TRUE(KlfReadCurve(1, 100, 200, bins));
  EXPECT_EQ(bins[0], BinFor(100));
  EXPECT_TRUE(KlfWriteCurve(1, 100, 200, bins));
  EXPECT_FALSE(KlfReadCurve(1, 0, 300, bins));  // more than the buffer holds
  KlfClose();
  EXPECT_EQ(peer.Connections(), 1);
  EXPECT_FALSE(KlfProcessLink().IsOpen());
}

}  // namespace
}  // namespace desktop::roomcorrection
