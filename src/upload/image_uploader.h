#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/event.h"
#include "upload/host_protocols.h"

namespace tagsmith {

// One entry of the upload list: the caller's image id and the file's full path.
struct TImageFile {
  int32_t Id = 0;
  std::string FileName;
};

using TOnImageUploaded = std::function<void(int ImageId, const std::string& ImageURL,
                                            const std::string& ImagePreviewURL, const std::string& LinkToPage)>;
using TOnUploadFinished = std::function<void(bool NoErrors, bool CancelOperation)>;
// An image that failed for good, with the message of its last attempt ("Post
// request was failed!", the host's "... XML data file is corrupted!", a file
// or XML error), or "Upload failed!" when there is none.
using TOnImageFailed = std::function<void(int ImageId, const std::string& Message)>;

// A handler a worker runs on the main thread and its owner can cut off, so
// that no event reaches a receiver that is gone. Any thread.
template <class Handler>
class CutOffHandler {
 public:
  explicit CutOffHandler(Handler handler = {}) : handler_(std::move(handler)) {}
  Handler Get() const {
    std::lock_guard<std::mutex> lock(lock_);
    return handler_;
  }
  void CutOff() {
    std::lock_guard<std::mutex> lock(lock_);
    handler_ = nullptr;
  }

 private:
  mutable std::mutex lock_;
  Handler handler_;
};

// One image's upload thread: up to `triesNumber` attempts (at least one), no
// pause between them; a successful attempt delivers OnImageUploaded on the
// main thread and waits for the handler. A final failure ("Upload failed!",
// or an error other than EUploadThread) delivers OnImageFailed on the main
// thread (when set) and then sets UploadNoErrors false, so the run's
// OnUploadFinished can not overtake it. At its end it sets its ended flag,
// then UploadEndEvent.
// Created suspended; Start once. Destroying it waits for its end.
class TUploadThread {
 public:
  TUploadThread(int imageId, std::string fileName, TUploadServer server, int triesNumber,
                TOnImageUploaded onImageUploaded, TOnImageFailed onImageFailed, UploadHosts hosts,
                UploadTimeouts timeouts, const void* owner);
  ~TUploadThread();
  TUploadThread(const TUploadThread&) = delete;
  TUploadThread& operator=(const TUploadThread&) = delete;

  void Start();
  // Asks for no further attempts; the attempt in progress goes on. Any thread.
  void Terminate() { terminated_ = true; }
  // Asks for no further attempts and ends the transfer in progress within one
  // idle slice (the image then counts as failed). Any thread.
  void Cancel() {
    terminated_ = true;
    cancelled_ = true;
  }
  bool Ended() const { return ended_.load(std::memory_order_acquire); }
  // From now on no event reaches the handlers. Any thread.
  void CutOff() {
    onImageUploaded_.CutOff();
    onImageFailed_.CutOff();
  }
  const void* Owner() const { return owner_; }
  int ImageId() const { return imageId_; }
  // The links of the successful attempt; valid once Ended.
  const UploadLinks& Links() const { return links_; }

 private:
  void Execute();
  bool StopRequested() const;

  const int imageId_;
  const std::string fileName_;
  const TUploadServer server_;
  const int triesNumber_;
  const UploadHosts hosts_;
  const UploadTimeouts timeouts_;
  const void* const owner_;
  CutOffHandler<TOnImageUploaded> onImageUploaded_;
  CutOffHandler<TOnImageFailed> onImageFailed_;
  UploadLinks links_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> ended_{false};
  std::thread thread_;
};

// The process-wide list of upload threads that were started and not yet
// reaped. Its lock is held only inside these calls. Any thread.
class TUploadThreadList {
 public:
  void Add(std::unique_ptr<TUploadThread> thread);
  size_t Count() const;
  // Takes the threads whose ended flag is set (every thread when `all`) out of
  // the list and returns them.
  std::vector<std::unique_ptr<TUploadThread>> Collect(bool all);
  // Cuts every listed thread started for `owner` (every one when null) off
  // from its handler.
  void CutOffOwner(const void* owner);
  // Cancels the transfers of the listed threads started for `owner` (every
  // one when null).
  void CancelOwner(const void* owner);
  // Whether a listed thread started for `owner` has not ended yet.
  bool OwnerRunning(const void* owner) const;

 private:
  mutable std::mutex lock_;
  std::vector<std::unique_ptr<TUploadThread>> threads_;
};

// The process-wide no-errors flag, under its own lock. Any thread.
class TUploadNoErrors {
 public:
  bool Get() const;
  void Set(bool value);

 private:
  mutable std::mutex lock_;
  bool value_ = true;
};

// The process-wide state of the upload machinery, created when the program is
// loaded. At program end every upload thread still running is cut off from
// its handler, its transfer is cancelled, and it is waited for and freed.
TUploadThreadList& UploadThreadList();
Event& UploadEndEvent();  // auto-reset; set by every upload thread as it ends
TUploadNoErrors& UploadNoErrors();

// Main thread, while no run is active (not from an upload event handler):
// serves main-thread steps until every upload thread, listed or detached, has
// ended, then frees them all.
void WaitForUploadThreads();

// Reaping (a dispatcher, any thread): frees the listed threads that have
// ended; with `all`, detaches the others: asked to stop and freed once they
// end. A detached thread still delivers a success of its last attempt.
void ReapUploadThreads(bool all);
// Cuts the detached threads started for `owner` off from their handler (any
// thread); the uploader does this when it is destroyed.
void CutOffDetachedUploads(const void* owner);
// Cancels the transfers of every upload thread started for `owner`, listed
// or detached, and waits until they have ended (on the main thread serving
// its steps meanwhile), then frees the threads that have ended. Cut the
// threads off from their handlers first. Not from an upload event handler.
void CancelUploadsOf(const void* owner);

// One upload run: starts an upload thread for the queue's last entry while
// fewer than UploadsInEachTime upload threads are listed (process-wide), then
// waits for UploadEndEvent (at most 300 ms) and reaps; it ends when asked to
// stop, when UploadNoErrors is false, or when the queue and the list are both
// empty, and then delivers OnUploadFinished (UploadNoErrors, stop requested)
// on the main thread as its last action, both read in that main-thread step.
// Created suspended; Start once.
class TUploadDispatcher {
 public:
  struct Settings {
    int UploadsInEachTime = 7;
    int UploadTriesNumber = 15;
    TUploadServer UploadServer = TUploadServer::ImageShack;
    TOnImageUploaded OnImageUploaded;
    TOnUploadFinished OnUploadFinished;
    TOnImageFailed OnImageFailed;
    UploadHosts Hosts;
    UploadTimeouts Timeouts;
    const void* Owner = nullptr;
  };

  explicit TUploadDispatcher(Settings settings);
  // Main thread. A dispatcher that has not ended is asked to stop and waited
  // for while main-thread steps are served (its OnUploadFinished is delivered
  // meanwhile). Destroyed from its own OnUploadFinished it does not wait: its
  // thread is released at the next run or at program end.
  ~TUploadDispatcher();
  TUploadDispatcher(const TUploadDispatcher&) = delete;
  TUploadDispatcher& operator=(const TUploadDispatcher&) = delete;

  // Before Start only: appends one entry to the queue.
  void AddToQueue(const TImageFile& file);
  void Start();
  // Asks the run to stop; ignored once it has ended. Any thread.
  void Terminate();
  bool Ended() const;
  // From now on no event reaches its handler, not from the upload threads this
  // dispatcher starts either. Any thread.
  void CutOff();

 private:
  struct State;
  static void Execute(const std::shared_ptr<State>& state);

  std::shared_ptr<State> state_;
  std::thread thread_;
};

// Uploads a list of image files to one image host, several at once with
// retries, and reports the links of every image that arrived. Main thread
// only; the events arrive on the main thread. Properties are copied when a
// run starts; changing them during a run does not affect it.
class TImageUploader {
 public:
  TImageUploader() = default;
  // Cuts the running dispatcher and every upload thread started for this
  // uploader off from the handlers, stops the dispatcher and waits for it,
  // then cancels the transfers still under way and waits for their threads:
  // no event arrives after destruction and no upload goes on behind it.
  ~TImageUploader();
  TImageUploader(const TImageUploader&) = delete;
  TImageUploader& operator=(const TImageUploader&) = delete;

  int UploadsInEachTime = 7;
  TUploadServer UploadServer = TUploadServer::ImageShack;
  int UploadTriesNumber = 15;
  TOnImageUploaded OnImageUploaded;
  TOnUploadFinished OnUploadFinished;
  // Optional: why an image failed. The convert dialog does not show these
  // messages; the command-line converter prints them.
  TOnImageFailed OnImageFailed;
  // Set by the owner from the settings store.
  UploadHosts Hosts;
  UploadTimeouts Timeouts;

  void ClearImages();
  void AddImage(int ImageId, const std::string& FileName);
  const std::vector<TImageFile>& Images() const { return images_; }

  // Starts a run over the upload list and returns at once. A run still active
  // is stopped and waited for first (its OnUploadFinished arrives with
  // CancelOperation true before this returns). The list is left unchanged.
  void StartUpload();
  // Asks the active run to stop and returns at once; it then ends with
  // OnUploadFinished (CancelOperation true) within about 300 ms. Without an
  // active run nothing happens.
  void AbortUpload();

 private:
  std::vector<TImageFile> images_;
  std::unique_ptr<TUploadDispatcher> dispatcher_;
};

}  // namespace tagsmith
