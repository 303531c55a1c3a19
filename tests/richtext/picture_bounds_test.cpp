// What a picture may cost: its bytes bound the pixels it may declare, and a
// metafile reaches the player only rebuilt from records the player is safe
// with.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "richtext/picture_decoder.h"
#include "support/picture_bytes.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

using testing::MakeDib24;
using testing::MakeGif;
using testing::MakeJpeg;
using testing::MakePng;
using testing::Pattern;
using testing::PutU16;
using testing::PutU32;
using testing::Straight;
using testing::WmfBuilder;

std::string ErrorOf(PictureFormat format, const std::string& bytes) {
  try {
    DecodePicture(format, bytes);
  } catch (const EPictureError& e) {
    return e.what();
  }
  return "(decoded)";
}

void PutBe16(std::string& s, size_t at, uint16_t v) {
  s[at] = char(v >> 8);
  s[at + 1] = char(v & 255);
}

std::string Dib(int32_t width, int32_t height, uint16_t bpp, uint32_t compression, uint32_t colours) {
  std::string d;
  for (uint32_t v : {40u, uint32_t(width), uint32_t(height)}) PutU32(d, v);
  PutU16(d, 1);
  PutU16(d, bpp);
  for (uint32_t v : {compression, 0u, 0u, 0u, colours, 0u}) PutU32(d, v);
  return d;
}

// A small picture of each format made to declare 8000 x 8000 pixels.
std::string GifDeclaring(int width, int height) {
  std::string g = MakeGif(1, 1, {1}, {0x102030, 0x405060, 0x708090, 0xA0B0C0}, -1);
  const size_t image = g.find('\x2C', 13);  // the image descriptor, after the screen and its colours
  for (size_t at : {size_t(6), image + 5}) {
    g[at] = char(width & 255), g[at + 1] = char(width >> 8);
    g[at + 2] = char(height & 255), g[at + 3] = char(height >> 8);
  }
  return g;
}

std::string PngDeclaring(uint32_t width, uint32_t height) {
  std::string p = MakePng(Pattern(4, 4));
  for (int k = 0; k < 4; ++k) p[size_t(16 + k)] = char(width >> (24 - 8 * k)), p[size_t(20 + k)] = char(height >> (24 - 8 * k));
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(p.data() + 12), 17);
  for (int k = 0; k < 4; ++k) p[size_t(29 + k)] = char((crc >> (24 - 8 * k)) & 255);
  return p;
}

std::string JpegDeclaring(uint16_t width, uint16_t height) {
  std::string j = MakeJpeg(Pattern(8, 8));
  const size_t sof = j.find("\xFF\xC0");
  PutBe16(j, sof + 5, height);
  PutBe16(j, sof + 7, width);
  return j;
}

TEST(PictureCost, APictureDeclaringMoreThanItsBytesCanFillFailsAtOnce) {
  std::string rle = Dib(8000, 8000, 8, 1, 2);
  PutU32(rle, 0x00FF0000);
  PutU32(rle, 0x000000FF);
  rle += std::string("\x04\x01\x00\x01", 4);
  const struct {
    const char* name;
    PictureFormat format;
    std::string bytes;
    std::string message;
  } cases[] = {
      {"GIF", PictureFormat::kGif, GifDeclaring(8000, 8000), "can not fill 8000 x 8000 pixels"},
      {"PNG", PictureFormat::kPng, PngDeclaring(8000, 8000), "can not fill 8000 x 8000 pixels"},
      {"JPEG", PictureFormat::kJpeg, JpegDeclaring(8000, 8000), "can not fill 8000 x 8000 pixels"},
      {"RLE8 bitmap", PictureFormat::kDib, rle, "Invalid DIB picture: 4 bytes of data can not fill 8000 x 8000 pixels"},
      {"uncompressed bitmap", PictureFormat::kDib, Dib(8000, 8000, 24, 0, 0) + std::string(100, '\0'),
       "Invalid DIB picture: truncated pixel data"},
  };
  for (const auto& c : cases) {
    const std::string error = ErrorOf(c.format, c.bytes);
    EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
    EXPECT_EQ(error.find("Invalid"), 0u) << c.name << ": " << error;
  }
  // A GIF frame small enough for its bytes, on a screen they can not fill.
  std::string screen = GifDeclaring(1, 1);
  screen[6] = char(8000 & 255), screen[7] = char(8000 >> 8), screen[8] = screen[6], screen[9] = screen[7];
  EXPECT_NE(ErrorOf(PictureFormat::kGif, screen).find("can not fill 8000 x 8000"), std::string::npos);
}

TEST(PictureCost, BigPicturesOfFewBytesStillDecode) {
  // Flat pictures compress as well as their coding allows.
  Straight flat{3000, 2000, std::vector<uint32_t>(size_t(3000) * 2000, 0xFF3366CCu)};
  const std::string png = MakePng(flat);
  const std::string jpeg = MakeJpeg(flat, false, 50);
  const std::string gif = MakeGif(2000, 1500, std::vector<uint8_t>(size_t(2000) * 1500, 2),
                                  {0x000000, 0xFFFFFF, 0x3366CC, 0x000000}, -1);
  // An RLE8 bitmap as Windows writes it: runs of 255 and an end of line a row.
  const int rw = 1020, rh = 800;
  std::string rle = Dib(rw, rh, 8, 1, 1);
  PutU32(rle, 0x003366CC);
  for (int y = 0; y < rh; ++y) {
    for (int x = 0; x < rw; x += 255) rle += std::string("\xFF\x00", 2);
    rle += std::string("\x00\x00", 2);
  }
  rle += std::string("\x00\x01", 2);
  const struct {
    const char* name;
    PictureFormat format;
    const std::string& bytes;
    int width, height;
  } cases[] = {
      {"PNG", PictureFormat::kPng, png, 3000, 2000},
      {"JPEG", PictureFormat::kJpeg, jpeg, 3000, 2000},
      {"GIF", PictureFormat::kGif, gif, 2000, 1500},
      {"RLE8 bitmap", PictureFormat::kDib, rle, rw, rh},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DecodedPicture p;
    ASSERT_NO_THROW(p = DecodePicture(c.format, c.bytes)) << c.bytes.size() << " bytes";
    EXPECT_EQ(p.width, c.width);
    EXPECT_EQ(p.height, c.height);
    const uint32_t centre = p.pixels[size_t(c.height / 2) * size_t(c.width) + size_t(c.width / 2)];
    EXPECT_LE(std::abs(int((centre >> 16) & 255) - 0x33), 3);
    EXPECT_LE(std::abs(int(centre & 255) - 0xCC), 3);
  }
}

// ---------------------------------------------------------------------------
// Metafiles

// Plays `wmf` into a 40 x 20 white canvas and returns the pixels, or the
// error.
struct Played {
  std::vector<uint32_t> pixels;
  std::string error;
};

Played Play(const std::string& wmf) {
  Played out;
  out.pixels.assign(40 * 20, 0xFFFFFFFFu);
  Canvas canvas{out.pixels.data(), 40, 20, 40};
  try {
    DrawPicture(PictureFormat::kWmf, wmf, canvas, {0, 0, 40, 20});
  } catch (const EPictureError& e) {
    out.error = e.what();
  }
  return out;
}

// Window 200 x 100, a null pen, and the records of `body` between.
std::string Metafile(const std::function<void(WmfBuilder&)>& body) {
  WmfBuilder b;
  b.Record(0x020B, {0, 0}).Record(0x020C, {100, 200});
  body(b);
  return b.Build();
}

constexpr uint32_t kRed = 0xFFFF0000u;

void RedBrushAndNullPen(WmfBuilder& b, uint16_t brushSlot, uint16_t penSlot) {
  b.Record(0x02FC, {0, 0x00FF, 0, 0}).Record(0x012D, {brushSlot});
  b.Record(0x02FA, {5, 0, 0, 0, 0}).Record(0x012D, {penSlot});
}

TEST(WmfRebuild, DroppedObjectsKeepTheNumberingOfTheOthers) {
  // A region and a palette take slots 0 and 1; selecting them does nothing,
  // and the red brush in slot 2 still fills the rectangle.
  const std::string wmf = Metafile([](WmfBuilder& b) {
    b.Record(0x0626, {15, 4}, "abcd");                                       // ESCAPE
    b.Record(0x06FF, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0});                        // CREATEREGION
    b.Record(0x00F7, {0x300, 1, 0, 0});                                      // CREATEPALETTE
    b.Record(0x012D, {0}).Record(0x012D, {1}).Record(0x012C, {0});           // select them, clip to the region
    RedBrushAndNullPen(b, 2, 3);
    b.Record(0x041B, {100, 200, 0, 0});
  });
  const Played p = Play(wmf);
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.pixels[10 * 40 + 20], kRed);
}

TEST(WmfRebuild, BitmapsAreDecodedAndDrawnAgain) {
  Straight red{2, 2, std::vector<uint32_t>(4, 0xFFFF0000u)};
  std::string rle = Dib(4, 2, 8, 1, 1);  // RLE8, every pixel colour 0
  PutU32(rle, 0x00FF0000);
  rle += std::string("\x04\x00\x00\x00\x04\x00\x00\x01", 8);
  for (const std::string& dib : {MakeDib24(red), rle}) {
    SCOPED_TRACE(dib.size());
    const std::string wmf = Metafile([&](WmfBuilder& b) {
      // STRETCHDIB: rop SRCCOPY, usage, the source, the whole window
      const uint16_t w = uint16_t(dib.size() == 8 + 40 + 4 ? 4 : 2);
      (void)w;
      b.Record(0x0F43, {0x0020, 0x00CC, 0, 2, 2, 0, 0, 100, 200, 0, 0}, dib);
    });
    const Played p = Play(wmf);
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.pixels[10 * 40 + 20], kRed);
  }
}

TEST(WmfRebuild, HostileRecordsPlayOrFailClearly) {
  std::string face(32, 'A');  // a face name without its terminator
  std::string broken = Dib(1 << 14, 1 << 14, 24, 0, 0);
  const struct {
    const char* name;
    std::function<void(WmfBuilder&)> body;
  } cases[] = {
      {"polygon counting past its record", [](WmfBuilder& b) { b.Record(0x0324, {5000, 0, 0, 10, 10}); }},
      {"polypolygon counting past its record", [](WmfBuilder& b) { b.Record(0x0538, {3, 2, 60000, 2, 0, 0, 9, 9}); }},
      {"polypolygon of no polygons", [](WmfBuilder& b) { b.Record(0x0538, {0}); }},
      {"text longer than its record", [](WmfBuilder& b) { b.Record(0x0521, {4000}, "ab"); }},
      {"extended text longer than its record", [](WmfBuilder& b) { b.Record(0x0A32, {10, 10, 900, 6}, "ab"); }},
      {"font without its terminator, then text",
       [&](WmfBuilder& b) {
         b.Record(0x02FB, {uint16_t(-20), 0, 0, 0, 400, 0, 0, 0, 0}, face).Record(0x012D, {0});
         b.Record(0x0521, {2}, std::string("ab\x0a\0\x0a\0", 6));
       }},
      {"font of the largest size", [](WmfBuilder& b) {
         b.Record(0x02FB, {0x7FFF, 0x7FFF, 0, 0, 400, 0, 0, 0, 0}, "Arial").Record(0x012D, {0});
         b.Record(0x0521, {2}, std::string("ab\x0a\0\x0a\0", 6));
       }},
      {"objects that do not exist", [](WmfBuilder& b) { b.Record(0x012D, {999}).Record(0x01F0, {7}); }},
      {"restoring states never saved", [](WmfBuilder& b) { b.Record(0x0127, {uint16_t(-1000)}); }},
      {"extents and scales of zero",
       [](WmfBuilder& b) {
         b.Record(0x020C, {0, 0}).Record(0x020E, {0, 5}).Record(0x0410, {0, 1, 0, 1}).Record(0x0412, {1, 0, 1, 0});
         b.Record(0x0410, {100, 1, 100, 1});  // scaled to nothing
         b.Record(0x041B, {50, 50, 0, 0});
       }},
      {"pen of the largest and of a negative width",
       [](WmfBuilder& b) {
         b.Record(0x02FA, {0, 0x7FFF, 0, 0, 0}).Record(0x012D, {0}).Record(0x041B, {90, 190, 10, 10});
         b.Record(0x02FA, {1, uint16_t(-20000), 0, 0, 0}).Record(0x012D, {1}).Record(0x041B, {90, 190, 10, 10});
       }},
      {"rectangle reaching far outside the window",
       [](WmfBuilder& b) { b.Record(0x041B, {32767, 32767, uint16_t(-32768), uint16_t(-32768)}); }},
      {"bitmap drawn far beyond the picture",
       [](WmfBuilder& b) {
         b.Record(0x0F43, {0x0020, 0x00CC, 0, 2, 2, 0, 0, 30000, 30000, 0, 0},
                  MakeDib24(Straight{2, 2, std::vector<uint32_t>(4, 0xFF00FF00u)}));
       }},
      {"bitmap whose data is missing",
       [&](WmfBuilder& b) { b.Record(0x0F43, {0x0020, 0x00CC, 0, 2, 2, 0, 0, 100, 200, 0, 0}, broken); }},
      {"pattern brush of a broken bitmap", [&](WmfBuilder& b) { b.Record(0x0142, {5, 0}, broken).Record(0x012D, {0}); }},
      {"source rectangle outside its bitmap",
       [](WmfBuilder& b) {
         b.Record(0x0B41, {0x0020, 0x00CC, 500, 500, uint16_t(-7), 9000, 10, 10, 5, 5},
                  MakeDib24(Straight{2, 2, std::vector<uint32_t>(4, 0xFF00FF00u)}));
       }},
      {"flood fill", [](WmfBuilder& b) { b.Record(0x0419, {0, 0, 5, 5}).Record(0x0548, {0, 0, 0, 5, 5}); }},
      {"old device-dependent bitmap", [](WmfBuilder& b) { b.Record(0x0922, {0x20, 0xCC, 0, 0, 2, 2, 0, 0, 2, 2, 1, 1, 1, 0xFFFF}); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Played p = Play(Metafile(c.body));
    if (!p.error.empty()) {
      EXPECT_EQ(p.error.find("Invalid WMF picture: "), 0u) << p.error;
    }
    for (uint32_t px : p.pixels) ASSERT_EQ(px >> 24, 255u);
  }
}

TEST(WmfRebuild, MissingPlayerFontsAreNamedInTheMessage) {
  const testing::TempDir empty;
  const char* before = std::getenv("TAGSMITH_WMF_FONTDIR");
  const std::string saved = before ? before : "";
  setenv("TAGSMITH_WMF_FONTDIR", empty.path().c_str(), 1);
  const Played p = Play(testing::MakeWmf(0, 0, 100, 100, 0x0000FF));
  if (before) setenv("TAGSMITH_WMF_FONTDIR", saved.c_str(), 1);
  else unsetenv("TAGSMITH_WMF_FONTDIR");
  EXPECT_NE(p.error.find("the metafile player's fonts are missing"), std::string::npos) << p.error;
  EXPECT_NE(p.error.find(empty.path().string()), std::string::npos) << p.error;
  EXPECT_NE(p.error.find("fonts-urw-base35"), std::string::npos) << p.error;
  // With the fonts where they belong, the same picture plays.
  EXPECT_EQ(Play(testing::MakeWmf(0, 0, 100, 100, 0x0000FF)).error, "");
}

}  // namespace
}  // namespace tagsmith
