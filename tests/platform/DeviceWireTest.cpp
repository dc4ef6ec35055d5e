#include <gtest/gtest.h>

#include "platform/DeviceWire.h"

namespace platform::wire {
namespace {

TEST(DeviceWireTest, RequestAndReplyRoundTrip) {
  const std::vector<std::uint8_t> input = {2, 0, 0, 0, 0, 0};
  const auto bytes = EncodeRequest(0x226000, input, 64);
  Request request;
  std::size_t consumed = 0;
  ASSERT_EQ(DecodeRequest(bytes, request, consumed), ParseResult::kComplete);
  EXPECT_EQ(consumed, bytes.size());
  EXPECT_EQ(request.code, 0x226000u);
  EXPECT_EQ(request.outCapacity, 64);
  EXPECT_EQ(request.input, input);

  const std::vector<std::uint8_t> output(64, 7);
  const auto replyBytes = EncodeReply(true, output);
  Reply reply;
  ASSERT_EQ(DecodeReply(replyBytes, 64, reply, consumed), ParseResult::kComplete);
  EXPECT_TRUE(reply.success);
  EXPECT_EQ(reply.output, output);
}

TEST(DeviceWireTest, EveryPrefixIsIncompleteAndBadHeadersAreInvalid) {
  const auto request = EncodeRequest(1, std::vector<std::uint8_t>(10, 1), 64);
  Request r;
  std::size_t consumed = 0;
  for (std::size_t n = 0; n < request.size(); ++n) {
    ASSERT_EQ(DecodeRequest(std::span(request).first(n), r, consumed), ParseResult::kIncomplete)
        << n;
  }

  struct Row {
    const char* name;
    std::vector<std::uint8_t> bytes;
  } rows[] = {
      {"wrong magic", {'X', 'R', 'X', 'Q', 0, 0, 0, 0, 0, 0, 0, 0}},
      {"wrong first byte alone", {'Z'}},
      {"input too long", {'M', 'R', 'X', 'Q', 0, 0, 0, 0, 0xFF, 0xFF, 0, 0}},
      {"capacity too large", {'M', 'R', 'X', 'Q', 0, 0, 0, 0, 0, 0, 0x01, 0x10}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(DecodeRequest(row.bytes, r, consumed), ParseResult::kInvalid);
  }
}

TEST(DeviceWireTest, ReplyLongerThanTheCallersBufferIsInvalid) {
  Reply reply;
  std::size_t consumed = 0;
  const auto bytes = EncodeReply(true, std::vector<std::uint8_t>(64, 1));
  EXPECT_EQ(DecodeReply(bytes, 10, reply, consumed), ParseResult::kInvalid);
  auto badResult = EncodeReply(true, {});
  badResult[4] = 2;
  EXPECT_EQ(DecodeReply(badResult, 64, reply, consumed), ParseResult::kInvalid);
}

}  // namespace
}  // namespace platform::wire
