#include "platform/sync_queue.h"

namespace tagsmith {

namespace {
// Static initialisation runs on the thread that loads the program. The id is
// taken at the first call, which may come from another file's static
// initialiser (before this file's own variables are set up).
std::thread::id LoadingThread() {
  static const std::thread::id id = std::this_thread::get_id();
  return id;
}
[[maybe_unused]] const std::thread::id kLoadingThread = LoadingThread();
}  // namespace

SyncQueue& SyncQueue::Main() {
  static SyncQueue queue;
  return queue;
}

SyncQueue::SyncQueue() : mainThread_(LoadingThread()) {}

void SyncQueue::SetMainThread(std::thread::id id) {
  std::lock_guard<std::mutex> lock(mutex_);
  mainThread_ = id;
}

bool SyncQueue::IsMainThread() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::this_thread::get_id() == mainThread_;
}

void SyncQueue::SetWakeUpHandler(std::function<void()> handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  wakeUp_ = std::move(handler);
}

void SyncQueue::Synchronize(const std::function<void()>& step) {
  if (IsMainThread()) {
    step();
    return;
  }
  Step s{&step, nullptr, false};
  std::function<void()> wake;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back(&s);
    wake = wakeUp_;
  }
  mainCv_.notify_all();
  if (wake) wake();
  {
    std::unique_lock<std::mutex> lock(mutex_);
    doneCv_.wait(lock, [&s] { return s.done; });
  }
  if (s.error) std::rethrow_exception(s.error);
}

void SyncQueue::RunPending(std::unique_lock<std::mutex>& lock) {
  std::deque<Step*> batch;
  batch.swap(pending_);
  lock.unlock();
  for (Step* s : batch) {
    try {
      (*s->fn)();
    } catch (...) {
      s->error = std::current_exception();
    }
  }
  lock.lock();
  for (Step* s : batch) s->done = true;
  doneCv_.notify_all();
}

bool SyncQueue::CheckSynchronize(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (pending_.empty() && timeout.count() > 0)
    mainCv_.wait_for(lock, timeout, [this] { return !pending_.empty(); });
  if (pending_.empty()) return false;
  RunPending(lock);
  return true;
}

void SyncQueue::ServeUntil(const std::function<bool()>& done) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (!pending_.empty()) {
      RunPending(lock);
      continue;
    }
    // Read the wake count before testing `done`, so a Wake between the test
    // and the wait is not lost.
    const unsigned long seen = wakeCount_;
    lock.unlock();
    if (done()) return;
    lock.lock();
    // The bound only guards against a finisher that forgot to Wake; normal
    // progress comes from the notifications.
    mainCv_.wait_for(lock, std::chrono::milliseconds(100),
                     [&] { return !pending_.empty() || wakeCount_ != seen; });
  }
}

void SyncQueue::Wake() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++wakeCount_;
  }
  mainCv_.notify_all();
}

}  // namespace tagsmith
