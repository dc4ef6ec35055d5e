// One reply put together from the pieces a stream delivers, whatever their
// cut, and the headers that lose the framing.
#include <gtest/gtest.h>

#include <vector>

#include "desktop/roomcorrection/KlfReplyAssembler.h"

namespace desktop::roomcorrection {
namespace {

using Bytes = std::vector<std::uint8_t>;
using State = KlfReplyAssembler::State;

// Command 0x12 with 8 payload bytes, then the first bytes of the next reply.
const Bytes kReplyThenMore = {0x12, 0x00, 0x08, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 0x03, 0x00};

// Feeds `stream` in pieces of `piece` bytes until the reply is done; returns
// the bytes it took.
std::size_t Feed(KlfReplyAssembler& a, const Bytes& stream, std::size_t piece) {
  std::size_t at = 0;
  while (a.GetState() == State::kNeedMore && at < stream.size()) {
    const std::size_t n = std::min(piece, stream.size() - at);
    const std::size_t took = a.Take(std::span(stream).subspan(at, n));
    EXPECT_LE(took, n);
    at += took;
    if (took == 0) break;
  }
  return at;
}

TEST(KlfReplyAssemblerTest, WholeReplyWhateverTheCut) {
  for (std::size_t piece : {1u, 2u, 3u, 5u, 12u, 64u}) {
    KlfReplyAssembler a;
    EXPECT_EQ(a.Wanted(), 4u) << "the header first";
    const std::size_t took = Feed(a, kReplyThenMore, piece);
    EXPECT_EQ(a.GetState(), State::kComplete) << "pieces of " << piece;
    EXPECT_EQ(took, 12u) << "the next reply's bytes stay unread, pieces of " << piece;
    EXPECT_EQ(a.Reply(), Bytes(kReplyThenMore.begin(), kReplyThenMore.begin() + 12));
    EXPECT_EQ(a.Wanted(), 0u);
  }
}

TEST(KlfReplyAssemblerTest, HeaderDecidesSizeAndValidity) {
  struct Case {
    const char* name;
    Bytes header;
    State state;
    std::size_t wantedAfter;
  };
  const Case cases[] = {
      {"a bare reply is whole with its header", {0x03, 0x00, 0x00, 0x00}, State::kComplete, 0},
      {"the largest payload the buffer holds", {0x12, 0x00, 0x80, 0x05}, State::kNeedMore, 1408},
      {"one byte more than the buffer holds", {0x12, 0x00, 0x81, 0x05}, State::kInvalid, 0},
      {"a length near the top of 16 bits", {0x12, 0x00, 0xFF, 0xFF}, State::kInvalid, 0},
  };
  for (const Case& c : cases) {
    KlfReplyAssembler a;
    EXPECT_EQ(a.Take(c.header), 4u) << c.name;
    EXPECT_EQ(a.GetState(), c.state) << c.name;
    EXPECT_EQ(a.Wanted(), c.wantedAfter) << c.name;
    // Nothing more is taken once the reply is done or lost.
    if (c.state != State::kNeedMore) {
      EXPECT_EQ(a.Take(kReplyThenMore), 0u) << c.name;
    }
  }
}

TEST(KlfReplyAssemblerTest, ResetStartsTheNextReply) {
  KlfReplyAssembler a;
  a.Take(Bytes{0x12, 0x00, 0xFF, 0xFF});
  ASSERT_EQ(a.GetState(), State::kInvalid);
  a.Reset();
  EXPECT_EQ(Feed(a, kReplyThenMore, 7), 12u);
  EXPECT_EQ(a.GetState(), State::kComplete);
  EXPECT_EQ(a.Reply().size(), 12u);
}

}  // namespace
}  // namespace desktop::roomcorrection
