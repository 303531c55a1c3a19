#include "upload/image_uploader.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <iterator>
#include <string>

#include "platform/sync_queue.h"

namespace tagsmith {

namespace {

using namespace std::chrono_literals;

// How long the dispatcher waits for an upload thread to end before it looks
// again; it also bounds the reaction to a stop request.
constexpr auto kDispatcherWait = 300ms;

class Machinery {
 public:
  Machinery() {
    // The main queue is made first so that it outlives this object: threads
    // still delivering at program end are served below.
    SyncQueue::Main();
    // The HTTP and TLS libraries register their clean-up at program end when
    // they start; started here, before this object is complete, it runs after
    // Shutdown has ended the upload threads instead of under a thread still
    // in a transfer.
    HttpGlobalInit();
  }
  ~Machinery() { Shutdown(); }

  TUploadThreadList list;
  Event endEvent{Event::Mode::AutoReset};
  TUploadNoErrors noErrors;
  // Set at program end: the transfers in progress are cancelled.
  std::atomic<bool> shuttingDown{false};
  // Upload threads started and not yet at their end, listed or detached.
  std::atomic<int> running{0};

  void AddDetached(std::unique_ptr<TUploadThread> thread) {
    std::lock_guard<std::mutex> lock(detachedLock_);
    detached_.push_back(std::move(thread));
  }
  // Frees the detached threads that have ended.
  void FreeEndedDetached() {
    std::vector<std::unique_ptr<TUploadThread>> ended;
    {
      std::lock_guard<std::mutex> lock(detachedLock_);
      auto split = std::stable_partition(detached_.begin(), detached_.end(),
                                         [](const auto& t) { return !t->Ended(); });
      std::move(split, detached_.end(), std::back_inserter(ended));
      detached_.erase(split, detached_.end());
    }
  }
  // Cuts the detached threads started for `owner` (every one when null) off
  // from their handler.
  void CutOffDetached(const void* owner) {
    std::lock_guard<std::mutex> lock(detachedLock_);
    for (auto& t : detached_)
      if (!owner || t->Owner() == owner) t->CutOff();
  }
  void CancelDetached(const void* owner) {
    std::lock_guard<std::mutex> lock(detachedLock_);
    for (auto& t : detached_)
      if (!owner || t->Owner() == owner) t->Cancel();
  }
  bool DetachedRunning(const void* owner) {
    std::lock_guard<std::mutex> lock(detachedLock_);
    for (auto& t : detached_)
      if (t->Owner() == owner && !t->Ended()) return true;
    return false;
  }

  // A dispatcher thread whose object was destroyed from its own last event;
  // it has only its return left. `state` keeps what it still touches alive.
  void Retire(std::thread thread, std::shared_ptr<void> state, const std::atomic<bool>* ended) {
    std::lock_guard<std::mutex> lock(retiredLock_);
    retired_.push_back(Retired{std::move(thread), std::move(state), ended});
  }
  // Joins the retired dispatcher threads that have ended (every one when
  // `all`: then none may be inside its last event).
  void JoinRetired(bool all) {
    std::vector<Retired> done;
    {
      std::lock_guard<std::mutex> lock(retiredLock_);
      auto split = std::stable_partition(retired_.begin(), retired_.end(),
                                         [all](const Retired& r) { return !(all || r.ended->load()); });
      std::move(split, retired_.end(), std::back_inserter(done));
      retired_.erase(split, retired_.end());
    }
    for (Retired& r : done) r.thread.join();
  }

  void WaitForAll() {
    SyncQueue& queue = SyncQueue::Main();
    if (queue.IsMainThread()) queue.ServeUntil([this] { return running.load() == 0; });
    // Every thread has ended; freeing them only waits for their last steps.
    for (auto& t : list.Collect(true)) t.reset();
    FreeEndedDetached();
    JoinRetired(true);
  }

 private:
  void Shutdown() {
    shuttingDown = true;
    list.CutOffOwner(nullptr);
    CutOffDetached(nullptr);
    list.CancelOwner(nullptr);
    CancelDetached(nullptr);
    WaitForAll();
    // Off the main thread nobody serves steps; the threads were cut off from
    // their handlers, so they end without one.
    std::lock_guard<std::mutex> lock(detachedLock_);
    detached_.clear();
  }

  std::mutex detachedLock_;
  std::vector<std::unique_ptr<TUploadThread>> detached_;
  struct Retired {
    std::thread thread;
    std::shared_ptr<void> state;
    const std::atomic<bool>* ended;
  };
  std::mutex retiredLock_;
  std::vector<Retired> retired_;
};

Machinery& TheMachinery() {
  static Machinery machinery;
  return machinery;
}

// Created when the program is loaded.
[[maybe_unused]] Machinery& kCreatedAtStart = TheMachinery();

}  // namespace

TUploadThreadList& UploadThreadList() { return TheMachinery().list; }
Event& UploadEndEvent() { return TheMachinery().endEvent; }
TUploadNoErrors& UploadNoErrors() { return TheMachinery().noErrors; }
void WaitForUploadThreads() { TheMachinery().WaitForAll(); }
void CutOffDetachedUploads(const void* owner) { TheMachinery().CutOffDetached(owner); }

void CancelUploadsOf(const void* owner) {
  Machinery& m = TheMachinery();
  m.list.CancelOwner(owner);
  m.CancelDetached(owner);
  auto running = [&m, owner] { return m.list.OwnerRunning(owner) || m.DetachedRunning(owner); };
  SyncQueue& queue = SyncQueue::Main();
  if (queue.IsMainThread()) {
    queue.ServeUntil([&] { return !running(); });
  } else {
    // Off the main thread the main thread's own loop serves the steps.
    while (running()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ReapUploadThreads(false);
}

void ReapUploadThreads(bool all) {
  Machinery& m = TheMachinery();
  for (auto& thread : m.list.Collect(all)) {
    if (thread->Ended()) {
      thread.reset();
    } else {
      // A detached thread finishes its attempt and may still deliver its
      // image while the uploader that started it lives; the uploader cuts its
      // detached threads off when it is destroyed.
      thread->Terminate();
      m.AddDetached(std::move(thread));
    }
  }
  m.FreeEndedDetached();
}

// TUploadThread

TUploadThread::TUploadThread(int imageId, std::string fileName, TUploadServer server, int triesNumber,
                             TOnImageUploaded onImageUploaded, TOnImageFailed onImageFailed, UploadHosts hosts,
                             UploadTimeouts timeouts, const void* owner)
    : imageId_(imageId),
      fileName_(std::move(fileName)),
      server_(server),
      triesNumber_(triesNumber),
      hosts_(std::move(hosts)),
      timeouts_(timeouts),
      owner_(owner),
      onImageUploaded_(std::move(onImageUploaded)),
      onImageFailed_(std::move(onImageFailed)) {}

TUploadThread::~TUploadThread() {
  if (thread_.joinable()) thread_.join();
}

void TUploadThread::Start() {
  ++TheMachinery().running;
  try {
    thread_ = std::thread([this] { Execute(); });
  } catch (...) {
    --TheMachinery().running;
    throw;
  }
}

bool TUploadThread::StopRequested() const { return terminated_ || cancelled_ || TheMachinery().shuttingDown; }

void TUploadThread::Execute() {
  pthread_setname_np(pthread_self(), "UploadThread");
  Machinery& m = TheMachinery();
  bool failed = false;
  std::string lastError;  // of the last attempt that failed
  std::string reason;
  // A thread started while the program ends has its transfers cancelled too.
  if (m.shuttingDown) cancelled_ = true;
  try {
    int attempt = 1;
    bool success = false;
    do {
      try {
        links_ = UploadAttempt(server_, fileName_, hosts_, timeouts_, &cancelled_);
        // A handler can only be cut off, never set again: without one now,
        // there is nothing to deliver.
        if (onImageUploaded_.Get()) {
          SyncQueue::Main().Synchronize([this] {
            if (TOnImageUploaded handler = onImageUploaded_.Get())
              handler(imageId_, links_.ImageURL, links_.ImagePreviewURL, links_.LinkToPage);
          });
        }
        success = true;
      } catch (const EUploadThread& e) {
        // This attempt is over; the loop decides on the next.
        lastError = e.what();
      }
      ++attempt;
    } while (!success && !StopRequested() && attempt <= triesNumber_);
    if (!success) throw EUploadThread("Upload failed!");
  } catch (const EUploadThread& e) {
    failed = true;
    reason = lastError.empty() ? e.what() : lastError;
  } catch (const std::exception& e) {
    failed = true;
    reason = e.what();
  } catch (...) {
    failed = true;
    reason = "Upload failed!";
  }
  if (failed) {
    if (onImageFailed_.Get()) {
      try {
        SyncQueue::Main().Synchronize([this, &reason] {
          if (TOnImageFailed handler = onImageFailed_.Get()) handler(imageId_, reason);
        });
      } catch (...) {
        // The receiver's own error changes nothing: the image has failed.
      }
    }
    m.noErrors.Set(false);
  }
  ended_.store(true, std::memory_order_release);
  m.endEvent.Set();
  --m.running;
  SyncQueue::Main().Wake();
}

// TUploadThreadList

void TUploadThreadList::Add(std::unique_ptr<TUploadThread> thread) {
  std::lock_guard<std::mutex> lock(lock_);
  threads_.push_back(std::move(thread));
}

size_t TUploadThreadList::Count() const {
  std::lock_guard<std::mutex> lock(lock_);
  return threads_.size();
}

std::vector<std::unique_ptr<TUploadThread>> TUploadThreadList::Collect(bool all) {
  std::vector<std::unique_ptr<TUploadThread>> out;
  std::lock_guard<std::mutex> lock(lock_);
  auto split = std::stable_partition(threads_.begin(), threads_.end(),
                                     [all](const auto& t) { return !(all || t->Ended()); });
  std::move(split, threads_.end(), std::back_inserter(out));
  threads_.erase(split, threads_.end());
  return out;
}

void TUploadThreadList::CutOffOwner(const void* owner) {
  std::lock_guard<std::mutex> lock(lock_);
  for (auto& t : threads_)
    if (!owner || t->Owner() == owner) t->CutOff();
}

void TUploadThreadList::CancelOwner(const void* owner) {
  std::lock_guard<std::mutex> lock(lock_);
  for (auto& t : threads_)
    if (!owner || t->Owner() == owner) t->Cancel();
}

bool TUploadThreadList::OwnerRunning(const void* owner) const {
  std::lock_guard<std::mutex> lock(lock_);
  for (const auto& t : threads_)
    if (t->Owner() == owner && !t->Ended()) return true;
  return false;
}

// TUploadNoErrors

bool TUploadNoErrors::Get() const {
  std::lock_guard<std::mutex> lock(lock_);
  return value_;
}

void TUploadNoErrors::Set(bool value) {
  std::lock_guard<std::mutex> lock(lock_);
  value_ = value;
}

// TUploadDispatcher

struct TUploadDispatcher::State {
  explicit State(Settings s)
      : uploadsInEachTime(s.UploadsInEachTime),
        uploadTriesNumber(s.UploadTriesNumber),
        uploadServer(s.UploadServer),
        hosts(std::move(s.Hosts)),
        timeouts(s.Timeouts),
        owner(s.Owner),
        onImageUploaded(std::move(s.OnImageUploaded)),
        onUploadFinished(std::move(s.OnUploadFinished)),
        onImageFailed(std::move(s.OnImageFailed)) {}

  const int uploadsInEachTime;
  const int uploadTriesNumber;
  const TUploadServer uploadServer;
  const UploadHosts hosts;
  const UploadTimeouts timeouts;
  const void* const owner;
  CutOffHandler<TOnImageUploaded> onImageUploaded;
  CutOffHandler<TOnUploadFinished> onUploadFinished;
  CutOffHandler<TOnImageFailed> onImageFailed;
  // Owned by the dispatcher thread once it runs.
  std::vector<std::unique_ptr<TImageFile>> queue;
  std::atomic<bool> terminated{false};
  std::atomic<bool> ended{false};
  // Main thread only: OnUploadFinished is running.
  bool inFinishStep = false;
};

TUploadDispatcher::TUploadDispatcher(Settings settings)
    : state_(std::make_shared<State>(std::move(settings))) {}

TUploadDispatcher::~TUploadDispatcher() {
  if (!thread_.joinable()) return;
  state_->terminated = true;
  if (state_->inFinishStep) {
    // Waiting here would wait for the step this call is part of.
    TheMachinery().Retire(std::move(thread_), state_, &state_->ended);
    return;
  }
  SyncQueue& queue = SyncQueue::Main();
  if (queue.IsMainThread()) queue.ServeUntil([s = state_] { return s->ended.load(); });
  thread_.join();
}

void TUploadDispatcher::AddToQueue(const TImageFile& file) {
  state_->queue.push_back(std::make_unique<TImageFile>(file));
}

void TUploadDispatcher::Start() {
  TheMachinery().JoinRetired(false);
  thread_ = std::thread([s = state_] { Execute(s); });
}

void TUploadDispatcher::Terminate() {
  if (!state_->ended) state_->terminated = true;
}

bool TUploadDispatcher::Ended() const { return state_->ended; }

void TUploadDispatcher::CutOff() {
  state_->onImageUploaded.CutOff();
  state_->onUploadFinished.CutOff();
  state_->onImageFailed.CutOff();
}

void TUploadDispatcher::Execute(const std::shared_ptr<State>& state) {
  pthread_setname_np(pthread_self(), "UploadDispatch");
  State& s = *state;
  Machinery& m = TheMachinery();
  m.noErrors.Set(true);
  try {
    for (;;) {
      while (m.list.Count() < static_cast<size_t>(std::max(s.uploadsInEachTime, 0)) && !s.queue.empty()) {
        const TImageFile& entry = *s.queue.back();
        auto thread = std::make_unique<TUploadThread>(entry.Id, entry.FileName, s.uploadServer,
                                                      s.uploadTriesNumber, s.onImageUploaded.Get(),
                                                      s.onImageFailed.Get(), s.hosts, s.timeouts, s.owner);
        thread->Start();
        s.queue.pop_back();
        m.list.Add(std::move(thread));
      }
      m.endEvent.WaitFor(kDispatcherWait);
      const bool stopped = s.terminated;
      ReapUploadThreads(stopped);
      if (stopped || !m.noErrors.Get() || (s.queue.empty() && m.list.Count() == 0)) break;
    }
  } catch (...) {
    try {
      ReapUploadThreads(true);
    } catch (...) {
      // Reaping frees and moves threads only; nothing is left to undo.
    }
    m.noErrors.Set(false);
  }
  if (s.onUploadFinished.Get()) {
    try {
      SyncQueue::Main().Synchronize([&s, &m] {
        if (TOnUploadFinished handler = s.onUploadFinished.Get()) {
          // Both flags are taken now, not when the loop ended: an abort
          // accepted while this step waited for the main thread, or a
          // failure of an upload left from an earlier run, is reported.
          const bool noErrors = m.noErrors.Get();
          const bool stopped = s.terminated;
          s.inFinishStep = true;
          try {
            handler(noErrors, stopped);
          } catch (...) {
            s.inFinishStep = false;
            throw;
          }
          s.inFinishStep = false;
        }
      });
    } catch (...) {
      // A handler's error has nobody to go to: the run is over either way.
    }
  }
  s.ended = true;
  SyncQueue::Main().Wake();
}

// TImageUploader

TImageUploader::~TImageUploader() {
  if (dispatcher_) dispatcher_->CutOff();
  UploadThreadList().CutOffOwner(this);
  CutOffDetachedUploads(this);
  // Once the dispatcher has ended it starts no thread; then every thread of
  // this uploader is listed or detached, and cancelling them all leaves no
  // transfer going on for a receiver that is gone.
  dispatcher_.reset();
  CancelUploadsOf(this);
}

void TImageUploader::ClearImages() { images_.clear(); }

void TImageUploader::AddImage(int ImageId, const std::string& FileName) {
  images_.push_back(TImageFile{ImageId, FileName});
}

void TImageUploader::StartUpload() {
  dispatcher_.reset();
  TUploadDispatcher::Settings settings;
  settings.UploadsInEachTime = UploadsInEachTime;
  settings.UploadTriesNumber = UploadTriesNumber;
  settings.UploadServer = UploadServer;
  settings.OnImageUploaded = OnImageUploaded;
  settings.OnUploadFinished = OnUploadFinished;
  settings.OnImageFailed = OnImageFailed;
  settings.Hosts = Hosts;
  settings.Timeouts = Timeouts;
  settings.Owner = this;
  auto dispatcher = std::make_unique<TUploadDispatcher>(std::move(settings));
  for (const TImageFile& file : images_) dispatcher->AddToQueue(file);
  dispatcher->Start();
  dispatcher_ = std::move(dispatcher);
}

void TImageUploader::AbortUpload() {
  if (dispatcher_) dispatcher_->Terminate();
}

}  // namespace tagsmith
