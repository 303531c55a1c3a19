#pragma once

// Picture files built in memory for tests: PNG and JPEG through their
// libraries, BMP, DIB, GIF and WMF byte by byte.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

#include "support/le_bytes.h"

namespace tagsmith::testing {


// Bytes as RTF writes them in a picture group: two lower-case hex digits each.
inline std::string HexOf(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    out += kDigits[(uint8_t(c) >> 4) & 15];
    out += kDigits[uint8_t(c) & 15];
  }
  return out;
}

// Straight (not premultiplied) 0xAARRGGBB pixels, row by row.
struct Straight {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
};

inline Straight Pattern(int width, int height) {
  Straight s{width, height, std::vector<uint32_t>(size_t(width) * height)};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      s.pixels[size_t(y) * width + x] = 0xFF000000u | uint32_t((x * 40) & 255) << 16 | uint32_t((y * 60) & 255) << 8 |
                                        uint32_t(((x + y) * 25) & 255);
  return s;
}

inline std::string MakePng(const Straight& s) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(s.width);
  image.height = png_uint_32(s.height);
  image.format = PNG_FORMAT_BGRA;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, s.pixels.data(), 0, nullptr);
  std::string out(size, '\0');
  png_image_write_to_memory(&image, out.data(), &size, 0, s.pixels.data(), 0, nullptr);
  out.resize(size);
  return out;
}

inline std::string MakeJpeg(const Straight& s, bool progressive = false, int quality = 95) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &mem, &size);
  c.image_width = JDIMENSION(s.width);
  c.image_height = JDIMENSION(s.height);
  c.input_components = 4;
  c.in_color_space = JCS_EXT_BGRX;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  if (progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = reinterpret_cast<JSAMPROW>(const_cast<uint32_t*>(s.pixels.data() + size_t(c.next_scanline) * s.width));
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::string out(reinterpret_cast<char*>(mem), size);
  std::free(mem);
  return out;
}

// A BITMAPINFOHEADER DIB of 24 bits a pixel, bottom-up (or top-down).
inline std::string MakeDib24(const Straight& s, bool topDown = false) {
  std::string d;
  PutU32(d, 40);
  PutU32(d, uint32_t(s.width));
  PutU32(d, uint32_t(topDown ? -s.height : s.height));
  PutU16(d, 1);
  PutU16(d, 24);
  for (int i = 0; i < 6; ++i) PutU32(d, 0);
  const int pad = (4 - (s.width * 3) % 4) % 4;
  for (int r = 0; r < s.height; ++r) {
    const int y = topDown ? r : s.height - 1 - r;
    for (int x = 0; x < s.width; ++x) {
      const uint32_t p = s.pixels[size_t(y) * s.width + x];
      d += char(p & 255);
      d += char((p >> 8) & 255);
      d += char((p >> 16) & 255);
    }
    d.append(size_t(pad), '\0');
  }
  return d;
}

inline std::string WithFileHeader(const std::string& dib, uint32_t offBits) {
  std::string f = "BM";
  PutU32(f, uint32_t(14 + dib.size()));
  PutU32(f, 0);
  PutU32(f, offBits);
  return f + dib;
}

// A GIF of one frame with a four-colour palette; index `transparent` (or -1)
// is transparent.
inline std::string MakeGif(int width, int height, const std::vector<uint8_t>& indexes,
                           const std::vector<uint32_t>& colours, int transparent, bool interlace = false) {
  struct Sink {
    static int Write(GifFileType* gif, const GifByteType* data, int length) {
      static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), size_t(length));
      return length;
    }
  };
  std::string out;
  int err = 0;
  GifFileType* gif = EGifOpen(&out, Sink::Write, &err);
  std::vector<GifColorType> cs;
  for (uint32_t c : colours) cs.push_back(GifColorType{GifByteType(c >> 16), GifByteType(c >> 8), GifByteType(c)});
  ColorMapObject* map = GifMakeMapObject(int(cs.size()), cs.data());
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, width, height, 8, 0, map);
  if (transparent >= 0) {
    GifByteType ext[4] = {1, 0, 0, GifByteType(transparent)};
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext);
  }
  EGifPutImageDesc(gif, 0, 0, width, height, interlace, nullptr);
  std::vector<GifPixelType> line(static_cast<size_t>(width));
  auto rowOf = [&](int y) {
    for (int x = 0; x < width; ++x) line[size_t(x)] = indexes[size_t(y) * width + x];
    EGifPutLine(gif, line.data(), width);
  };
  if (interlace) {
    static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    for (int p = 0; p < 4; ++p)
      for (int y = kStart[p]; y < height; y += kStep[p]) rowOf(y);
  } else {
    for (int y = 0; y < height; ++y) rowOf(y);
  }
  EGifCloseFile(gif, &err);
  GifFreeMapObject(map);
  return out;
}

// A standard (not placeable) WMF: window (0,0)-(200,100), and a rectangle of
// solid colour 0x00BBGGRR without outline filling `left..right, top..bottom`.
inline std::string MakeWmf(int left, int top, int right, int bottom, uint32_t colourRef) {
  std::string rec;
  auto r = [&](uint16_t fn, std::vector<uint16_t> p) {
    PutU32(rec, uint32_t(3 + p.size()));
    PutU16(rec, fn);
    for (uint16_t x : p) PutU16(rec, x);
  };
  r(0x020B, {0, 0});      // SETWINDOWORG y, x
  r(0x020C, {100, 200});  // SETWINDOWEXT y, x
  r(0x02FC, {0, uint16_t(colourRef & 0xFFFF), uint16_t(colourRef >> 16), 0});  // CREATEBRUSHINDIRECT solid
  r(0x012D, {0});                                                             // SELECTOBJECT brush
  r(0x02FA, {5, 0, 0, 0, 0});                                                 // CREATEPENINDIRECT PS_NULL
  r(0x012D, {1});                                                             // SELECTOBJECT pen
  r(0x041B, {uint16_t(bottom), uint16_t(right), uint16_t(top), uint16_t(left)});  // RECTANGLE
  r(0x0000, {});
  std::string h;
  PutU16(h, 1);
  PutU16(h, 9);
  PutU16(h, 0x0300);
  PutU32(h, uint32_t((18 + rec.size()) / 2));
  PutU16(h, 2);
  PutU32(h, 8);
  PutU16(h, 0);
  return h + rec;
}

// A WMF built record by record: Record(function, parameter words, raw bytes
// after them), then Build() with the standard header (or a placeable one
// first, with its bounding box and 1440 units an inch).
class WmfBuilder {
 public:
  WmfBuilder& Record(uint16_t function, const std::vector<uint16_t>& params, const std::string& tail = {}) {
    PutU32(records_, uint32_t(3 + params.size() + (tail.size() + 1) / 2));
    PutU16(records_, function);
    for (uint16_t v : params) PutU16(records_, v);
    records_ += tail;
    if (tail.size() & 1) records_ += '\0';
    return *this;
  }
  // A record whose size field says `words`, whatever follows.
  WmfBuilder& Raw(const std::string& bytes) {
    records_ += bytes;
    return *this;
  }
  std::string Build(uint16_t objects = 8) const {
    const std::string rec = records_ + std::string("\3\0\0\0\0\0", 6);
    std::string h;
    PutU16(h, 1);
    PutU16(h, 9);
    PutU16(h, 0x0300);
    PutU32(h, uint32_t((18 + rec.size()) / 2));
    PutU16(h, objects);
    PutU32(h, 0x100);
    PutU16(h, 0);
    return h + rec;
  }
  std::string BuildPlaceable(int16_t left, int16_t top, int16_t right, int16_t bottom) const {
    std::string p;
    PutU32(p, 0x9AC6CDD7u);
    PutU16(p, 0);
    for (int16_t v : {left, top, right, bottom}) PutU16(p, uint16_t(v));
    PutU16(p, 1440);
    PutU32(p, 0);
    uint16_t sum = 0;
    for (size_t i = 0; i < p.size(); i += 2) sum ^= uint16_t(uint8_t(p[i]) | uint8_t(p[i + 1]) << 8);
    PutU16(p, sum);
    return p + Build();
  }

 private:
  std::string records_;
};

}  // namespace tagsmith::testing
