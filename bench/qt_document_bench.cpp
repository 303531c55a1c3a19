// The editor's document against RichDocument on generated RTF of 1 MB and
// 10 MB: opening the file into the document of a QTextEdit (as the window
// holds it), and Analyze + GetCode (HTML and BBCode) over each document
// holding the same text. Each conversion starts from a changed document, as
// Convert after an edit does, so the Qt document reads its fragments anew.
//
// Targets: the 1 MB file open in under 0.25 s, the 10 MB one under 2.5 s, the
// Qt document's Analyze + GetCode within 3x of RichDocument's. rss_MB is the
// process's memory with the document open (peak_rss_MB its peak so far).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTextEdit>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/ui/document_io.h"
#include "app/ui/qt_document.h"
#include "bench_inputs.h"
#include "conversion/tags_array.h"
#include "platform/memory.h"
#include "richtext/rich_document.h"
#include "richtext/rtf_reader.h"

namespace tagsmith {
namespace {

using bench::PeakRssMb;
using bench::TheInputs;

double RssMb() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

struct Editor {
  Editor() : doc(edit.document()) {
    edit.resize(585, 626);
    doc.AttachEditor(&edit);
  }
  QTextEdit edit;
  QtDocument doc;
};

void BM_OpenIntoQtDocument(benchmark::State& state) {
  std::string error;
  const size_t bytes = static_cast<size_t>(state.range(0));
  if (TheInputs().Get(bytes, &error).empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  const std::string path = TheInputs().PathOf(bytes).string();
  int32_t story = 0;
  double rss = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto editor = std::make_unique<Editor>();
    state.ResumeTiming();
    LoadDocumentFile(editor->doc, path);
    state.PauseTiming();
    story = editor->doc.Document()->characterCount();
    rss = std::max(rss, RssMb());
    editor.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
  state.counters["story_chars"] = story;
  state.counters["rss_MB"] = rss;
  state.counters["peak_rss_MB"] = PeakRssMb();
}

void BM_OpenIntoRichDocument(benchmark::State& state) {
  std::string error;
  const std::string& rtf = TheInputs().Get(static_cast<size_t>(state.range(0)), &error);
  if (rtf.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  for (auto _ : state) {
    auto doc = RichDocument::Create();
    ReadRtf(rtf, *doc);
    benchmark::DoNotOptimize(doc->StoryLength());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(rtf.size()));
}

// Analyze + GetCode; range(2) is 0 for RichDocument, 1 for the Qt document.
void BM_AnalyzeGetCode(benchmark::State& state) {
  std::string error;
  const size_t bytes = static_cast<size_t>(state.range(0));
  const std::string& rtf = TheInputs().Get(bytes, &error);
  if (rtf.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  const uint8_t kind = static_cast<uint8_t>(state.range(1));
  const bool qt = state.range(2) == 1;
  std::shared_ptr<ITextDocument> document;
  std::shared_ptr<IRichEditOle> objects;
  std::unique_ptr<Editor> editor;
  std::shared_ptr<QtDocument> qtDoc;
  if (qt) {
    editor = std::make_unique<Editor>();
    LoadDocumentFile(editor->doc, TheInputs().PathOf(bytes).string());
    // The engine holds its document by a shared pointer; the editor owns this one.
    qtDoc = std::shared_ptr<QtDocument>(&editor->doc, [](QtDocument*) {});
    document = qtDoc;
    objects = qtDoc;
  } else {
    auto rich = RichDocument::Create();
    ReadRtf(rtf, *rich);
    document = rich;
    objects = rich;
  }
  THTMLTagSetHolder html;
  TBBCODETagSetHolder bbcode;
  size_t code = 0;
  for (auto _ : state) {
    if (qtDoc) qtDoc->SetDefaultFormat(qtDoc->DefaultFormat());  // a change: the runs are read anew
    TTagsArray tags;
    tags.Document = document;
    tags.RichEditOle = objects;
    tags.DataModule = {&html, &bbcode};
    tags.OutputKind = kind;
    tags.Analyze();
    code = tags.GetCode(false).size();
    benchmark::DoNotOptimize(code);
  }
  state.SetLabel(std::string(qt ? "Qt document " : "RichDocument ") + (kind == 0 ? "HTML" : "BBCode"));
  state.counters["code_chars"] = static_cast<double>(code);
}

double Fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

BENCHMARK(BM_OpenIntoQtDocument)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(3)
    ->ComputeStatistics("min", Fastest)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_OpenIntoRichDocument)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(3)
    ->ComputeStatistics("min", Fastest)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_AnalyzeGetCode)
    ->Args({1000000, 0, 0})
    ->Args({1000000, 0, 1})
    ->Args({1000000, 1, 0})
    ->Args({1000000, 1, 1})
    ->Args({10000000, 0, 0})
    ->Args({10000000, 0, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(3)
    ->ComputeStatistics("min", Fastest)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace tagsmith

int main(int argc, char** argv) {
  tagsmith::TuneAllocator();  // as the executables do
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
