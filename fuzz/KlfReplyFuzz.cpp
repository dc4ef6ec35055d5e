// The KLF310 card's replies as the link puts them together from the stream,
// and the curve read's decoding of a whole one.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "desktop/roomcorrection/KlfReplyAssembler.h"
#include "protocol/klf/KlfMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace pk = protocol::klf;
  using desktop::roomcorrection::KlfReplyAssembler;
  // The first byte picks the piece size, so replies also arrive split.
  const std::size_t piece = size > 0 ? 1 + data[0] % 97 : 1;
  std::span<const std::uint8_t> stream(data, size);
  std::span<const std::uint8_t> rest = stream;
  KlfReplyAssembler assembler;
  std::size_t replyStart = 0;
  std::vector<pk::CurveBin> bins;
  while (!rest.empty()) {
    const auto offered = rest.first(std::min(piece, rest.size()));
    const std::size_t wanted = assembler.Wanted();
    const std::size_t took = assembler.Take(offered);
    if (took > offered.size() || took > wanted) __builtin_trap();
    rest = rest.subspan(took);
    const auto& reply = assembler.Reply();
    if (reply.size() > pk::MessageHeader::kBufferSize) __builtin_trap();
    // What it holds is exactly the stream's bytes since the reply began.
    if (!std::equal(reply.begin(), reply.end(), stream.begin() + replyStart)) __builtin_trap();
    if (assembler.GetState() == KlfReplyAssembler::State::kInvalid) break;  // framing lost
    if (assembler.GetState() == KlfReplyAssembler::State::kComplete) {
      const pk::MessageHeader header = pk::MessageHeader::Decode(reply);
      if (reply.size() != pk::MessageHeader::kSize + header.length) __builtin_trap();
      pk::CurveRange range;
      if (pk::DecodeCurveBins(reply, range, bins) &&
          (range.count > pk::CurveRange::kMaxBins || bins.size() != range.count)) {
        __builtin_trap();
      }
      replyStart += reply.size();
      assembler.Reset();
    } else if (took == 0) {
      __builtin_trap();  // wanting bytes but taking none would spin the link
    }
  }
  return 0;
}
