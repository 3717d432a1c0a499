// Stop signals: recorded once, interrupt a wait, blocked in workers.

#include <gtest/gtest.h>
#include <errno.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "os/stop_signals.h"

namespace {

TEST(OsStopSignalsTest, KindsOfSignals) {
  EXPECT_EQ(osStopKind(SIGTERM), OS_STOP_SERVICE);
  EXPECT_EQ(osStopKind(SIGINT), OS_STOP_CONSOLE);
  EXPECT_EQ(osStopKind(SIGHUP), OS_STOP_CLOSE);
  EXPECT_EQ(osStopKind(SIGUSR1), OS_STOP_NONE);
  EXPECT_EQ(osStopKind(0), OS_STOP_NONE);
}

TEST(OsStopSignalsTest, FirstSignalIsKeptUntilCleared) {
  ASSERT_EQ(osInstallStopSignals(), 1);
  osClearStopSignal();
  EXPECT_EQ(osStopSignal(), 0);
  for (int number : {SIGTERM, SIGINT, SIGHUP}) {
    osClearStopSignal();
    ASSERT_EQ(raise(number), 0);
    EXPECT_EQ(osStopSignal(), number);
  }
  osClearStopSignal();
  raise(SIGINT);
  raise(SIGTERM);
  EXPECT_EQ(osStopSignal(), SIGINT);
  osClearStopSignal();
  // SIGPIPE is ignored: the process survives it.
  ASSERT_EQ(raise(SIGPIPE), 0);
  EXPECT_EQ(osStopSignal(), 0);
}

TEST(OsStopSignalsTest, SignalInterruptsAWaitInTheWatchingThread) {
  ASSERT_EQ(osInstallStopSignals(), 1);
  osClearStopSignal();
  // The helper thread blocks the signals, so a signal sent to the process
  // can only land in this thread and wake its poll().
  // It keeps sending until the wait has ended, since the first signal may
  // come before this thread is inside poll().
  std::atomic<bool> done{false};
  std::thread sender([&] {
    osBlockStopSignals();
    while (!done) {
      kill(getpid(), SIGTERM);
      usleep(10000);
    }
  });
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  struct pollfd p = {fds[0], POLLIN, 0};
  int rc = poll(&p, 1, 10000);
  int err = errno;
  done = true;
  sender.join();
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(err, EINTR);
  EXPECT_EQ(osStopSignal(), SIGTERM);
  osClearStopSignal();
  close(fds[0]);
  close(fds[1]);
}

}  // namespace
