#include <gtest/gtest.h>

#include <vector>

#include "protocol/remote/Crc16.h"
#include "protocol/remote/FrameAssembler.h"
#include "protocol/remote/RemoteFrame.h"
#include "protocol/remote/RemoteProtocol.h"

namespace protocol::remote {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Frame(std::uint16_t command, Bytes payload = {}) {
  return RemoteFrame{command, 0, std::move(payload)}.Encode();
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The frames a stream yields, fed in one chunk or byte by byte.
struct AssemblyCase {
  const char* name;
  Bytes stream;
  std::vector<Bytes> frames;
};

std::vector<AssemblyCase> AssemblyCases() {
  const Bytes status = Frame(31, Bytes(44, 7));
  const Bytes ack = Frame(1);
  Bytes badCrc = Frame(31, Bytes(44, 7));
  badCrc.back() ^= 0xFF;
  // A length above 774 closes at 784 bytes; its CRC cannot be right.
  Bytes overlong = {0x90, 0x08, 0xE8, 0x03, 31, 0, 0, 0};
  overlong.resize(kMaxFrame, 0x55);
  // The same, with its last two bytes chosen so the CRC does check: still dropped.
  Bytes overlongGoodCrc = overlong;
  const std::uint16_t crc = Crc16(std::span(overlongGoodCrc).first(kMaxFrame - 2));
  overlongGoodCrc[kMaxFrame - 2] = static_cast<std::uint8_t>(crc >> 8);
  overlongGoodCrc[kMaxFrame - 1] = static_cast<std::uint8_t>(crc);
  // The empty request 0x80 as a unit would send it, typed out (CRC BF 9E).
  const Bytes literal = {0x90, 0x08, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0xBF, 0x9E};
  return {
      {"LiteralEmptyRequest", literal, {literal}},
      {"OneFrame", status, {status}},
      {"EmptyRequestFrame", Frame(0x80), {Frame(0x80)}},
      {"GarbageAroundFrames",
       Concat({{1, 2, 0x08, 0xFF}, status, {0x00, 0x90}, {0x00}, ack}),
       {status, ack}},
      {"DoubleMagicByteDropsTheSequence", Concat({{0x90}, status}), {}},
      {"DoubleMagicThenARealFrame", Concat({{0x90}, status, ack}), {ack}},
      {"BadCrcDropped", Concat({badCrc, ack}), {ack}},
      {"OverlongClosesAt784", Concat({overlong, ack}), {ack}},
      {"OverlongWithCheckingCrcStillDropped", Concat({overlongGoodCrc, ack}), {ack}},
      {"LargestFrame", Frame(60, Bytes(kMaxPayload, 3)), {Frame(60, Bytes(kMaxPayload, 3))}},
  };
}

TEST(FrameAssemblerTest, FindsExactlyTheGoodFrames) {
  for (const AssemblyCase& c : AssemblyCases()) {
    SCOPED_TRACE(c.name);
    for (const bool byteWise : {false, true}) {
      SCOPED_TRACE(byteWise ? "byte by byte" : "one chunk");
      FrameAssembler assembler;
      std::vector<Bytes> got;
      auto deliver = [&](std::span<const std::uint8_t> f) { got.emplace_back(f.begin(), f.end()); };
      if (byteWise) {
        for (std::uint8_t b : c.stream) assembler.Feed(std::span(&b, 1), 0, deliver);
      } else {
        assembler.Feed(c.stream, 0, deliver);
      }
      EXPECT_EQ(got, c.frames);
    }
  }
}

TEST(FrameAssemblerTest, PartialFramesAreAbandonedByTimeAndByAnEmptyChunk) {
  const Bytes frame = Frame(31, Bytes(44, 1));
  const auto head = std::span(frame).first(20);
  const auto tail = std::span(frame).subspan(20);
  int delivered = 0;
  auto deliver = [&](std::span<const std::uint8_t>) { ++delivered; };

  FrameAssembler assembler;
  assembler.Feed(head, 1000, deliver);
  assembler.Feed(tail, 1500, deliver);  // 500 ms is still in time
  EXPECT_EQ(delivered, 1);

  assembler.Feed(head, 2000, deliver);
  assembler.Feed(Bytes{0x00}, 2501, deliver);  // the check after this chunk abandons it
  EXPECT_EQ(assembler.Count(), 0u);
  assembler.Feed(tail, 2502, deliver);
  EXPECT_EQ(delivered, 1);

  assembler.Feed(head, 3000, deliver);
  assembler.Feed({}, 3000, deliver);
  assembler.Feed(tail, 3000, deliver);
  EXPECT_EQ(delivered, 1);
  assembler.Feed(frame, 3000, deliver);
  EXPECT_EQ(delivered, 2);
}

}  // namespace
}  // namespace protocol::remote
