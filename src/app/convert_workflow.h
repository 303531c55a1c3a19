#pragma once

// Unit_frmConvertData without its window: the workflow of one convert dialog.
// It takes the snapshot of the document, lets the renderer make the image
// files and thumbnails, uploads the images, and hands out the code: copied,
// saved, previewed in the browser or, in the control, pasted. The dialog's
// window is a thin view over it (IConvertDataView); tagsmith-convert drives
// the same workflow with a view of its own.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/translated_strings.h"
#include "conversion/tags_array.h"
#include "conversion/wstring_stream.h"
#include "images/images_handler.h"
#include "images/temp_files.h"
#include "images/thumbnail_list.h"
#include "platform/errors.h"
#include "upload/image_uploader.h"

namespace tagsmith {

// The dialog's own failures: a file of its output that cannot be written.
class EConvertData : public Exception {
 public:
  using Exception::Exception;
};

// The states of the dialog and the buttons each enables.
enum TConvertState : uint8_t {
  csRendering,        // objects exist and ImagesReady is false
  csReadyToUpload,    // every object rendered, no upload run yet
  csUploading,        // Uploading: the upload button aborts
  csAbortedOrFailed,  // the last run was aborted or failed
  csDone,             // Uploaded (or no objects)
};

struct TConvertButtons {
  bool Upload = false;
  bool Preview = false;
  bool CopyAndSave = false;  // copy, save and (in the control) Paste and Exit
  bool Exit = true;
  bool operator==(const TConvertButtons&) const = default;
};

// The state table: which buttons each state enables, indexed by the state.
inline constexpr std::array<TConvertButtons, 5> kConvertButtons = {{
    {false, false, false, true},  // csRendering
    {true, true, false, true},    // csReadyToUpload
    {true, true, false, true},    // csUploading
    {true, true, false, true},    // csAbortedOrFailed
    {false, true, true, true},    // csDone
}};

// The bar's range is 0 to this.
inline constexpr int32_t kProgressMax = 1000;

// The status line after an aborted upload; not translated.
inline constexpr const char* kOperationAborted = "Operation was aborted!";

// The dialog's texts: the translated strings, and for a key without a text
// the window's design-time text, so that an untranslated dialog still reads.
struct TConvertTexts {
  std::string ConvertDlg_Caption;
  std::string ImagesSection;
  std::string ProcessingSteps;
  std::string Progress;
  std::string Step1;
  std::string Step2;
  std::string LabelOR;
  std::string UploadImages;
  std::string Preview;
  std::string CopyCodeToClipboard;
  std::string SaveCodeToFile;
  std::string ConvertDlg_Exit;
  std::string PasteAndExit;
  std::string ImagesProgressMsg;
  std::string ImagesUploadMsg;
  std::string AbortUploading;
  std::string CantUploadImages;
  std::string UploadError;

  // From `strings` (null: every design-time text).
  static TConvertTexts From(const TTranslatedStrings* strings);
};

// What the workflow asks of its window. Every call comes on the main thread,
// from the workflow's creation, its buttons or its workers' notifications.
class IConvertDataView {
 public:
  virtual ~IConvertDataView() = default;
  // Creation step 1: the window's caption, the groups, labels and buttons.
  virtual void SetCaptions(const TConvertTexts& texts) = 0;
  // label_Progress.
  virtual void SetStatusLine(const std::string& text) = 0;
  // progrMain, 0 to kProgressMax.
  virtual void SetProgress(int32_t position) = 0;
  // btnUploadImages' caption: UploadImages, or AbortUploading during a run.
  virtual void SetUploadCaption(const std::string& text) = 0;
  // The state changed: enable the buttons as kConvertButtons[state] says.
  virtual void StateChanged(TConvertState state) = 0;
  // The upload error box: owned by the dialog, error icon, OK button.
  virtual void ShowUploadError(const std::string& text, const std::string& caption) = 0;
  // Copy: the code as the clipboard's text.
  virtual void SetClipboardText(const std::u16string& text) = 0;
  // Save: runs savedlgCode; the chosen file, or nothing when cancelled.
  virtual std::optional<std::string> ChooseSaveFile() = 0;
  // The text of the editor's convert-type selector (cbConvertTypes).
  virtual std::string ConvertTypeText() = 0;
  // ImageList1, which receives the thumbnails; null: none are made.
  virtual IThumbnailList* ImageList() = 0;
  // The screen's resolution in dots per inch.
  virtual int32_t ScreenDpi() = 0;
};

// What the workflow uses of its data module.
struct TConvertEnvironment {
  TTempFiles* TempFiles = nullptr;                // TempFilesMain; required
  TTagSetSource TagSets;                          // the data module's tag sets
  const TTranslatedStrings* Strings = nullptr;    // null: the design-time texts
};

// An upload that failed for good, with the reason of its last attempt.
struct TUploadFailure {
  int32_t ImageId = 0;
  std::string Message;
};

// The file of an object that the code uses and the upload sends: PngFile when
// its ImageKind is PNG, else JpegFile.
std::u16string& ChosenFile(TEmbObjRec& rec);

// "ImageHosting" as the dialog reads it: FastPic for the second host's label,
// ImageShack for anything else.
TUploadServer UploadServerOfImageHosting(const std::string& imageHosting);
// The hosts of `server` as the settings name them, checked (EGlobalShare
// names a setting that cannot be used).
UploadHosts ReadUploadHosts(TUploadServer server);

// The workflow of one convert dialog. Main thread only; the view, the
// environment's parts and the document must outlive it.
//
// Creation (the constructor) applies the captions, reads the image and host
// settings, takes the snapshot (TTagsArray::Analyze) and, for a document
// without objects, goes straight to csDone. Errors of the settings store and
// of the document propagate from the constructor. A button whose state does
// not enable it does nothing. Exit, and the destructor, stop the renderer
// after the object it is drawing and cancel the upload; the destructor waits
// for both, so no thread, transfer or notification outlives the workflow.
class TConvertWorkflow {
 public:
  TConvertWorkflow(IConvertDataView& view, const TConvertEnvironment& environment,
                   std::shared_ptr<ITextDocument> document, std::shared_ptr<IRichEditOle> objects);
  ~TConvertWorkflow();
  TConvertWorkflow(const TConvertWorkflow&) = delete;
  TConvertWorkflow& operator=(const TConvertWorkflow&) = delete;

  // The dialog became active: the renderer starts while images are not ready.
  void Activate();

  // Upload button: aborts a run; starts one when the images are ready and not
  // uploaded; else nothing. Starting reads the host settings first, so a
  // setting that cannot be used throws before anything changes.
  void UploadImagesClick();
  // A new temporary ".html" page (PreviewPage) opened in the browser through
  // the shell. EConvertData when the page cannot be written.
  void PreviewClick();
  // The code (GetOutputCode) on the clipboard, without a closing U+0000.
  void CopyToClipboardClick();
  // The code written to the chosen file as UTF-16 little-endian without a
  // byte-order mark, with one U+0000 at its end. The code is made before the
  // file is touched, and the file is replaced only once the new one is whole,
  // so a failure (EConvertData, or the document's error) leaves it as it was.
  void SaveToFileClick();
  // The control's Paste and Exit: CodeToPaste is the code; the view then
  // closes the dialog.
  void PasteAndExitClick();
  // Exit: the upload is aborted and the renderer stops after its object; the
  // view then closes the dialog. Nothing reaches the view afterwards.
  void ExitClick();

  // The renderer's and the uploader's notifications (bound at creation).
  void OnImagesProgress(int32_t index);
  void OnImagesFinished();
  void OnImageUploaded(int ImageId, const std::string& ImageURL, const std::string& ImagePreviewURL,
                       const std::string& LinkToPage);
  void OnUploadFinished(bool NoErrors, bool CancelOperation);

  // OutputKind for the selector's text: "HTML" 0, "bbCode" 1, anything else 0
  // (compared exactly).
  static uint8_t GetConvertKind(const std::string& selectorText);
  // OutputKind = GetConvertKind (the view's selector), then GetCode(false):
  // the code that copy, save and paste hand out.
  std::u16string GetOutputCode();
  // The preview page in UTF-8 (browsers do not read UTF-16 without a
  // byte-order mark): "<html><head><title>Preview</title></head><body
  // bgColor=#FFFFFF>", GetCode(true) with OutputKind 0, "</body></html>". Each
  // local link is "file://localhost" and the chosen file's absolute path,
  // with the bytes that would end or change a link percent-encoded. With the
  // HTML5 dialect chosen the page is an HTML5 document instead: a doctype,
  // <meta charset="utf-8">, and the body's colour as a style. Leaves
  // OutputKind and the records as they were.
  std::string PreviewPage();

  TConvertState State() const;
  TConvertButtons Buttons() const { return kConvertButtons[State()]; }
  const TConvertTexts& Texts() const { return texts_; }
  // A count text ("ImagesProgressMsg", "ImagesUploadMsg") formatted; a text a
  // language file made unusable shows as it is, with the counts after it.
  static std::string CountText(const std::string& format, int done, int total);

  TTagsArray& TagsArray() { return tagsArray_; }
  TImagesHandler& ImagesHandler() { return imagesHandler_; }
  TImageUploader& ImageUploaderMain() { return imageUploaderMain_; }
  bool ImagesReady() const { return imagesReady_; }
  bool Uploading() const { return uploading_; }
  bool Uploaded() const { return uploaded_; }
  int32_t UploadedCount() const { return uploadedCount_; }
  const std::u16string& CodeToPaste() const { return codeToPaste_; }
  // The images of the current (or last) run that failed for good, in the
  // order reported.
  const std::vector<TUploadFailure>& UploadFailures() const { return uploadFailures_; }

  // "HOST:PORT" that every upload connects to instead of the host the
  // settings name (a server of one's own); empty: the named host.
  std::string UploadConnectTo;

 private:
  int32_t ObjectCount() const { return int32_t(tagsArray_.EmbObjFormats.size()); }
  void StartUploading(UploadHosts hosts);
  void NotifyState();

  IConvertDataView& view_;
  TTempFiles* const tempFiles_;
  const TConvertTexts texts_;
  bool closing_ = false;
  bool imagesReady_ = false;
  bool uploading_ = false;
  bool uploaded_ = false;
  bool runEnded_ = false;  // a run ended without uploading every image
  int32_t uploadedCount_ = 0;
  std::vector<bool> uploadedInRun_;  // images of the run whose links arrived
  std::vector<TUploadFailure> uploadFailures_;
  std::u16string codeToPaste_;
  // Destroyed in this order from the bottom: the uploader, the renderer,
  // then the snapshot both work on.
  TTagsArray tagsArray_;
  TWStringStream codeStream_;
  TImagesHandler imagesHandler_;
  TImageUploader imageUploaderMain_;
};

}  // namespace tagsmith
