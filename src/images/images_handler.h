#pragma once

// Unit_TImagesHandler: the image renderer of one convert dialog. A worker
// thread that turns every embedded object of a document snapshot into a PNG
// and a JPEG file and a thumbnail.
//
// For each object, in index order:
//   Preparing (main thread): a ".jpg" and a ".png" temporary name; the
//     object's class decides upscaling (an object without a class is upscaled).
//   Rendering (main thread): the object draws itself into a white render
//     buffer at UpscaleDpi (upscaled objects) or ScreenDpi.
//   Pixel work (worker): upscaled renders are reduced with the Lanczos kernel
//     to ScreenDpi; the thumbnail is drawn; the PNG and the JPEG are encoded
//     at the same time on two threads and written.
//   Recording (main thread): the thumbnail goes to the image list, the paths,
//     the chosen kind and its file size to the object's record; OnProgress.
// After the last object OnFinished arrives, always, also when objects failed.
//
// Main-thread steps run through SyncQueue::Main(): the worker waits in
// Synchronize while the main thread runs them in CheckSynchronize or
// ServeUntil. So the editor's thread is blocked only while an object draws
// itself; the handler has no lock of its own and the snapshot must not change
// while it runs.
//
// An object that fails (no drawing interface, no extent, a file that can not
// be written, ...) is recorded as failed: its thumbnail cell stays white, its
// record gets no files, OnImageFailed reports it with its message, and the
// handler goes on with the next object. An object whose drawing reports an
// error (undecodable picture data) still gets its white picture files, and is
// reported through OnImageFailed too. Renders that would exceed kPixelBudget
// are made at the highest resolution within it.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "conversion/tags_array.h"
#include "images/bitmap.h"
#include "images/image_encoders.h"
#include "images/image_rules.h"
#include "images/temp_files.h"
#include "images/thumbnail_list.h"
#include "platform/errors.h"

namespace tagsmith {

// A failure of one object's steps; the message says what went wrong.
class EImagesHandler : public Exception {
 public:
  using Exception::Exception;
};

struct TImageFailure {
  int32_t Index = 0;
  std::string Message;
  bool FilesWritten = false;  // a drawing that failed still gave white picture files
};

// Object class names compared without regard to ASCII letter case.
struct CaseInsensitiveLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

class TImagesHandler {
 public:
  // Created suspended with the defaults: UpscaleDpi 400, ScreenDpi 0,
  // UpscaleEnabled false, FormatChoice 0, no notifications.
  TImagesHandler();
  // A started handler runs to its end; the destroyer waits for it and, on the
  // main thread, keeps serving its main-thread steps meanwhile. A handler
  // that was never started is not started now: nothing runs and no
  // notification arrives (its snapshot may be gone already).
  ~TImagesHandler();
  TImagesHandler(const TImagesHandler&) = delete;
  TImagesHandler& operator=(const TImagesHandler&) = delete;

  // Settings: set by the creator before Start, on the main thread.
  int32_t ScreenDpi = 0;
  int32_t UpscaleDpi = 400;
  bool UpscaleEnabled = false;
  uint8_t FormatChoice = 0;  // 0 Auto, 1 JPEG, 2 PNG
  IThumbnailList* ImageList = nullptr;  // not owned; none: no thumbnails, cell 0 x 0
  TTagsArray* TagsArray = nullptr;      // not owned; none: no objects
  TTempFiles* TempFiles = nullptr;      // not owned; required when there are objects
  // Main thread, after object `index` (0-based) was recorded.
  std::function<void(int32_t index, int32_t count)> OnProgress;
  // Main thread, once, after the last object.
  std::function<void(TImagesHandler* sender)> OnFinished;
  // Main thread, before OnProgress of an object that failed.
  std::function<void(int32_t index, const std::string& message)> OnImageFailed;
  // Shortened class names (see ShortenProgID) never upscaled. Starts empty.
  std::set<std::string, CaseInsensitiveLess> UpscaleExemptions;

  // Main thread. Starts the worker; a started handler is not started again.
  void Start();
  // Any thread. Asks the handler to end after the object in progress: the
  // objects not begun yet get no files, no record and no OnProgress, and
  // OnFinished still arrives. The convert dialog never asks (its handler
  // renders every object); the command-line converter does when interrupted.
  void Terminate() { terminated_ = true; }
  bool Started() const { return started_; }
  // Any thread: the worker has sent OnFinished and ended its work.
  bool Finished() const { return finished_.load(); }
  // Main thread. Serves the main-thread steps until the worker has finished
  // (returns at once for a handler that was never started).
  void WaitFor();
  // Main thread, after OnFinished: the objects that failed, in index order.
  const std::vector<TImageFailure>& Failures() const { return failures_; }

 private:
  void Execute();
  void Prepare();
  void PrepareObject(int32_t index);
  void RenderObject(int32_t index);
  void PixelWork();
  void RecordObject(int32_t index);
  void SendFinished();

  std::thread thread_;
  bool started_ = false;
  std::atomic<bool> finished_{false};
  std::atomic<bool> terminated_{false};

  // Working state, reused from object to object.
  int32_t count_ = 0;
  int32_t cellWidth_ = 0;
  int32_t cellHeight_ = 0;
  std::string jpegPath_;
  std::string pngPath_;
  bool upscale_ = false;
  RenderPlan plan_;
  bool failed_ = false;        // the object has no usable files
  std::string failure_;        // its message, also for a drawing that failed
  TBitmap32 render_;
  TBitmap32 scaled_;
  TBitmap32 thumbnail_;
  TPngEncoder png_;
  TJpegEncoder jpeg_;
  std::vector<TImageFailure> failures_;
};

}  // namespace tagsmith
