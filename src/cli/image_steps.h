#pragma once

// tagsmith-convert's image steps over the convert dialog's workflow: the
// objects rendered, the chosen files copied into a folder, and the upload.
// Main thread of SyncQueue::Main() only; the steps serve its queue while they
// wait for the workflow's workers.

#include <cstdint>
#include <string>
#include <vector>

#include "app/convert_workflow.h"
#include "cli/interrupt_watch.h"

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

// The convert dialog's window as the command has it: the status line of a
// step in progress goes to that step's progress line, the selector is the
// kind of --to, the screen has 96 dpi and no thumbnails are made. The command
// reports failures itself, so the upload error box shows nothing.
class ConsoleConvertView : public IConvertDataView {
 public:
  explicit ConsoleConvertView(uint8_t outputKind) : outputKind_(outputKind) {}

  // The progress line the status line goes to; null: nowhere.
  void ShowStatusOn(ProgressLine* progress) { progress_ = progress; }

  void SetCaptions(const TConvertTexts&) override {}
  void SetStatusLine(const std::string& text) override {
    if (progress_) progress_->Show(text);
  }
  void SetProgress(int32_t) override {}
  void SetUploadCaption(const std::string&) override {}
  void StateChanged(TConvertState) override {}
  void ShowUploadError(const std::string&, const std::string&) override {}
  void SetClipboardText(const std::u16string&) override {}
  std::optional<std::string> ChooseSaveFile() override { return std::nullopt; }
  std::string ConvertTypeText() override { return outputKind_ == 0 ? "HTML" : "bbCode"; }
  IThumbnailList* ImageList() override { return nullptr; }
  int32_t ScreenDpi() override { return 96; }

 private:
  uint8_t outputKind_;
  ProgressLine* progress_ = nullptr;
};

// Renders every object as the dialog does once it is shown, with "Rendering
// images: N of M" on `progress`. Returns the objects that failed, in index
// order. Throws Interrupted when `watch` saw a signal; the renderer has then
// ended after the object it was at.
std::vector<TImageFailure> RenderImages(TConvertWorkflow& workflow, ConsoleConvertView& view,
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

// Uploads the images as the dialog's Upload button does, with "Uploading
// images: N of M" on `progress`; the workflow stores the links of each image
// that arrived. Returns whether every image arrived (a document without
// objects counts as uploaded). Throws Interrupted when `watch` saw a signal;
// the run has then been aborted and has ended.
bool UploadImages(TConvertWorkflow& workflow, ConsoleConvertView& view, const InterruptWatch& watch,
                  ProgressLine& progress);

}  // namespace tagsmith
