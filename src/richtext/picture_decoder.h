#pragma once

// Pictures held by embedded objects: their bytes decoded into 32-bit pixels and
// drawn scaled into a rectangle of a Canvas.
//
// Raster pictures (PNG, JPEG, bare DIBs as RTF \dibitmap carries them, also
// with a BMP file header, GIF) decode into premultiplied ARGB. Windows
// metafiles (WMF) are played at the size they are drawn at. Enhanced metafiles
// (EMF), QuickDraw pictures and OS/2 metafiles have no renderer on this
// platform and draw nothing, which leaves the canvas as it was.
//
// Every decoder checks the picture's dimensions against kPixelBudget before it
// allocates pixels, and reports damaged data as EPictureError; no input makes
// them crash or allocate without bound.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"
#include "richtext/embedded_object.h"

namespace tagsmith {

// The most pixels one bitmap of the system may hold: 64 Mi pixels (256 MiB at
// 4 bytes a pixel), a little over four A4 pages at 400 dpi. Decoders refuse
// bigger pictures and the renderer lowers the resolution of bigger renders.
inline constexpr int64_t kPixelBudget = int64_t(64) * 1024 * 1024;

// A picture that can not be decoded or drawn; the message says why.
class EPictureError : public Exception {
 public:
  using Exception::Exception;
};

// The decoder reads the formats a document stores pictures in (PictureFormat
// of embedded_object.h). A picture of format kUnknown is known by its bytes
// (SniffPictureFormat); kDib data may keep its BMP file header.

// The format's name as messages use it ("PNG", "JPEG", "GIF", "EMF", "WMF",
// "DIB", "DDB", "PICT", "OS/2 metafile"; "unknown" for kUnknown).
const char* PictureFormatName(PictureFormat format);

// The format recognised from the first bytes: PNG, JPEG and GIF by their
// signatures, a BMP file (kDib) by its "BM", EMF by its header record, WMF by
// the placeable key or a plausible standard header, a bare DIB by a plausible
// BITMAPINFOHEADER. Nothing when none fits.
std::optional<PictureFormat> SniffPictureFormat(std::string_view bytes);

// Decoded pixels: premultiplied ARGB (0xAARRGGBB), `width` pixels a row, no
// padding between rows.
struct DecodedPicture {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;
};

// Decodes a raster picture (PNG, JPEG, DIB with or without its BMP file
// header, GIF; for GIF the first frame). Throws EPictureError for damaged
// data, an unsupported variant, a picture above kPixelBudget, a
// device-dependent bitmap (kDdb), a metafile format, or a kUnknown picture
// whose bytes are not recognised.
DecodedPicture DecodePicture(PictureFormat format, std::string_view bytes);

// The frame of a WMF picture in its own logical units: the placeable header's
// bounding box, else its first window origin and extent, else the extent of
// what it draws. Throws EPictureError for a damaged metafile.
struct WmfFrame {
  double left = 0, top = 0, right = 0, bottom = 0;
};
WmfFrame GetWmfFrame(std::string_view bytes);

// Plays a WMF picture (placeable or standard) so that the part `part` of its
// frame fills a bitmap of width x height pixels. Throws EPictureError for a
// damaged metafile or a size above kPixelBudget.
DecodedPicture RenderWmf(std::string_view bytes, const WmfFrame& part, int32_t width, int32_t height);

// A read-only view of 32-bit premultiplied pixels.
struct PixelView {
  const uint32_t* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;  // pixels from one row to the next
};

inline PixelView ViewOf(const DecodedPicture& picture) {
  return {picture.pixels.data(), picture.width, picture.height, picture.width};
}

enum class StretchFilter {
  sfNearest,   // nearest neighbour
  sfLanczos3,  // Lanczos kernel (windowed sinc of width 3) over the whole reduction
};

// Draws the whole of `source` stretched into `rect` of `canvas`, composited
// over what the canvas holds (source-over, premultiplied), clipped to the
// canvas. Only the visible part of the stretched picture is computed. A source
// of the rectangle's own size is copied without resampling. An empty source or
// rectangle draws nothing. Throws EPictureError when the resampler fails.
// Any thread; calls on different canvases may run at once.
void StretchDraw(const PixelView& source, Canvas& canvas, const RECTL& rect, StretchFilter filter);

// Draws a picture's bytes scaled into `rect` of the canvas with the Lanczos
// filter: raster formats are decoded and stretched, WMF is played at the
// rectangle's visible resolution; EMF, PICT and OS/2 metafiles have no player
// here and draw nothing. Throws EPictureError as DecodePicture does.
void DrawPicture(PictureFormat format, std::string_view bytes, Canvas& canvas, const RECTL& rect);

}  // namespace tagsmith
