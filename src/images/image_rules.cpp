#include "images/image_rules.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <sys/stat.h>

namespace tagsmith {

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  const int64_t product = int64_t(a) * b;  // at most 2^62 in magnitude
  const uint64_t divisor = c < 0 ? uint64_t(-int64_t(c)) : uint64_t(c);
  const uint64_t absProduct = product < 0 ? uint64_t(-product) : uint64_t(product);
  const uint64_t magnitude = (absProduct * 2 + divisor) / (divisor * 2);
  const int64_t result = (product < 0) != (c < 0) ? -int64_t(magnitude) : int64_t(magnitude);
  if (result > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (result < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return int32_t(result);
}

int64_t RoundHalfEven(double value) {
  // The default rounding mode rounds halves to even.
  return int64_t(std::nearbyint(value));
}

RECTL FitRect(const RECTL& source, const RECTL& cell) {
  const int32_t wA = source.right - source.left, hA = source.bottom - source.top;
  const int32_t wB = cell.right - cell.left, hB = cell.bottom - cell.top;
  RECTL r;
  if (wA < wB || hA < hB) {
    r.left = (wB - wA) / 2;
    r.top = (hB - hA) / 2;
    r.right = r.left + wA;
    r.bottom = r.top + hA;
    return r;
  }
  const int32_t e = int32_t(std::trunc(double(hA) / (double(wA) / double(wB))));
  if (e > hB) {
    const int32_t f = int32_t(std::trunc(double(wA) / (double(hA) / double(hB))));
    r.left = (wB - f) / 2;
    r.top = 0;
    r.right = r.left + f;
    r.bottom = hB;
  } else {
    r.left = 0;
    r.right = wB;
    r.top = (hB - e) / 2;
    r.bottom = r.top + e;
  }
  return r;
}

RenderPlan PlanRender(const SIZEL& himetric, bool upscale, int32_t screenDpi, int32_t upscaleDpi, int64_t budget) {
  RenderPlan plan;
  const int32_t dpi = upscale ? upscaleDpi : screenDpi;
  auto side = [&](int32_t extent) -> int64_t {
    const int64_t px = std::llabs(int64_t(MulDiv(extent, dpi, 2540)));
    return px < 1 ? 1 : px;
  };
  int64_t w = side(himetric.cx), h = side(himetric.cy);
  plan.reduce = upscale && upscaleDpi > 0;
  int64_t ow = w, oh = h;
  if (plan.reduce) {
    ow = std::max<int64_t>(1, RoundHalfEven(double(w) * screenDpi / upscaleDpi));
    oh = std::max<int64_t>(1, RoundHalfEven(double(h) * screenDpi / upscaleDpi));
  }
  if (budget < 1) budget = 1;
  if (w * h > budget) {
    plan.limited = true;
    const double f = std::sqrt(double(budget) / (double(w) * double(h)));
    w = std::max<int64_t>(1, int64_t(double(w) * f));
    h = std::max<int64_t>(1, int64_t(double(h) * f));
    // One side may have been held at 1 pixel; keep the other within the budget.
    if (w * h > budget) (w > h ? w : h) = budget / (w > h ? h : w);
    while (w * h > budget) (w > h ? w : h) -= 1;
  }
  ow = std::min(ow, w);
  oh = std::min(oh, h);
  plan.renderWidth = int32_t(w);
  plan.renderHeight = int32_t(h);
  plan.outputWidth = int32_t(plan.reduce ? ow : w);
  plan.outputHeight = int32_t(plan.reduce ? oh : h);
  return plan;
}

uint8_t ChooseImageKind(uint8_t formatChoice, int64_t pngSize, int64_t jpegSize) {
  if (formatChoice == 1) return kImageKindJpeg;
  if (formatChoice == 2) return kImageKindPng;
  if (pngSize < 102400) return kImageKindPng;
  if (double(jpegSize) * 1.5 > double(pngSize)) return kImageKindPng;
  return kImageKindJpeg;
}

uint8_t FormatChoiceFromSetting(const std::string& imageFormat) {
  if (imageFormat == "JPEG") return 1;
  if (imageFormat == "PNG") return 2;
  return 0;
}

int64_t GetFileSize64(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return int64_t(st.st_size);
}

std::string ShortenProgID(const std::string& progId) {
  const size_t dot = progId.find('.');
  if (dot == std::string::npos || dot == 0) return progId;
  return progId.substr(0, dot);
}

}  // namespace tagsmith
