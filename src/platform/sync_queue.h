#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace tagsmith {

// The thread-synchronize mechanism: a worker hands a step to the main thread
// and waits until the main thread has run it. Steps that touch documents,
// settings, temporary files, the translator or event receivers go through here.
//
// The main thread runs pending steps in CheckSynchronize (the Qt event loop
// calls it when woken; tests and command-line tools call it themselves). Any
// main-thread wait for a worker must use ServeUntil so that a worker blocked
// in Synchronize can finish.
class SyncQueue {
 public:
  // The process's queue. Its main thread is the thread that loaded the
  // program, unless SetMainThread names another.
  static SyncQueue& Main();

  SyncQueue();
  SyncQueue(const SyncQueue&) = delete;
  SyncQueue& operator=(const SyncQueue&) = delete;

  void SetMainThread(std::thread::id id);
  bool IsMainThread() const;

  // Called (from the worker) after a step was queued; the event loop uses it to
  // schedule CheckSynchronize. May be empty.
  void SetWakeUpHandler(std::function<void()> handler);

  // Any thread. On the main thread the step runs at once. Elsewhere the step
  // is queued and the caller blocks until the main thread ran it; an exception
  // thrown by the step is rethrown here.
  void Synchronize(const std::function<void()>& step);

  // Main thread only. Runs every pending step; waits up to `timeout` for one
  // when none is pending. Returns true when at least one step ran.
  bool CheckSynchronize(std::chrono::milliseconds timeout = std::chrono::milliseconds(0));

  // Main thread only. Serves steps until `done` returns true. `done` is
  // re-checked after every step and whenever Wake is called; workers call
  // Wake when they finish so that the wait ends without polling.
  void ServeUntil(const std::function<bool()>& done);

  // Any thread: wakes a main thread waiting in CheckSynchronize or ServeUntil.
  void Wake();

 private:
  struct Step {
    const std::function<void()>* fn;
    std::exception_ptr error;
    bool done = false;
  };

  void RunPending(std::unique_lock<std::mutex>& lock);

  mutable std::mutex mutex_;
  std::condition_variable mainCv_;
  std::condition_variable doneCv_;
  std::deque<Step*> pending_;
  std::thread::id mainThread_;
  std::function<void()> wakeUp_;
  unsigned long wakeCount_ = 0;
};

}  // namespace tagsmith
