#pragma once

// The pixel buffers of the image renderer: 32-bit premultiplied ARGB bitmaps
// that keep their memory from one picture to the next and know how they are
// sampled when drawn stretched.

#include <cstdint>
#include <vector>

#include "richtext/embedded_object.h"
#include "richtext/picture_decoder.h"

namespace tagsmith {

inline constexpr uint32_t kWhite = 0xFFFFFFFFu;

class TBitmap32 {
 public:
  TBitmap32() = default;
  TBitmap32(const TBitmap32&) = delete;
  TBitmap32& operator=(const TBitmap32&) = delete;

  // Sets the size; the contents are undefined until filled or drawn. The
  // memory is kept when the bitmap shrinks a little and given back when it
  // shrinks to less than half, so an oversized render does not outlive its
  // picture. Throws EPictureError for a negative size or one above
  // kPixelBudget.
  void SetSize(int32_t width, int32_t height);
  void Fill(uint32_t colour);
  // Frees the pixels; the bitmap is then 0 x 0.
  void Release();

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  uint32_t* Pixels() { return pixels_.data(); }
  const uint32_t* Pixels() const { return pixels_.data(); }
  uint32_t Pixel(int32_t x, int32_t y) const { return pixels_[size_t(y) * size_t(width_) + size_t(x)]; }
  Canvas GetCanvas();
  PixelView View() const;

  // How this bitmap is sampled when drawn stretched: nearest neighbour until
  // switched to the Lanczos kernel.
  StretchFilter Resampler = StretchFilter::sfNearest;

  // Draws the whole bitmap stretched into `rect` of `target` with Resampler,
  // clipped to the target.
  void StretchDrawTo(TBitmap32& target, const RECTL& rect) const;
  // Copies the whole bitmap unscaled with its top-left corner at (left, top)
  // of `target`, clipped to the target.
  void CopyTo(TBitmap32& target, int32_t left, int32_t top) const;

 private:
  int32_t width_ = 0;
  int32_t height_ = 0;
  std::vector<uint32_t> pixels_;
};

}  // namespace tagsmith
