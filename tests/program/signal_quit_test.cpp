// SIGTERM, SIGINT and SIGHUP reach the event loop as calls, one per signal,
// and the earlier handlers come back afterwards.

#include "program/signal_quit.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <system_error>
#include <vector>

#include <signal.h>

namespace tagsmith {
namespace {

extern "C" void EarlierHandler(int) {}

std::vector<int> WaitForSignals(std::vector<int>& got, size_t count) {
  QElapsedTimer clock;
  clock.start();
  while (got.size() < count && clock.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  return got;
}

TEST(SignalQuit, EachSignalBecomesOneCallInTheEventLoop) {
  struct sigaction earlier {};
  earlier.sa_handler = EarlierHandler;
  sigemptyset(&earlier.sa_mask);
  struct sigaction saved[3];
  const int quitSignals[] = {SIGTERM, SIGINT, SIGHUP};
  for (int i = 0; i < 3; ++i) sigaction(quitSignals[i], &earlier, &saved[i]);
  {
    std::vector<int> got;
    TSignalQuit watch([&](int s) { got.push_back(s); });
    raise(SIGTERM);
    raise(SIGINT);
    raise(SIGHUP);
    EXPECT_TRUE(got.empty()) << "nothing runs inside the signal handler";
    EXPECT_EQ(WaitForSignals(got, 3), (std::vector<int>{SIGTERM, SIGINT, SIGHUP}));
    EXPECT_THROW(TSignalQuit([](int) {}), std::system_error) << "one watch at a time";
  }
  for (int i = 0; i < 3; ++i) {
    struct sigaction now {};
    sigaction(quitSignals[i], nullptr, &now);
    EXPECT_EQ(now.sa_handler, &EarlierHandler) << quitSignals[i];
    sigaction(quitSignals[i], &saved[i], nullptr);
  }
  // A new watch after the first one ended works again.
  std::vector<int> got;
  TSignalQuit again([&](int s) { got.push_back(s); }, {SIGUSR1});
  raise(SIGUSR1);
  EXPECT_EQ(WaitForSignals(got, 1), std::vector<int>{SIGUSR1});
}

}  // namespace
}  // namespace tagsmith
