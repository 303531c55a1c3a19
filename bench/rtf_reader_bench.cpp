// Reading generated RTF of 1 MB and 10 MB into a RichDocument, alone and
// followed by Analyze and GetCode (HTML and BBCode), as tagsmith-convert does.
//
//   bench_rtf_reader [benchmark flags]     the benchmarks (MB/s, peak RSS)
//   bench_rtf_reader --read-once FILE      reads FILE once, for timing from outside
//
// The documents come from the shared generator (bench/gen_rtf.py beside the
// checkout), written to a temporary folder at start and removed at the end.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "bench_inputs.h"
#include "conversion/tags_array.h"
#include "platform/memory.h"
#include "richtext/rich_document.h"
#include "richtext/rtf_reader.h"

namespace {

using tagsmith::bench::PeakRssMb;
using tagsmith::bench::ReadFile;
using tagsmith::bench::TheInputs;

void BM_ReadRtf(benchmark::State& state) {
  std::string error;
  const std::string& rtf = TheInputs().Get(static_cast<size_t>(state.range(0)), &error);
  if (rtf.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  int32_t story = 0;
  for (auto _ : state) {
    auto doc = tagsmith::RichDocument::Create();
    tagsmith::ReadRtf(rtf, *doc);
    story = doc->StoryLength();
    benchmark::DoNotOptimize(story);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(rtf.size()));
  state.counters["input_MB"] = static_cast<double>(rtf.size()) / 1e6;
  state.counters["story_chars"] = story;
  state.counters["peak_rss_MB"] = PeakRssMb();
}
// The whole road from RTF to code: read, Analyze, GetCode.
void BM_ReadAnalyzeGetCode(benchmark::State& state) {
  std::string error;
  const std::string& rtf = TheInputs().Get(static_cast<size_t>(state.range(0)), &error);
  if (rtf.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  const uint8_t kind = static_cast<uint8_t>(state.range(1));
  tagsmith::THTMLTagSetHolder html;
  tagsmith::TBBCODETagSetHolder bbcode;
  size_t code = 0;
  for (auto _ : state) {
    auto doc = tagsmith::RichDocument::Create();
    tagsmith::ReadRtf(rtf, *doc);
    tagsmith::TTagsArray tags;
    tags.Document = doc;
    tags.RichEditOle = doc;
    tags.DataModule = {&html, &bbcode};
    tags.OutputKind = kind;
    tags.Analyze();
    code = tags.GetCode(false).size();
    benchmark::DoNotOptimize(code);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(rtf.size()));
  state.SetLabel(kind == 0 ? "HTML" : "BBCode");
  state.counters["code_chars"] = static_cast<double>(code);
  state.counters["peak_rss_MB"] = PeakRssMb();
}

// Several engineers share the build machines: the fastest of five runs is
// the figure to read, the mean shows the noise.
double Fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

BENCHMARK(BM_ReadRtf)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ComputeStatistics("min", Fastest)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ReadAnalyzeGetCode)
    ->Args({1000000, 0})
    ->Args({1000000, 1})
    ->Args({10000000, 0})
    ->Args({10000000, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ComputeStatistics("min", Fastest)
    ->ReportAggregatesOnly(true);

int ReadOnce(const char* path) {
  try {
    const std::string rtf = ReadFile(path);
    auto doc = tagsmith::RichDocument::Create();
    tagsmith::ReadRtf(rtf, *doc);
    std::printf("%zu bytes, %d characters, peak RSS %.1f MB\n", rtf.size(), doc->StoryLength(), PeakRssMb());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_rtf_reader: %s: %s\n", path, e.what());
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  tagsmith::TuneAllocator();  // as the executables do
  if (argc == 3 && std::string(argv[1]) == "--read-once") return ReadOnce(argv[2]);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
