#include "platform/event.h"

namespace tagsmith {

Event::Event(Mode mode, bool initiallySet) : mode_(mode), set_(initiallySet) {}

void Event::Set() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    set_ = true;
  }
  if (mode_ == Mode::AutoReset) cv_.notify_one();
  else cv_.notify_all();
}

void Event::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  set_ = false;
}

bool Event::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!cv_.wait_for(lock, timeout, [this] { return set_; })) return false;
  if (mode_ == Mode::AutoReset) set_ = false;
  return true;
}

void Event::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  cv_.wait(lock, [this] { return set_; });
  if (mode_ == Mode::AutoReset) set_ = false;
}

bool Event::IsSet() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return set_;
}

}  // namespace tagsmith
