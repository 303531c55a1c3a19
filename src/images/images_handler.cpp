#include "images/images_handler.h"

#include <exception>

#include "platform/strings.h"
#include "platform/sync_queue.h"

namespace tagsmith {

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
  return AsciiLower(a) < AsciiLower(b);
}

TImagesHandler::TImagesHandler() = default;

TImagesHandler::~TImagesHandler() { WaitFor(); }

void TImagesHandler::Start() {
  if (started_) return;
  started_ = true;
  thread_ = std::thread([this] { Execute(); });
}

void TImagesHandler::WaitFor() {
  if (!started_ || !thread_.joinable()) return;
  SyncQueue& queue = SyncQueue::Main();
  // Off the main thread the main thread's own loop serves the steps.
  if (queue.IsMainThread()) queue.ServeUntil([this] { return finished_.load(); });
  thread_.join();
}

void TImagesHandler::Execute() {
  SyncQueue& queue = SyncQueue::Main();
  try {
    queue.Synchronize([this] { Prepare(); });
  } catch (...) {
    // An image list that can not be cleared leaves its old images; the
    // objects are rendered all the same.
  }
  for (int32_t i = 0; i < count_ && !terminated_; ++i) {
    failed_ = false;
    failure_.clear();
    try {
      queue.Synchronize([this, i] { PrepareObject(i); });
      queue.Synchronize([this, i] { RenderObject(i); });
      PixelWork();
    } catch (const std::exception& e) {
      failed_ = true;
      failure_ = *e.what() ? e.what() : "The object could not be rendered";
    } catch (...) {
      failed_ = true;
      failure_ = "The object could not be rendered";
    }
    try {
      queue.Synchronize([this, i] { RecordObject(i); });
    } catch (...) {
      // A notification receiver that throws must not stop the other objects.
    }
  }
  try {
    queue.Synchronize([this] { SendFinished(); });
  } catch (...) {
  }
  render_.Release();
  scaled_.Release();
  thumbnail_.Release();
  finished_ = true;
  queue.Wake();
}

void TImagesHandler::Prepare() {
  count_ = TagsArray ? int32_t(TagsArray->EmbObjFormats.size()) : 0;
  cellWidth_ = ImageList ? std::max(ImageList->Width(), 0) : 0;
  cellHeight_ = ImageList ? std::max(ImageList->Height(), 0) : 0;
  if (ImageList) ImageList->Clear();
}

void TImagesHandler::PrepareObject(int32_t index) {
  jpegPath_.clear();
  pngPath_.clear();
  if (!TempFiles) throw EImagesHandler("No temporary files to write the images to");
  jpegPath_ = TempFiles->CreateTempFileName(".jpg");
  pngPath_ = TempFiles->CreateTempFileName(".png");
  const TEmbObjRec& rec = TagsArray->EmbObjFormats[size_t(index)].Obj;
  if (!rec.OleObject) throw EImagesHandler("The object has no IOleObject interface");
  CLSID clsid;
  if (!rec.OleObject->GetUserClassID(&clsid).ok()) {
    upscale_ = true;
    return;
  }
  std::string progId;
  OleCheck(ProgIDFromCLSID(clsid, &progId));
  upscale_ = UpscaleEnabled && !UpscaleExemptions.count(ShortenProgID(progId));
}

void TImagesHandler::RenderObject(int32_t index) {
  const TEmbObjRec& rec = TagsArray->EmbObjFormats[size_t(index)].Obj;
  std::shared_ptr<IViewObject> view;
  OleCheck(rec.OleObject->QueryViewObject(&view));
  if (!view) throw EImagesHandler("The object has no IViewObject interface");
  SIZEL size{rec.ObjWidth, rec.ObjHeight};
  if (size.cx == 0 && size.cy == 0) OleCheck(rec.OleObject->GetExtent(DVASPECT_CONTENT, &size));
  plan_ = PlanRender(size, upscale_, ScreenDpi, UpscaleDpi, kPixelBudget);
  render_.SetSize(plan_.renderWidth, plan_.renderHeight);
  render_.Fill(kWhite);
  Canvas canvas = render_.GetCanvas();
  const RECTL bounds{0, 0, plan_.renderWidth, plan_.renderHeight};
  // A drawing that fails leaves a white picture, which is saved like any
  // other; its message is still reported.
  try {
    const TomStatus status = view->Draw(DVASPECT_CONTENT, -1, canvas, bounds);
    if (!status.ok()) failure_ = status.message().empty() ? "The object could not draw itself" : status.message();
  } catch (const std::exception& e) {
    failure_ = *e.what() ? e.what() : "The object could not draw itself";
  } catch (...) {
    failure_ = "The object could not draw itself";
  }
  if (!failure_.empty()) render_.Fill(kWhite);
}

void TImagesHandler::PixelWork() {
  if (plan_.reduce) {
    scaled_.SetSize(plan_.outputWidth, plan_.outputHeight);
    scaled_.Fill(kWhite);
    render_.Resampler = StretchFilter::sfLanczos3;
    render_.StretchDrawTo(scaled_, {0, 0, plan_.outputWidth, plan_.outputHeight});
  }

  thumbnail_.SetSize(cellWidth_, cellHeight_);
  thumbnail_.Fill(kWhite);
  if (cellWidth_ > 0 && cellHeight_ > 0) {
    const RECTL placed = FitRect({0, 0, render_.Width(), render_.Height()}, {0, 0, cellWidth_, cellHeight_});
    if (render_.Width() < cellWidth_ && render_.Height() < cellHeight_)
      render_.CopyTo(thumbnail_, placed.left, placed.top);
    else
      render_.StretchDrawTo(thumbnail_, placed);
  }

  // Both files from the same pixels, on two threads at once.
  const PixelView picture = plan_.reduce ? scaled_.View() : render_.View();
  std::exception_ptr pngError, jpegError;
  std::thread pngWriter([&] {
    try {
      png_.SaveToFile(picture, pngPath_);
    } catch (...) {
      pngError = std::current_exception();
    }
  });
  try {
    jpeg_.SaveToFile(picture, jpegPath_);
  } catch (...) {
    jpegError = std::current_exception();
  }
  pngWriter.join();
  // The oversized render lives only as long as its object.
  if (plan_.reduce) render_.Release();
  if (pngError) std::rethrow_exception(pngError);
  if (jpegError) std::rethrow_exception(jpegError);
}

void TImagesHandler::RecordObject(int32_t index) {
  if (failed_) {
    thumbnail_.SetSize(cellWidth_, cellHeight_);
    thumbnail_.Fill(kWhite);
  }
  if (ImageList) ImageList->Add(thumbnail_.View());
  TEmbObjRec& rec = TagsArray->EmbObjFormats[size_t(index)].Obj;
  if (failed_) {
    rec.JpegFile.clear();
    rec.PngFile.clear();
    rec.ImageKind = FormatChoice == 2 ? kImageKindPng : kImageKindJpeg;
    rec.FileSize = 0;
  } else {
    rec.JpegFile = Utf8ToUtf16(jpegPath_);
    rec.PngFile = Utf8ToUtf16(pngPath_);
    const int64_t jpegSize = GetFileSize64(jpegPath_);
    const int64_t pngSize = GetFileSize64(pngPath_);
    rec.ImageKind = ChooseImageKind(FormatChoice, pngSize, jpegSize);
    rec.FileSize = rec.ImageKind == kImageKindPng ? pngSize : jpegSize;
  }
  if (!failure_.empty()) {
    failures_.push_back({index, failure_, !failed_});
    if (OnImageFailed) OnImageFailed(index, failure_);
  }
  if (OnProgress) OnProgress(index, count_);
}

void TImagesHandler::SendFinished() {
  if (OnFinished) OnFinished(this);
}

}  // namespace tagsmith
