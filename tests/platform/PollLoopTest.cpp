#include <gtest/gtest.h>
#include <sys/socket.h>

#include <thread>

#include "platform/PollLoop.h"
#include "platform/UniqueFd.h"

namespace {

using platform::PollLoop;
using platform::UniqueFd;

struct SocketPair {
  UniqueFd a, b;
  SocketPair() {
    int fds[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    a.Reset(fds[0]);
    b.Reset(fds[1]);
  }
};

TEST(UniqueFdTest, ClosesOnceAndMovesOwnership) {
  SocketPair pair;
  const int raw = pair.a.Get();
  UniqueFd moved = std::move(pair.a);
  EXPECT_FALSE(pair.a.Valid());
  EXPECT_EQ(moved.Get(), raw);
  moved.Reset();
  // The peer sees the end once the only owner has gone.
  char byte;
  EXPECT_EQ(recv(pair.b.Get(), &byte, 1, 0), 0);
}

// A stop from another thread ends a loop that waits without a time limit, at
// any interleaving: run many times so a lost wake-up would hang the test.
TEST(PollLoopTest, StopFromAnotherThreadIsNeverLost) {
  for (int i = 0; i < 500; ++i) {
    PollLoop loop;
    ASSERT_TRUE(loop.Valid());
    std::thread stopper([&] { loop.Stop(); });
    loop.Run(-1);
    stopper.join();
    EXPECT_TRUE(loop.Stopping());
  }
}

TEST(PollLoopTest, RunsHandlersAndLetsThemUnwatchThemselves) {
  PollLoop loop;
  SocketPair pair;
  int calls = 0;
  loop.Watch(pair.a.Get(), POLLIN, [&](short revents) {
    EXPECT_TRUE(revents & POLLIN);
    ++calls;
    loop.Unwatch(pair.a.Get());
  });
  ASSERT_EQ(send(pair.b.Get(), "x", 1, 0), 1);
  EXPECT_TRUE(loop.RunOnce(1000));
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(loop.Watching(pair.a.Get()));
  // Nothing watched any more: the data still waiting wakes no handler.
  EXPECT_TRUE(loop.RunOnce(0));
  EXPECT_EQ(calls, 1);
}

TEST(PollLoopTest, TickRunsWhenNothingHappens) {
  PollLoop loop;
  int ticks = 0;
  loop.Run(1, [&] {
    if (++ticks == 3) loop.Stop();
  });
  EXPECT_EQ(ticks, 3);
}

}  // namespace
