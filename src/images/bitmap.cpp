#include "images/bitmap.h"

#include <algorithm>

#include "platform/strings.h"

namespace tagsmith {

void TBitmap32::SetSize(int32_t width, int32_t height) {
  if (width < 0 || height < 0 || int64_t(width) * height > kPixelBudget)
    throw EPictureError(FormatString("Bitmap of %d x %d pixels exceeds the limit of %lld pixels", width, height,
                                     (long long)kPixelBudget));
  const size_t count = size_t(width) * size_t(height);
  if (count < pixels_.capacity() / 2) {
    std::vector<uint32_t> smaller(count);
    pixels_.swap(smaller);
  } else {
    pixels_.resize(count);
  }
  width_ = width;
  height_ = height;
}

void TBitmap32::Fill(uint32_t colour) { std::fill(pixels_.begin(), pixels_.end(), colour); }

void TBitmap32::Release() {
  std::vector<uint32_t>().swap(pixels_);
  width_ = height_ = 0;
}

Canvas TBitmap32::GetCanvas() { return Canvas{pixels_.data(), width_, height_, width_}; }

PixelView TBitmap32::View() const { return PixelView{pixels_.data(), width_, height_, width_}; }

void TBitmap32::StretchDrawTo(TBitmap32& target, const RECTL& rect) const {
  Canvas canvas = target.GetCanvas();
  StretchDraw(View(), canvas, rect, Resampler);
}

void TBitmap32::CopyTo(TBitmap32& target, int32_t left, int32_t top) const {
  const int64_t x0 = std::max<int64_t>(left, 0), y0 = std::max<int64_t>(top, 0);
  const int64_t x1 = std::min<int64_t>(int64_t(left) + width_, target.width_);
  const int64_t y1 = std::min<int64_t>(int64_t(top) + height_, target.height_);
  if (x0 >= x1) return;
  for (int64_t y = y0; y < y1; ++y)
    std::copy_n(pixels_.data() + size_t(y - top) * size_t(width_) + size_t(x0 - left), size_t(x1 - x0),
                target.pixels_.data() + size_t(y) * size_t(target.width_) + size_t(x0));
}

}  // namespace tagsmith
