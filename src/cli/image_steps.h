#pragma once

// The convert dialog's image steps for tagsmith-convert: every object
// rendered with TImagesHandler, the chosen files copied into a folder, the
// browser preview page, and the upload with TImageUploader. Main thread of
// SyncQueue::Main() only; the steps serve its queue while they wait for their
// workers.

#include <cstdint>
#include <string>
#include <vector>

#include "cli/interrupt_watch.h"
#include "conversion/tags_array.h"
#include "images/images_handler.h"
#include "images/temp_files.h"
#include "upload/image_uploader.h"

namespace tagsmith {

// One line on standard error that is rewritten as a step goes on, shown only
// when standard error is a terminal.
class ProgressLine {
 public:
  explicit ProgressLine(bool enabled) : enabled_(enabled) {}
  ~ProgressLine() { End(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Replaces the line with `text`.
  void Show(const std::string& text);
  // Ends the line, so that what follows starts on a line of its own.
  void End();

 private:
  bool enabled_;
  bool shown_ = false;
  size_t width_ = 0;
};

// The renderer's settings as the convert dialog takes them from the settings.
struct RenderSettings {
  uint8_t FormatChoice = 0;  // "ImageFormat": "JPEG" 1, "PNG" 2, anything else 0
  bool UpscaleEnabled = true;  // "UpscaleImages"
};

// "ImageFormat" as the dialog reads it, compared exactly.
uint8_t FormatChoiceOf(const std::string& imageFormat);

// Renders every object of the analysed snapshot as the convert dialog does
// (ScreenDpi 96, UpscaleDpi 400, names from `tempFiles`), with "Rendering
// images: N of M" on `progress`. Returns the objects that failed, in index
// order. Throws Interrupted when `watch` saw a signal; the handler has then
// ended after the object it was at.
std::vector<TImageFailure> RenderImages(TTagsArray& tags, TTempFiles& tempFiles, const RenderSettings& settings,
                                        const InterruptWatch& watch, ProgressLine& progress);

// The name of object `index`'s copy: "image-001.png" or "image-001.jpg" (the
// index counted from 1, at least three digits) by its ImageKind.
std::string ImageCopyName(int32_t index, uint8_t imageKind);

// Copies each object's chosen file (PngFile when ImageKind is 1, else
// JpegFile) into the existing folder `dir` as ImageCopyName, replacing a file
// of that name, and points the record's chosen file at the copy's absolute
// path. Returns the copies as dir + "/" + name, in object order, empty for an
// object that has no file. Throws FileError naming the copy that can not be
// written.
std::vector<std::string> CopyChosenImages(TTagsArray& tags, const std::string& dir);

// The preview page as the convert dialog writes it: "<html><head><title>
// Preview</title></head><body bgColor=#FFFFFF>", GetCode(Local true) with
// OutputKind 0, "</body></html>", as UTF-8 without a closing U+0000. The local
// links are "file://localhost" and the chosen file's absolute path, with the
// bytes that would end or change a link ("#", "%", "?", quotes, blanks, ...)
// percent-encoded. Leaves OutputKind and the records as they were.
std::string PreviewPage(TTagsArray& tags);

// How an upload run ended.
struct UploadOutcome {
  bool NoErrors = false;  // every image arrived
  int32_t Uploaded = 0;   // images whose links were stored
  struct Failure {
    int32_t Index;
    std::string Message;
  };
  std::vector<Failure> Failures;  // in the order they were reported
};

// Uploads every object's chosen file to `server` as the dialog's Upload
// button does (object index as the image id, the dialog's uploader settings)
// and stores the three links of each image that arrived in its record, with
// "Uploading images: N of M" on `progress`. Throws Interrupted when `watch`
// saw a signal; the run has then been aborted and has ended.
UploadOutcome UploadImages(TTagsArray& tags, TUploadServer server, const UploadHosts& hosts,
                           const InterruptWatch& watch, ProgressLine& progress);

}  // namespace tagsmith
