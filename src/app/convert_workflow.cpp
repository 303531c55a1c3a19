#include "app/convert_workflow.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>

#include "app/global_share.h"
#include "images/image_rules.h"
#include "localization/count_format.h"
#include "localization/simple_translator.h"
#include "platform/shell.h"
#include "platform/strings.h"

namespace tagsmith {

namespace {

const std::string& Or(const std::string& text, const std::string& designText) {
  return text.empty() ? designText : text;
}

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

[[noreturn]] void CannotCreate(const std::string& path, int error) {
  throw EConvertData(FormatString("Cannot create file \"%s\". %s", path.c_str(), std::strerror(error)));
}

// Writes all of `bytes` to `fd` and closes it; throws naming `path`.
void WriteAndClose(int fd, const std::string& path, std::string_view bytes, bool sync) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : EIO;
      ::close(fd);
      throw EConvertData(FormatString("Error writing file \"%s\". %s", path.c_str(), std::strerror(error)));
    }
    bytes.remove_prefix(size_t(n));
  }
  const bool synced = !sync || ::fsync(fd) == 0;
  const int error = errno;
  if (::close(fd) != 0 || !synced)
    throw EConvertData(FormatString("Error writing file \"%s\". %s", path.c_str(), std::strerror(synced ? errno : error)));
}

// A file that does not exist yet (a temporary name), created and written.
void WriteNewFile(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) CannotCreate(path, errno);
  WriteAndClose(fd, path, bytes, false);
}

// Replaces the file at `path` (created when missing) with `bytes`. The new
// text goes into a file beside it that is renamed over it once complete, so a
// full disk or a failing write leaves the old file whole. A link is followed;
// the file keeps its permissions. Where no file can be made beside it (a
// folder the user may not write, holding a file the user may), the file is
// written in place.
void ReplaceFile(const std::string& path, std::string_view bytes) {
  namespace fs = std::filesystem;
  std::error_code ec;
  std::string target = path;
  if (fs::is_symlink(target, ec)) {
    const fs::path resolved = fs::weakly_canonical(target, ec);
    if (!ec) target = resolved.string();
  }
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) CannotCreate(path, EISDIR);

  static unsigned counter = 0;
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = target + FormatString(".%d-%u.tmp", int(::getpid()), ++counter);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    const int error = errno;
    if (!exists) CannotCreate(path, error);
    const int direct = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (direct < 0) CannotCreate(path, errno);
    WriteAndClose(direct, path, bytes, false);
    return;
  }
  if (exists) ::fchmod(fd, existing.st_mode & 07777);
  try {
    WriteAndClose(fd, path, bytes, true);
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    CannotCreate(path, error);
  }
}

// The stream's text as UTF-16 little-endian bytes.
std::string LittleEndianBytes(const std::u16string& text) {
  std::string bytes(text.size() * 2, '\0');
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(bytes.data(), text.data(), bytes.size());
  } else {
    for (size_t i = 0; i < text.size(); ++i) {
      bytes[2 * i] = char(text[i] & 0xFF);
      bytes[2 * i + 1] = char(text[i] >> 8);
    }
  }
  return bytes;
}

// Empties the scratch stream however the step ends.
struct EmptyAfterwards {
  TWStringStream& stream;
  ~EmptyAfterwards() { stream.SetSize(0); }
};

}  // namespace

std::u16string& ChosenFile(TEmbObjRec& rec) { return rec.ImageKind == kImageKindPng ? rec.PngFile : rec.JpegFile; }

TConvertTexts TConvertTexts::From(const TTranslatedStrings* strings) {
  const TTranslatedStrings none;
  const TTranslatedStrings& s = strings ? *strings : none;
  TConvertTexts t;
  t.ConvertDlg_Caption = Or(s.ConvertDlg_Caption, "Convert text to..");
  t.ImagesSection = Or(s.ImagesSection, "Images");
  t.ProcessingSteps = Or(s.ProcessingSteps, "Processing steps");
  t.Progress = Or(s.Progress, "Progress:");
  t.Step1 = Or(s.Step1, "Step 1:");
  t.Step2 = Or(s.Step2, "Step 2:");
  t.LabelOR = Or(s.LabelOR, "OR");
  t.UploadImages = Or(s.UploadImages, "Upload images to WWW");
  t.Preview = Or(s.Preview, "Preview in browser");
  t.CopyCodeToClipboard = Or(s.CopyCodeToClipboard, "Copy code to clipboard");
  t.SaveCodeToFile = Or(s.SaveCodeToFile, "Save code to file");
  t.ConvertDlg_Exit = Or(s.ConvertDlg_Exit, "Exit");
  t.PasteAndExit = Or(s.PasteAndExit, "Paste and Exit");
  t.ImagesProgressMsg = Or(s.ImagesProgressMsg, "Rendering images: %d of %d");
  t.ImagesUploadMsg = Or(s.ImagesUploadMsg, "Uploading images: %d of %d");
  t.AbortUploading = Or(s.AbortUploading, "Abort uploading");
  t.CantUploadImages = Or(s.CantUploadImages, "Some images could not be uploaded to the image host. Check your Internet connection and try again.");
  t.UploadError = Or(s.UploadError, "Upload error");
  return t;
}

TUploadServer UploadServerOfImageHosting(const std::string& imageHosting) {
  return imageHosting == settings::kImageHostLabels[1] ? TUploadServer::FastPic : TUploadServer::ImageShack;
}

UploadHosts ReadUploadHosts(TUploadServer server) {
  UploadHosts hosts;
  if (server == TUploadServer::FastPic) hosts.fastPicHost = ReadFastPicHost();
  else hosts.imageShackPattern = ReadImageShackHost();
  return hosts;
}

TConvertWorkflow::TConvertWorkflow(IConvertDataView& view, const TConvertEnvironment& environment,
                                   std::shared_ptr<ITextDocument> document, std::shared_ptr<IRichEditOle> objects)
    : view_(view), tempFiles_(environment.TempFiles), texts_(TConvertTexts::From(environment.Strings)) {
  view_.SetCaptions(texts_);
  SettingsStore& store = GetSettingsStore();
  imageUploaderMain_.UploadServer = UploadServerOfImageHosting(store.Read(settings::kImageHosting));
  imageUploaderMain_.OnImageUploaded = [this](int id, const std::string& image, const std::string& preview,
                                              const std::string& page) { OnImageUploaded(id, image, preview, page); };
  imageUploaderMain_.OnUploadFinished = [this](bool noErrors, bool cancel) { OnUploadFinished(noErrors, cancel); };
  imageUploaderMain_.OnImageFailed = [this](int id, const std::string& message) {
    if (uploading_) uploadFailures_.push_back({id, message});
  };

  tagsArray_.Document = std::move(document);
  tagsArray_.RichEditOle = std::move(objects);
  tagsArray_.DataModule = environment.TagSets;
  tagsArray_.AntiHotlinking = store.Read(settings::kEnableAntiHotlinking);

  imagesHandler_.FormatChoice = FormatChoiceFromSetting(store.Read(settings::kImageFormat));
  imagesHandler_.ScreenDpi = view_.ScreenDpi();
  imagesHandler_.UpscaleDpi = 400;
  imagesHandler_.ImageList = view_.ImageList();
  imagesHandler_.TagsArray = &tagsArray_;
  imagesHandler_.TempFiles = tempFiles_;
  imagesHandler_.UpscaleEnabled = store.Read(settings::kUpscaleImages);
  imagesHandler_.OnProgress = [this](int32_t index, int32_t) { OnImagesProgress(index); };
  imagesHandler_.OnFinished = [this](TImagesHandler*) { OnImagesFinished(); };

  uploadedCount_ = 0;
  uploading_ = false;
  tagsArray_.Analyze();
  if (ObjectCount() == 0) {
    OnImagesFinished();
    OnUploadFinished(true, false);
  } else {
    imagesReady_ = false;
    uploaded_ = false;
    NotifyState();
  }
}

TConvertWorkflow::~TConvertWorkflow() {
  closing_ = true;
  imagesHandler_.Terminate();
  imageUploaderMain_.AbortUpload();
  imagesHandler_.WaitFor();
}

void TConvertWorkflow::NotifyState() {
  if (!closing_) view_.StateChanged(State());
}

TConvertState TConvertWorkflow::State() const {
  if (uploaded_) return csDone;
  if (uploading_) return csUploading;
  if (!imagesReady_) return csRendering;
  return runEnded_ ? csAbortedOrFailed : csReadyToUpload;
}

void TConvertWorkflow::Activate() {
  if (!imagesReady_ && !closing_) imagesHandler_.Start();
}

void TConvertWorkflow::OnImagesProgress(int32_t index) {
  const int32_t count = ObjectCount();
  if (closing_ || count <= 0) return;
  view_.SetProgress(int32_t(RoundHalfEven(double(index + 1) * kProgressMax / count)));
  view_.SetStatusLine(CountText(texts_.ImagesProgressMsg, index + 1, count));
}

void TConvertWorkflow::OnImagesFinished() {
  imagesReady_ = true;
  NotifyState();
}

void TConvertWorkflow::UploadImagesClick() {
  if (closing_) return;
  if (uploading_) {
    imageUploaderMain_.AbortUpload();
    return;
  }
  if (!imagesReady_ || uploaded_) return;
  UploadHosts hosts = ReadUploadHosts(imageUploaderMain_.UploadServer);
  hosts.connectTo = UploadConnectTo;
  view_.SetProgress(0);
  view_.SetStatusLine(CountText(texts_.ImagesUploadMsg, 0, ObjectCount()));
  uploading_ = true;
  try {
    StartUploading(std::move(hosts));
  } catch (...) {
    // No run started, so none will end: the button must not stay an abort button.
    uploading_ = false;
    runEnded_ = true;
    NotifyState();
    throw;
  }
  view_.SetUploadCaption(texts_.AbortUploading);
  NotifyState();
}

void TConvertWorkflow::StartUploading(UploadHosts hosts) {
  const int32_t count = ObjectCount();
  uploadedCount_ = 0;
  uploadedInRun_.assign(size_t(count), false);
  uploadFailures_.clear();
  imageUploaderMain_.Hosts = std::move(hosts);
  imageUploaderMain_.ClearImages();
  for (int32_t i = 0; i < count; ++i)
    imageUploaderMain_.AddImage(i, Utf16ToUtf8(ChosenFile(tagsArray_.EmbObjFormats[size_t(i)].Obj)));
  imageUploaderMain_.StartUpload();
}

void TConvertWorkflow::OnImageUploaded(int ImageId, const std::string& ImageURL, const std::string& ImagePreviewURL,
                                       const std::string& LinkToPage) {
  const int32_t count = ObjectCount();
  if (!uploading_ || uploaded_ || ImageId < 0 || ImageId >= count) return;
  TEmbObjRec& rec = tagsArray_.EmbObjFormats[size_t(ImageId)].Obj;
  rec.ImageURL = Utf8ToUtf16(ImageURL);
  rec.ImagePreviewURL = Utf8ToUtf16(ImagePreviewURL);
  rec.LinkToPage = Utf8ToUtf16(LinkToPage);
  // A thread left over from an aborted run may deliver an image this run
  // sends again: its links are as good, but it counts once.
  if (size_t(ImageId) < uploadedInRun_.size() && !uploadedInRun_[size_t(ImageId)]) {
    uploadedInRun_[size_t(ImageId)] = true;
    ++uploadedCount_;
  }
  if (closing_) return;
  view_.SetProgress(int32_t(RoundHalfEven(double(uploadedCount_) * kProgressMax / count)));
  view_.SetStatusLine(CountText(texts_.ImagesUploadMsg, uploadedCount_, count));
}

void TConvertWorkflow::OnUploadFinished(bool NoErrors, bool CancelOperation) {
  if (!closing_) view_.SetUploadCaption(texts_.UploadImages);
  uploading_ = false;
  if (CancelOperation) {
    runEnded_ = true;
    if (!closing_) view_.SetStatusLine(kOperationAborted);
  } else if (NoErrors) {
    uploaded_ = true;
    if (!closing_) view_.SetProgress(kProgressMax);
  } else {
    runEnded_ = true;
    NotifyState();
    if (!closing_) view_.ShowUploadError(texts_.CantUploadImages, texts_.UploadError);
    return;
  }
  NotifyState();
}

uint8_t TConvertWorkflow::GetConvertKind(const std::string& selectorText) {
  if (selectorText == "HTML") return 0;
  if (selectorText == "bbCode") return 1;
  return 0;
}

std::u16string TConvertWorkflow::GetOutputCode() {
  tagsArray_.OutputKind = GetConvertKind(view_.ConvertTypeText());
  return tagsArray_.GetCode(false);
}

std::string TConvertWorkflow::PreviewPage() {
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
  } restore{tagsArray_, tagsArray_.OutputKind, {}};
  restore.paths.reserve(tagsArray_.EmbObjFormats.size());
  for (TEmbObjFormat& f : tagsArray_.EmbObjFormats) {
    std::u16string& chosen = ChosenFile(f.Obj);
    restore.paths.push_back(chosen);
    chosen = Utf8ToUtf16(UrlPath(Utf16ToUtf8(chosen)));
  }
  tagsArray_.OutputKind = 0;
  if (tagsArray_.CurrentDialect() == mdHtml5) {
    // The code made for browsers gets a page a browser reads without
    // guessing: a doctype and the character set it is written in.
    std::u16string page =
        u"<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"><title>Preview</title></head>"
        u"<body style=\"background-color: #FFFFFF\">\r\n";
    page += tagsArray_.GetCode(true);
    page += u"</body></html>\r\n";
    return Utf16ToUtf8(page);
  }
  std::u16string page = u"<html><head><title>Preview</title></head><body bgColor=#FFFFFF>";
  page += tagsArray_.GetCode(true);
  page += u"</body></html>";
  return Utf16ToUtf8(page);
}

void TConvertWorkflow::PreviewClick() {
  if (closing_ || !Buttons().Preview) return;
  if (!tempFiles_) throw EConvertData("No temporary files to write the preview to");
  const std::string page = PreviewPage();
  const std::string file = tempFiles_->CreateTempFileName(".html");
  WriteNewFile(file, page);
  GetShell().OpenDocument(file);
}

void TConvertWorkflow::CopyToClipboardClick() {
  if (closing_ || !Buttons().CopyAndSave) return;
  const std::u16string code = GetOutputCode();
  EmptyAfterwards empty{codeStream_};
  // The clipboard's text on this platform carries no terminator: a U+0000
  // would be pasted as a character of its own.
  codeStream_.WriteWideString(code);
  view_.SetClipboardText(codeStream_.DataString());
}

void TConvertWorkflow::SaveToFileClick() {
  if (closing_ || !Buttons().CopyAndSave) return;
  const std::optional<std::string> file = view_.ChooseSaveFile();
  if (!file) return;
  const std::u16string code = GetOutputCode();
  EmptyAfterwards empty{codeStream_};
  codeStream_.WriteWideString(code);
  codeStream_.WriteWideString(std::u16string_view(u"\0", 1));
  ReplaceFile(*file, LittleEndianBytes(codeStream_.DataString()));
}

void TConvertWorkflow::PasteAndExitClick() {
  if (closing_ || !Buttons().CopyAndSave) return;
  codeToPaste_ = GetOutputCode();
}

void TConvertWorkflow::ExitClick() {
  imageUploaderMain_.AbortUpload();
  imagesHandler_.Terminate();
  closing_ = true;
}

std::string TConvertWorkflow::CountText(const std::string& format, int done, int total) {
  try {
    return FormatCountText(format, done, total);
  } catch (const ESimpleTranslator&) {
    return FormatString("%s %d/%d", format.c_str(), done, total);
  }
}

}  // namespace tagsmith
