#pragma once

// The arithmetic of the image renderer: pixel sizes, thumbnail placement, the
// choice between the PNG and the JPEG file, and the class names that decide
// upscaling.

#include <cstdint>
#include <string>

#include "richtext/embedded_object.h"

namespace tagsmith {

// a * b / c rounded to the nearest integer, halves away from zero, computed
// without overflow; the result is clamped to the 32-bit range. -1 when c is 0.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

// value rounded to the nearest integer, halves to even.
int64_t RoundHalfEven(double value);

// Where a source of the size of `source` goes in the cell `cell`: centred at
// its own size when it is narrower or lower than the cell, else scaled down
// into the cell keeping its aspect ratio and centred. ("div" truncating
// toward zero, the scale computed in floating point.)
RECTL FitRect(const RECTL& source, const RECTL& cell);

// The pixel sizes of one object's pictures.
struct RenderPlan {
  int32_t renderWidth = 0;   // the bitmap the object draws itself into
  int32_t renderHeight = 0;
  bool reduce = false;       // the render is reduced with the Lanczos kernel
  int32_t outputWidth = 0;   // the picture that is saved (the render when not reduced)
  int32_t outputHeight = 0;
  bool limited = false;      // the render was lowered to stay within the budget
};

// The render is the HIMETRIC extent at UpscaleDpi (upscaled objects) or
// ScreenDpi (others), each side MulDiv(extent, dpi, 2540) and at least 1 pixel
// (a negative extent counts by its magnitude). An upscaled object is reduced
// to render x ScreenDpi / UpscaleDpi, rounded halves to even, at least 1 pixel.
// A render above `budget` pixels is scaled down, keeping its aspect ratio, to
// the largest size within the budget; its reduced size stays what the full
// render would have given, but never more than the render.
RenderPlan PlanRender(const SIZEL& himetric, bool upscale, int32_t screenDpi, int32_t upscaleDpi, int64_t budget);

// ImageKind values of TEmbObjRec.
inline constexpr uint8_t kImageKindJpeg = 0;
inline constexpr uint8_t kImageKindPng = 1;

// FormatChoice: 1 JPEG, 2 PNG; anything else is Auto: PNG when the PNG is
// smaller than 100 KiB or the JPEG's size times 1.5 is greater than the
// PNG's, else JPEG.
uint8_t ChooseImageKind(uint8_t formatChoice, int64_t pngSize, int64_t jpegSize);

// The FormatChoice of the setting "ImageFormat": "JPEG" gives 1, "PNG" 2,
// any other text 0 (Auto). Compared exactly.
uint8_t FormatChoiceFromSetting(const std::string& imageFormat);

// The size of a file in bytes; 0 for a file that can not be opened (missing,
// a folder, no access to its folder).
int64_t GetFileSize64(const std::string& path);

// The class name that decides upscaling: a ProgID with a "." at the second
// position or later keeps only the part before its first "."; one without a
// dot, or starting with one, stays whole ("Paint.Picture" -> "Paint").
std::string ShortenProgID(const std::string& progId);

}  // namespace tagsmith
