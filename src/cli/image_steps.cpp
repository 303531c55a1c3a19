#include "cli/image_steps.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include "cli/cli_errors.h"
#include "images/image_rules.h"
#include "platform/strings.h"
#include "platform/sync_queue.h"

namespace tagsmith {

namespace {

// The screen resolution the command renders for: what the editor's screens
// report at their normal size.
constexpr int32_t kScreenDpi = 96;

std::u16string& ChosenFile(TEmbObjRec& rec) { return rec.ImageKind == kImageKindPng ? rec.PngFile : rec.JpegFile; }

// A path as the path part of a file URL: the bytes of names that a link
// carries as they are stay; everything else is percent-encoded, so that a
// folder named "a#b" or "100%" still works.
std::string UrlPath(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' ||
                       c == '-' || c == '_' || c == '.' || c == '~' || c >= 0x80;
    if (plain) {
      out += char(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace

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

uint8_t FormatChoiceOf(const std::string& imageFormat) {
  if (imageFormat == "JPEG") return 1;
  if (imageFormat == "PNG") return 2;
  return 0;
}

std::vector<TImageFailure> RenderImages(TTagsArray& tags, TTempFiles& tempFiles, const RenderSettings& settings,
                                        const InterruptWatch& watch, ProgressLine& progress) {
  const int32_t count = int32_t(tags.EmbObjFormats.size());
  // As in the dialog, a document without objects never starts the renderer.
  if (count == 0) return {};
  TImagesHandler handler;
  handler.ScreenDpi = kScreenDpi;
  handler.UpscaleDpi = 400;
  handler.UpscaleEnabled = settings.UpscaleEnabled;
  handler.FormatChoice = settings.FormatChoice;
  handler.TagsArray = &tags;
  handler.TempFiles = &tempFiles;
  bool finished = false;
  handler.OnProgress = [&](int32_t index, int32_t) {
    progress.Show(FormatString("Rendering images: %d of %d", index + 1, count));
  };
  handler.OnFinished = [&](TImagesHandler*) { finished = true; };
  progress.Show(FormatString("Rendering images: 0 of %d", count));
  handler.Start();
  SyncQueue::Main().ServeUntil([&] { return finished || watch.Signal() != 0; });
  if (!finished) handler.Terminate();
  handler.WaitFor();
  progress.End();
  if (const int signal = watch.Signal()) throw Interrupted{signal, "no code written"};
  return handler.Failures();
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

std::string PreviewPage(TTagsArray& tags) {
  // The writer puts each chosen path after "file://localhost" as it stands;
  // for the page the paths are given as URL paths and put back afterwards.
  struct Restore {
    TTagsArray& tags;
    uint8_t outputKind;
    std::vector<std::u16string> paths;
    ~Restore() {
      tags.OutputKind = outputKind;
      for (size_t i = 0; i < paths.size(); ++i) ChosenFile(tags.EmbObjFormats[i].Obj) = std::move(paths[i]);
    }
  } restore{tags, tags.OutputKind, {}};
  for (TEmbObjFormat& f : tags.EmbObjFormats) {
    std::u16string& chosen = ChosenFile(f.Obj);
    restore.paths.push_back(chosen);
    chosen = Utf8ToUtf16(UrlPath(Utf16ToUtf8(chosen)));
  }
  tags.OutputKind = 0;
  std::u16string page = u"<html><head><title>Preview</title></head><body bgColor=#FFFFFF>";
  page += tags.GetCode(true);
  page += u"</body></html>";
  return Utf16ToUtf8(page);
}

UploadOutcome UploadImages(TTagsArray& tags, TUploadServer server, const UploadHosts& hosts,
                           const InterruptWatch& watch, ProgressLine& progress) {
  const int32_t count = int32_t(tags.EmbObjFormats.size());
  UploadOutcome outcome;
  // As in the dialog, a document without objects counts as uploaded.
  if (count == 0) {
    outcome.NoErrors = true;
    return outcome;
  }
  bool uploading = true, uploaded = false, finished = false, cancelled = false;
  TImageUploader uploader;
  uploader.UploadServer = server;
  uploader.Hosts = hosts;
  uploader.OnImageUploaded = [&](int id, const std::string& imageUrl, const std::string& previewUrl,
                                 const std::string& linkToPage) {
    if (!uploading || uploaded || id < 0 || id >= count) return;
    TEmbObjRec& rec = tags.EmbObjFormats[size_t(id)].Obj;
    rec.ImageURL = Utf8ToUtf16(imageUrl);
    rec.ImagePreviewURL = Utf8ToUtf16(previewUrl);
    rec.LinkToPage = Utf8ToUtf16(linkToPage);
    ++outcome.Uploaded;
    progress.Show(FormatString("Uploading images: %d of %d", outcome.Uploaded, count));
  };
  uploader.OnImageFailed = [&](int id, const std::string& message) {
    if (uploading) outcome.Failures.push_back({id, message});
  };
  uploader.OnUploadFinished = [&](bool noErrors, bool cancelOperation) {
    uploading = false;
    finished = true;
    cancelled = cancelOperation;
    if (!cancelOperation && noErrors) uploaded = true;
  };
  uploader.ClearImages();
  for (int32_t i = 0; i < count; ++i) uploader.AddImage(i, Utf16ToUtf8(ChosenFile(tags.EmbObjFormats[size_t(i)].Obj)));
  progress.Show(FormatString("Uploading images: 0 of %d", count));
  uploader.StartUpload();
  SyncQueue& queue = SyncQueue::Main();
  queue.ServeUntil([&] { return finished || watch.Signal() != 0; });
  if (!finished) {
    // The run ends within about 300 ms; a transfer still under way is cut off
    // when the program ends.
    uploader.AbortUpload();
    queue.ServeUntil([&] { return finished; });
  }
  progress.End();
  if (const int signal = watch.Signal()) throw Interrupted{signal, "the upload was aborted and no code written"};
  outcome.NoErrors = uploaded && !cancelled;
  return outcome;
}

}  // namespace tagsmith
