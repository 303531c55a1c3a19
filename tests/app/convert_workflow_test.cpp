// The convert dialog's workflow without a window: the real renderer into real
// temporary files, the real uploader against image hosts served on 127.0.0.1
// by the test, and a view that records what the dialog would show.

#include "app/convert_workflow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/global_share.h"
#include "images/image_rules.h"
#include "platform/strings.h"
#include "richtext/rich_document.h"
#include "support/failing_document.h"
#include "support/fake_object.h"
#include "support/http_server.h"
#include "support/recording_shell.h"
#include "support/temp_dir.h"
#include "upload/upload_test_support.h"

namespace tagsmith {
namespace {

using namespace std::chrono_literals;
using testing::HttpReply;
using testing::HttpTestServer;
using testing::ReadFile;
using testing::ServeFor;

// Records every call of the workflow into its window.
class RecordingView : public IConvertDataView {
 public:
  void SetCaptions(const TConvertTexts& texts) override {
    ++calls;
    captions.push_back(texts);
  }
  void SetStatusLine(const std::string& text) override {
    ++calls;
    statusLines.push_back(text);
  }
  void SetProgress(int32_t position) override {
    ++calls;
    progress.push_back(position);
  }
  void SetUploadCaption(const std::string& text) override {
    ++calls;
    uploadCaptions.push_back(text);
  }
  void StateChanged(TConvertState state) override {
    ++calls;
    states.push_back(state);
  }
  void ShowUploadError(const std::string& text, const std::string& caption) override {
    ++calls;
    errorBoxes.push_back(caption + ": " + text);
  }
  void SetClipboardText(const std::u16string& text) override {
    ++calls;
    clipboard = text;
  }
  std::optional<std::string> ChooseSaveFile() override {
    ++calls;
    ++saveAsked;
    return saveAnswer;
  }
  std::string ConvertTypeText() override { return selector; }
  IThumbnailList* ImageList() override { return &thumbnails; }
  int32_t ScreenDpi() override { return 96; }

  int calls = 0;
  std::vector<TConvertTexts> captions;
  std::vector<std::string> statusLines;
  std::vector<int32_t> progress;
  std::vector<std::string> uploadCaptions;
  std::vector<TConvertState> states;
  std::vector<std::string> errorBoxes;
  std::optional<std::u16string> clipboard;
  std::optional<std::string> saveAnswer;
  int saveAsked = 0;
  std::string selector = "bbCode";
  TThumbnailList thumbnails;
};

// The threads of this process. The first call starts and ends a thread
// first, so that threads a runtime starts beside the first one (the thread
// sanitizer's own) are counted from the start.
size_t ThreadCount() {
  static const bool warm = [] {
    std::thread([] {}).join();
    std::this_thread::sleep_for(50ms);
    return true;
  }();
  (void)warm;
  size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++n;
  return n;
}

// Waits (without serving) until at most `count` threads are left.
bool ThreadsBackTo(size_t count) {
  const auto end = std::chrono::steady_clock::now() + 5s;
  while (ThreadCount() > count && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(10ms);
  return ThreadCount() <= count;
}

// The uploaded file's name in an upload request.
std::string UploadedName(const HttpTestServer::Request& r) {
  for (const auto& part : testing::ParseMultipart(r.Header("Content-Type"), r.body))
    if (part.hasFileName) return part.fileName;
  return {};
}

// Answers every ImageShack upload with links named after the uploaded file.
void ImageShackLinks(const HttpTestServer::Request& r, HttpTestServer::Connection& c) {
  const std::string name = UploadedName(r);
  c.Send(HttpReply(testing::ImageShackReply("http://img/" + name, "http://thumb/" + name, "http://page/" + name)));
}

// Headers, then nothing until the client goes away.
void Stall(const HttpTestServer::Request&, HttpTestServer::Connection& c) {
  c.Send("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n<imginfo>");
  c.HoldUntilPeerCloses(60s);
}

class ConvertWorkflowTest : public ::testing::Test {
 protected:
  ConvertWorkflowTest() {
    InitGlobalShare((home / "prog/tagsmith").string());
    GetSettingsStore().Write(settings::kUpscaleImages, false);
    GetSettingsStore().Write(settings::kImageShackHost, "upload%d.images.test");
    GetSettingsStore().Write(settings::kFastPicHost, "fastpic.images.test");
    environment.TempFiles = tempFiles.get();
    environment.TagSets = {&html, &bbcode};
  }
  ~ConvertWorkflowTest() override {
    tempFiles.reset();
    DoneGlobalShare();
  }

  // "Hi " in bold, then `objects` objects of one inch square (96 x 96 pixels),
  // each followed by a blank; no font name or size, so the code holds only
  // the bold and alignment tags.
  static std::shared_ptr<RichDocument> Document(int objects, SIZEL extent = {2540, 2540}) {
    CharFormat bold;
    bold.bold = true;
    bold.size = 0;
    auto doc = RichDocument::Create(bold);
    doc->AppendText(u"Hi ", bold);
    for (int i = 0; i < objects; ++i) {
      doc->AppendObject(std::make_shared<testing::FakeObject>("Paint.Picture", extent, 0xFF000000u | uint32_t(i * 40)),
                        extent, bold);
      doc->AppendText(u" ", bold);
    }
    return doc;
  }

  std::unique_ptr<TConvertWorkflow> Open(const std::shared_ptr<RichDocument>& doc) {
    auto workflow = std::make_unique<TConvertWorkflow>(view, environment, doc, doc);
    workflow->ImageUploaderMain().UploadTriesNumber = 2;
    return workflow;
  }
  // Activates the dialog and serves until every object is rendered.
  static void Render(TConvertWorkflow& workflow) {
    workflow.Activate();
    ASSERT_TRUE(ServeFor([&] { return workflow.ImagesReady(); }, 60s));
  }
  static bool UploadEnds(TConvertWorkflow& workflow) {
    return ServeFor([&] { return !workflow.Uploading(); }, 30s);
  }

  testing::TempHome home;
  std::unique_ptr<TTempFiles> tempFiles = std::make_unique<TTempFiles>();
  THTMLTagSetHolder html;
  TBBCODETagSetHolder bbcode;
  TConvertEnvironment environment;
  RecordingView view;
};

TEST_F(ConvertWorkflowTest, ADocumentWithoutPicturesIsDoneAtOnce) {
  auto workflow = Open(Document(0));
  EXPECT_EQ(workflow->State(), csDone);
  EXPECT_EQ(workflow->Buttons(), (TConvertButtons{false, true, true, true}));
  ASSERT_FALSE(view.progress.empty());
  EXPECT_EQ(view.progress.back(), kProgressMax) << "the bar is full";
  EXPECT_EQ(view.uploadCaptions, (std::vector<std::string>{"Upload images to WWW"}));
  ASSERT_FALSE(view.states.empty());
  EXPECT_EQ(view.states.back(), csDone);
  EXPECT_TRUE(view.errorBoxes.empty());

  // The renderer is never started, and the upload button does nothing.
  workflow->Activate();
  EXPECT_FALSE(workflow->ImagesHandler().Started());
  workflow->UploadImagesClick();
  EXPECT_FALSE(workflow->Uploading());

  // Copy: the selector's kind, exactly the code, no closing U+0000.
  workflow->CopyToClipboardClick();
  EXPECT_EQ(view.clipboard, u"[b]Hi \r\n[/b]");
  view.selector = "HTML";
  workflow->CopyToClipboardClick();
  EXPECT_EQ(view.clipboard, u"<span align=left><b>Hi \r\n</b></span>");
}

TEST_F(ConvertWorkflowTest, CaptionsAreTheTranslatedTextsAndTheDesignTextsWhereNoneIsGiven) {
  {
    auto workflow = Open(Document(0));
    ASSERT_EQ(view.captions.size(), 1u);
    EXPECT_EQ(view.captions[0].ConvertDlg_Caption, "Convert text to..");
    EXPECT_EQ(view.captions[0].Progress, "Progress:");
    EXPECT_EQ(view.captions[0].UploadImages, "Upload images to WWW");
  }
  TTranslatedStrings strings;
  strings.ConvertDlg_Caption = "Преобразовать текст в..";
  strings.UploadImages = "Загрузить";
  strings.ImagesProgressMsg = "%d из %d";
  environment.Strings = &strings;
  auto workflow = Open(Document(1));
  ASSERT_EQ(view.captions.size(), 2u);
  EXPECT_EQ(view.captions[1].ConvertDlg_Caption, "Преобразовать текст в..");
  EXPECT_EQ(view.captions[1].UploadImages, "Загрузить");
  EXPECT_EQ(view.captions[1].Step1, "Step 1:") << "a key without a text keeps the design text";
  Render(*workflow);
  EXPECT_EQ(view.statusLines.back(), "1 из 1");

  // A format a language file spoiled is shown as it is, never handed to printf.
  EXPECT_EQ(TConvertWorkflow::CountText("%s of %d", 2, 3), "%s of %d 2/3");
  EXPECT_EQ(TConvertWorkflow::CountText("Uploading %d of %d", 2, 3), "Uploading 2 of 3");
}

TEST_F(ConvertWorkflowTest, ThreeObjectsRunTheStatusLineAndTheBarToReady) {
  auto workflow = Open(Document(3));
  EXPECT_EQ(workflow->State(), csRendering);
  EXPECT_EQ(workflow->Buttons(), (TConvertButtons{false, false, false, true}));
  // Nothing a disabled button would do happens.
  testing::RecordingShell shell;
  testing::ScopedShell scoped(shell);
  workflow->UploadImagesClick();
  workflow->PreviewClick();
  workflow->CopyToClipboardClick();
  EXPECT_FALSE(workflow->Uploading());
  EXPECT_TRUE(shell.Calls().empty());
  EXPECT_FALSE(view.clipboard);

  Render(*workflow);
  EXPECT_EQ(view.statusLines, (std::vector<std::string>{"Rendering images: 1 of 3", "Rendering images: 2 of 3",
                                                        "Rendering images: 3 of 3"}));
  EXPECT_EQ(view.progress, (std::vector<int32_t>{333, 667, 1000}));
  EXPECT_EQ(view.states, (std::vector<TConvertState>{csRendering, csReadyToUpload}));
  EXPECT_EQ(workflow->Buttons(), (TConvertButtons{true, true, false, true}));
  EXPECT_EQ(view.thumbnails.Images().size(), 3u);
  for (const TEmbObjFormat& f : workflow->TagsArray().EmbObjFormats) {
    EXPECT_TRUE(std::filesystem::exists(Utf16ToUtf8(f.Obj.PngFile)));
    EXPECT_TRUE(std::filesystem::exists(Utf16ToUtf8(f.Obj.JpegFile)));
  }
  // Activating again changes nothing.
  workflow->Activate();
  EXPECT_EQ(view.statusLines.size(), 3u);
}

TEST_F(ConvertWorkflowTest, ABarValueHalfwayBetweenTwoIntegersGoesToTheEvenOne) {
  // 1 of 16 is 62.5 and 3 of 16 is 187.5.
  auto workflow = Open(Document(16, {254, 254}));
  Render(*workflow);
  ASSERT_EQ(view.progress.size(), 16u);
  EXPECT_EQ(view.progress[0], 62);
  EXPECT_EQ(view.progress[2], 188);
  EXPECT_EQ(view.progress[15], 1000);
}

TEST_F(ConvertWorkflowTest, AnUploadStoresEveryImagesLinksAndEndsInDone) {
  HttpTestServer server(ImageShackLinks);
  auto workflow = Open(Document(2));
  workflow->UploadConnectTo = server.Authority();
  Render(*workflow);
  view.statusLines.clear();
  view.progress.clear();

  workflow->UploadImagesClick();
  EXPECT_EQ(workflow->State(), csUploading);
  EXPECT_EQ(workflow->Buttons(), (TConvertButtons{true, true, false, true}));
  EXPECT_EQ(view.uploadCaptions.back(), "Abort uploading");
  ASSERT_TRUE(UploadEnds(*workflow));

  EXPECT_EQ(workflow->State(), csDone);
  EXPECT_EQ(workflow->Buttons(), (TConvertButtons{false, true, true, true}));
  EXPECT_EQ(view.uploadCaptions.back(), "Upload images to WWW");
  EXPECT_EQ(view.statusLines,
            (std::vector<std::string>{"Uploading images: 0 of 2", "Uploading images: 1 of 2", "Uploading images: 2 of 2"}));
  EXPECT_EQ(view.progress, (std::vector<int32_t>{0, 500, 1000, 1000}));
  EXPECT_EQ(workflow->UploadedCount(), 2);
  EXPECT_TRUE(view.errorBoxes.empty());
  std::u16string expected = u"[b]Hi ";
  for (TEmbObjFormat& f : workflow->TagsArray().EmbObjFormats) {
    const std::string name = std::filesystem::path(Utf16ToUtf8(ChosenFile(f.Obj))).filename();
    EXPECT_EQ(f.Obj.ImageURL, Utf8ToUtf16("http://img/" + name));
    EXPECT_EQ(f.Obj.ImagePreviewURL, Utf8ToUtf16("http://thumb/" + name));
    EXPECT_EQ(f.Obj.LinkToPage, Utf8ToUtf16("http://page/" + name));
    expected += u"[img]" + f.Obj.ImageURL + u"[/img] ";
  }
  workflow->CopyToClipboardClick();
  EXPECT_EQ(view.clipboard, expected + u"\r\n[/b]");

  // Done: the upload button does nothing more.
  workflow->UploadImagesClick();
  EXPECT_FALSE(workflow->Uploading());
  EXPECT_EQ(server.RequestCount(), 2u);
}

TEST_F(ConvertWorkflowTest, TheSecondHostsLabelSelectsFastPic) {
  HttpTestServer server([](const auto& r, auto& c) {
    c.Send(HttpReply(testing::FastPicReply("http://i/" + UploadedName(r))));
  });
  struct Case {
    const char* imageHosting;
    const char* target;
  };
  const Case cases[] = {{"FastPic", "/upload?api=1"}, {"fastpic", "/upload_api.php"}, {"", "/upload_api.php"}};
  for (const Case& c : cases) {
    GetSettingsStore().Write(settings::kImageHosting, c.imageHosting);
    auto workflow = Open(Document(1));
    workflow->UploadConnectTo = server.Authority();
    Render(*workflow);
    const size_t before = server.RequestCount();
    workflow->UploadImagesClick();
    ASSERT_TRUE(ServeFor([&] { return server.RequestCount() > before; }, 30s)) << c.imageHosting;
    EXPECT_EQ(server.Requests()[before].target, c.target) << c.imageHosting;
    workflow->ExitClick();
  }
}

TEST_F(ConvertWorkflowTest, ClickingUploadDuringAnUploadAbortsAndTheNextClickSendsEveryImageAgain) {
  std::atomic<bool> answer{false};
  HttpTestServer server([&](const auto& r, auto& c) {
    if (answer) ImageShackLinks(r, c);
    else Stall(r, c);
  });
  auto workflow = Open(Document(3));
  workflow->UploadConnectTo = server.Authority();
  Render(*workflow);

  workflow->UploadImagesClick();
  ASSERT_TRUE(ServeFor([&] { return server.RequestCount() == 3; }, 30s));
  workflow->UploadImagesClick();
  ASSERT_TRUE(UploadEnds(*workflow));
  EXPECT_EQ(view.statusLines.back(), "Operation was aborted!");
  EXPECT_EQ(workflow->State(), csAbortedOrFailed);
  EXPECT_EQ(workflow->Buttons(), (TConvertButtons{true, true, false, true}));
  EXPECT_EQ(view.uploadCaptions.back(), "Upload images to WWW");
  EXPECT_TRUE(view.errorBoxes.empty());
  workflow->CopyToClipboardClick();
  EXPECT_FALSE(view.clipboard) << "copy stays disabled";

  answer = true;
  workflow->UploadImagesClick();
  std::vector<int> ids;
  for (const TImageFile& f : workflow->ImageUploaderMain().Images()) ids.push_back(f.Id);
  EXPECT_EQ(ids, (std::vector<int>{0, 1, 2})) << "the whole list again, from image 0";
  ASSERT_TRUE(UploadEnds(*workflow));
  EXPECT_EQ(workflow->State(), csDone);
  EXPECT_EQ(workflow->UploadedCount(), 3);
  EXPECT_EQ(view.statusLines.back(), "Uploading images: 3 of 3");
}

TEST_F(ConvertWorkflowTest, AHostThatFailsStallsOrAnswersGarbageEndsWithTheErrorBoxAndTheDialogUsable) {
  struct Case {
    const char* name;
    HttpTestServer::Script script;
    std::string reason;
  };
  const Case cases[] = {
      {"server error", [](const auto&, auto& c) { c.Send(HttpReply("", "500 Internal Server Error")); },
       "Post request was failed!"},
      {"stall", Stall, "Post request was failed!"},
      {"links missing", [](const auto&, auto& c) { c.Send(HttpReply("<imginfo><links/></imginfo>")); },
       "ImageShack XML data file is corrupted!"},
      {"not XML", [](const auto&, auto& c) { c.Send(HttpReply("<<<\x01 garbage</imginfo>")); }, ""},
  };
  for (const Case& c : cases) {
    HttpTestServer server(c.script);
    view.errorBoxes.clear();
    auto workflow = Open(Document(1));
    workflow->UploadConnectTo = server.Authority();
    workflow->ImageUploaderMain().Timeouts.read = 300ms;
    workflow->ImageUploaderMain().Timeouts.idleSlice = 50ms;
    Render(*workflow);
    workflow->UploadImagesClick();
    ASSERT_TRUE(UploadEnds(*workflow)) << c.name;
    EXPECT_EQ(view.errorBoxes,
              (std::vector<std::string>{"Upload error: Some images could not be uploaded to the image host. Check "
                                        "your Internet connection and try again."}))
        << c.name;
    EXPECT_EQ(workflow->State(), csAbortedOrFailed) << c.name;
    EXPECT_EQ(workflow->Buttons(), (TConvertButtons{true, true, false, true})) << c.name;
    ASSERT_EQ(workflow->UploadFailures().size(), 1u) << c.name;
    EXPECT_EQ(workflow->UploadFailures()[0].ImageId, 0);
    if (!c.reason.empty()) {
      EXPECT_EQ(workflow->UploadFailures()[0].Message, c.reason) << c.name;
    }
    EXPECT_TRUE(workflow->TagsArray().EmbObjFormats[0].Obj.ImageURL.empty()) << c.name;

    // A new run against a working host uploads and is done.
    HttpTestServer good(ImageShackLinks);
    workflow->UploadConnectTo = good.Authority();
    workflow->UploadImagesClick();
    ASSERT_TRUE(UploadEnds(*workflow)) << c.name;
    EXPECT_EQ(workflow->State(), csDone) << c.name;
    EXPECT_FALSE(workflow->TagsArray().EmbObjFormats[0].Obj.ImageURL.empty()) << c.name;
  }
}

TEST_F(ConvertWorkflowTest, AHostSettingThatCannotBeUsedFailsTheClickAndChangesNothing) {
  GetSettingsStore().Write(settings::kImageShackHost, "upload.images.test");
  auto workflow = Open(Document(1));
  Render(*workflow);
  const size_t states = view.states.size();
  EXPECT_THROW(workflow->UploadImagesClick(), EGlobalShare);
  EXPECT_FALSE(workflow->Uploading());
  EXPECT_EQ(workflow->State(), csReadyToUpload);
  EXPECT_EQ(view.states.size(), states);
  EXPECT_TRUE(view.uploadCaptions.empty());
}

TEST_F(ConvertWorkflowTest, ExitDuringAnUploadLeavesNoThreadAndNoTransferBehind) {
  std::atomic<int> peerClosed{0};
  HttpTestServer server([&](const auto&, auto& c) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n<imginfo>");
    if (c.HoldUntilPeerCloses(60s)) ++peerClosed;
  });
  const size_t threads = ThreadCount();
  auto workflow = Open(Document(2));
  workflow->UploadConnectTo = server.Authority();
  Render(*workflow);
  workflow->UploadImagesClick();
  ASSERT_TRUE(ServeFor([&] { return server.RequestCount() == 2; }, 30s));

  const auto exit = std::chrono::steady_clock::now();
  workflow->ExitClick();
  const int calls = view.calls;
  workflow.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - exit, 2s);
  EXPECT_EQ(view.calls, calls) << "nothing reaches the window after Exit";
  EXPECT_EQ(UploadThreadList().Count(), 0u);
  EXPECT_TRUE(ThreadsBackTo(threads));
  EXPECT_EQ(peerClosed.load(), 2) << "both transfers were ended";
}

TEST_F(ConvertWorkflowTest, ExitDuringRenderingStopsAfterTheObjectInProgressAndLeavesNoFileUnregistered) {
  const size_t threads = ThreadCount();
  // 40 objects of 800 x 800 pixels: more work than the test waits for.
  auto workflow = Open(Document(40, {21167, 21167}));
  workflow->Activate();
  ASSERT_TRUE(ServeFor([&] { return !view.statusLines.empty(); }, 60s));
  workflow->ExitClick();
  const int calls = view.calls;
  workflow.reset();
  EXPECT_EQ(view.calls, calls) << "nothing reaches the window after Exit";
  EXPECT_LT(view.thumbnails.Images().size(), 40u);
  EXPECT_TRUE(ThreadsBackTo(threads));

  // Every file made is one the temporary files handed out, so none outlives them.
  const std::set<std::string> registered(tempFiles->RegisteredFiles().begin(), tempFiles->RegisteredFiles().end());
  ASSERT_EQ(tempFiles->CreatedFolders().size(), 1u);
  const std::string folder = tempFiles->CreatedFolders()[0];
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    EXPECT_TRUE(registered.count(entry.path().string())) << entry.path();
  tempFiles.reset();
  EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST_F(ConvertWorkflowTest, PreviewWritesANewUtf8PageAndOpensItWhateverTheSelectorSays) {
  testing::RecordingShell shell;
  testing::ScopedShell scoped(shell);
  auto doc = Document(1);
  CharFormat plain;
  plain.size = 0;
  doc->AppendText(u"Привет", plain);
  auto workflow = Open(doc);
  Render(*workflow);
  workflow->PreviewClick();
  workflow->PreviewClick();

  const auto calls = shell.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_NE(calls[0].target, calls[1].target) << "each preview writes a new file";
  const std::string page = ReadFile(calls[1].target);
  EXPECT_EQ(page, workflow->PreviewPage());
  EXPECT_EQ(std::filesystem::path(calls[0].target).extension(), ".html");
  EXPECT_EQ(std::filesystem::path(calls[0].target).parent_path(), tempFiles->CreatedFolders()[0]);
  const std::string png = Utf16ToUtf8(workflow->TagsArray().EmbObjFormats[0].Obj.PngFile);
  EXPECT_EQ(page, "<html><head><title>Preview</title></head><body bgColor=#FFFFFF><span align=left><b>Hi "
                  "<img src=\"file://localhost" + png + "\" border=\"0\"> </b>Привет\r\n</span></body></html>");

  // The selector still says BBCode for the code that is handed out.
  EXPECT_EQ(workflow->GetOutputCode(), u"[b]Hi [img][/img] [/b]Привет\r\n");
}

TEST_F(ConvertWorkflowTest, SaveWritesUtf16WithoutAByteOrderMarkEndingInOneNul) {
  auto doc = Document(0);
  auto workflow = Open(doc);
  const auto file = home / "code.txt";
  const auto utf16 = [](std::u16string text) {
    std::string bytes;
    for (char16_t c : text) {
      bytes += char(c & 0xFF);
      bytes += char(c >> 8);
    }
    return bytes;
  };

  // Cancelled: nothing is written.
  workflow->SaveToFileClick();
  EXPECT_EQ(view.saveAsked, 1);
  EXPECT_FALSE(std::filesystem::exists(file));

  testing::WriteFile(file, "an older and longer text than the code");
  std::filesystem::permissions(file, std::filesystem::perms(0640));
  view.saveAnswer = file.string();
  workflow->SaveToFileClick();
  EXPECT_EQ(ReadFile(file), utf16(std::u16string(u"[b]Hi \r\n[/b]") + u'\0'));
  EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms(0640)) << "the file keeps its mode";
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(home.path())) names.push_back(e.path().filename());
  EXPECT_EQ(std::count_if(names.begin(), names.end(), [](const std::string& n) { return n.find(".tmp") != n.npos; }), 0)
      << "no file is left beside it";

  // Through a link the linked file gets the code.
  const auto link = home / "link.txt";
  std::filesystem::create_symlink(file, link);
  view.selector = "HTML";
  view.saveAnswer = link.string();
  workflow->SaveToFileClick();
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFile(file), utf16(std::u16string(u"<span align=left><b>Hi \r\n</b></span>") + u'\0'));
}

TEST_F(ConvertWorkflowTest, ASaveThatFailsShowsTheErrorAndLosesNothing) {
  auto doc = Document(0);
  auto failing = std::make_shared<testing::FailingDocument>(doc, doc);
  auto workflow = std::make_unique<TConvertWorkflow>(view, environment, failing, failing);
  const auto file = home / "code.txt";
  testing::WriteFile(file, "keep me");
  view.saveAnswer = file.string();

  // The document fails while the code is made: the file is untouched.
  failing->failAt = failing->calls + 1;
  EXPECT_THROW(workflow->SaveToFileClick(), EOleError);
  EXPECT_EQ(ReadFile(file), "keep me");
  failing->failAt = 0;

  struct Case {
    std::filesystem::path target;
    std::string message;
  };
  std::filesystem::create_directories(home / "folder");
  const Case cases[] = {
      {home / "missing/code.txt",
       "Cannot create file \"" + (home / "missing/code.txt").string() + "\". No such file or directory"},
      {home / "folder", "Cannot create file \"" + (home / "folder").string() + "\". Is a directory"},
  };
  for (const Case& c : cases) {
    view.saveAnswer = c.target.string();
    try {
      workflow->SaveToFileClick();
      ADD_FAILURE() << c.target;
    } catch (const EConvertData& e) {
      EXPECT_EQ(e.what(), c.message);
    }
    EXPECT_EQ(workflow->State(), csDone) << "the dialog stays as it was";
  }
  // The scratch stream is empty again after every attempt.
  workflow->CopyToClipboardClick();
  EXPECT_EQ(view.clipboard, u"[b]Hi \r\n[/b]");
}

TEST_F(ConvertWorkflowTest, PasteAndExitHandsOutTheCodeAndExitDoesNot) {
  {
    auto workflow = Open(Document(0));
    workflow->ExitClick();
    EXPECT_EQ(workflow->CodeToPaste(), u"");
  }
  auto workflow = Open(Document(0));
  view.selector = "HTML";
  workflow->PasteAndExitClick();
  EXPECT_EQ(workflow->CodeToPaste(), u"<span align=left><b>Hi \r\n</b></span>");
}

TEST_F(ConvertWorkflowTest, TheSelectorTextIsComparedExactly) {
  struct Case {
    const char* text;
    uint8_t kind;
  };
  const Case cases[] = {{"HTML", 0}, {"bbCode", 1}, {"html", 0}, {"BBCode", 0}, {"", 0}, {"bbCode ", 0}};
  for (const Case& c : cases) EXPECT_EQ(TConvertWorkflow::GetConvertKind(c.text), c.kind) << '"' << c.text << '"';
}

TEST_F(ConvertWorkflowTest, TheTagSetsAreTheDataModulesReadAtEveryCall) {
  auto workflow = Open(Document(0));
  workflow->CopyToClipboardClick();
  EXPECT_EQ(view.clipboard, u"[b]Hi \r\n[/b]");
  bbcode.Data.Exclude(bttBold);
  workflow->CopyToClipboardClick();
  EXPECT_EQ(view.clipboard, u"Hi \r\n");
}

}  // namespace
}  // namespace tagsmith
