#include <gtest/gtest.h>

#include <thread>

#include "platform/MessageTarget.h"

namespace platform {
namespace {

TEST(QueueTargetTest, SendWaitsUntilTheOwnerHandledIt) {
  QueueTarget target;
  std::atomic<bool> sent{false};
  std::thread worker([&] {
    target.Post({1, 10, "posted", {}});
    target.Send({2, 20, "sent", {}});
    sent = true;
  });
  std::vector<std::uint32_t> handled;
  while (handled.size() < 2) {
    target.WaitForMessage(1000);
    EXPECT_FALSE(sent && handled.size() < 2) << "Send returned before its message was handled";
    target.Drain([&](const Message& m) { handled.push_back(m.id); });
  }
  worker.join();
  EXPECT_TRUE(sent);
  EXPECT_EQ(handled, (std::vector<std::uint32_t>{1, 2}));
}

}  // namespace
}  // namespace platform
