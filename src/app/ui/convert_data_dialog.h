#pragma once

// Unit_frmConvertData: TfrmConvertData, the convert dialog. A thin window
// over TConvertWorkflow: it shows the thumbnails, the progress and the two
// steps (upload or preview, then copy or save), and hands the workflow the
// clipboard, the save dialog and the editor's convert-type selector.
//
//   TfrmConvertData dlg(editorWindow, dataModule, document);
//   ModalUi().Exec(dlg);
//
// The renderer starts when the dialog is first shown (and whenever it becomes
// active while the images are not ready). Exit, Escape and closing all end
// the dialog the same way: the upload is aborted and the renderer stops after
// the object it is drawing; destroying the dialog waits for that object.

#include <QDialog>
#include <QImage>
#include <QObject>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/convert_workflow.h"
#include "app/ui/main_thread_pump.h"

class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace tagsmith {

class QtDocument;
class TDataModuleMain;

// ImageList1: the thumbnails the renderer adds, as Qt images. Main thread.
class TQtImageList : public QObject, public IThumbnailList {
  Q_OBJECT
 public:
  TQtImageList(int32_t width, int32_t height, QObject* parent = nullptr);

  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  void Clear() override;
  void Add(const PixelView& image) override;

  const std::vector<QImage>& Images() const { return images_; }

 signals:
  void cleared();
  void added(int index);

 private:
  int32_t width_;
  int32_t height_;
  std::vector<QImage> images_;
};

class TfrmConvertData : public QDialog, private IConvertDataView {
  Q_OBJECT
 public:
  // Thumbnails and the viewer's cells.
  static constexpr int kThumbnailSize = 125;
  static constexpr int kCellSize = 160;

  // `parent` is the editor window: its "cbConvertTypes" selector chooses the
  // code's kind. Errors of the settings store and of the document propagate
  // (no dialog then). The data module and the document must outlive the
  // dialog.
  TfrmConvertData(QWidget* parent, TDataModuleMain& dataModule, QtDocument& document);
  TfrmConvertData(QWidget* parent, TDataModuleMain& dataModule, std::shared_ptr<ITextDocument> document,
                  std::shared_ptr<IRichEditOle> objects);
  ~TfrmConvertData() override;

  TConvertWorkflow& Workflow() { return *workflow_; }
  TQtImageList& ImageList1() { return *imageList1_; }
  // savedlgCode, made on first use.
  QFileDialog& SaveDialog();

  // The button handlers (the buttons' clicked signals run these). Errors are
  // shown by the application's error box; the dialog stays open.
  void btnUploadImagesClick();
  void btnPreviewClick();
  void btnCopyToClipboardClick();
  void btnSaveToFileClick();
  void btnExitClick();

  void done(int result) override;
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void Build();
  void Start(TDataModuleMain& dataModule, std::shared_ptr<ITextDocument> document,
             std::shared_ptr<IRichEditOle> objects);
  void Activated();

  // IConvertDataView
  void SetCaptions(const TConvertTexts& texts) override;
  void SetStatusLine(const std::string& text) override;
  void SetProgress(int32_t position) override;
  void SetUploadCaption(const std::string& text) override;
  void StateChanged(TConvertState state) override;
  void ShowUploadError(const std::string& text, const std::string& caption) override;
  void SetClipboardText(const std::u16string& text) override;
  std::optional<std::string> ChooseSaveFile() override;
  std::string ConvertTypeText() override;
  IThumbnailList* ImageList() override;
  int32_t ScreenDpi() override;

  MainThreadPump pump_;
  TQtImageList* imageList1_ = nullptr;
  QGroupBox* groupBox2_ = nullptr;
  QListWidget* jvImageListViewer1_ = nullptr;
  QGroupBox* groupBox3_ = nullptr;
  QLabel* labelProgress_ = nullptr;
  QProgressBar* progrMain_ = nullptr;
  QLabel* labelStep1_ = nullptr;
  QLabel* labelOr1_ = nullptr;
  QLabel* labelStep2_ = nullptr;
  QLabel* labelOr2_ = nullptr;
  QPushButton* btnUploadImages_ = nullptr;
  QPushButton* btnPreview_ = nullptr;
  QPushButton* btnCopyToClipboard_ = nullptr;
  QPushButton* btnSaveToFile_ = nullptr;
  QPushButton* btnExit_ = nullptr;
  QFileDialog* savedlgCode_ = nullptr;
  QString saveTitle_ = QStringLiteral("Save code to file");
  bool closed_ = false;
  std::unique_ptr<TConvertWorkflow> workflow_;
};

}  // namespace tagsmith
