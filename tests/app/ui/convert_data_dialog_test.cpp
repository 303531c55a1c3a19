// The convert dialog as a window on the offscreen platform: its components,
// texts and buttons through the workflow's states, the real renderer into
// real temporary files, the real uploader against hosts served on 127.0.0.1,
// the clipboard, the saved file and the preview page.

#include "app/ui/convert_data_dialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <vector>

#include "app/ui/dialog_test_support.h"
#include "app/ui/qt_document.h"
#include "app/ui/scripted_modal_ui.h"
#include "platform/strings.h"
#include "richtext/rich_document.h"
#include "support/fake_object.h"
#include "support/http_server.h"
#include "support/recording_shell.h"
#include "upload/upload_test_support.h"

namespace tagsmith {
namespace {

using namespace std::chrono_literals;
using testing::HttpReply;
using testing::HttpTestServer;
using testing::PumpFor;
using testing::PumpUntil;

std::string UploadedName(const HttpTestServer::Request& r) {
  for (const auto& part : testing::ParseMultipart(r.Header("Content-Type"), r.body))
    if (part.hasFileName) return part.fileName;
  return {};
}

void ImageShackLinks(const HttpTestServer::Request& r, HttpTestServer::Connection& c) {
  const std::string name = UploadedName(r);
  c.Send(HttpReply(testing::ImageShackReply("http://img/" + name, "http://thumb/" + name, "http://page/" + name)));
}

void Stall(const HttpTestServer::Request&, HttpTestServer::Connection& c) {
  c.Send("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n<imginfo>");
  c.HoldUntilPeerCloses(60s);
}

QString Text(const std::string& s) { return QString::fromStdString(s); }

class ConvertDataDialogTest : public testing::DialogFixture {
 protected:
  ConvertDataDialogTest() {
    GetSettingsStore().Write(settings::kUpscaleImages, false);
    GetSettingsStore().Write(settings::kImageShackHost, "upload%d.images.test");
  }

  // "Hi " in bold, then `objects` pictures of one inch square, each followed
  // by a blank.
  static std::shared_ptr<RichDocument> Document(int objects) {
    CharFormat bold;
    bold.bold = true;
    bold.size = 0;
    auto doc = RichDocument::Create(bold);
    doc->AppendText(u"Hi ", bold);
    for (int i = 0; i < objects; ++i) {
      doc->AppendObject(std::make_shared<testing::FakeObject>("Paint.Picture", SIZEL{2540, 2540},
                                                              0xFF000000u | uint32_t(i * 40)),
                        SIZEL{2540, 2540}, bold);
      doc->AppendText(u" ", bold);
    }
    return doc;
  }

  std::unique_ptr<TfrmConvertData> Open(const std::shared_ptr<RichDocument>& doc, const std::string& lang = "en") {
    TDataModuleMain& dm = dataModule ? *dataModule : DataModule(lang);
    auto dlg = std::make_unique<TfrmConvertData>(&editor.window, dm, doc, doc);
    dlg->Workflow().ImageUploaderMain().UploadTriesNumber = 2;
    return dlg;
  }

  // Shows the dialog (which starts the renderer) and waits for every image.
  static void ShowAndRender(TfrmConvertData& dlg) {
    dlg.show();
    ASSERT_TRUE(PumpUntil([&] { return dlg.Workflow().ImagesReady(); }, 60s));
  }

  template <typename T>
  static T* Find(QWidget& dlg, const char* name) {
    T* w = dlg.findChild<T*>(QString::fromUtf8(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  static QPushButton* Button(QWidget& dlg, const char* name) { return Find<QPushButton>(dlg, name); }
  static QString Status(QWidget& dlg) { return Find<QLabel>(dlg, "label_Progress")->text(); }
  static int Bar(QWidget& dlg) { return Find<QProgressBar>(dlg, "progrMain")->value(); }
  // Upload, preview, copy, save enabled?
  static std::vector<bool> Enabled(QWidget& dlg) {
    std::vector<bool> out;
    for (const char* name : {"btnUploadImages", "btnPreview", "btnCopyToClipboard", "btnSaveToFile", "btnExit"})
      out.push_back(Button(dlg, name)->isEnabled());
    return out;
  }

  testing::ScriptedModalUi modal;
};

const std::vector<bool> kRendering = {false, false, false, false, true};
const std::vector<bool> kReady = {true, true, false, false, true};
const std::vector<bool> kDone = {false, true, true, true, true};

TEST_F(ConvertDataDialogTest, EveryComponentBearsItsDesignNameTextAndAccessibleName) {
  auto dlg = Open(Document(2));
  QWidget& d = *dlg;
  EXPECT_EQ(d.windowTitle(), "Convert text to..");
  EXPECT_EQ(Find<QGroupBox>(d, "GroupBox2")->title(), "Images");
  EXPECT_EQ(Find<QGroupBox>(d, "GroupBox3")->title(), "Processing steps");
  EXPECT_EQ(Status(d), "Progress:");
  EXPECT_EQ(Find<QLabel>(d, "label_Progress")->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
  QProgressBar* bar = Find<QProgressBar>(d, "progrMain");
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 1000);
  struct Caption {
    const char* name;
    const char* text;
  };
  for (const Caption& c : {Caption{"btnUploadImages", "Upload images to WWW"}, {"btnPreview", "Preview in browser"},
                           {"btnCopyToClipboard", "Copy code to clipboard"}, {"btnSaveToFile", "Save code to file"},
                           {"btnExit", "Exit"}})
    EXPECT_EQ(Button(d, c.name)->text(), c.text) << c.name;
  for (const char* name : {"lbStep1", "lbStep2", "lbOR1", "lbOR2"}) Find<QLabel>(d, name);
  EXPECT_EQ(Find<QLabel>(d, "lbStep1")->text(), "Step 1:");
  EXPECT_EQ(Find<QLabel>(d, "lbOR2")->text(), "OR");
  EXPECT_EQ(Enabled(d), kRendering) << "the four step buttons start disabled";

  // The viewer: one row of 160-pixel cells with 125-pixel thumbnails, no
  // captions, no selection, a horizontal scroll bar.
  QListWidget* viewer = Find<QListWidget>(d, "JvImageListViewer1");
  EXPECT_EQ(viewer->iconSize(), QSize(125, 125));
  EXPECT_EQ(viewer->gridSize(), QSize(160, 160));
  EXPECT_EQ(viewer->flow(), QListView::LeftToRight);
  EXPECT_FALSE(viewer->isWrapping());
  EXPECT_EQ(viewer->selectionMode(), QAbstractItemView::NoSelection);
  EXPECT_EQ(viewer->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(dlg->ImageList1().Width(), 125);
  EXPECT_EQ(dlg->ImageList1().objectName(), "ImageList1");

  // The save dialog, made when first needed (it reads folders in a thread).
  EXPECT_EQ(d.findChild<QFileDialog*>(), nullptr);
  QFileDialog& save = dlg->SaveDialog();
  EXPECT_EQ(save.objectName(), "savedlgCode");
  EXPECT_EQ(save.windowTitle(), "Save code to file");
  EXPECT_EQ(save.defaultSuffix(), "txt");
  EXPECT_EQ(save.nameFilters(), (QStringList{"Text file (*.txt)", "Any file (*)"}));
  EXPECT_TRUE(save.testOption(QFileDialog::DontConfirmOverwrite));
  EXPECT_EQ(save.acceptMode(), QFileDialog::AcceptSave);

  // No title-bar buttons; a fixed size.
  EXPECT_FALSE(d.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_EQ(d.minimumSize(), d.maximumSize());

  // Every control a user reaches has a name a screen reader can say.
  for (QWidget* w : d.findChildren<QWidget*>()) {
    if (w->window() != &d) continue;  // the save dialog is a window of its own
    if (!qobject_cast<QAbstractButton*>(w) && !qobject_cast<QProgressBar*>(w) && w != viewer) continue;
    EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
  }
  dlg->btnExitClick();
}

TEST_F(ConvertDataDialogTest, TheDialogOpensInTheDataModulesLanguage) {
  auto dlg = Open(Document(1), "ru");
  const TTranslatedStrings& s = dataModule->Strings();
  EXPECT_EQ(dlg->windowTitle(), Text(s.ConvertDlg_Caption));
  EXPECT_EQ(dlg->windowTitle(), QString::fromUtf8("Преобразовать текст в..."));
  EXPECT_EQ(Button(*dlg, "btnUploadImages")->text(), Text(s.UploadImages));
  EXPECT_EQ(Button(*dlg, "btnUploadImages")->accessibleName(), Text(s.UploadImages));
  EXPECT_EQ(Button(*dlg, "btnExit")->text(), Text(s.ConvertDlg_Exit));
  EXPECT_EQ(Find<QGroupBox>(*dlg, "GroupBox2")->title(), Text(s.ImagesSection));
  ShowAndRender(*dlg);
  EXPECT_EQ(Status(*dlg), QString::fromUtf8("Обработка изображений: 1 из 1"));
  dlg->btnExitClick();
}

TEST_F(ConvertDataDialogTest, ADocumentWithoutPicturesCanBeCopiedAtOnce) {
  auto dlg = Open(Document(0));
  EXPECT_EQ(Enabled(*dlg), kDone);
  EXPECT_EQ(Bar(*dlg), 1000) << "the bar is full";
  dlg->show();
  EXPECT_FALSE(dlg->Workflow().ImagesHandler().Started());
  Button(*dlg, "btnCopyToClipboard")->click();
  EXPECT_EQ(QApplication::clipboard()->text(), "[b]Hi \r\n[/b]");
  EXPECT_TRUE(modal.calls.empty());
  dlg->btnExitClick();
}

TEST_F(ConvertDataDialogTest, TheRendererStartsWhenTheDialogIsShownAndTheThumbnailsAppearOneByOne) {
  auto dlg = Open(Document(3));
  std::vector<int> bar;
  std::vector<QString> status;
  std::vector<int> thumbnails;
  QObject::connect(Find<QProgressBar>(*dlg, "progrMain"), &QProgressBar::valueChanged, [&](int v) {
    bar.push_back(v);
    status.push_back(Status(*dlg));
    thumbnails.push_back(Find<QListWidget>(*dlg, "JvImageListViewer1")->count());
  });
  PumpFor(200ms);
  EXPECT_FALSE(dlg->Workflow().ImagesHandler().Started()) << "not before the dialog becomes active";
  ShowAndRender(*dlg);
  EXPECT_EQ(bar, (std::vector<int>{333, 667, 1000}));
  // The bar moves before the status line of the same image is set.
  EXPECT_EQ(Status(*dlg), "Rendering images: 3 of 3");
  EXPECT_EQ(thumbnails, (std::vector<int>{1, 2, 3})) << "each thumbnail is shown with its progress";
  EXPECT_EQ(Enabled(*dlg), kReady);
  EXPECT_EQ(dlg->ImageList1().Images().size(), 3u);
  EXPECT_EQ(dlg->ImageList1().Images()[0].size(), QSize(125, 125));
  dlg->btnExitClick();
}

TEST_F(ConvertDataDialogTest, UploadLinksTheImagesAndCopyFollowsTheEditorsSelector) {
  HttpTestServer server(ImageShackLinks);
  auto dlg = Open(Document(2));
  dlg->Workflow().UploadConnectTo = server.Authority();
  ShowAndRender(*dlg);

  QPushButton* upload = Button(*dlg, "btnUploadImages");
  upload->click();
  EXPECT_EQ(upload->text(), "Abort uploading");
  EXPECT_EQ(Status(*dlg), "Uploading images: 0 of 2");
  EXPECT_EQ(Enabled(*dlg), kReady) << "uploading: copy and save wait";
  ASSERT_TRUE(PumpUntil([&] { return dlg->Workflow().Uploaded(); }));
  EXPECT_EQ(upload->text(), "Upload images to WWW");
  EXPECT_EQ(Enabled(*dlg), kDone);
  EXPECT_EQ(Bar(*dlg), 1000);
  EXPECT_EQ(Status(*dlg), "Uploading images: 2 of 2");

  editor.selector->setCurrentText("bbCode");
  Button(*dlg, "btnCopyToClipboard")->click();
  const QString bbcode = QApplication::clipboard()->text();
  EXPECT_TRUE(bbcode.startsWith("[b]Hi [img]http://img/")) << bbcode.toStdString();
  EXPECT_FALSE(bbcode.contains(QChar(0))) << "no terminator on the clipboard";
  editor.selector->setCurrentText("HTML");
  Button(*dlg, "btnCopyToClipboard")->click();
  EXPECT_TRUE(QApplication::clipboard()->text().contains("<img src=\"http://img/")) << QApplication::clipboard()->text().toStdString();
  EXPECT_TRUE(modal.calls.empty());
  dlg->btnExitClick();
}

TEST_F(ConvertDataDialogTest, ClickingUploadDuringAnUploadAbortsAndTheNextClickSendsEveryImageAgain) {
  std::atomic<bool> answer{false};
  HttpTestServer server([&](const auto& r, auto& c) {
    if (answer) ImageShackLinks(r, c);
    else Stall(r, c);
  });
  auto dlg = Open(Document(3));
  dlg->Workflow().UploadConnectTo = server.Authority();
  ShowAndRender(*dlg);
  QPushButton* upload = Button(*dlg, "btnUploadImages");
  upload->click();
  ASSERT_TRUE(PumpUntil([&] { return server.RequestCount() == 3; }));
  upload->click();
  ASSERT_TRUE(PumpUntil([&] { return !dlg->Workflow().Uploading(); }));
  EXPECT_EQ(Status(*dlg), "Operation was aborted!");
  EXPECT_EQ(upload->text(), "Upload images to WWW");
  EXPECT_EQ(Enabled(*dlg), kReady) << "copy and save stay disabled";
  PumpFor(100ms);
  EXPECT_TRUE(modal.calls.empty()) << "an abort is no error";

  answer = true;
  upload->click();
  ASSERT_TRUE(PumpUntil([&] { return dlg->Workflow().Uploaded(); }));
  std::set<std::string> second;
  const auto requests = server.Requests();
  for (size_t i = 3; i < requests.size(); ++i) second.insert(UploadedName(requests[i]));
  EXPECT_EQ(second.size(), 3u) << "every image is sent again";
  EXPECT_EQ(Enabled(*dlg), kDone);
  dlg->btnExitClick();
}

TEST_F(ConvertDataDialogTest, AHostThatFailsOrAnswersGarbageShowsTheErrorBoxAndTheDialogStaysUsable) {
  struct Case {
    const char* name;
    HttpTestServer::Script script;
  };
  const Case cases[] = {
      {"server error", [](const auto&, auto& c) { c.Send(HttpReply("oops", "500 Internal Server Error")); }},
      {"garbage", [](const auto&, auto& c) { c.Send(HttpReply("\x01\x02<<not xml")); }},
      {"no links", [](const auto&, auto& c) { c.Send(HttpReply("<imginfo><links></links></imginfo>")); }},
  };
  DataModule();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HttpTestServer server(c.script);
    auto dlg = Open(Document(1));
    dlg->Workflow().UploadConnectTo = server.Authority();
    ShowAndRender(*dlg);
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    modal.dialogs.push_back([&](QDialog& box) {
      auto* m = qobject_cast<QMessageBox*>(&box);
      EXPECT_NE(m, nullptr);
      if (m) {
        title = m->windowTitle();
        text = m->text();
        icon = m->icon();
        EXPECT_EQ(m->standardButtons(), QMessageBox::Ok);
        EXPECT_EQ(m->parentWidget(), dlg.get()) << "owned by the dialog";
      }
      return int(QMessageBox::Ok);
    });
    Button(*dlg, "btnUploadImages")->click();
    ASSERT_TRUE(PumpUntil([&] { return modal.dialogs.empty(); }));
    EXPECT_EQ(title, "Upload error");
    EXPECT_EQ(text, Text(dataModule->Strings().CantUploadImages));
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(Enabled(*dlg), kReady) << "a new run may start";
    EXPECT_EQ(Button(*dlg, "btnUploadImages")->text(), "Upload images to WWW");
    dlg->btnExitClick();
  }
}

TEST_F(ConvertDataDialogTest, SaveWritesUtf16WithoutByteOrderMarkAndOneZeroCharacter) {
  testing::TempDir out;
  auto dlg = Open(Document(0));
  editor.selector->setCurrentText("bbCode");
  const std::filesystem::path file = out / "code.txt";
  modal.dialogs.push_back([&](QDialog& d) {
    auto* f = qobject_cast<QFileDialog*>(&d);
    EXPECT_NE(f, nullptr);
    if (f) f->selectFile(QString::fromStdString((out / "code").string()));
    return int(QDialog::Accepted);
  });
  Button(*dlg, "btnSaveToFile")->click();
  ASSERT_TRUE(modal.dialogs.empty());
  EXPECT_TRUE(modal.Errors().empty());
  const std::u16string code = u"[b]Hi \r\n[/b]";
  std::string expected;
  for (char16_t ch : code + u'\0') {
    expected += char(ch & 0xFF);
    expected += char(ch >> 8);
  }
  EXPECT_EQ(testing::ReadFile(file), expected) << "the default suffix .txt is added";

  // Cancelled: nothing is written.
  modal.dialogs.push_back([](QDialog&) { return int(QDialog::Rejected); });
  std::filesystem::remove(file);
  Button(*dlg, "btnSaveToFile")->click();
  EXPECT_FALSE(std::filesystem::exists(file));
  dlg->btnExitClick();
}

TEST_F(ConvertDataDialogTest, ASaveTargetThatCannotBeWrittenShowsTheErrorAndLosesNothing) {
  testing::TempDir out;
  const std::filesystem::path folder = out / "folder.txt";
  std::filesystem::create_directories(folder);
  const std::filesystem::path locked = out / "locked";
  std::filesystem::create_directories(locked);
  testing::WriteFile(locked / "old.txt", "old contents");
  std::filesystem::permissions(locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  std::filesystem::permissions(locked / "old.txt", std::filesystem::perms::owner_read);
  const bool privileged = ::geteuid() == 0;

  auto dlg = Open(Document(0));
  dlg->show();
  struct Case {
    std::filesystem::path target;
    bool needsUnprivileged;
  };
  for (const Case& c : {Case{folder, false}, Case{out / "missing/x.txt", false}, Case{locked / "old.txt", true}}) {
    if (c.needsUnprivileged && privileged) continue;
    SCOPED_TRACE(c.target.string());
    modal.calls.clear();
    modal.dialogs.push_back([&](QDialog& d) {
      static_cast<QFileDialog&>(d).selectFile(QString::fromStdString(c.target.string()));
      return int(QDialog::Accepted);
    });
    Button(*dlg, "btnSaveToFile")->click();
    ASSERT_EQ(modal.Errors().size(), 1u);
    EXPECT_TRUE(modal.Errors()[0].contains(QString::fromStdString(c.target.string()))) << modal.Errors()[0].toStdString();
    EXPECT_TRUE(dlg->isVisible()) << "the dialog stays open";
    EXPECT_EQ(Enabled(*dlg), kDone);
  }
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(testing::ReadFile(locked / "old.txt"), "old contents");
  std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
  dlg->btnExitClick();
}

TEST_F(ConvertDataDialogTest, PreviewOpensANewUtf8PageInTheBrowserWhateverTheSelectorSays) {
  testing::RecordingShell shell;
  testing::ScopedShell scoped(shell);
  auto dlg = Open(Document(1));
  editor.selector->setCurrentText("bbCode");
  ShowAndRender(*dlg);
  Button(*dlg, "btnPreview")->click();
  Button(*dlg, "btnPreview")->click();
  EXPECT_TRUE(modal.Errors().empty());
  const auto calls = shell.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_NE(calls[0].target, calls[1].target) << "each preview is a new page";
  for (const auto& call : calls) {
    EXPECT_EQ(call.kind, testing::RecordingShell::Call::Kind::Open);
    EXPECT_EQ(std::filesystem::path(call.target).extension(), ".html");
    const std::string page = testing::ReadFile(call.target);
    EXPECT_EQ(page.rfind("<html><head><title>Preview</title></head><body bgColor=#FFFFFF>", 0), 0u) << page;
    EXPECT_NE(page.find("<img src=\"file://localhost/"), std::string::npos) << "HTML with local links: " << page;
    EXPECT_EQ(page.find('\0'), std::string::npos);
    const auto& registered = dataModule->TempFilesMain().RegisteredFiles();
    EXPECT_NE(std::find(registered.begin(), registered.end(), call.target), registered.end())
        << "the temporary files remove it later";
  }
  dlg->btnExitClick();
}

TEST_F(ConvertDataDialogTest, ExitWhileRenderingClosesAtOnceAndLeavesNoThreadOrStrayFile) {
  const size_t threads = testing::ThreadCount();
  auto dlg = Open(Document(40));
  dlg->show();
  ASSERT_TRUE(PumpUntil([&] { return Bar(*dlg) > 0; }));
  Button(*dlg, "btnExit")->click();
  EXPECT_FALSE(dlg->isVisible()) << "closed at once";
  EXPECT_EQ(dlg->result(), QDialog::Accepted);
  EXPECT_LT(dlg->ImageList1().Images().size(), 40u) << "the renderer stopped early";
  dlg.reset();
  EXPECT_TRUE(testing::ThreadsBackTo(threads));
  // What was written belongs to the temporary files, which remove it.
  const std::string dir = dataModule->TempFilesMain().GetTempDir();
  const auto& registered = dataModule->TempFilesMain().RegisteredFiles();
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    EXPECT_NE(std::find(registered.begin(), registered.end(), entry.path().string()), registered.end())
        << entry.path();
  }
  dataModule.reset();
  EXPECT_FALSE(std::filesystem::exists(dir) && !std::filesystem::is_empty(dir));
}

TEST_F(ConvertDataDialogTest, ExitWhileUploadingClosesAtOnceAndLeavesNoThreadOrTransfer) {
  HttpTestServer server(Stall);
  const size_t threads = testing::ThreadCount();
  auto dlg = Open(Document(3));
  dlg->Workflow().UploadConnectTo = server.Authority();
  ShowAndRender(*dlg);
  Button(*dlg, "btnUploadImages")->click();
  ASSERT_TRUE(PumpUntil([&] { return server.RequestCount() == 3; }));
  const auto start = std::chrono::steady_clock::now();
  dlg->reject();  // Escape: as Exit
  EXPECT_FALSE(dlg->isVisible());
  dlg.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "no wait for the stalled host";
  EXPECT_TRUE(testing::ThreadsBackTo(threads));
  EXPECT_TRUE(modal.calls.empty());
}

TEST_F(ConvertDataDialogTest, RunModallyTheEventLoopAloneServesTheRendererUntilExit) {
  auto dlg = Open(Document(3));
  bool readyInLoop = false;
  modal.dialogs.push_back([&](QDialog& d) {
    // Only Qt's own loop runs from here: the renderer's main-thread steps
    // must reach it through the dialog's wake-up.
    QTimer poll;
    QElapsedTimer waited;
    waited.start();
    QObject::connect(&poll, &QTimer::timeout, &d, [&] {
      readyInLoop = dlg->Workflow().ImagesReady();
      if (readyInLoop || waited.elapsed() > 60000) Button(d, "btnExit")->click();
    });
    poll.start(10);
    return d.exec();
  });
  EXPECT_EQ(ModalUi().Exec(*dlg), QDialog::Accepted);
  EXPECT_TRUE(readyInLoop);
  EXPECT_EQ(Find<QListWidget>(*dlg, "JvImageListViewer1")->count(), 3);
  EXPECT_EQ(Enabled(*dlg), kReady);
}

TEST_F(ConvertDataDialogTest, TheEditorsDocumentConvertsThroughTheDialog) {
  QTextEdit edit;
  QtDocument doc(edit.document());
  doc.AttachEditor(&edit);
  CharFormat plain;
  doc.AppendText(u"Plain words", plain);
  TDataModuleMain& dm = DataModule();
  TfrmConvertData dlg(&editor.window, dm, doc);
  EXPECT_EQ(Enabled(dlg), kDone);
  editor.selector->setCurrentText("bbCode");
  Button(dlg, "btnCopyToClipboard")->click();
  EXPECT_TRUE(QApplication::clipboard()->text().contains("Plain words")) << QApplication::clipboard()->text().toStdString();
  dlg.btnExitClick();
}

}  // namespace
}  // namespace tagsmith
