#include "platform/sync_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace tagsmith {
namespace {

using namespace std::chrono_literals;

// A static initialiser of another file may reach the main queue before the
// queue's own file has been initialised.
const bool kMainThreadDuringStaticInit = SyncQueue::Main().IsMainThread();

TEST(SyncQueue, MainQueueReachedDuringStaticInitialisationKnowsTheMainThread) {
  EXPECT_TRUE(kMainThreadDuringStaticInit);
  EXPECT_TRUE(SyncQueue::Main().IsMainThread());
}

TEST(SyncQueue, WorkerStepRunsOnTheMainThreadWhileTheWorkerWaits) {
  SyncQueue queue;  // its main thread is this test's thread
  std::thread::id ranOn;
  std::atomic<bool> workerDone{false};
  std::thread worker([&] {
    queue.Synchronize([&] { ranOn = std::this_thread::get_id(); });
    workerDone = true;
    queue.Wake();
  });
  queue.ServeUntil([&] { return workerDone.load(); });
  worker.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(SyncQueue, ExceptionOfAStepIsRethrownInTheWorker) {
  SyncQueue queue;
  std::string caught;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    try {
      queue.Synchronize([] { throw std::runtime_error("step failed"); });
    } catch (const std::runtime_error& e) {
      caught = e.what();
    }
    done = true;
    queue.Wake();
  });
  queue.ServeUntil([&] { return done.load(); });
  worker.join();
  EXPECT_EQ(caught, "step failed");
}

TEST(SyncQueue, StepOnTheMainThreadRunsAtOnce) {
  SyncQueue queue;
  int runs = 0;
  queue.Synchronize([&] { ++runs; });
  EXPECT_EQ(runs, 1);
  EXPECT_FALSE(queue.CheckSynchronize());
}

TEST(SyncQueue, ManyWorkersAreServedInTurn) {
  SyncQueue queue;
  int counter = 0;  // touched only on the main thread
  std::atomic<int> finished{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < 4; ++w)
    workers.emplace_back([&] {
      for (int i = 0; i < 250; ++i) queue.Synchronize([&] { ++counter; });
      ++finished;
      queue.Wake();
    });
  queue.ServeUntil([&] { return finished.load() == 4; });
  for (auto& t : workers) t.join();
  EXPECT_EQ(counter, 1000);
}

TEST(SyncQueue, CheckSynchronizeWaitsForAStepUpToItsTimeOut) {
  SyncQueue queue;
  EXPECT_FALSE(queue.CheckSynchronize(20ms));
  bool ran = false;
  std::thread worker([&] { queue.Synchronize([&] { ran = true; }); });
  while (!queue.CheckSynchronize(1000ms)) {
  }
  worker.join();
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace tagsmith
