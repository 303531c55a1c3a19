#include "richtext/picture_decoder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include <gif_lib.h>
#include <jpeglib.h>
#include <libwmf/api.h>
#include <libwmf/gd.h>
#include <libwmf/gd/gd.h>
#include <png.h>
#include <vips/vips.h>

#include "platform/strings.h"

namespace tagsmith {

namespace {

uint16_t Le16(std::string_view b, size_t at) {
  return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}
uint32_t Le32(std::string_view b, size_t at) {
  return uint32_t(Le16(b, at)) | uint32_t(Le16(b, at + 2)) << 16;
}
int16_t LeI16(std::string_view b, size_t at) { return int16_t(Le16(b, at)); }
int32_t LeI32(std::string_view b, size_t at) { return int32_t(Le32(b, at)); }

// `kind` names the data as messages do: "PNG", "JPEG", "GIF", "WMF", "DIB", or
// "BMP" for a DIB with its file header.
[[noreturn]] void Fail(const char* kind, const std::string& reason) {
  throw EPictureError(FormatString("Invalid %s picture: %s", kind, reason.c_str()));
}

void CheckBudget(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0)
    throw EPictureError(FormatString("Picture has no pixels (%lld x %lld)", (long long)width, (long long)height));
  if (width > kPixelBudget || height > kPixelBudget || width * height > kPixelBudget)
    throw EPictureError(FormatString("Picture of %lld x %lld pixels exceeds the limit of %lld pixels",
                                     (long long)width, (long long)height, (long long)kPixelBudget));
}

DecodedPicture NewPicture(int64_t width, int64_t height) {
  CheckBudget(width, height);
  DecodedPicture p;
  p.width = int32_t(width);
  p.height = int32_t(height);
  p.pixels.assign(size_t(width) * size_t(height), 0u);
  return p;
}

// A picture's data bounds what it can fill: every coding has a most it can
// compress, so a picture declaring more pixels than its bytes could code is
// refused before any pixel memory is taken. `pixelsPerByte` is the format's
// most pixels a byte of its coded data can stand for, `slack` covers
// headers and the start of a coding that has not reached its best ratio.
void CheckDataCanFill(const char* kind, int64_t width, int64_t height, uint64_t dataBytes, int64_t pixelsPerByte,
                      int64_t slack) {
  const int64_t most = int64_t(std::min<uint64_t>(dataBytes, uint64_t(kPixelBudget))) * pixelsPerByte + slack;
  if (width * height > most)
    Fail(kind, FormatString("%llu bytes of data can not fill %lld x %lld pixels", (unsigned long long)dataBytes,
                            (long long)width, (long long)height));
}

inline uint32_t Premultiply(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  if (a == 255) return 0xFF000000u | r << 16 | g << 8 | b;
  if (a == 0) return 0;
  auto mul = [a](uint32_t c) { uint32_t t = c * a + 128; return (t + (t >> 8)) >> 8; };
  return a << 24 | mul(r) << 16 | mul(g) << 8 | mul(b);
}

// --- PNG ---------------------------------------------------------------------

uint32_t Be32(std::string_view b, size_t at) {
  return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 | uint32_t(uint8_t(b[at + 2])) << 8 |
         uint8_t(b[at + 3]);
}

// Deflate codes at most 258 bytes in 2 bits (a 1-bit length code and a
// 1-bit distance code): 1032 bytes a byte. The rows of a PNG, with their
// filter bytes, can not come from fewer IDAT bytes than that allows.
void CheckPngData(std::string_view bytes) {
  size_t at = 8;
  uint64_t width = 0, height = 0, bitsPerPixel = 0, idat = 0;
  while (at + 12 <= bytes.size()) {
    const uint32_t length = Be32(bytes, at);
    const std::string_view type = bytes.substr(at + 4, 4);
    if (length > bytes.size() - at - 12) break;  // libpng reports the damage itself
    if (type == "IHDR" && length >= 13) {
      width = Be32(bytes, at + 8);
      height = Be32(bytes, at + 12);
      const unsigned depth = uint8_t(bytes[at + 16]), colourType = uint8_t(bytes[at + 17]);
      const unsigned channels = colourType == 2 ? 3 : colourType == 4 ? 2 : colourType == 6 ? 4 : 1;
      bitsPerPixel = uint64_t(depth) * channels;
    } else if (type == "IDAT") {
      idat += length;
    } else if (type == "IEND") {
      break;
    }
    at += size_t(length) + 12;
  }
  if (!width || !height || !bitsPerPixel) return;
  const uint64_t raw = height * (1 + (width * bitsPerPixel + 7) / 8);
  if (idat < raw / 1032)
    Fail("PNG", FormatString("%llu bytes of data can not fill %llu x %llu pixels", (unsigned long long)idat,
                             (unsigned long long)width, (unsigned long long)height));
}

DecodedPicture DecodePng(std::string_view bytes) {
  if (bytes.size() < 8 || png_sig_cmp(reinterpret_cast<png_const_bytep>(bytes.data()), 0, 8))
    Fail("PNG", "not a PNG file");
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()))
    Fail("PNG", image.message);
  struct Guard {
    png_image* image;
    ~Guard() { png_image_free(image); }
  } guard{&image};
  CheckBudget(image.width, image.height);
  CheckPngData(bytes);
  image.format = PNG_FORMAT_BGRA;  // in memory: the little-endian 0xAARRGGBB of a pixel
  DecodedPicture p = NewPicture(image.width, image.height);
  if (!png_image_finish_read(&image, nullptr, p.pixels.data(), png_int_32(image.width) * 4, nullptr))
    Fail("PNG", image.message);
  for (uint32_t& px : p.pixels) px = Premultiply(px >> 24, (px >> 16) & 255, (px >> 8) & 255, px & 255);
  return p;
}

// --- JPEG --------------------------------------------------------------------

// Progressive JPEG with thousands of tiny scans takes unbounded time to decode.
constexpr int kMaxJpegScans = 500;

struct JpegError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<JpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

void JpegSilence(j_common_ptr, int) {}

void JpegProgress(j_common_ptr cinfo) {
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kMaxJpegScans) {
    auto* err = reinterpret_cast<JpegError*>(cinfo->err);
    std::snprintf(err->message, sizeof err->message, "more than %d scans", kMaxJpegScans);
    std::longjmp(err->jump, 1);
  }
}

// Everything the decoder touches between setjmp and longjmp lives here, behind
// one pointer taken before setjmp, so a jump leaves nothing indeterminate.
struct JpegDecode {
  jpeg_decompress_struct cinfo;
  JpegError err;
  jpeg_progress_mgr progress;
  DecodedPicture picture;
  std::vector<uint8_t> row;
  bool created = false;
  ~JpegDecode() {
    if (created) jpeg_destroy_decompress(&cinfo);
  }
};

void DecodeJpegInto(JpegDecode* s, std::string_view bytes) {
  if (setjmp(s->err.jump)) Fail("JPEG", s->err.message);
  jpeg_create_decompress(&s->cinfo);
  s->created = true;
  s->cinfo.progress = &s->progress;
  jpeg_mem_src(&s->cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  jpeg_read_header(&s->cinfo, TRUE);
  CheckBudget(s->cinfo.image_width, s->cinfo.image_height);
  // Every 8 x 8 block of a component takes at least one bit (its DC code),
  // and the least sampled component has a block for at most 32 x 32 pixels:
  // 8192 pixels a byte. Arithmetic coding, which document writers do not
  // produce, is held to the same bound.
  CheckDataCanFill("JPEG", s->cinfo.image_width, s->cinfo.image_height, bytes.size(), 8192, 65536);
  const bool cmyk = s->cinfo.jpeg_color_space == JCS_CMYK || s->cinfo.jpeg_color_space == JCS_YCCK;
  s->cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
  jpeg_start_decompress(&s->cinfo);
  const int64_t w = s->cinfo.output_width, h = s->cinfo.output_height;
  s->picture = NewPicture(w, h);
  s->row.resize(size_t(w) * 4);
  // Adobe writes CMYK inverted (0 means full ink).
  const bool inverted = s->cinfo.saw_Adobe_marker;
  while (s->cinfo.output_scanline < s->cinfo.output_height) {
    const size_t y = s->cinfo.output_scanline;
    uint32_t* out = s->picture.pixels.data() + y * size_t(w);
    if (!cmyk) {
      JSAMPROW rows[1] = {reinterpret_cast<JSAMPROW>(out)};
      jpeg_read_scanlines(&s->cinfo, rows, 1);
      continue;
    }
    JSAMPROW rows[1] = {s->row.data()};
    jpeg_read_scanlines(&s->cinfo, rows, 1);
    for (int64_t x = 0; x < w; ++x) {
      uint32_t c = s->row[x * 4], m = s->row[x * 4 + 1], yel = s->row[x * 4 + 2], k = s->row[x * 4 + 3];
      if (!inverted) c = 255 - c, m = 255 - m, yel = 255 - yel, k = 255 - k;
      out[x] = 0xFF000000u | (c * k / 255) << 16 | (m * k / 255) << 8 | (yel * k / 255);
    }
  }
  jpeg_finish_decompress(&s->cinfo);
}

DecodedPicture DecodeJpeg(std::string_view bytes) {
  auto s = std::make_unique<JpegDecode>();
  s->cinfo.err = jpeg_std_error(&s->err.pub);
  s->err.pub.error_exit = JpegErrorExit;
  s->err.pub.emit_message = JpegSilence;
  s->progress.progress_monitor = JpegProgress;
  DecodeJpegInto(s.get(), bytes);
  // The decoder writes BGRA with an alpha of 255, which is already the opaque
  // premultiplied form.
  return std::move(s->picture);
}

// --- BMP and DIB ---------------------------------------------------------------

struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  uint32_t max = 0;  // the largest value of the field
};

Channel MakeChannel(uint32_t mask) {
  Channel c;
  c.mask = mask;
  if (!mask) return c;
  c.shift = std::countr_zero(mask);
  const uint32_t field = mask >> c.shift;
  if (field & (field + 1)) Fail("DIB", "colour mask is not contiguous");
  c.max = field;
  return c;
}

inline uint32_t Extract(const Channel& c, uint32_t v) {
  if (!c.mask) return 0;
  return (((v & c.mask) >> c.shift) * 255 + c.max / 2) / c.max;
}

constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiJpeg = 4, kBiPng = 5,
                   kBiAlphaBitfields = 6;

// `dib` starts at the BITMAPINFOHEADER (or BITMAPCOREHEADER). `bitsOffset` is
// where the pixel bits start, counted from `dib`, or 0 for a packed DIB whose
// bits follow the colour table.
DecodedPicture DecodeDibAt(std::string_view dib, uint64_t bitsOffset, const char* format) {
  auto need = [&](uint64_t n, const char* what) {
    if (dib.size() < n) Fail(format, FormatString("truncated %s", what));
  };
  need(4, "header");
  const uint32_t headerSize = Le32(dib, 0);
  int64_t width, height;
  uint32_t bpp, compression = kBiRgb, colorsUsed = 0;
  bool core = false;
  uint32_t masks[4] = {0, 0, 0, 0};
  uint64_t tableAt;
  if (headerSize == 12) {
    need(12, "header");
    core = true;
    width = Le16(dib, 4);
    height = Le16(dib, 6);
    bpp = Le16(dib, 10);
    tableAt = 12;
  } else if (headerSize >= 40 && headerSize <= 4096) {
    need(headerSize, "header");
    width = LeI32(dib, 4);
    height = LeI32(dib, 8);
    bpp = Le16(dib, 14);
    compression = Le32(dib, 16);
    colorsUsed = Le32(dib, 32);
    tableAt = headerSize;
    if (headerSize >= 52) masks[0] = Le32(dib, 40), masks[1] = Le32(dib, 44), masks[2] = Le32(dib, 48);
    if (headerSize >= 56) masks[3] = Le32(dib, 52);
    if (headerSize == 40 && (compression == kBiBitfields || compression == kBiAlphaBitfields)) {
      const uint32_t n = compression == kBiAlphaBitfields ? 4 : 3;
      need(40 + 4 * n, "colour masks");
      for (uint32_t i = 0; i < n; ++i) masks[i] = Le32(dib, 40 + 4 * i);
      tableAt += 4 * n;
    }
  } else {
    Fail(format, FormatString("unknown header size %u", headerSize));
  }
  if (Le16(dib, core ? 8 : 12) != 1) Fail(format, "plane count is not 1");
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0) Fail(format, "no pixels");
  CheckBudget(width, height);

  if (compression == kBiJpeg || compression == kBiPng) {
    const uint64_t at = bitsOffset ? bitsOffset : tableAt;
    if (at >= dib.size()) Fail(format, "truncated pixel data");
    return DecodePicture(compression == kBiJpeg ? PictureFormat::kJpeg : PictureFormat::kPng, dib.substr(at));
  }

  const bool paletted = bpp == 1 || bpp == 2 || bpp == 4 || bpp == 8;
  if (!paletted && bpp != 16 && bpp != 24 && bpp != 32) Fail(format, FormatString("unsupported bit depth %u", bpp));
  if (compression == kBiRle8 && bpp != 8) Fail(format, "RLE8 needs 8 bits a pixel");
  if (compression == kBiRle4 && bpp != 4) Fail(format, "RLE4 needs 4 bits a pixel");
  if ((compression == kBiBitfields || compression == kBiAlphaBitfields) && bpp != 16 && bpp != 32)
    Fail(format, "colour masks need 16 or 32 bits a pixel");
  if (compression > kBiAlphaBitfields) Fail(format, FormatString("unsupported compression %u", compression));
  if ((compression == kBiRle8 || compression == kBiRle4) && topDown) Fail(format, "a compressed bitmap can not be top-down");

  // Colour table.
  std::vector<uint32_t> palette;
  const uint32_t entrySize = core ? 3 : 4;
  uint64_t entries = 0;
  if (paletted) {
    entries = colorsUsed ? colorsUsed : (1u << bpp);
    if (entries > 65536) Fail(format, "colour table too large");
  } else if (!core) {
    entries = std::min<uint64_t>(colorsUsed, 65536);
  }
  const uint64_t tableEnd = tableAt + entries * entrySize;
  if (paletted) {
    need(tableEnd, "colour table");
    palette.assign(size_t(1) << bpp, 0xFF000000u);
    for (uint64_t i = 0; i < std::min<uint64_t>(entries, palette.size()); ++i) {
      const size_t at = size_t(tableAt + i * entrySize);
      palette[i] = 0xFF000000u | uint32_t(uint8_t(dib[at + 2])) << 16 | uint32_t(uint8_t(dib[at + 1])) << 8 |
                   uint8_t(dib[at]);
    }
  }
  uint64_t bitsAt = bitsOffset ? bitsOffset : tableEnd;
  if (bitsAt > dib.size()) Fail(format, "truncated pixel data");
  const bool rle = compression == kBiRle8 || compression == kBiRle4;
  const uint64_t rowBytes = ((uint64_t(width) * bpp + 31) / 32) * 4;
  const uint64_t lastRowBytes = (uint64_t(width) * bpp + 7) / 8;
  if (rle) {
    // A run codes at most 255 pixels in 2 bytes, but an end-of-line code
    // leaves the rest of its row unset; writers that skip pixels so skip at
    // most a few thousand a row: 2048 pixels a byte.
    CheckDataCanFill(format, width, height, dib.size() - bitsAt, 2048, 65536);
  } else if (bitsAt + rowBytes * uint64_t(height - 1) + lastRowBytes > dib.size()) {
    // Some writers leave off the padding of the last row.
    Fail(format, "truncated pixel data");
  }

  DecodedPicture p = NewPicture(width, height);
  auto rowOut = [&](int64_t y) { return p.pixels.data() + size_t(topDown ? y : height - 1 - y) * size_t(width); };

  if (rle) {
    // Pixels the runs skip stay transparent.
    const std::string_view bits = dib.substr(bitsAt);
    size_t i = 0;
    int64_t x = 0, y = 0;  // y counts from the bottom row
    auto put = [&](uint32_t index) {
      if (x < width && y < height) rowOut(y)[x] = palette[index & (palette.size() - 1)];
      ++x;
    };
    while (y < height) {
      if (i + 2 > bits.size()) Fail(format, "truncated RLE data");
      const uint8_t count = uint8_t(bits[i]), value = uint8_t(bits[i + 1]);
      i += 2;
      if (count) {
        for (int n = 0; n < count; ++n)
          put(compression == kBiRle8 ? value : (n & 1 ? value & 15 : value >> 4));
        continue;
      }
      if (value == 0) {  // end of line
        x = 0;
        ++y;
      } else if (value == 1) {  // end of bitmap
        break;
      } else if (value == 2) {  // delta
        if (i + 2 > bits.size()) Fail(format, "truncated RLE data");
        x += uint8_t(bits[i]);
        y += uint8_t(bits[i + 1]);
        i += 2;
      } else {  // absolute run of `value` pixels, padded to 16 bits
        const size_t bytes = compression == kBiRle8 ? value : (value + 1) / 2;
        if (i + bytes > bits.size()) Fail(format, "truncated RLE data");
        for (int n = 0; n < value; ++n) {
          const uint8_t b = uint8_t(bits[i + (compression == kBiRle8 ? n : n / 2)]);
          put(compression == kBiRle8 ? b : (n & 1 ? b & 15 : b >> 4));
        }
        i += (bytes + 1) & ~size_t(1);
      }
    }
    return p;
  }

  Channel ch[4];
  bool useAlpha = false;
  if (bpp == 16 || bpp == 32) {
    if (compression == kBiBitfields || compression == kBiAlphaBitfields || headerSize >= 56) {
      if (compression == kBiRgb) {
        masks[0] = bpp == 16 ? 0x7C00 : 0xFF0000;
        masks[1] = bpp == 16 ? 0x03E0 : 0x00FF00;
        masks[2] = bpp == 16 ? 0x001F : 0x0000FF;
        // A plain 32-bit bitmap's fourth byte is padding unless the header
        // names an alpha mask.
      }
    } else {
      masks[0] = bpp == 16 ? 0x7C00 : 0xFF0000;
      masks[1] = bpp == 16 ? 0x03E0 : 0x00FF00;
      masks[2] = bpp == 16 ? 0x001F : 0x0000FF;
      masks[3] = 0;
    }
    for (int c = 0; c < 4; ++c) ch[c] = MakeChannel(masks[c]);
    useAlpha = masks[3] != 0;
  }

  bool anyAlpha = false;
  for (int64_t y = 0; y < height; ++y) {
    const std::string_view row = dib.substr(size_t(bitsAt + rowBytes * uint64_t(y)));
    uint32_t* out = rowOut(y);
    for (int64_t x = 0; x < width; ++x) {
      switch (bpp) {
        case 1: case 2: case 4: case 8: {
          const uint64_t bit = uint64_t(x) * bpp;
          const uint8_t b = uint8_t(row[size_t(bit / 8)]);
          const uint32_t index = (b >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
          out[x] = palette[index];
          break;
        }
        case 24: {
          const size_t at = size_t(x) * 3;
          out[x] = 0xFF000000u | uint32_t(uint8_t(row[at + 2])) << 16 | uint32_t(uint8_t(row[at + 1])) << 8 |
                   uint8_t(row[at]);
          break;
        }
        default: {
          // Straight (not premultiplied) until the alpha rule below is known.
          const uint32_t v = bpp == 16 ? Le16(row, size_t(x) * 2) : Le32(row, size_t(x) * 4);
          const uint32_t a = useAlpha ? Extract(ch[3], v) : 255;
          if (a) anyAlpha = true;
          out[x] = a << 24 | Extract(ch[0], v) << 16 | Extract(ch[1], v) << 8 | Extract(ch[2], v);
          break;
        }
      }
    }
  }
  // A bitmap whose alpha is zero everywhere was written by a program that did
  // not use the channel: show it opaque rather than not at all.
  if (useAlpha && !anyAlpha)
    for (uint32_t& px : p.pixels) px |= 0xFF000000u;
  else if (useAlpha)
    for (uint32_t& px : p.pixels) px = Premultiply(px >> 24, (px >> 16) & 255, (px >> 8) & 255, px & 255);
  return p;
}

DecodedPicture DecodeBmp(std::string_view bytes) {
  if (bytes.size() < 18 || bytes[0] != 'B' || bytes[1] != 'M') Fail("BMP", "no BMP file header");
  const uint32_t offBits = Le32(bytes, 10);
  const std::string_view dib = bytes.substr(14);
  // A wrong bits offset is common; fall back to the packed layout then.
  const uint64_t bitsOffset = offBits >= 14 + 12 && offBits < bytes.size() ? offBits - 14 : 0;
  return DecodeDibAt(dib, bitsOffset, "BMP");
}

// --- GIF ---------------------------------------------------------------------

struct GifSource {
  std::string_view bytes;
  size_t at = 0;
};

int GifRead(GifFileType* gif, GifByteType* out, int length) {
  auto* src = static_cast<GifSource*>(gif->UserData);
  const size_t n = std::min<size_t>(size_t(std::max(length, 0)), src->bytes.size() - src->at);
  std::memcpy(out, src->bytes.data() + src->at, n);
  src->at += n;
  return int(n);
}

DecodedPicture DecodeGif(std::string_view bytes) {
  GifSource source{bytes};
  int error = 0;
  GifFileType* gif = DGifOpen(&source, GifRead, &error);
  if (!gif) Fail("GIF", GifErrorString(error));
  struct Closer {
    GifFileType* gif;
    ~Closer() {
      int e;
      DGifCloseFile(gif, &e);
    }
  } closer{gif};
  auto check = [&](int result) {
    if (result == GIF_ERROR) {
      const char* text = GifErrorString(gif->Error);
      Fail("GIF", text ? text : "damaged data");
    }
  };
  int transparent = -1;
  DecodedPicture p;
  for (;;) {
    GifRecordType type;
    check(DGifGetRecordType(gif, &type));
    if (type == TERMINATE_RECORD_TYPE) Fail("GIF", "no image");
    if (type == EXTENSION_RECORD_TYPE) {
      int code;
      GifByteType* ext = nullptr;
      check(DGifGetExtension(gif, &code, &ext));
      if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) transparent = (ext[1] & 1) ? ext[4] : -1;
      while (ext) check(DGifGetExtensionNext(gif, &ext));
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE) continue;
    check(DGifGetImageDesc(gif));
    const GifImageDesc& d = gif->Image;
    const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
    if (!map) Fail("GIF", "no colour map");
    CheckBudget(d.Width, d.Height);
    const int64_t sw = gif->SWidth > 0 ? gif->SWidth : d.Left + d.Width;
    const int64_t sh = gif->SHeight > 0 ? gif->SHeight : d.Top + d.Height;
    // LZW codes of at most 12 bits each stand for a string of at most 4096
    // pixels: 2731 pixels a byte, for the frame and for the screen it is
    // drawn on alike.
    const uint64_t dataBytes = bytes.size() - std::min(source.at, bytes.size());
    CheckDataCanFill("GIF", d.Width, d.Height, dataBytes, 2731, 4096);
    CheckBudget(sw, sh);
    CheckDataCanFill("GIF", sw, sh, bytes.size(), 2731, 4096);
    p = NewPicture(sw, sh);
    std::vector<GifPixelType> line(size_t(d.Width));
    auto putRow = [&](int64_t row) {
      const int64_t y = d.Top + row;
      if (y < 0 || y >= sh) return;
      for (int64_t x = 0; x < d.Width; ++x) {
        const int64_t px = d.Left + x;
        const int index = line[size_t(x)];
        if (px < 0 || px >= sw || index == transparent || index >= map->ColorCount) continue;
        const GifColorType& c = map->Colors[index];
        p.pixels[size_t(y) * size_t(sw) + size_t(px)] = 0xFF000000u | uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue;
      }
    };
    if (d.Interlace) {
      static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
      for (int pass = 0; pass < 4; ++pass)
        for (int64_t row = kStart[pass]; row < d.Height; row += kStep[pass]) {
          check(DGifGetLine(gif, line.data(), d.Width));
          putRow(row);
        }
    } else {
      for (int64_t row = 0; row < d.Height; ++row) {
        check(DGifGetLine(gif, line.data(), d.Width));
        putRow(row);
      }
    }
    return p;
  }
}

// --- WMF ---------------------------------------------------------------------

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7u;

struct WmfLayout {
  size_t headerAt = 0;  // the standard header
  bool placeable = false;
  WmfFrame placeableBox;
  bool hasWindow = false;
  WmfFrame window;
};

// Walks the records once, so that libwmf only ever sees a metafile whose
// record chain stays inside the data and ends with an end-of-file record.
WmfLayout ScanWmf(std::string_view b) {
  WmfLayout l;
  if (b.size() >= 22 && Le32(b, 0) == kPlaceableKey) {
    l.placeable = true;
    l.placeableBox = {double(LeI16(b, 6)), double(LeI16(b, 8)), double(LeI16(b, 10)), double(LeI16(b, 12))};
    l.headerAt = 22;
  }
  const size_t h = l.headerAt;
  if (b.size() < h + 18) Fail("WMF", "truncated header");
  const uint16_t type = Le16(b, h), headerWords = Le16(b, h + 2), version = Le16(b, h + 4);
  if ((type != 1 && type != 2) || headerWords != 9 || (version != 0x0100 && version != 0x0300))
    Fail("WMF", "not a metafile header");
  size_t at = h + 18;
  bool haveOrg = false, haveExt = false;
  double orgX = 0, orgY = 0, extX = 0, extY = 0;
  for (;;) {
    if (at + 6 > b.size()) Fail("WMF", "truncated record");
    const uint64_t words = Le32(b, at);
    const uint16_t function = Le16(b, at + 4);
    if (words < 3 || at + words * 2 > b.size()) Fail("WMF", "record outside the data");
    if (function == 0x0000) break;
    if (function == 0x020B && words >= 5 && !haveOrg) {  // SETWINDOWORG: y, x
      orgY = LeI16(b, at + 6), orgX = LeI16(b, at + 8), haveOrg = true;
    } else if (function == 0x020C && words >= 5 && !haveExt) {  // SETWINDOWEXT: y, x
      extY = LeI16(b, at + 6), extX = LeI16(b, at + 8), haveExt = true;
    }
    at += size_t(words) * 2;
  }
  if (haveExt && extX != 0 && extY != 0) {
    l.hasWindow = true;
    l.window = {orgX, orgY, orgX + extX, orgY + extY};
  }
  return l;
}

// --- What libwmf is given ------------------------------------------------------
//
// libwmf trusts the records it plays: sizes, counts, object indices, strings
// without their terminator and the bitmaps inside records reach its C code
// as they are. So it never sees the document's bytes. The metafile is
// rebuilt from the records this player needs, each checked and written in
// its one canonical form; the rest is left out:
// - escapes, palettes, regions, flood fills and the old device-dependent
//   bitmap records are dropped; the objects among them (palettes, regions,
//   pattern brushes of device-dependent bitmaps) become empty brushes, so that
//   the object table keeps its numbering, and selecting them does nothing;
// - bitmaps are decoded here and written again as plain 24-bit DIBs, their
//   source rectangles clipped to the bitmap;
// - polygons, texts and fonts are copied with the counts their records hold;
// - extents and scales of zero, which libwmf divides by, are dropped;
// - pens and fonts are at most as wide and as high as the smallest window
//   the metafile sets up (or its frame): drawing a line or a letter costs
//   the square of its size in pixels; bitmaps drawn more than four times
//   that size, which libwmf scales whole before it clips them, are dropped;
// - text is left out where its letters would come out a tiny part of the
//   window or squashed by a window far wider than high (or the reverse):
//   the player crashes on glyphs that round to nothing;
// - rectangles, which libwmf's gd fills pixel by pixel without clipping, are
//   clipped to a margin of one window around the window set up;
// - the header is written anew: sizes, the record size and the object count
//   are those of the rebuilt records.

// The most bitmap pixels one metafile may hold in all its records.
constexpr int64_t kMaxWmfBitmapPixels = kPixelBudget / 4;

class WmfRebuilder {
 public:
  std::string Rebuild(std::string_view b, const WmfLayout& layout) {
    maxSize_ = SmallestWindow(b, layout);
    size_t at = layout.headerAt + 18;
    for (;;) {
      const uint32_t words = Le32(b, at);
      const uint16_t function = Le16(b, at + 4);
      if (function == 0x0000) break;
      params_ = b.substr(at + 6, size_t(words) * 2 - 6);
      Take(function);
      at += size_t(words) * 2;
    }
    Emit(0x0000, {});
    std::string out;
    if (layout.placeable) {
      std::string p(b.substr(0, 22));
      if (Le16(p, 14) == 0) Put16At(p, 14, 1440);  // units an inch, which libwmf divides by
      uint16_t sum = 0;
      for (size_t i = 0; i < 20; i += 2) sum ^= Le16(p, i);
      Put16At(p, 20, sum);
      out += p;
    }
    std::string h;
    Put16(h, 1);
    Put16(h, 9);
    Put16(h, 0x0300);
    Put32(h, uint32_t((18 + records_.size()) / 2));
    Put16(h, uint16_t(slots_.size()));
    Put32(h, maxWords_);
    Put16(h, 0);
    return out + h + records_;
  }

 private:
  enum Slot : uint8_t { kFree, kDrawing, kInert };

  static void Put16(std::string& s, uint16_t v) {
    s += char(v & 0xFF);
    s += char(v >> 8);
  }
  static void Put32(std::string& s, uint32_t v) {
    Put16(s, uint16_t(v));
    Put16(s, uint16_t(v >> 16));
  }
  static void Put16At(std::string& s, size_t at, uint16_t v) {
    s[at] = char(v & 0xFF);
    s[at + 1] = char(v >> 8);
  }

  // The larger side of the smallest window the metafile sets (its frame
  // counting as one), in logical units.
  static int32_t SmallestWindow(std::string_view b, const WmfLayout& layout) {
    int32_t smallest = 0x7FFF;
    auto take = [&](double w, double h) {
      const double side = std::max(std::fabs(w), std::fabs(h));
      if (side >= 1) smallest = std::min<int32_t>(smallest, int32_t(std::min(side, 32767.0)));
    };
    if (layout.placeable) take(layout.placeableBox.right - layout.placeableBox.left,
                               layout.placeableBox.bottom - layout.placeableBox.top);
    for (size_t at = layout.headerAt + 18;;) {
      const uint32_t words = Le32(b, at);
      const uint16_t function = Le16(b, at + 4);
      if (function == 0x0000) break;
      if (function == 0x020C && words >= 5) take(LeI16(b, at + 8), LeI16(b, at + 6));
      at += size_t(words) * 2;
    }
    return smallest;
  }
  // A font's size keeps its sign (a negative height is the letters' own).
  uint16_t Bounded(uint16_t size) const {
    const int32_t v = int16_t(size);
    return uint16_t(int16_t(std::clamp(v, -maxSize_, maxSize_)));
  }
  // A pen's width has none: libwmf reads it unsigned.
  uint16_t BoundedWidth(uint16_t size) const {
    return uint16_t(std::min<int32_t>(std::abs(int32_t(int16_t(size))), maxSize_));
  }

  size_t Count() const { return params_.size() / 2; }
  uint16_t P(size_t i) const { return Le16(params_, i * 2); }
  int16_t S(size_t i) const { return LeI16(params_, i * 2); }

  void Emit(uint16_t function, const std::vector<uint16_t>& params, std::string_view tail = {}) {
    const uint64_t words = 3 + params.size() + (tail.size() + 1) / 2;
    if (words > 0xFFFFFFFFu / 2) Fail("WMF", "record too large");
    Put32(records_, uint32_t(words));
    Put16(records_, function);
    for (uint16_t v : params) Put16(records_, v);
    records_ += tail;
    if (tail.size() & 1) records_ += '\0';
    maxWords_ = std::max(maxWords_, uint32_t(words));
  }

  // The first `n` parameters, when the record has them.
  bool First(size_t n, std::vector<uint16_t>& out) const {
    if (Count() < n) return false;
    out.clear();
    for (size_t i = 0; i < n; ++i) out.push_back(P(i));
    return true;
  }

  // An object takes the lowest free entry of the table.
  void Create(uint16_t function, const std::vector<uint16_t>& params, Slot kind, std::string_view tail = {}) {
    size_t i = 0;
    while (i < slots_.size() && slots_[i] != kFree) ++i;
    if (i == slots_.size()) {
      if (slots_.size() >= 0xFFFF) Fail("WMF", "too many objects");
      slots_.push_back(kFree);
    }
    slots_[i] = kind;
    if (fontHeights_.size() < slots_.size()) fontHeights_.resize(slots_.size(), -1);
    fontHeights_[i] = function == 0x02FB ? nextFontHeight_ : -1;
    Emit(function, params, tail);
  }
  void CreateEmptyBrush(Slot kind) { Create(0x02FC, {1, 0, 0, 0}, kind); }  // BS_NULL

  // A DIB (BITMAPINFO and bits) decoded and written again as a bottom-up
  // 24-bit DIB over white; nothing when it does not decode or the
  // metafile's bitmaps would exceed their budget.
  std::optional<std::string> Bitmap(std::string_view dib, int32_t& width, int32_t& height) {
    DecodedPicture picture;
    try {
      picture = DecodePicture(PictureFormat::kDib, dib);
    } catch (const EPictureError&) {
      return std::nullopt;
    }
    bitmapPixels_ += int64_t(picture.width) * picture.height;
    if (bitmapPixels_ > kMaxWmfBitmapPixels) Fail("WMF", "its bitmaps exceed the limit of pixels");
    width = picture.width;
    height = picture.height;
    const size_t rowBytes = (size_t(width) * 3 + 3) & ~size_t(3);
    std::string out;
    Put32(out, 40);
    Put32(out, uint32_t(width));
    Put32(out, uint32_t(height));
    Put16(out, 1);
    Put16(out, 24);
    Put32(out, 0);
    Put32(out, uint32_t(rowBytes * size_t(height)));
    for (int i = 0; i < 4; ++i) Put32(out, 0);
    out.reserve(out.size() + rowBytes * size_t(height));
    for (int32_t y = height - 1; y >= 0; --y) {
      const uint32_t* row = picture.pixels.data() + size_t(y) * size_t(width);
      for (int32_t x = 0; x < width; ++x) {
        const uint32_t px = row[x], over = 255 - (px >> 24);  // premultiplied: add the white left showing
        out += char(std::min<uint32_t>((px & 255) + over, 255));
        out += char(std::min<uint32_t>(((px >> 8) & 255) + over, 255));
        out += char(std::min<uint32_t>(((px >> 16) & 255) + over, 255));
      }
      out.append(rowBytes - size_t(width) * 3, '\0');
    }
    return out;
  }

  // A rectangle (bottom, right, top, left from parameter `at` on) clipped to
  // the window set up and a margin of its size around it.
  std::vector<uint16_t> ClampedRect(std::vector<uint16_t> p, size_t at) const {
    if (!hasWindow_) return p;
    auto clamp = [](uint16_t v, double org, double ext) {
      const double lo = std::min(org, org + ext) - std::fabs(ext), hi = std::max(org, org + ext) + std::fabs(ext);
      return uint16_t(int16_t(std::clamp(double(int16_t(v)), std::max(lo, -32768.0), std::min(hi, 32767.0))));
    };
    p[at] = clamp(p[at], orgY_, extY_);
    p[at + 1] = clamp(p[at + 1], orgX_, extX_);
    p[at + 2] = clamp(p[at + 2], orgY_, extY_);
    p[at + 3] = clamp(p[at + 3], orgX_, extX_);
    return p;
  }

  // Whether text of the selected font comes out as letters in the window in
  // force: not squashed beyond 64 to 1, and at least a 512th of the window.
  bool TextDrawable() const {
    if (!hasWindow_) return true;
    const double w = std::fabs(extX_), h = std::fabs(extY_);
    if (w < 1 || h < 1 || w > 64 * h || h > 64 * w) return false;
    return fontHeight_ < 0 || (fontHeight_ > 0 && double(fontHeight_) * 512 >= h);
  }

  // Whether a bitmap drawn w x h logical units stays within four times the
  // picture's size.
  bool Drawable(int32_t w, int32_t h) const {
    return std::abs(w) <= 4 * maxSize_ && std::abs(h) <= 4 * maxSize_;
  }

  // Clips a source rectangle to a bitmap; false when nothing is left.
  static bool ClipSource(int32_t bw, int32_t bh, int32_t& x, int32_t& y, int32_t& w, int32_t& h) {
    if (w <= 0 || h <= 0) return false;
    x = std::clamp(x, 0, bw);
    y = std::clamp(y, 0, bh);
    w = std::min(w, bw - x);
    h = std::min(h, bh - y);
    return w > 0 && h > 0;
  }

  void Take(uint16_t function) {
    std::vector<uint16_t> p;
    switch (function) {
      // State and simple shapes: a fixed number of parameters.
      case 0x001E:  // SAVEDC
        ++depth_;
        Emit(function, {});
        return;
      case 0x0127:  // RESTOREDC: one level at a time, never below the first
        if (Count() >= 1 && depth_ > 0) --depth_, Emit(function, {uint16_t(-1)});
        return;
      case 0x0103:  // SETMAPMODE
        if (Count() >= 1 && P(0) >= 1 && P(0) <= 8) Emit(function, {P(0)});
        return;
      case 0x0102: case 0x0104: case 0x0106: case 0x0107: case 0x0108: case 0x012E:
        if (First(1, p)) Emit(function, p);
        return;
      case 0x0201: case 0x0209: case 0x020A: case 0x020D: case 0x0211: case 0x0213:
      case 0x0214: case 0x0220: case 0x0231:
        if (First(2, p)) Emit(function, p);
        return;
      case 0x020B:  // SETWINDOWORG: y, x
        if (First(2, p)) orgY_ = int16_t(p[0]), orgX_ = int16_t(p[1]), Emit(function, p);
        return;
      case 0x020F:  // OFFSETWINDOWORG: y, x
        if (First(2, p)) orgY_ += int16_t(p[0]), orgX_ += int16_t(p[1]), Emit(function, p);
        return;
      case 0x020C:  // SETWINDOWEXT: y, x
        if (First(2, p) && p[0] && p[1]) extY_ = int16_t(p[0]), extX_ = int16_t(p[1]), hasWindow_ = true, Emit(function, p);
        return;
      case 0x020E:  // SETVIEWPORTEXT
        if (First(2, p) && p[0] && p[1]) Emit(function, p);
        return;
      case 0x0410: case 0x0412:  // SCALEWINDOWEXT, SCALEVIEWPORTEXT: yDenom, yNum, xDenom, xNum
        if (First(4, p) && p[0] && p[1] && p[2] && p[3]) {
          if (function == 0x0410) {
            // An extent scaled to nothing would be divided by.
            const double y = std::trunc(extY_ * int16_t(p[1]) / int16_t(p[0]));
            const double x = std::trunc(extX_ * int16_t(p[3]) / int16_t(p[2]));
            if (hasWindow_ && (y == 0 || x == 0 || std::fabs(y) > 32767 || std::fabs(x) > 32767)) return;
            extY_ = y, extX_ = x;
          }
          Emit(function, p);
        }
        return;
      case 0x0415: case 0x0416: case 0x0418: case 0x041F:
        if (First(4, p)) Emit(function, p);
        return;
      case 0x041B:  // RECTANGLE: bottom, right, top, left
        if (First(4, p)) Emit(function, ClampedRect(p, 0));
        return;
      case 0x061C:  // ROUNDRECT: corner height and width, bottom, right, top, left
        if (First(6, p)) Emit(function, ClampedRect(p, 2));
        return;
      case 0x061D: {  // PATBLT: rop, height, width, y, x
        if (!First(6, p)) return;
        const int32_t h = int16_t(p[2]), w = int16_t(p[3]), y = int16_t(p[4]), x = int16_t(p[5]);
        std::vector<uint16_t> r{uint16_t(y + h), uint16_t(x + w), uint16_t(y), uint16_t(x)};
        if (int64_t(y) + h != int16_t(y + h) || int64_t(x) + w != int16_t(x + w)) return;
        r = ClampedRect(r, 0);
        Emit(function, {p[0], p[1], uint16_t(int16_t(r[0]) - int16_t(r[2])), uint16_t(int16_t(r[1]) - int16_t(r[3])),
                        r[2], r[3]});
        return;
      }
      case 0x0817: case 0x081A: case 0x0830:  // ARC, PIE, CHORD
        if (First(8, p)) Emit(function, p);
        return;

      // Objects.
      case 0x02FA:  // CREATEPENINDIRECT: style, width (x, y), colour
        if (First(5, p))
          Create(function, {uint16_t(p[0] & 0x0F0F), BoundedWidth(p[1]), BoundedWidth(p[2]), p[3], p[4]}, kDrawing);
        else CreateEmptyBrush(kInert);
        return;
      case 0x02FC:  // CREATEBRUSHINDIRECT: style, colour, hatch
        if (First(4, p) && p[0] <= 2) {
          if (p[3] > 5) p[3] = 0;
          Create(function, p, kDrawing);
        } else if (First(4, p)) {
          // Pattern styles name a bitmap this record does not hold.
          Create(function, {0, p[1], p[2], 0}, kDrawing);
        } else {
          CreateEmptyBrush(kInert);
        }
        return;
      case 0x02FB: {  // CREATEFONTINDIRECT: 9 words, then the face name
        if (!First(9, p)) {
          CreateEmptyBrush(kInert);
          return;
        }
        p[0] = Bounded(p[0]);  // height
        p[1] = Bounded(p[1]);  // width
        nextFontHeight_ = std::abs(int32_t(int16_t(p[0])));
        std::string face(params_.substr(18, std::min<size_t>(params_.size() - 18, 31)));
        face = face.substr(0, face.find('\0'));
        face.resize(32, '\0');
        Create(function, p, kDrawing, face);
        return;
      }
      case 0x00F7: case 0x06FF: case 0x01F9:  // CREATEPALETTE, CREATEREGION, CREATEPATTERNBRUSH
        CreateEmptyBrush(function == 0x01F9 ? kDrawing : kInert);
        return;
      case 0x0142: {  // DIBCREATEPATTERNBRUSH: style, colour usage, DIB
        int32_t w = 0, h = 0;
        std::optional<std::string> dib;
        if (Count() > 2) dib = Bitmap(params_.substr(4), w, h);
        if (dib) Create(function, {5, 0}, kDrawing, *dib);  // BS_DIBPATTERNPT, DIB_RGB_COLORS
        else CreateEmptyBrush(kDrawing);
        return;
      }
      case 0x012D:  // SELECTOBJECT
        if (Count() >= 1 && P(0) < slots_.size() && slots_[P(0)] == kDrawing) {
          if (P(0) < fontHeights_.size() && fontHeights_[P(0)] >= 0) fontHeight_ = fontHeights_[P(0)];
          Emit(function, {P(0)});
        }
        return;
      case 0x01F0:  // DELETEOBJECT
        if (Count() >= 1 && P(0) < slots_.size() && slots_[P(0)] != kFree) {
          slots_[P(0)] = kFree;
          Emit(function, {P(0)});
        }
        return;

      // Points.
      case 0x0324: case 0x0325: {  // POLYGON, POLYLINE: count, points
        if (Count() < 1) return;
        const size_t n = P(0);
        if (n >= 2 && Count() >= 1 + 2 * n) Emit(function, {}, params_.substr(0, (1 + 2 * n) * 2));
        return;
      }
      case 0x0538: {  // POLYPOLYGON: polygons, their counts, the points
        if (Count() < 1) return;
        const size_t polygons = P(0);
        if (polygons == 0 || Count() < 1 + polygons) return;
        size_t points = 0;
        for (size_t i = 0; i < polygons; ++i) {
          if (P(1 + i) < 2) return;
          points += P(1 + i);
        }
        if (Count() >= 1 + polygons + 2 * points) Emit(function, {}, params_.substr(0, (1 + polygons + 2 * points) * 2));
        return;
      }

      // Text.
      case 0x0521: {  // TEXTOUT: length, string (padded to words), y, x
        if (Count() < 1 || !TextDrawable()) return;
        const size_t n = P(0), words = (n + 1) / 2;
        if (n == 0 || Count() < 1 + words + 2) return;
        std::string text(params_.substr(2, n));
        if (n & 1) text += '\0';
        Emit(function, {uint16_t(n)}, text + std::string(params_.substr((1 + words) * 2, 4)));
        return;
      }
      case 0x0A32: {  // EXTTEXTOUT: y, x, length, options, [rectangle], string, [spacing]
        if (Count() < 4 || !TextDrawable()) return;
        const size_t n = P(2);
        const uint16_t options = P(3) & 0x0006;  // ETO_OPAQUE, ETO_CLIPPED; the rest changes what the string is
        const size_t rectWords = (P(3) & 0x0006) ? 4 : 0, stringWords = (n + 1) / 2;
        if (Count() < 4 + rectWords + stringWords) return;
        if (n == 0 && !rectWords) return;
        std::vector<uint16_t> head{P(0), P(1), uint16_t(n), options};
        for (size_t i = 0; i < rectWords; ++i) head.push_back(P(4 + i));
        std::string tail(params_.substr((4 + rectWords) * 2, n));
        if (n & 1) tail += '\0';
        const size_t dxAt = (4 + rectWords + stringWords) * 2;
        if (n && params_.size() >= dxAt + n * 2) tail += params_.substr(dxAt, n * 2);
        Emit(function, head, tail);
        return;
      }

      // Bitmaps.
      case 0x0940:    // DIBBITBLT: rop, ySrc, xSrc, height, width, yDest, xDest, DIB
      case 0x0B41:    // DIBSTRETCHBLT: rop, srcHeight, srcWidth, ySrc, xSrc, destHeight, destWidth, yDest, xDest, DIB
      case 0x0F43: {  // STRETCHDIB: rop, usage, srcHeight, srcWidth, ySrc, xSrc, destHeight, destWidth, yDest, xDest, DIB
        const size_t fixed = function == 0x0940 ? 8 : function == 0x0B41 ? 10 : 11;
        // Without a bitmap (one reserved word more, nothing after) the record
        // paints with the brush, as PATBLT does.
        if (function != 0x0F43 && Count() == fixed + 1) {
          const size_t hAt = function == 0x0940 ? 5 : 7;
          Emit(0x061D, {P(0), P(1), P(hAt), P(hAt + 1), P(hAt + 2), P(hAt + 3)});
          return;
        }
        if (Count() <= fixed) return;
        int32_t bw = 0, bh = 0;
        const std::optional<std::string> dib = Bitmap(params_.substr(fixed * 2), bw, bh);
        if (!dib) return;
        const size_t src = function == 0x0F43 ? 3 : 2;  // index of srcHeight (or height)
        if (function == 0x0940) {
          int32_t ys = S(2), xs = S(3), h = S(4), w = S(5);
          const int32_t yd = S(6), xd = S(7);
          if (!ClipSource(bw, bh, xs, ys, w, h) || !Drawable(w, h)) return;
          Emit(function, {P(0), P(1), uint16_t(ys), uint16_t(xs), uint16_t(h), uint16_t(w), uint16_t(yd), uint16_t(xd)},
               *dib);
          return;
        }
        int32_t sh = S(src), sw = S(src + 1), ys = S(src + 2), xs = S(src + 3);
        if (!ClipSource(bw, bh, xs, ys, sw, sh) || !Drawable(S(src + 5), S(src + 4))) return;
        std::vector<uint16_t> head{P(0), P(1)};
        if (function == 0x0F43) head.push_back(0);  // DIB_RGB_COLORS
        for (int32_t v : {sh, sw, ys, xs}) head.push_back(uint16_t(v));
        for (size_t i = src + 4; i < src + 8; ++i) head.push_back(P(i));
        Emit(function, head, *dib);
        return;
      }
      default:
        return;  // everything else is left out
    }
  }

  std::string_view params_;
  int32_t maxSize_ = 0x7FFF;
  std::vector<int32_t> fontHeights_;  // of the fonts in the table, -1 for other objects
  int32_t nextFontHeight_ = 0;
  int32_t fontHeight_ = -1;  // of the font selected, -1 for the player's own
  bool hasWindow_ = false;  // the window in force, once the metafile sets one
  double orgX_ = 0, orgY_ = 0, extX_ = 0, extY_ = 0;
  std::string records_;
  uint32_t maxWords_ = 3;
  std::vector<Slot> slots_;
  int64_t depth_ = 0;
  int64_t bitmapPixels_ = 0;
};

// The metafile as libwmf is given it (see above).
std::string SafeWmf(std::string_view bytes) {
  const WmfLayout layout = ScanWmf(bytes);
  return WmfRebuilder().Rebuild(bytes, layout);
}

// The folder of the PostScript base fonts libwmf draws text with:
// TAGSMITH_WMF_FONTDIR, else where Debian's fonts-urw-base35 puts them.
std::string WmfFontDir() {
  const char* dir = std::getenv("TAGSMITH_WMF_FONTDIR");
  return dir && *dir ? dir : "/usr/share/fonts/type1/urw-base35";
}

// libwmf can not start playing without its fonts, and only says the
// metafile failed; say what is missing instead.
void CheckWmfFonts(const std::string& dir) {
  const std::string probe = dir + "/NimbusSans-Regular.t1";
  if (FILE* f = std::fopen(probe.c_str(), "rb")) {
    std::fclose(f);
    return;
  }
  Fail("WMF", FormatString("the metafile player's fonts are missing (no NimbusSans-Regular.t1 in %s; install "
                           "the fonts-urw-base35 package, or name the folder that holds the fonts in "
                           "TAGSMITH_WMF_FONTDIR)",
                           dir.c_str()));
}

// The truecolour gd image that libwmf's gd device leaves behind is not freed
// by wmf_api_destroy, and libwmf does not export gd's destructor.
void FreeGdImage(gdImagePtr im) {
  if (!im) return;
  if (im->pixels) {
    for (int i = 0; i < im->sy; ++i) std::free(im->pixels[i]);
    std::free(im->pixels);
  }
  if (im->tpixels) {
    if (im->_tpixels) std::free(im->_tpixels);
    else
      for (int i = 0; i < im->sy; ++i) std::free(im->tpixels[i]);
    std::free(im->tpixels);
  }
  std::free(im->polyInts);
  std::free(im->style);
  if (im->clip) {
    std::free(im->clip->list);
    std::free(im->clip);
  }
  std::free(im);
}

std::mutex& WmfMutex() {
  static std::mutex m;  // libwmf keeps process-wide font state
  return m;
}

// One libwmf player with the gd device, holding the metafile it plays (the
// rebuilt one). The caller holds WmfMutex.
class WmfPlayer {
 public:
  explicit WmfPlayer(std::string metafile) : metafile_(std::move(metafile)) {
    std::string dir = WmfFontDir();
    CheckWmfFonts(dir);
    wmfAPI_Options options;
    std::memset(&options, 0, sizeof options);
    options.function = wmf_gd_function;
    char* dirs[2] = {dir.data(), nullptr};
    unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    if (std::getenv("TAGSMITH_WMF_FONTDIR")) {
      options.fontdirs = dirs;
      flags |= WMF_OPT_FONTDIRS;
    }
    if (wmf_api_create(&api_, flags, &options) != wmf_E_None) {
      if (api_) wmf_api_destroy(api_);
      api_ = nullptr;
      Fail("WMF", "the metafile player could not start");
    }
    opened_ = wmf_mem_open(api_, reinterpret_cast<unsigned char*>(metafile_.data()), long(metafile_.size())) ==
              wmf_E_None;
  }
  WmfPlayer(const WmfPlayer&) = delete;
  WmfPlayer& operator=(const WmfPlayer&) = delete;
  ~WmfPlayer() {
    if (!api_) return;
    if (wmf_gd_t* device = WMF_GD_GetData(api_)) {
      FreeGdImage(static_cast<gdImagePtr>(device->gd_image));
      device->gd_image = nullptr;
    }
    wmf_api_destroy(api_);
  }

  wmfAPI* api() const { return api_; }
  bool opened() const { return opened_; }

 private:
  std::string metafile_;
  wmfAPI* api_ = nullptr;
  bool opened_ = false;
};

}  // namespace

const char* PictureFormatName(PictureFormat format) {
  switch (format) {
    case PictureFormat::kPng: return "PNG";
    case PictureFormat::kJpeg: return "JPEG";
    case PictureFormat::kGif: return "GIF";
    case PictureFormat::kEmf: return "EMF";
    case PictureFormat::kWmf: return "WMF";
    case PictureFormat::kDib: return "DIB";
    case PictureFormat::kDdb: return "DDB";
    case PictureFormat::kMacPict: return "PICT";
    case PictureFormat::kOs2Metafile: return "OS/2 metafile";
    case PictureFormat::kUnknown: break;
  }
  return "unknown";
}

std::optional<PictureFormat> SniffPictureFormat(std::string_view b) {
  if (b.size() >= 8 && b.substr(0, 8) == std::string_view("\x89PNG\r\n\x1a\n", 8)) return PictureFormat::kPng;
  if (b.size() >= 3 && uint8_t(b[0]) == 0xFF && uint8_t(b[1]) == 0xD8 && uint8_t(b[2]) == 0xFF)
    return PictureFormat::kJpeg;
  if (b.size() >= 6 && (b.substr(0, 6) == "GIF87a" || b.substr(0, 6) == "GIF89a")) return PictureFormat::kGif;
  if (b.size() >= 18 && b[0] == 'B' && b[1] == 'M') return PictureFormat::kDib;
  if (b.size() >= 44 && Le32(b, 0) == 1 && Le32(b, 40) == 0x464D4520u) return PictureFormat::kEmf;  // " EMF"
  if (b.size() >= 22 && Le32(b, 0) == kPlaceableKey) return PictureFormat::kWmf;
  if (b.size() >= 18 && (Le16(b, 0) == 1 || Le16(b, 0) == 2) && Le16(b, 2) == 9 &&
      (Le16(b, 4) == 0x0100 || Le16(b, 4) == 0x0300))
    return PictureFormat::kWmf;
  if (b.size() >= 40) {
    const uint32_t size = Le32(b, 0);
    const uint16_t bpp = Le16(b, 14);
    if ((size == 40 || size == 52 || size == 56 || size == 108 || size == 124) && Le16(b, 12) == 1 &&
        (bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32))
      return PictureFormat::kDib;
  }
  return std::nullopt;
}

namespace {

// A picture stored without its format is known by its bytes.
PictureFormat Resolved(PictureFormat format, std::string_view bytes) {
  if (format != PictureFormat::kUnknown) return format;
  if (bytes.empty()) throw EPictureError("Picture has no data");
  if (const std::optional<PictureFormat> sniffed = SniffPictureFormat(bytes)) return *sniffed;
  throw EPictureError("Picture of unknown format");
}

}  // namespace

DecodedPicture DecodePicture(PictureFormat format, std::string_view bytes) {
  format = Resolved(format, bytes);
  switch (format) {
    case PictureFormat::kPng: return DecodePng(bytes);
    case PictureFormat::kJpeg: return DecodeJpeg(bytes);
    // A DIB is stored bare; some writers leave its BMP file header on.
    case PictureFormat::kDib:
      return bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M' ? DecodeBmp(bytes)
                                                                      : DecodeDibAt(bytes, 0, "DIB");
    case PictureFormat::kGif: return DecodeGif(bytes);
    case PictureFormat::kDdb: throw EPictureError("Device-dependent bitmaps (DDB) can not be decoded");
    default: break;
  }
  throw EPictureError(FormatString("A %s picture is drawn, not decoded", PictureFormatName(format)));
}

WmfFrame GetWmfFrame(std::string_view bytes) {
  const WmfLayout l = ScanWmf(bytes);
  if (l.placeable && l.placeableBox.right != l.placeableBox.left && l.placeableBox.bottom != l.placeableBox.top)
    return l.placeableBox;
  if (l.hasWindow) return l.window;
  std::string metafile = SafeWmf(bytes);
  std::lock_guard<std::mutex> lock(WmfMutex());
  WmfPlayer player(std::move(metafile));
  wmfD_Rect box{};
  if (!player.opened() || wmf_scan(player.api(), 0, &box) != wmf_E_None) Fail("WMF", "the metafile can not be played");
  if (!std::isfinite(box.TL.x) || !std::isfinite(box.TL.y) || !std::isfinite(box.BR.x) || !std::isfinite(box.BR.y))
    Fail("WMF", "the metafile has no extent");
  return {box.TL.x, box.TL.y, box.BR.x, box.BR.y};
}

DecodedPicture RenderWmf(std::string_view bytes, const WmfFrame& part, int32_t width, int32_t height) {
  std::string metafile = SafeWmf(bytes);
  CheckBudget(width, height);
  if (part.right == part.left || part.bottom == part.top) Fail("WMF", "empty frame");
  if (!std::isfinite(part.left) || !std::isfinite(part.top) || !std::isfinite(part.right) ||
      !std::isfinite(part.bottom))
    Fail("WMF", "empty frame");
  DecodedPicture p = NewPicture(width, height);
  std::lock_guard<std::mutex> lock(WmfMutex());
  WmfPlayer player(std::move(metafile));
  wmf_gd_t* device = WMF_GD_GetData(player.api());
  bool ok = player.opened();
  wmfD_Rect box{};
  if (ok) ok = wmf_scan(player.api(), 0, &box) == wmf_E_None;
  if (ok) {
    box.TL.x = float(std::min(part.left, part.right));
    box.TL.y = float(std::min(part.top, part.bottom));
    box.BR.x = float(std::max(part.left, part.right));
    box.BR.y = float(std::max(part.top, part.bottom));
    device->type = wmf_gd_image;
    device->bbox = box;
    device->width = unsigned(width);
    device->height = unsigned(height);
    ok = wmf_play(player.api(), 0, &box) == wmf_E_None;
  }
  const auto* image = static_cast<gdImagePtr>(device->gd_image);
  if (!ok || !image || image->sx != width || image->sy != height) Fail("WMF", "the metafile can not be played");
  const int* src = wmf_gd_image_pixels(device->gd_image);
  for (size_t i = 0; i < p.pixels.size(); ++i) {
    const uint32_t v = uint32_t(src[i]);
    // gd's alpha runs from 0 (opaque) to 127 (transparent).
    const uint32_t a = 255 - ((v >> 24) & 0x7F) * 255 / 127;
    p.pixels[i] = Premultiply(a, (v >> 16) & 255, (v >> 8) & 255, v & 255);
  }
  return p;
}

// --- Drawing -----------------------------------------------------------------

namespace {

void EnsureVips() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (VIPS_INIT("tagsmith")) throw EPictureError("The image library could not start");
    // Every call wraps fresh pixel memory; a cache would only hold it longer.
    vips_cache_set_max(0);
    vips_cache_set_max_mem(0);
  });
}

struct VipsRef {
  VipsImage* image = nullptr;
  VipsRef() = default;
  explicit VipsRef(VipsImage* i) : image(i) {}
  VipsRef(const VipsRef&) = delete;
  VipsRef(VipsRef&& o) noexcept : image(std::exchange(o.image, nullptr)) {}
  VipsRef& operator=(VipsRef&& o) noexcept {
    std::swap(image, o.image);
    return *this;
  }
  ~VipsRef() {
    if (image) g_object_unref(image);
  }
};

[[noreturn]] void VipsFail() {
  std::string message = vips_error_buffer();
  vips_error_clear();
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  throw EPictureError("Resampling failed: " + message);
}

inline uint32_t Over(uint32_t dst, uint32_t src) {
  const uint32_t a = src >> 24;
  if (a == 255) return src;
  if (a == 0) return dst;
  const uint32_t inv = 255 - a;
  auto ch = [&](int shift) {
    const uint32_t s = (src >> shift) & 255, d = (dst >> shift) & 255;
    uint32_t t = d * inv + 128;
    t = (t + (t >> 8)) >> 8;
    return std::min<uint32_t>(s + t, 255) << shift;
  };
  return ch(24) | ch(16) | ch(8) | ch(0);
}

// The Lanczos kernel grows with the reduction, and the library's 8-bit path
// loses precision in wide kernels (a flat colour comes out up to 2 levels off
// from a 10-fold reduction, 4 from a 100-fold one) and refuses the widest.
// Up to 8-fold a flat colour stays within one level (and exact at the common
// 400-to-96, -120, -144 and -192 dpi reductions). The renderer's own
// reduction (about 4-fold) always runs through the kernel alone.
constexpr double kMaxStep = 8.0;

struct SinkTarget {
  Canvas* canvas;
  int32_t left, top;  // canvas position of the sink image's origin
};

int BlendRegion(VipsRegion* region, VipsRect* area, void* arg) {
  auto* t = static_cast<SinkTarget*>(arg);
  for (int y = 0; y < area->height; ++y) {
    const auto* src = reinterpret_cast<const uint32_t*>(VIPS_REGION_ADDR(region, area->left, area->top + y));
    uint32_t* dst = t->canvas->pixels + size_t(t->top + area->top + y) * size_t(t->canvas->stride) +
                    size_t(t->left + area->left);
    for (int x = 0; x < area->width; ++x) {
      uint32_t s = src[x];
      // Lanczos rings: keep every colour within its alpha so the pixel stays a
      // valid premultiplied value.
      const uint32_t a = s >> 24;
      if (a != 255) {
        auto clamp = [a](uint32_t c) { return std::min(c, a); };
        s = a << 24 | clamp((s >> 16) & 255) << 16 | clamp((s >> 8) & 255) << 8 | clamp(s & 255);
      }
      dst[x] = Over(dst[x], s);
    }
  }
  return 0;
}

// The whole source stretched to the rectangle's size, cropped to its visible
// part [vl, vr) x [vt, vb); nothing is computed yet.
VipsRef StretchedVisiblePart(const PixelView& source, const RECTL& rect, int64_t vl, int64_t vt, int64_t vr,
                             int64_t vb) {
  const int64_t rw = int64_t(rect.right) - rect.left, rh = int64_t(rect.bottom) - rect.top;
  VipsRef image(vips_image_new_from_memory(source.pixels, size_t(source.stride) * size_t(source.height) * 4,
                                           source.stride, source.height, 4, VIPS_FORMAT_UCHAR));
  if (!image.image) VipsFail();
  if (source.stride != source.width) {
    VipsImage* out = nullptr;
    if (vips_crop(image.image, &out, 0, 0, source.width, source.height, nullptr)) VipsFail();
    image = VipsRef(out);
  }
  int64_t cw = source.width, chh = source.height;
  auto resize = [&](int64_t tw, int64_t th) {
    VipsImage* out = nullptr;
    if (vips_resize(image.image, &out, double(tw) / double(cw), "vscale", double(th) / double(chh), "kernel",
                    VIPS_KERNEL_LANCZOS3, "gap", 0.0, nullptr))
      VipsFail();
    image = VipsRef(out);
    if (image.image->Xsize != tw || image.image->Ysize != th) {
      VipsImage* fixed = nullptr;
      if (vips_embed(image.image, &fixed, 0, 0, int(tw), int(th), "extend", VIPS_EXTEND_COPY, nullptr)) VipsFail();
      image = VipsRef(fixed);
    }
    cw = tw;
    chh = th;
  };
  // Steeper reductions first average whole blocks of pixels, leaving the
  // kernel a reduction between 4- and 8-fold.
  const double fx = double(cw) / double(rw), fy = double(chh) / double(rh);
  if (fx > kMaxStep || fy > kMaxStep) {
    const int bx = fx > kMaxStep ? int(std::min(fx / (kMaxStep / 2), double(VIPS_MAX_COORD))) : 1;
    const int by = fy > kMaxStep ? int(std::min(fy / (kMaxStep / 2), double(VIPS_MAX_COORD))) : 1;
    VipsImage* out = nullptr;
    if (vips_shrink(image.image, &out, double(bx), double(by), nullptr)) VipsFail();
    image = VipsRef(out);
    cw = image.image->Xsize;
    chh = image.image->Ysize;
  }
  resize(rw, rh);
  VipsImage* visible = nullptr;
  if (vips_crop(image.image, &visible, int(vl - rect.left), int(vt - rect.top), int(vr - vl), int(vb - vt), nullptr))
    VipsFail();
  return VipsRef(visible);
}

}  // namespace

void StretchDraw(const PixelView& source, Canvas& canvas, const RECTL& rect, StretchFilter filter) {
  const int64_t rw = int64_t(rect.right) - rect.left, rh = int64_t(rect.bottom) - rect.top;
  if (rw <= 0 || rh <= 0 || source.width <= 0 || source.height <= 0 || !source.pixels) return;
  const int64_t vl = std::max<int64_t>(rect.left, 0), vt = std::max<int64_t>(rect.top, 0);
  const int64_t vr = std::min<int64_t>(rect.right, canvas.width), vb = std::min<int64_t>(rect.bottom, canvas.height);
  if (vl >= vr || vt >= vb) return;

  if (rw == source.width && rh == source.height) {
    for (int64_t y = vt; y < vb; ++y) {
      const uint32_t* src = source.pixels + size_t(y - rect.top) * size_t(source.stride) + size_t(vl - rect.left);
      uint32_t* dst = canvas.pixels + size_t(y) * size_t(canvas.stride);
      for (int64_t x = vl; x < vr; ++x) dst[x] = Over(dst[x], *src++);
    }
    return;
  }

  if (filter == StretchFilter::sfNearest) {
    std::vector<int32_t> columns(size_t(vr - vl));
    for (int64_t x = vl; x < vr; ++x)
      columns[size_t(x - vl)] = int32_t(((x - rect.left) * 2 + 1) * source.width / (rw * 2));
    for (int64_t y = vt; y < vb; ++y) {
      const int64_t sy = ((y - rect.top) * 2 + 1) * source.height / (rh * 2);
      const uint32_t* src = source.pixels + size_t(sy) * size_t(source.stride);
      uint32_t* dst = canvas.pixels + size_t(y) * size_t(canvas.stride);
      for (int64_t x = vl; x < vr; ++x) dst[x] = Over(dst[x], src[columns[size_t(x - vl)]]);
    }
    return;
  }

  if (rw > VIPS_MAX_COORD || rh > VIPS_MAX_COORD)
    throw EPictureError(FormatString("Resampling failed: a %lld x %lld target is too large", (long long)rw,
                                     (long long)rh));
  EnsureVips();
  VipsRef stretched = StretchedVisiblePart(source, rect, vl, vt, vr, vb);
#if defined(__SANITIZE_THREAD__)
  // The library's thread pool synchronises through glib futexes that the
  // thread checker can not see; under it the rows are computed on this
  // thread instead, a strip at a time. The pixels are the same.
  struct RegionRef {
    VipsRegion* region;
    ~RegionRef() {
      if (region) g_object_unref(region);
    }
  } region{vips_region_new(stretched.image)};
  if (!region.region) VipsFail();
  constexpr int kStripRows = 64;
  for (int y = 0; y < stretched.image->Ysize; y += kStripRows) {
    VipsRect area{0, y, stretched.image->Xsize, std::min(kStripRows, stretched.image->Ysize - y)};
    if (vips_region_prepare(region.region, &area)) VipsFail();
    SinkTarget target{&canvas, int32_t(vl), int32_t(vt)};
    BlendRegion(region.region, &area, &target);
  }
#else
  // The library's thread pool computes the rows; its write thread blends them
  // into the canvas in order, so no copy of the stretched picture is held.
  SinkTarget target{&canvas, int32_t(vl), int32_t(vt)};
  if (vips_sink_disc(stretched.image, BlendRegion, &target)) VipsFail();
#endif
}

void DrawPicture(PictureFormat format, std::string_view bytes, Canvas& canvas, const RECTL& rect) {
  format = Resolved(format, bytes);
  // Metafiles without a player on this platform leave the canvas as it is.
  if (format == PictureFormat::kEmf || format == PictureFormat::kMacPict || format == PictureFormat::kOs2Metafile)
    return;
  if (format != PictureFormat::kWmf) {
    const DecodedPicture picture = DecodePicture(format, bytes);
    StretchDraw(ViewOf(picture), canvas, rect, StretchFilter::sfLanczos3);
    return;
  }
  const int64_t rw = int64_t(rect.right) - rect.left, rh = int64_t(rect.bottom) - rect.top;
  if (rw <= 0 || rh <= 0) return;
  const int64_t vl = std::max<int64_t>(rect.left, 0), vt = std::max<int64_t>(rect.top, 0);
  const int64_t vr = std::min<int64_t>(rect.right, canvas.width), vb = std::min<int64_t>(rect.bottom, canvas.height);
  if (vl >= vr || vt >= vb) return;
  // Play only the visible part of the frame, at the canvas's own resolution.
  const WmfFrame frame = GetWmfFrame(bytes);
  const double fx = (frame.right - frame.left) / double(rw), fy = (frame.bottom - frame.top) / double(rh);
  const WmfFrame part{frame.left + double(vl - rect.left) * fx, frame.top + double(vt - rect.top) * fy,
                      frame.left + double(vr - rect.left) * fx, frame.top + double(vb - rect.top) * fy};
  const DecodedPicture picture = RenderWmf(bytes, part, int32_t(vr - vl), int32_t(vb - vt));
  StretchDraw(ViewOf(picture), canvas, {int32_t(vl), int32_t(vt), int32_t(vr), int32_t(vb)}, StretchFilter::sfNearest);
}

}  // namespace tagsmith
