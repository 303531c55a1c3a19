#include "platform/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace tagsmith {
namespace {

using namespace std::chrono_literals;

TEST(Event, AutoResetReleasesOneWaiterPerSet) {
  Event ev(Event::Mode::AutoReset);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i)
    waiters.emplace_back([&] {
      if (ev.WaitFor(2000ms)) ++released;
    });
  ev.Set();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(released.load(), 1);
  // A Set on an event that is still set is not counted twice, as on Windows:
  // give each Set its own waiter.
  ev.Set();
  while (released.load() < 2) std::this_thread::sleep_for(1ms);
  ev.Set();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(released.load(), 3);
  EXPECT_FALSE(ev.IsSet());
}

TEST(Event, ManualResetStaysSetUntilReset) {
  Event ev(Event::Mode::ManualReset);
  EXPECT_FALSE(ev.WaitFor(10ms));
  ev.Set();
  EXPECT_TRUE(ev.WaitFor(0ms));
  EXPECT_TRUE(ev.WaitFor(0ms));
  ev.Reset();
  EXPECT_FALSE(ev.WaitFor(0ms));
}

}  // namespace
}  // namespace tagsmith
