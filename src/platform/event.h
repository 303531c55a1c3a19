#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tagsmith {

// A Windows-style event. An auto-reset event releases one waiter per Set and
// clears itself; a manual-reset event stays set until Reset. Any thread may
// call any method.
class Event {
 public:
  enum class Mode { AutoReset, ManualReset };

  explicit Event(Mode mode, bool initiallySet = false);
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  // Waits until the event is set or the time-out passes; true when it was set.
  // An auto-reset event is cleared by the wait that sees it.
  bool WaitFor(std::chrono::milliseconds timeout);
  void Wait();
  bool IsSet() const;

 private:
  const Mode mode_;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool set_;
};

}  // namespace tagsmith
