#pragma once

// The properties the picture fuzzer checks on every input, shared with the
// test that replays the inputs it once found failing.

#include <cstdint>
#include <exception>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "richtext/picture_decoder.h"

namespace tagsmith::testing {

// The first byte of an input picks the format the picture is declared as
// (any of them; kUnknown makes the decoder sniff the bytes) and how it is
// drawn; the rest is the picture. Raster pictures are decoded and drawn
// stretched, WMF is measured and played into a small canvas. A picture may
// fail only with EPictureError; what decodes has its pixels in order.
// Returns what went wrong, or an empty string. Crashes, leaks, hangs and
// runaway memory are the sanitizers' and the fuzzer's to catch.
inline std::string CheckPictureInput(std::string_view input) {
  if (input.empty()) return std::string();
  static constexpr PictureFormat kFormats[] = {
      PictureFormat::kUnknown, PictureFormat::kPng, PictureFormat::kJpeg,   PictureFormat::kGif,
      PictureFormat::kEmf,     PictureFormat::kWmf, PictureFormat::kDib,    PictureFormat::kDdb,
      PictureFormat::kMacPict, PictureFormat::kOs2Metafile,
  };
  const uint8_t control = uint8_t(input[0]);
  const PictureFormat format = kFormats[(control & 0x0F) % std::size(kFormats)];
  const std::string_view bytes = input.substr(1);
  constexpr int32_t kWidth = 48, kHeight = 32;
  std::vector<uint32_t> pixels(size_t(kWidth) * kHeight, 0xFF336699u);
  Canvas canvas{pixels.data(), kWidth, kHeight, kWidth};
  // The whole canvas, or a rectangle sticking out of it on every side.
  const RECTL rect = (control & 0x10) ? RECTL{-7, -5, 60, 40} : RECTL{0, 0, kWidth, kHeight};
  try {
    if (format != PictureFormat::kWmf) {
      try {
        const DecodedPicture picture = DecodePicture(format, bytes);
        if (picture.width <= 0 || picture.height <= 0) return "a decoded picture has no pixels";
        if (int64_t(picture.width) * picture.height > kPixelBudget) return "a decoded picture exceeds the budget";
        if (picture.pixels.size() != size_t(picture.width) * size_t(picture.height)) return "wrong pixel count";
        for (uint32_t px : picture.pixels) {
          const uint32_t a = px >> 24;
          if (((px >> 16) & 255) > a || ((px >> 8) & 255) > a || (px & 255) > a) return "a pixel is not premultiplied";
        }
      } catch (const EPictureError&) {
      }
    }
    if (format == PictureFormat::kWmf || (control & 0x20)) {
      try {
        const WmfFrame frame = GetWmfFrame(bytes);
        if (!(frame.left == frame.left && frame.top == frame.top && frame.right == frame.right &&
              frame.bottom == frame.bottom))
          return "a metafile frame is not a number";
      } catch (const EPictureError&) {
      }
    }
    DrawPicture(format, bytes, canvas, rect);
  } catch (const EPictureError&) {
  } catch (const std::exception& e) {
    return std::string("unexpected exception: ") + e.what();
  }
  for (uint32_t px : pixels)
    if (px >> 24 != 255) return "drawing over an opaque canvas left it not opaque";
  return std::string();
}

}  // namespace tagsmith::testing
