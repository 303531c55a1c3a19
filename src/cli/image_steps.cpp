#include "cli/image_steps.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "cli/cli_errors.h"
#include "images/image_rules.h"
#include "platform/strings.h"
#include "platform/sync_queue.h"

namespace tagsmith {

void ProgressLine::Show(const std::string& text) {
  if (!enabled_) return;
  // Blanks over what a longer earlier text left.
  std::string line = "\r" + text;
  if (text.size() < width_) line.append(width_ - text.size(), ' ');
  width_ = text.size();
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  shown_ = true;
}

void ProgressLine::End() {
  if (!shown_) return;
  std::fputs("\n", stderr);
  std::fflush(stderr);
  shown_ = false;
  width_ = 0;
}

std::vector<TImageFailure> RenderImages(TConvertWorkflow& workflow, ConsoleConvertView& view,
                                        const InterruptWatch& watch, ProgressLine& progress) {
  const int32_t count = int32_t(workflow.TagsArray().EmbObjFormats.size());
  // As in the dialog, a document without objects never starts the renderer.
  if (workflow.ImagesReady()) return {};
  progress.Show(TConvertWorkflow::CountText(workflow.Texts().ImagesProgressMsg, 0, count));
  view.ShowStatusOn(&progress);
  workflow.Activate();
  SyncQueue::Main().ServeUntil([&] { return workflow.ImagesReady() || watch.Signal() != 0; });
  view.ShowStatusOn(nullptr);
  if (!workflow.ImagesReady()) {
    workflow.ExitClick();
    workflow.ImagesHandler().WaitFor();
  }
  progress.End();
  if (const int signal = watch.Signal()) throw Interrupted{signal, "no code written"};
  return workflow.ImagesHandler().Failures();
}

std::string ImageCopyName(int32_t index, uint8_t imageKind) {
  return FormatString("image-%03d.%s", index + 1, imageKind == kImageKindPng ? "png" : "jpg");
}

std::vector<std::string> CopyChosenImages(TTagsArray& tags, const std::string& dir) {
  std::error_code ec;
  const std::filesystem::path absoluteDir = std::filesystem::absolute(dir, ec).lexically_normal();
  if (ec) throw FileError{dir, "cannot be used: " + ec.message()};
  std::vector<std::string> copies;
  for (size_t i = 0; i < tags.EmbObjFormats.size(); ++i) {
    TEmbObjRec& rec = tags.EmbObjFormats[i].Obj;
    std::u16string& chosen = ChosenFile(rec);
    if (chosen.empty()) {
      copies.emplace_back();
      continue;
    }
    const std::string name = ImageCopyName(int32_t(i), rec.ImageKind);
    const std::string shown = (std::filesystem::path(dir) / name).string();
    const std::filesystem::path target = absoluteDir / name;
    // A folder in the way would be reported as an invalid argument.
    if (std::filesystem::is_directory(target, ec)) ec = std::make_error_code(std::errc::is_a_directory);
    else std::filesystem::copy_file(Utf16ToUtf8(chosen), target, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) throw FileError{shown, "cannot be written: " + ec.message()};
    chosen = Utf8ToUtf16(target.string());
    copies.push_back(shown);
  }
  return copies;
}

bool UploadImages(TConvertWorkflow& workflow, ConsoleConvertView& view, const InterruptWatch& watch,
                  ProgressLine& progress) {
  // As in the dialog, a document without objects counts as uploaded.
  if (workflow.Uploaded()) return true;
  view.ShowStatusOn(&progress);
  workflow.UploadImagesClick();
  SyncQueue& queue = SyncQueue::Main();
  queue.ServeUntil([&] { return !workflow.Uploading() || watch.Signal() != 0; });
  view.ShowStatusOn(nullptr);
  if (workflow.Uploading()) {
    // The second click aborts; the run ends within about 300 ms, and the
    // transfers still under way are cancelled when the workflow goes.
    workflow.UploadImagesClick();
    queue.ServeUntil([&] { return !workflow.Uploading(); });
  }
  progress.End();
  if (const int signal = watch.Signal()) throw Interrupted{signal, "the upload was aborted and no code written"};
  return workflow.Uploaded();
}

}  // namespace tagsmith
