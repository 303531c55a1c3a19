// The convert dialog's workflow as the user meets it, in a temporary home:
//
//   BM_ConvertToCopyEnabled: from Convert (the workflow created: captions,
//     settings, the snapshot) to copy enabled, for 100,000 characters without
//     pictures; and the Copy itself.
//   BM_TenPicturesToLastThumbnail: from Convert until every thumbnail of ten
//     2000 x 1500 pictures is made, with the renderer's settings as stored
//     (upscaling off and on). main_busy_ms is the CPU time of the main thread
//     in that span (the time it could not answer the user), longest_ms its
//     longest single pause.
//   BM_DialogConvertToCopyEnabled, BM_DialogTenPicturesToLastThumbnail: the
//     same through the convert dialog's window (offscreen), the renderer's
//     steps served by the Qt event loop. For the pictures, main_busy_ms is
//     the main thread's CPU time until the tenth thumbnail is in the viewer,
//     and longest_gap_ms the longest time a 1 ms timer of the event loop had
//     to wait (what the user feels as a stall).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <stdlib.h>
#include <time.h>

#include <cmath>
#include <memory>
#include <string>

#include "app/convert_workflow.h"
#include "app/data_module.h"
#include "app/global_share.h"
#include "app/ui/convert_data_dialog.h"
#include "platform/memory.h"
#include "platform/sync_queue.h"
#include "richtext/rich_document.h"
#include "support/picture_bytes.h"
#include "support/program_home.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// The dialog's window without a screen: the selector on BBCode, 125 x 125
// thumbnails, a 96-dpi screen.
class BenchView : public IConvertDataView {
 public:
  void SetCaptions(const TConvertTexts&) override {}
  void SetStatusLine(const std::string&) override {}
  void SetProgress(int32_t) override {}
  void SetUploadCaption(const std::string&) override {}
  void StateChanged(TConvertState state) override { last = state; }
  void ShowUploadError(const std::string&, const std::string&) override {}
  void SetClipboardText(const std::u16string& text) override { clipboardChars = text.size(); }
  std::optional<std::string> ChooseSaveFile() override { return std::nullopt; }
  std::string ConvertTypeText() override { return "bbCode"; }
  IThumbnailList* ImageList() override { return &thumbnails; }
  int32_t ScreenDpi() override { return 96; }

  TConvertState last = csRendering;
  size_t clipboardChars = 0;
  TThumbnailList thumbnails;
};

// A home of its own, with the settings store opened in it.
struct Home {
  Home() { InitGlobalShare((home / "prog/tagsmith").string()); }
  ~Home() { DoneGlobalShare(); }
  testing::TempHome home;
};

// 100,000 characters in 10,000 runs of six formats and 1,000 paragraphs.
std::shared_ptr<RichDocument> TextDocument() {
  auto doc = RichDocument::Create();
  CharFormat formats[6];
  formats[1].bold = true;
  formats[2].italic = true;
  formats[2].foreColor = 0x0000FF;
  formats[3].fontName = u"Arial";
  formats[3].size = 10.5f;
  formats[4].underline = tomSingle;
  formats[5].strikeout = true;
  int run = 0;
  for (int p = 0; p < 1000; ++p) {
    doc->SetParaFormat({p % 3 == 0 ? tomAlignLeft : p % 3 == 1 ? tomAlignCenter : tomAlignJustify, false});
    for (int r = 0; r < 10; ++r, ++run) {
      std::u16string text = u"lorem ipsu";
      if (r == 9) text.back() = u'\r';
      doc->AppendText(text, formats[run % 6]);
    }
  }
  return doc;
}

void BM_ConvertToCopyEnabled(benchmark::State& state) {
  Home home;
  TTempFiles tempFiles;
  THTMLTagSetHolder html;
  TBBCODETagSetHolder bbcode;
  TConvertEnvironment environment{&tempFiles, {&html, &bbcode}, nullptr};
  auto doc = TextDocument();
  BenchView view;
  const bool copy = state.range(0) == 1;
  for (auto _ : state) {
    TConvertWorkflow workflow(view, environment, doc, doc);
    if (view.last != csDone) state.SkipWithError("copy is not enabled");
    if (copy) workflow.CopyToClipboardClick();
  }
  state.counters["chars"] = doc->StoryLength();
  if (copy) state.counters["code_chars"] = double(view.clipboardChars);
  state.SetLabel(copy ? "Convert, then Copy" : "Convert to copy enabled");
}
BENCHMARK(BM_ConvertToCopyEnabled)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A photo-like 2000 x 1500 picture as PNG bytes, as a picture object holds it.
const std::string& PhotoPng() {
  static const std::string png = [] {
    testing::Straight photo{2000, 1500, std::vector<uint32_t>(2000 * 1500)};
    for (int y = 0; y < photo.height; ++y)
      for (int x = 0; x < photo.width; ++x) {
        const double v = 127 + 100 * std::sin(x * 0.013) * std::cos(y * 0.011);
        photo.pixels[size_t(y) * size_t(photo.width) + size_t(x)] =
            0xFF000000u | uint32_t(v) << 16 | uint32_t((x * 255) / photo.width) << 8 | uint32_t(((x ^ y) * 5) & 255);
      }
    return testing::MakePng(photo);
  }();
  return png;
}

// Ten pictures shown at their own size on a 96-dpi screen, with a line of
// text between them.
std::shared_ptr<RichDocument> PictureDocument() {
  auto doc = RichDocument::Create();
  CharFormat format;
  for (int i = 0; i < 10; ++i) {
    PictureData picture;
    picture.format = PictureFormat::kPng;
    picture.bytes = PhotoPng();
    picture.goalWidth = 2000 * 15;  // twips: 15 a pixel at 96 dpi
    picture.goalHeight = 1500 * 15;
    doc->AppendText(u"Picture " + std::u16string(1, char16_t(u'0' + i)) + u"\r", format);
    doc->AppendObject(std::make_shared<PictureObject>(picture), picture.Extent(), format);
  }
  return doc;
}

void BM_TenPicturesToLastThumbnail(benchmark::State& state) {
  Home home;
  const bool upscale = state.range(0) == 1;
  GetSettingsStore().Write(settings::kUpscaleImages, upscale);
  THTMLTagSetHolder html;
  TBBCODETagSetHolder bbcode;
  auto doc = PictureDocument();
  double busy = 0, longest = 0;
  for (auto _ : state) {
    // Each conversion's files are removed with its temporary files.
    TTempFiles tempFiles;
    TConvertEnvironment environment{&tempFiles, {&html, &bbcode}, nullptr};
    BenchView view;
    const double start = ThreadCpuMs();
    TConvertWorkflow workflow(view, environment, doc, doc);
    workflow.Activate();
    longest = std::max(longest, ThreadCpuMs() - start);
    SyncQueue& queue = SyncQueue::Main();
    while (!workflow.ImagesReady()) {
      const double before = ThreadCpuMs();
      queue.CheckSynchronize(std::chrono::milliseconds(50));
      longest = std::max(longest, ThreadCpuMs() - before);
    }
    busy += ThreadCpuMs() - start;
    if (view.thumbnails.Images().size() != 10) state.SkipWithError("not every thumbnail was made");
  }
  state.counters["main_busy_ms"] = benchmark::Counter(busy, benchmark::Counter::kAvgIterations);
  state.counters["longest_ms"] = longest;
  state.SetLabel(upscale ? "upscaled at 400 dpi" : "not upscaled");
}
BENCHMARK(BM_TenPicturesToLastThumbnail)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The dialog's data module and its editor window, in a home of their own.
struct DialogHome : Home {
  DialogHome() : dataModule(dlProgram, nullptr) {
    testing::PrepareProgramData(home.path() / "prog");
    dataModule.DataModuleCreate();
  }
  TDataModuleMain dataModule;
  QWidget editor;
};

bool CopyEnabled(TfrmConvertData& dlg) {
  auto* copy = dlg.findChild<QPushButton*>(QStringLiteral("btnCopyToClipboard"));
  return copy && copy->isEnabled();
}

void BM_DialogConvertToCopyEnabled(benchmark::State& state) {
  DialogHome home;
  auto doc = TextDocument();
  const bool copy = state.range(0) == 1;
  for (auto _ : state) {
    TfrmConvertData dlg(&home.editor, home.dataModule, doc, doc);
    if (!CopyEnabled(dlg)) state.SkipWithError("copy is not enabled");
    if (copy) dlg.btnCopyToClipboardClick();
  }
  state.counters["chars"] = doc->StoryLength();
  state.SetLabel(copy ? "dialog: Convert, then Copy" : "dialog: Convert to copy enabled");
}
BENCHMARK(BM_DialogConvertToCopyEnabled)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DialogTenPicturesToLastThumbnail(benchmark::State& state) {
  DialogHome home;
  const bool upscale = state.range(0) == 1;
  GetSettingsStore().Write(settings::kUpscaleImages, upscale);
  auto doc = PictureDocument();
  double busy = 0, longestGap = 0;
  for (auto _ : state) {
    const double start = ThreadCpuMs();
    TfrmConvertData dlg(&home.editor, home.dataModule, doc, doc);
    auto* viewer = dlg.findChild<QListWidget*>(QStringLiteral("JvImageListViewer1"));
    QEventLoop loop;
    QObject::connect(viewer->model(), &QAbstractItemModel::rowsInserted, &loop, [&] {
      if (viewer->count() == 10) loop.quit();
    });
    QElapsedTimer sinceTick;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
      longestGap = std::max(longestGap, double(sinceTick.nsecsElapsed()) / 1e6);
      sinceTick.restart();
    });
    dlg.show();
    sinceTick.start();
    tick.start();
    if (viewer->count() < 10) loop.exec();
    tick.stop();
    busy += ThreadCpuMs() - start;
    if (viewer->count() != 10) state.SkipWithError("not every thumbnail was shown");
    dlg.btnExitClick();
  }
  state.counters["main_busy_ms"] = benchmark::Counter(busy, benchmark::Counter::kAvgIterations);
  state.counters["longest_gap_ms"] = longestGap;
  state.SetLabel(upscale ? "dialog: upscaled at 400 dpi" : "dialog: not upscaled");
}
BENCHMARK(BM_DialogTenPicturesToLastThumbnail)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace
}  // namespace tagsmith

int main(int argc, char** argv) {
  // As the executables do.
  tagsmith::TuneAllocator();
  // The dialogs need an application object; no screen is needed, and Qt's
  // caches go to a home of the benchmark's own.
  tagsmith::testing::TempHome home;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
