#pragma once

// Ctrl-C for the command-line converter's long steps (rendering, upload).
// While an InterruptWatch lives, SIGINT and SIGTERM do not end the process:
// a thread of its own takes them, records the first one and wakes the main
// thread (SyncQueue::Main().Wake()), so the waiting step sees Signal() and
// winds down cleanly. A second signal ends the process at once, with the
// status 128 + its number, for a user who does not want to wait.

#include <atomic>
#include <csignal>
#include <thread>

namespace tagsmith {

class InterruptWatch {
 public:
  // Blocks the two signals in the calling thread, and so in every thread it
  // starts later. Make it before any other thread exists. Throws
  // std::system_error when the signals can not be watched.
  InterruptWatch();
  // Stops the watching thread and lets the signals through again.
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // The number of the first signal that arrived, 0 while none did. Any thread.
  int Signal() const { return signal_.load(); }

 private:
  void Watch();

  sigset_t signals_{};
  sigset_t previous_{};
  int signalFd_ = -1;
  int stopFd_ = -1;
  std::atomic<int> signal_{0};
  std::thread thread_;
};

}  // namespace tagsmith
