// Analyze and GetCode on a generated document: 1,000,000 characters in
// 100,000 runs and 10,000 paragraphs (and ten times that, to show the cost
// grows linearly), both writers. A new TTagsArray each time, as each convert
// dialog makes its own.

#include <benchmark/benchmark.h>

#include "conversion/tags_array.h"
#include "platform/memory.h"
#include "richtext/rich_document.h"

namespace tagsmith {
namespace {

std::shared_ptr<RichDocument> Generate(int scale) {
  auto doc = RichDocument::Create();
  CharFormat formats[6];
  formats[1].bold = true;
  formats[2].italic = true;
  formats[2].foreColor = 0x0000FF;
  formats[3].fontName = u"Arial";
  formats[3].size = 10.5f;
  formats[4].underline = tomSingle;
  formats[4].backColor = 0x00FFFF;
  formats[5].strikeout = true;
  formats[5].fontName = u"Courier New";
  const std::u16string word = u"abcdefghij";  // ten characters a run
  const int paragraphs = 10000 * scale;
  int run = 0;
  for (int p = 0; p < paragraphs; ++p) {
    doc->SetParaFormat({p % 4 == 0 ? tomAlignLeft : p % 4 == 1 ? tomAlignCenter : p % 4 == 2 ? tomAlignRight
                                                                                            : tomAlignJustify,
                        false});
    for (int r = 0; r < 10; ++r, ++run) {
      std::u16string text = word;
      if (r == 9) text.back() = u'\r';  // 100 characters a paragraph
      doc->AppendText(text, formats[run % 6]);
    }
  }
  return doc;
}

void BM_AnalyzeAndGetCode(benchmark::State& state) {
  const int scale = static_cast<int>(state.range(0));
  const uint8_t kind = static_cast<uint8_t>(state.range(1));
  auto doc = Generate(scale);
  THTMLTagSetHolder html;
  TBBCODETagSetHolder bbcode;
  size_t codeLength = 0;
  for (auto _ : state) {
    TTagsArray tags;
    tags.Document = doc;
    tags.RichEditOle = doc;
    tags.DataModule = {&html, &bbcode};
    tags.OutputKind = kind;
    tags.Analyze();
    std::u16string code = tags.GetCode(false);
    codeLength = code.size();
    benchmark::DoNotOptimize(code.data());
  }
  state.counters["chars"] = doc->StoryLength();
  state.counters["code_chars"] = static_cast<double>(codeLength);
  state.SetLabel(kind == 0 ? "HTML" : "BBCode");
}

void BM_AnalyzeOnly(benchmark::State& state) {
  auto doc = Generate(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    TTagsArray tags;
    tags.Document = doc;
    tags.RichEditOle = doc;
    tags.Analyze();
    benchmark::DoNotOptimize(tags.SortedTags.data());
  }
}

BENCHMARK(BM_AnalyzeAndGetCode)->Args({1, 0})->Args({1, 1})->Args({10, 0})->Args({10, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnalyzeOnly)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tagsmith

int main(int argc, char** argv) {
  // As the executables do: conversions reuse the heap instead of faulting
  // fresh pages in every time.
  tagsmith::TuneAllocator();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
