// The costly steps of the image renderer on one A4 picture object (21 x 29.7
// cm) upscaled at 400 dpi and reduced to 96 dpi: the object drawing itself
// into the 3307 x 4677 render, the Lanczos reduction to 794 x 1122, the PNG
// and the JPEG, and both encoders at once as the renderer runs them. Beside
// them the two Lanczos implementations that were weighed against each other:
// the library's own thread pool, and (when installed) pixman's separable
// convolution. The peak memory of one whole object is printed last.
//
//   bench_images                      run the benchmarks
//   bench_images --write-render FILE  write the 400-dpi render as PNG (for
//                                     bench/images_compare.sh)

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <vips/vips.h>
#ifdef TAGSMITH_HAVE_PIXMAN
#include <pixman.h>
#endif

#include "images/bitmap.h"
#include "images/image_encoders.h"
#include "images/image_rules.h"
#include "richtext/picture_decoder.h"

namespace tagsmith {
namespace {

constexpr SIZEL kA4{21000, 29700};

// A photo-like source picture at 96 dpi (smooth gradients and fine detail),
// as PNG bytes, the way a picture object holds it.
const std::string& SourcePng() {
  static const std::string png = [] {
    const int w = 794, h = 1123;
    std::vector<uint32_t> px(size_t(w) * h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const double v = 127 + 100 * std::sin(x * 0.021) * std::cos(y * 0.017);
        const uint32_t r = uint32_t(v), g = uint32_t((x * 255) / w), b = uint32_t(((x ^ y) * 7) & 255);
        px[size_t(y) * w + x] = 0xFF000000u | r << 16 | g << 8 | b;
      }
    const std::string path = (std::filesystem::temp_directory_path() / "tagsmith-bench-source.png").string();
    TPngEncoder().SaveToFile({px.data(), w, h, w}, path);
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    return bytes;
  }();
  return png;
}

const RenderPlan& Plan() {
  static const RenderPlan plan = PlanRender(kA4, true, 96, 400, kPixelBudget);
  return plan;
}

void Render(TBitmap32& render) {
  render.SetSize(Plan().renderWidth, Plan().renderHeight);
  render.Fill(kWhite);
  Canvas canvas = render.GetCanvas();
  DrawPicture(PictureFormat::kPng, SourcePng(), canvas, {0, 0, Plan().renderWidth, Plan().renderHeight});
}

TBitmap32& SharedRender() {
  static TBitmap32 render;
  if (!render.Width()) Render(render);
  return render;
}

TBitmap32& SharedScaled() {
  static TBitmap32 scaled;
  if (!scaled.Width()) {
    scaled.SetSize(Plan().outputWidth, Plan().outputHeight);
    scaled.Fill(kWhite);
    TBitmap32& render = SharedRender();
    render.Resampler = StretchFilter::sfLanczos3;
    render.StretchDrawTo(scaled, {0, 0, Plan().outputWidth, Plan().outputHeight});
  }
  return scaled;
}

void BM_Render(benchmark::State& state) {
  TBitmap32 render;
  for (auto _ : state) Render(render);
  state.SetLabel("object draws itself at 400 dpi: 3307 x 4677");
}
BENCHMARK(BM_Render)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Lanczos(benchmark::State& state) {
  TBitmap32& render = SharedRender();
  render.Resampler = StretchFilter::sfLanczos3;
  TBitmap32 scaled;
  for (auto _ : state) {
    scaled.SetSize(Plan().outputWidth, Plan().outputHeight);
    scaled.Fill(kWhite);
    render.StretchDrawTo(scaled, {0, 0, Plan().outputWidth, Plan().outputHeight});
  }
  state.SetLabel("3307 x 4677 -> 794 x 1122");
}
BENCHMARK(BM_Lanczos)->Unit(benchmark::kMillisecond)->UseRealTime();

// The library's own best: vips_resize on its thread pool, into its memory.
void BM_LanczosVipsThreadPool(benchmark::State& state) {
  TBitmap32& render = SharedRender();
  for (auto _ : state) {
    VipsImage* in = vips_image_new_from_memory(render.Pixels(), size_t(render.Width()) * render.Height() * 4,
                                               render.Width(), render.Height(), 4, VIPS_FORMAT_UCHAR);
    VipsImage* out = nullptr;
    vips_resize(in, &out, double(Plan().outputWidth) / render.Width(), "vscale",
                double(Plan().outputHeight) / render.Height(), "kernel", VIPS_KERNEL_LANCZOS3, "gap", 0.0, nullptr);
    size_t length = 0;
    void* memory = vips_image_write_to_memory(out, &length);
    benchmark::DoNotOptimize(memory);
    g_free(memory);
    g_object_unref(out);
    g_object_unref(in);
  }
}
BENCHMARK(BM_LanczosVipsThreadPool)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef TAGSMITH_HAVE_PIXMAN
// pixman's separable convolution filter with PIXMAN_KERNEL_LANCZOS3, as two
// one-dimensional passes (one pass with the full two-dimensional kernel is
// some 40 times slower still).
void PixmanPass(uint32_t* src, int sw, int sh, uint32_t* dst, int dw, int dh) {
  pixman_image_t* s = pixman_image_create_bits(PIXMAN_a8r8g8b8, sw, sh, src, sw * 4);
  pixman_image_t* d = pixman_image_create_bits(PIXMAN_a8r8g8b8, dw, dh, dst, dw * 4);
  const double sx = double(sw) / dw, sy = double(sh) / dh;
  pixman_transform_t t;
  pixman_transform_init_scale(&t, pixman_double_to_fixed(sx), pixman_double_to_fixed(sy));
  pixman_image_set_transform(s, &t);
  int n = 0;
  pixman_fixed_t* params = pixman_filter_create_separable_convolution(
      &n, pixman_double_to_fixed(sx), pixman_double_to_fixed(sy), PIXMAN_KERNEL_IMPULSE, PIXMAN_KERNEL_IMPULSE,
      sx > 1 ? PIXMAN_KERNEL_LANCZOS3 : PIXMAN_KERNEL_BOX, sy > 1 ? PIXMAN_KERNEL_LANCZOS3 : PIXMAN_KERNEL_BOX, 4, 4);
  pixman_image_set_filter(s, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, n);
  pixman_image_set_repeat(s, PIXMAN_REPEAT_PAD);
  pixman_image_composite32(PIXMAN_OP_SRC, s, nullptr, d, 0, 0, 0, 0, 0, 0, dw, dh);
  std::free(params);
  pixman_image_unref(s);
  pixman_image_unref(d);
}

void BM_LanczosPixman(benchmark::State& state) {
  TBitmap32& render = SharedRender();
  const int sw = render.Width(), sh = render.Height(), dw = Plan().outputWidth, dh = Plan().outputHeight;
  std::vector<uint32_t> mid(size_t(dw) * sh), out(size_t(dw) * dh);
  for (auto _ : state) {
    PixmanPass(render.Pixels(), sw, sh, mid.data(), dw, sh);
    PixmanPass(mid.data(), dw, sh, out.data(), dw, dh);
  }
}
BENCHMARK(BM_LanczosPixman)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

std::string ScratchPath(const char* extension) {
  return (std::filesystem::temp_directory_path() / (std::string("tagsmith-bench") + extension)).string();
}

void BM_Png(benchmark::State& state) {
  TPngEncoder png;
  const std::string path = ScratchPath(".png");
  for (auto _ : state) png.SaveToFile(SharedScaled().View(), path);
  state.counters["bytes"] = double(GetFileSize64(path));
  std::remove(path.c_str());
}
BENCHMARK(BM_Png)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Jpeg(benchmark::State& state) {
  TJpegEncoder jpeg;
  const std::string path = ScratchPath(".jpg");
  for (auto _ : state) jpeg.SaveToFile(SharedScaled().View(), path);
  state.counters["bytes"] = double(GetFileSize64(path));
  std::remove(path.c_str());
}
BENCHMARK(BM_Jpeg)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PngAndJpegInParallel(benchmark::State& state) {
  TPngEncoder png;
  TJpegEncoder jpeg;
  const std::string pngPath = ScratchPath(".png"), jpegPath = ScratchPath(".jpg");
  for (auto _ : state) {
    std::thread t([&] { png.SaveToFile(SharedScaled().View(), pngPath); });
    jpeg.SaveToFile(SharedScaled().View(), jpegPath);
    t.join();
  }
  std::remove(pngPath.c_str());
  std::remove(jpegPath.c_str());
}
BENCHMARK(BM_PngAndJpegInParallel)->Unit(benchmark::kMillisecond)->UseRealTime();

long StatusKb(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
  return -1;
}

// One object the way the renderer processes it, in a fresh process state:
// the peak resident memory above the start, against the render buffer.
void ReportPeakMemory() {
  const std::string& png = SourcePng();
  (void)png;
  TBitmap32 warm;  // the libraries' own start-up memory is not the object's
  warm.SetSize(64, 64);
  warm.Fill(kWhite);
  {
    Canvas c = warm.GetCanvas();
    DrawPicture(PictureFormat::kPng, SourcePng(), c, {0, 0, 64, 64});
  }
  std::ofstream("/proc/self/clear_refs") << "5";
  const long before = StatusKb("VmRSS:");
  {
    TBitmap32 render, scaled, thumbnail;
    Render(render);
    const long afterRender = StatusKb("VmHWM:");
    scaled.SetSize(Plan().outputWidth, Plan().outputHeight);
    scaled.Fill(kWhite);
    render.Resampler = StretchFilter::sfLanczos3;
    render.StretchDrawTo(scaled, {0, 0, Plan().outputWidth, Plan().outputHeight});
    thumbnail.SetSize(125, 125);
    thumbnail.Fill(kWhite);
    render.StretchDrawTo(thumbnail, FitRect({0, 0, render.Width(), render.Height()}, {0, 0, 125, 125}));
    TPngEncoder pngEncoder;
    TJpegEncoder jpegEncoder;
    std::thread t([&] { pngEncoder.SaveToFile(scaled.View(), ScratchPath(".png")); });
    jpegEncoder.SaveToFile(scaled.View(), ScratchPath(".jpg"));
    t.join();
    const long peak = StatusKb("VmHWM:");
    const double renderMb = double(render.Width()) * render.Height() * 4 / (1024 * 1024);
    std::printf("peak memory of one A4 object: %.1f MiB above the start (render buffer %.1f MiB, %.0f%%); "
                "while drawing %.1f MiB\n",
                double(peak - before) / 1024, renderMb, 100.0 * double(peak - before) / 1024 / renderMb,
                double(afterRender - before) / 1024);
  }
  std::remove(ScratchPath(".png").c_str());
  std::remove(ScratchPath(".jpg").c_str());
}

}  // namespace
}  // namespace tagsmith

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--write-render") {
    tagsmith::TPngEncoder().SaveToFile(tagsmith::SharedRender().View(), argv[2]);
    return 0;
  }
  tagsmith::ReportPeakMemory();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
