#include "app/ui/convert_data_dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <cstring>
#include <utility>

#include "app/data_module.h"
#include "app/ui/application_errors.h"
#include "app/ui/modal_ui.h"
#include "app/ui/qt_document.h"

namespace tagsmith {

namespace {

QString Q(const std::string& text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

// A view of the editor's document that leaves it to the editor.
template <typename T>
std::shared_ptr<T> Borrowed(T& object) {
  return std::shared_ptr<T>(&object, [](T*) {});
}

// Accessible names read the caption without its mnemonic marker or a closing colon.
QString Spoken(const QString& caption) {
  QString s = caption;
  s.remove(QLatin1Char('&'));
  s = s.trimmed();
  if (s.endsWith(QLatin1Char(':'))) s.chop(1);
  return s;
}

void SetButtonText(QPushButton* button, const std::string& text) {
  button->setText(Q(text));
  button->setAccessibleName(Spoken(button->text()));
}

}  // namespace

// ---------------------------------------------------------------------------

TQtImageList::TQtImageList(int32_t width, int32_t height, QObject* parent)
    : QObject(parent), width_(width), height_(height) {
  setObjectName(QStringLiteral("ImageList1"));
}

void TQtImageList::Clear() {
  images_.clear();
  emit cleared();
}

void TQtImageList::Add(const PixelView& image) {
  QImage copy(image.width, image.height, QImage::Format_ARGB32_Premultiplied);
  for (int32_t y = 0; y < image.height; ++y)
    std::memcpy(copy.scanLine(y), image.pixels + size_t(y) * size_t(image.stride), size_t(image.width) * 4);
  images_.push_back(std::move(copy));
  emit added(int(images_.size()) - 1);
}

// ---------------------------------------------------------------------------

TfrmConvertData::TfrmConvertData(QWidget* parent, TDataModuleMain& dataModule, QtDocument& document)
    : QDialog(parent) {
  Build();
  Start(dataModule, Borrowed<ITextDocument>(document), Borrowed<IRichEditOle>(document));
}

TfrmConvertData::TfrmConvertData(QWidget* parent, TDataModuleMain& dataModule,
                                 std::shared_ptr<ITextDocument> document, std::shared_ptr<IRichEditOle> objects)
    : QDialog(parent) {
  Build();
  Start(dataModule, std::move(document), std::move(objects));
}

// The workflow goes first: it waits for the renderer, whose last steps still
// reach the image list.
TfrmConvertData::~TfrmConvertData() { workflow_.reset(); }

void TfrmConvertData::Build() {
  setObjectName(QStringLiteral("frmConvertData"));
  // A fixed dialog without title-bar buttons: Exit is the way out.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setWindowTitle(QStringLiteral("Convert text to.."));
  setModal(true);

  imageList1_ = new TQtImageList(kThumbnailSize, kThumbnailSize, this);

  groupBox2_ = new QGroupBox(QStringLiteral("Images"), this);
  groupBox2_->setObjectName(QStringLiteral("GroupBox2"));
  jvImageListViewer1_ = new QListWidget(groupBox2_);
  jvImageListViewer1_->setObjectName(QStringLiteral("JvImageListViewer1"));
  jvImageListViewer1_->setViewMode(QListView::IconMode);
  jvImageListViewer1_->setFlow(QListView::LeftToRight);
  jvImageListViewer1_->setWrapping(false);
  jvImageListViewer1_->setMovement(QListView::Static);
  jvImageListViewer1_->setResizeMode(QListView::Fixed);
  jvImageListViewer1_->setIconSize(QSize(kThumbnailSize, kThumbnailSize));
  jvImageListViewer1_->setGridSize(QSize(kCellSize, kCellSize));
  jvImageListViewer1_->setSelectionMode(QAbstractItemView::NoSelection);
  jvImageListViewer1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  jvImageListViewer1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  jvImageListViewer1_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  jvImageListViewer1_->setFixedHeight(kCellSize + jvImageListViewer1_->horizontalScrollBar()->sizeHint().height() +
                                      2 * jvImageListViewer1_->frameWidth());
  auto* imagesLayout = new QVBoxLayout(groupBox2_);
  imagesLayout->addWidget(jvImageListViewer1_);
  connect(imageList1_, &TQtImageList::added, this, [this](int index) {
    auto* item = new QListWidgetItem(QIcon(QPixmap::fromImage(imageList1_->Images()[size_t(index)])), QString());
    item->setFlags(Qt::ItemIsEnabled);
    item->setSizeHint(QSize(kCellSize, kCellSize));
    item->setData(Qt::AccessibleTextRole, QString::number(index + 1));
    jvImageListViewer1_->addItem(item);
  });
  connect(imageList1_, &TQtImageList::cleared, jvImageListViewer1_, &QListWidget::clear);

  groupBox3_ = new QGroupBox(QStringLiteral("Processing steps"), this);
  groupBox3_->setObjectName(QStringLiteral("GroupBox3"));
  labelProgress_ = new QLabel(QStringLiteral("Progress:"), groupBox3_);
  labelProgress_->setObjectName(QStringLiteral("label_Progress"));
  labelProgress_->setAlignment(Qt::AlignCenter);
  progrMain_ = new QProgressBar(groupBox3_);
  progrMain_->setObjectName(QStringLiteral("progrMain"));
  progrMain_->setRange(0, kProgressMax);
  progrMain_->setValue(0);
  progrMain_->setTextVisible(false);

  auto label = [this](const char* name, const char* text) {
    auto* l = new QLabel(QString::fromUtf8(text), groupBox3_);
    l->setObjectName(QString::fromUtf8(name));
    return l;
  };
  auto button = [this](const char* name, const char* text) {
    auto* b = new QPushButton(QString::fromUtf8(text), groupBox3_);
    b->setObjectName(QString::fromUtf8(name));
    b->setAccessibleName(Spoken(b->text()));
    b->setAutoDefault(false);
    b->setEnabled(false);
    return b;
  };
  labelStep1_ = label("lbStep1", "Step 1:");
  labelOr1_ = label("lbOR1", "OR");
  labelStep2_ = label("lbStep2", "Step 2:");
  labelOr2_ = label("lbOR2", "OR");
  btnUploadImages_ = button("btnUploadImages", "Upload images to WWW");
  btnPreview_ = button("btnPreview", "Preview in browser");
  btnCopyToClipboard_ = button("btnCopyToClipboard", "Copy code to clipboard");
  btnSaveToFile_ = button("btnSaveToFile", "Save code to file");

  auto* steps = new QGridLayout();
  steps->addWidget(labelStep1_, 0, 0);
  steps->addWidget(btnUploadImages_, 0, 1);
  steps->addWidget(labelOr1_, 0, 2, Qt::AlignCenter);
  steps->addWidget(btnPreview_, 0, 3);
  steps->addWidget(labelStep2_, 1, 0);
  steps->addWidget(btnCopyToClipboard_, 1, 1);
  steps->addWidget(labelOr2_, 1, 2, Qt::AlignCenter);
  steps->addWidget(btnSaveToFile_, 1, 3);
  steps->setColumnStretch(1, 1);
  steps->setColumnStretch(3, 1);
  auto* stepsBox = new QVBoxLayout(groupBox3_);
  stepsBox->addWidget(labelProgress_);
  stepsBox->addWidget(progrMain_);
  stepsBox->addLayout(steps);

  btnExit_ = new QPushButton(QStringLiteral("Exit"), this);
  btnExit_->setObjectName(QStringLiteral("btnExit"));
  btnExit_->setAccessibleName(Spoken(btnExit_->text()));
  btnExit_->setAutoDefault(false);
  auto* bottom = new QHBoxLayout();
  bottom->addStretch(1);
  bottom->addWidget(btnExit_);

  auto* main = new QVBoxLayout(this);
  main->addWidget(groupBox2_);
  main->addWidget(groupBox3_);
  main->addLayout(bottom);


  connect(btnUploadImages_, &QPushButton::clicked, this, [this] { btnUploadImagesClick(); });
  connect(btnPreview_, &QPushButton::clicked, this, [this] { btnPreviewClick(); });
  connect(btnCopyToClipboard_, &QPushButton::clicked, this, [this] { btnCopyToClipboardClick(); });
  connect(btnSaveToFile_, &QPushButton::clicked, this, [this] { btnSaveToFileClick(); });
  connect(btnExit_, &QPushButton::clicked, this, [this] { btnExitClick(); });

  resize(600, sizeHint().height());
  setFixedSize(size());
  if (parentWidget()) {
    const QRect p = parentWidget()->window()->frameGeometry();
    move(p.center() - rect().center());
  }
}

void TfrmConvertData::Start(TDataModuleMain& dataModule, std::shared_ptr<ITextDocument> document,
                            std::shared_ptr<IRichEditOle> objects) {
  IConvertDataView& view = *this;
  workflow_ = std::make_unique<TConvertWorkflow>(view, dataModule.ConvertEnvironment(), std::move(document),
                                                 std::move(objects));
}

// Made when first needed: a file dialog reads folders in a thread of its own.
QFileDialog& TfrmConvertData::SaveDialog() {
  if (!savedlgCode_) {
    // Asks nothing before replacing a file.
    savedlgCode_ = new QFileDialog(this, saveTitle_);
    savedlgCode_->setObjectName(QStringLiteral("savedlgCode"));
    savedlgCode_->setAcceptMode(QFileDialog::AcceptSave);
    savedlgCode_->setFileMode(QFileDialog::AnyFile);
    savedlgCode_->setDefaultSuffix(QStringLiteral("txt"));
    savedlgCode_->setNameFilters({QStringLiteral("Text file (*.txt)"), QStringLiteral("Any file (*)")});
    savedlgCode_->setOption(QFileDialog::DontConfirmOverwrite, true);
    savedlgCode_->selectFile(QStringLiteral("code"));
  }
  return *savedlgCode_;
}

// --- activation and closing ---------------------------------------------------

void TfrmConvertData::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  Activated();
}

void TfrmConvertData::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) Activated();
}

void TfrmConvertData::Activated() {
  if (workflow_ && !closed_) workflow_->Activate();
}

void TfrmConvertData::done(int result) {
  if (!closed_) {
    closed_ = true;
    if (workflow_) workflow_->ExitClick();
  }
  QDialog::done(result);
}

// Escape and the window manager's close end the dialog as Exit does.
void TfrmConvertData::reject() { btnExitClick(); }

// --- buttons -----------------------------------------------------------------

void TfrmConvertData::btnUploadImagesClick() {
  RunGuarded(this, [this] { workflow_->UploadImagesClick(); });
}

void TfrmConvertData::btnPreviewClick() {
  RunGuarded(this, [this] { workflow_->PreviewClick(); });
}

void TfrmConvertData::btnCopyToClipboardClick() {
  RunGuarded(this, [this] { workflow_->CopyToClipboardClick(); });
}

void TfrmConvertData::btnSaveToFileClick() {
  RunGuarded(this, [this] { workflow_->SaveToFileClick(); });
}

void TfrmConvertData::btnExitClick() { done(QDialog::Accepted); }

// --- the workflow's view -------------------------------------------------------

void TfrmConvertData::SetCaptions(const TConvertTexts& t) {
  setWindowTitle(Q(t.ConvertDlg_Caption));
  groupBox2_->setTitle(Q(t.ImagesSection));
  groupBox3_->setTitle(Q(t.ProcessingSteps));
  jvImageListViewer1_->setAccessibleName(Spoken(Q(t.ImagesSection)));
  labelProgress_->setText(Q(t.Progress));
  progrMain_->setAccessibleName(Spoken(Q(t.Progress)));
  labelStep1_->setText(Q(t.Step1));
  labelStep2_->setText(Q(t.Step2));
  labelOr1_->setText(Q(t.LabelOR));
  labelOr2_->setText(Q(t.LabelOR));
  SetButtonText(btnUploadImages_, t.UploadImages);
  SetButtonText(btnPreview_, t.Preview);
  SetButtonText(btnCopyToClipboard_, t.CopyCodeToClipboard);
  SetButtonText(btnSaveToFile_, t.SaveCodeToFile);
  SetButtonText(btnExit_, t.ConvertDlg_Exit);
  saveTitle_ = Q(t.SaveCodeToFile);
  if (savedlgCode_) savedlgCode_->setWindowTitle(saveTitle_);
}

void TfrmConvertData::SetStatusLine(const std::string& text) { labelProgress_->setText(Q(text)); }

void TfrmConvertData::SetProgress(int32_t position) { progrMain_->setValue(position); }

void TfrmConvertData::SetUploadCaption(const std::string& text) { SetButtonText(btnUploadImages_, text); }

void TfrmConvertData::StateChanged(TConvertState state) {
  const TConvertButtons& b = kConvertButtons[state];
  btnUploadImages_->setEnabled(b.Upload);
  btnPreview_->setEnabled(b.Preview);
  btnCopyToClipboard_->setEnabled(b.CopyAndSave);
  btnSaveToFile_->setEnabled(b.CopyAndSave);
  btnExit_->setEnabled(b.Exit);
}

void TfrmConvertData::ShowUploadError(const std::string& text, const std::string& caption) {
  // The uploader's worker waits while its notice runs: the box opens once the
  // notice has returned, so no worker waits on the user.
  QTimer::singleShot(0, this, [this, text = Q(text), caption = Q(caption)] {
    if (closed_) return;
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("UploadErrorBox"));
    ModalUi().Exec(box);
  });
}

void TfrmConvertData::SetClipboardText(const std::u16string& text) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard) throw EConvertData("No clipboard is available");
  clipboard->setText(QString::fromStdU16String(text), QClipboard::Clipboard);
}

std::optional<std::string> TfrmConvertData::ChooseSaveFile() {
  if (ModalUi().Exec(SaveDialog()) != QDialog::Accepted) return std::nullopt;
  const QStringList files = savedlgCode_->selectedFiles();
  if (files.isEmpty() || files.front().isEmpty()) return std::nullopt;
  return QFile::encodeName(files.front()).toStdString();
}

std::string TfrmConvertData::ConvertTypeText() {
  QWidget* editor = parentWidget();
  QComboBox* selector = editor ? editor->findChild<QComboBox*>(QStringLiteral("cbConvertTypes")) : nullptr;
  return selector ? selector->currentText().toStdString() : std::string();
}

IThumbnailList* TfrmConvertData::ImageList() { return imageList1_; }

int32_t TfrmConvertData::ScreenDpi() { return logicalDpiX() > 0 ? logicalDpiX() : 96; }

}  // namespace tagsmith
