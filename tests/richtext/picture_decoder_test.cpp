#include "richtext/picture_decoder.h"

#include <cstdlib>

#include <gtest/gtest.h>
#include <zlib.h>

#include "support/picture_bytes.h"

namespace tagsmith {
namespace {

using testing::MakeDib24;
using testing::MakeGif;
using testing::MakeJpeg;
using testing::MakePng;
using testing::MakeWmf;
using testing::Pattern;
using testing::PutU16;
using testing::PutU32;
using testing::WithFileHeader;

std::string ErrorOf(PictureFormat format, const std::string& bytes) {
  try {
    DecodePicture(format, bytes);
  } catch (const EPictureError& e) {
    return e.what();
  }
  return "(decoded)";
}

int ChannelDiff(uint32_t a, uint32_t b) {
  int worst = 0;
  for (int s = 0; s < 32; s += 8) worst = std::max(worst, std::abs(int((a >> s) & 255) - int((b >> s) & 255)));
  return worst;
}

// A DIB header with the given fields and nothing after it.
std::string DibHeader(int32_t width, int32_t height, uint16_t bpp, uint32_t compression, uint32_t colours = 0) {
  std::string d;
  PutU32(d, 40);
  PutU32(d, uint32_t(width));
  PutU32(d, uint32_t(height));
  PutU16(d, 1);
  PutU16(d, bpp);
  PutU32(d, compression);
  PutU32(d, 0);
  PutU32(d, 0);
  PutU32(d, 0);
  PutU32(d, colours);
  PutU32(d, 0);
  return d;
}

TEST(PictureDecoderTest, LosslessFormatsDecodeToTheirExactPixels) {
  const testing::Straight s = Pattern(7, 5);
  struct Case {
    const char* name;
    PictureFormat format;
    std::string bytes;
  } cases[] = {
      {"PNG", PictureFormat::kPng, MakePng(s)},
      {"bottom-up DIB", PictureFormat::kDib, MakeDib24(s)},
      {"top-down DIB", PictureFormat::kDib, MakeDib24(s, true)},
      {"BMP file", PictureFormat::kDib, WithFileHeader(MakeDib24(s), 54)},
      {"BMP file with a wrong bits offset", PictureFormat::kDib, WithFileHeader(MakeDib24(s), 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SniffPictureFormat(c.bytes), c.format);
    // Stored without a format, a picture is known by its bytes.
    for (PictureFormat format : {c.format, PictureFormat::kUnknown}) {
      const DecodedPicture p = DecodePicture(format, c.bytes);
      ASSERT_EQ(p.width, 7);
      ASSERT_EQ(p.height, 5);
      EXPECT_EQ(p.pixels, s.pixels);
    }
  }
}

TEST(PictureDecoderTest, JpegDecodesCloseToItsSourceAndOpaque) {
  testing::Straight s{16, 16, std::vector<uint32_t>(256, 0xFF3080C0u)};
  for (bool progressive : {false, true}) {
    const DecodedPicture p = DecodePicture(PictureFormat::kJpeg, MakeJpeg(s, progressive));
    ASSERT_EQ(p.width, 16);
    ASSERT_EQ(p.height, 16);
    for (uint32_t px : p.pixels) {
      EXPECT_EQ(px >> 24, 255u);
      EXPECT_LE(ChannelDiff(px, 0xFF3080C0u), 3);
    }
  }
}

TEST(PictureDecoderTest, PalettedAndCompressedBitmapsDecode) {
  // 8-bit palette of 2 colours, 3 x 2, bottom-up: bottom row 0 1 0, top row 1 1 0.
  std::string pal = DibHeader(3, 2, 8, 0, 2);
  PutU32(pal, 0x000000FF);  // blue (B G R 0)
  PutU32(pal, 0x0000FF00);  // green
  std::string palBits = pal + std::string("\0\1\0\0\1\1\0\0", 8);
  DecodedPicture p = DecodePicture(PictureFormat::kDib, palBits);
  EXPECT_EQ(p.pixels, (std::vector<uint32_t>{0xFF00FF00, 0xFF00FF00, 0xFF0000FF, 0xFF0000FF, 0xFF00FF00, 0xFF0000FF}));

  // The same picture in RLE8: a run, an absolute run, end of line, end of bitmap.
  std::string rle = DibHeader(3, 2, 8, 1, 2);
  PutU32(rle, 0x000000FF);
  PutU32(rle, 0x0000FF00);
  rle += std::string("\1\0\1\1\1\0\0\0" "\0\3\1\1\0\0" "\0\1", 16);
  p = DecodePicture(PictureFormat::kDib, rle);
  EXPECT_EQ(p.pixels, (std::vector<uint32_t>{0xFF00FF00, 0xFF00FF00, 0xFF0000FF, 0xFF0000FF, 0xFF00FF00, 0xFF0000FF}));

  // 1 bit a pixel: 10 pixels in one row of two bytes plus padding.
  std::string mono = DibHeader(10, 1, 1, 0, 0);
  PutU32(mono, 0x00000000);
  PutU32(mono, 0x00FFFFFF);
  mono += std::string("\xA5\x80\0\0", 4);
  p = DecodePicture(PictureFormat::kDib, mono);
  const uint32_t K = 0xFF000000, W = 0xFFFFFFFF;
  EXPECT_EQ(p.pixels, (std::vector<uint32_t>{W, K, W, K, K, W, K, W, W, K}));
}

TEST(PictureDecoderTest, ThirtyTwoBitBitmapsHonourTheirAlphaMask) {
  // BI_BITFIELDS with an alpha mask in a V5-sized header: half-transparent red.
  std::string d;
  PutU32(d, 124);
  PutU32(d, 1);
  PutU32(d, 1);
  PutU16(d, 1);
  PutU16(d, 32);
  PutU32(d, 3);
  d.append(20, '\0');
  PutU32(d, 0x00FF0000);
  PutU32(d, 0x0000FF00);
  PutU32(d, 0x000000FF);
  PutU32(d, 0xFF000000);
  d.resize(124, '\0');
  PutU32(d, 0x80FF0000);
  const DecodedPicture p = DecodePicture(PictureFormat::kDib, d);
  EXPECT_EQ(p.pixels, std::vector<uint32_t>{0x80800000u});

  // A plain 32-bit bitmap's fourth byte is padding: opaque.
  std::string plain = DibHeader(1, 1, 32, 0);
  PutU32(plain, 0x00123456);
  EXPECT_EQ(DecodePicture(PictureFormat::kDib, plain).pixels, std::vector<uint32_t>{0xFF123456u});
}

TEST(PictureDecoderTest, GifTakesTheFirstFrameWithItsTransparency) {
  const std::vector<uint32_t> colours = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
  std::vector<uint8_t> idx(8 * 9);
  for (size_t i = 0; i < idx.size(); ++i) idx[i] = uint8_t((i / 8) % 4);
  for (bool interlace : {false, true}) {
    SCOPED_TRACE(interlace ? "interlaced" : "plain");
    const std::string gif = MakeGif(8, 9, idx, colours, 3, interlace);
    EXPECT_EQ(SniffPictureFormat(gif), PictureFormat::kGif);
    const DecodedPicture p = DecodePicture(PictureFormat::kGif, gif);
    ASSERT_EQ(p.width, 8);
    ASSERT_EQ(p.height, 9);
    for (int y = 0; y < 9; ++y) {
      const uint32_t want = y % 4 == 3 ? 0u : (0xFF000000u | colours[size_t(y % 4)]);
      EXPECT_EQ(p.pixels[size_t(y) * 8 + 5], want) << "row " << y;
    }
  }
}

TEST(PictureDecoderTest, DamagedAndOversizedPicturesFailWithAClearMessage) {
  const std::string png = MakePng(Pattern(4, 4));
  std::string hugePng = png;
  // IHDR width and height at bytes 16..23, its CRC at 29..32.
  for (size_t i : {16, 20}) hugePng.replace(i, 4, std::string("\x00\x01\x86\xA0", 4));
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(hugePng.data() + 12), 17);
  for (int k = 0; k < 4; ++k) hugePng[size_t(29 + k)] = char((crc >> (24 - 8 * k)) & 255);
  const std::string jpeg = MakeJpeg(Pattern(8, 8));
  std::string hugeBmp = DibHeader(1 << 20, 1 << 20, 24, 0);
  std::string truncated = MakeDib24(Pattern(5, 5));
  truncated.resize(truncated.size() - 20);
  std::string rleOverrun = DibHeader(2, 2, 8, 1, 1);
  PutU32(rleOverrun, 0);
  rleOverrun += std::string("\0\x20\1", 3);  // an absolute run of 32 pixels with one byte left
  std::string bigPalette = DibHeader(1, 1, 8, 0, 1u << 30);
  std::string badMask = DibHeader(1, 1, 16, 3);
  PutU32(badMask, 0x0F0F);
  PutU32(badMask, 0x00F0);
  PutU32(badMask, 0x000F);
  badMask += std::string(4, '\0');
  const std::string gifNoImage = std::string("GIF89a\1\0\1\0\0\0\0;", 14);

  struct Case {
    const char* name;
    PictureFormat format;
    std::string bytes;
    std::string message;
  } cases[] = {
      {"empty PNG", PictureFormat::kPng, "", "Invalid PNG picture: not a PNG file"},
      {"truncated PNG", PictureFormat::kPng, png.substr(0, 40),
       "Invalid PNG picture: read beyond end of data"},
      {"PNG of 100000 x 100000", PictureFormat::kPng, hugePng,
       "Picture of 100000 x 100000 pixels exceeds the limit of 67108864 pixels"},
      {"truncated JPEG", PictureFormat::kJpeg, jpeg.substr(0, 100),
       "Invalid JPEG picture: JPEG datastream contains no image"},
      {"not a JPEG", PictureFormat::kJpeg, "hello", "Invalid JPEG picture: Not a JPEG file: starts with 0x68 0x65"},
      {"BMP of 2^20 x 2^20", PictureFormat::kDib, hugeBmp,
       "Picture of 1048576 x 1048576 pixels exceeds the limit of 67108864 pixels"},
      {"truncated bits", PictureFormat::kDib, truncated, "Invalid DIB picture: truncated pixel data"},
      {"RLE run past the data", PictureFormat::kDib, rleOverrun, "Invalid DIB picture: truncated RLE data"},
      {"colour table past the data", PictureFormat::kDib, bigPalette, "Invalid DIB picture: colour table too large"},
      {"broken colour mask", PictureFormat::kDib, badMask, "Invalid DIB picture: colour mask is not contiguous"},
      {"unknown header", PictureFormat::kDib, std::string("\x07\0\0\0", 4) + std::string(40, '\0'),
       "Invalid DIB picture: unknown header size 7"},
      {"BMP without its header", PictureFormat::kDib, "BM", "Invalid BMP picture: no BMP file header"},
      {"GIF without an image", PictureFormat::kGif, gifNoImage, "Invalid GIF picture: no image"},
      {"not a GIF", PictureFormat::kGif, "GIF12345", "Invalid GIF picture: No screen descriptor detected"},
      {"metafile", PictureFormat::kWmf, MakeWmf(0, 0, 1, 1, 0), "A WMF picture is drawn, not decoded"},
      {"device-dependent bitmap", PictureFormat::kDdb, std::string(16, '\xFF'),
       "Device-dependent bitmaps (DDB) can not be decoded"},
      {"bytes of no known format", PictureFormat::kUnknown, "hello, world", "Picture of unknown format"},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorOf(c.format, c.bytes), c.message) << c.name;
}

TEST(PictureDecoderTest, RandomDamageNeverCrashes) {
  const std::string sources[] = {MakePng(Pattern(9, 9)), MakeJpeg(Pattern(9, 9)), MakeDib24(Pattern(9, 9)),
                                 MakeGif(4, 4, std::vector<uint8_t>(16, 1), {0, 0xFFFFFF}, -1),
                                 MakeWmf(10, 10, 50, 50, 0xFF)};
  const PictureFormat formats[] = {PictureFormat::kPng, PictureFormat::kJpeg, PictureFormat::kDib,
                                   PictureFormat::kGif, PictureFormat::kWmf};
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
  uint32_t pixels[16 * 16];
  for (int f = 0; f < 5; ++f) {
    for (int round = 0; round < 150; ++round) {
      std::string b = sources[f];
      const int edits = 1 + int(next() % 6);
      for (int e = 0; e < edits; ++e) b[next() % b.size()] = char(next());
      if (next() % 4 == 0) b.resize(next() % b.size());
      Canvas canvas{pixels, 16, 16, 16};
      try {
        DrawPicture(formats[f], b, canvas, {0, 0, 16, 16});
      } catch (const EPictureError&) {
      }
    }
  }
}

TEST(StretchDrawTest, NearestNeighbourRepeatsEachSourcePixel) {
  const std::vector<uint32_t> src = {0xFF000001, 0xFF000002, 0xFF000003, 0xFF000004};
  std::vector<uint32_t> dst(16, 0);
  Canvas canvas{dst.data(), 4, 4, 4};
  StretchDraw({src.data(), 2, 2, 2}, canvas, {0, 0, 4, 4}, StretchFilter::sfNearest);
  std::vector<uint32_t> want;
  for (uint32_t v : {1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}) want.push_back(0xFF000000u | v);
  EXPECT_EQ(dst, want);
}

// libvips' 8-bit Lanczos path may leave a flat colour one level off.
TEST(StretchDrawTest, LanczosKeepsASolidColourAndDrawsOnlyInsideTheClippedRectangle) {
  for (StretchFilter filter : {StretchFilter::sfNearest, StretchFilter::sfLanczos3}) {
    for (RECTL rect : {RECTL{-7, 3, 25, 18}, RECTL{2, 2, 5, 4}, RECTL{-300, -5, 1000, 400}}) {
      const std::vector<uint32_t> src(37 * 23, 0xFF204080u);
      std::vector<uint32_t> dst(20 * 10, 0xFFFFFFFFu);
      Canvas canvas{dst.data(), 20, 10, 20};
      StretchDraw({src.data(), 37, 23, 37}, canvas, rect, filter);
      for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
          const bool inside = x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
          const uint32_t px = dst[size_t(y) * 20 + x];
          if (!inside || filter == StretchFilter::sfNearest)
            EXPECT_EQ(px, inside ? 0xFF204080u : 0xFFFFFFFFu) << "x " << x << " y " << y << " rect " << rect.left;
          else
            EXPECT_LE(ChannelDiff(px, 0xFF204080u), 1) << "x " << x << " y " << y << " rect " << rect.left;
        }
    }
  }
}

TEST(StretchDrawTest, AHugeTargetComputesOnlyItsVisiblePart) {
  const std::vector<uint32_t> src(4, 0xFF00FF00u);
  std::vector<uint32_t> dst(8 * 8, 0);
  Canvas canvas{dst.data(), 8, 8, 8};
  StretchDraw({src.data(), 2, 2, 2}, canvas, {-4000000, -4000000, 4000000, 4000000}, StretchFilter::sfLanczos3);
  for (uint32_t px : dst) EXPECT_LE(ChannelDiff(px, 0xFF00FF00u), 1);
}

TEST(StretchDrawTest, ReductionsOfThousandsInOneStepStillWork) {
  std::vector<uint32_t> src(30000, 0xFF0000FFu);
  std::vector<uint32_t> dst(1, 0);
  Canvas canvas{dst.data(), 1, 1, 1};
  StretchDraw({src.data(), 30000, 1, 30000}, canvas, {0, 0, 1, 1}, StretchFilter::sfLanczos3);
  EXPECT_LE(ChannelDiff(dst[0], 0xFF0000FFu), 1);
}

TEST(StretchDrawTest, TranslucentPixelsBlendOverTheCanvas) {
  const std::vector<uint32_t> src = {0x80800000u};  // red at half coverage, premultiplied
  std::vector<uint32_t> dst(4, 0xFFFFFFFFu);
  Canvas canvas{dst.data(), 2, 2, 2};
  StretchDraw({src.data(), 1, 1, 1}, canvas, {0, 0, 1, 1}, StretchFilter::sfLanczos3);
  EXPECT_EQ(dst[0], 0xFFFF7F7Fu);
  EXPECT_EQ(dst[1], 0xFFFFFFFFu);
}

TEST(DrawPictureTest, WmfPlaysItsWindowIntoTheRectangle) {
  // Window 200 x 100; red fills its left half.
  const std::string wmf = MakeWmf(0, 0, 100, 100, 0x000000FF);
  EXPECT_EQ(SniffPictureFormat(wmf), PictureFormat::kWmf);
  std::vector<uint32_t> dst(40 * 20, 0xFFFFFFFFu);
  Canvas canvas{dst.data(), 40, 20, 40};
  DrawPicture(PictureFormat::kWmf, wmf, canvas, {0, 0, 40, 20});
  EXPECT_EQ(dst[10 * 40 + 5], 0xFFFF0000u);
  EXPECT_EQ(dst[10 * 40 + 15], 0xFFFF0000u);
  EXPECT_EQ(dst[10 * 40 + 25], 0xFFFFFFFFu);
  EXPECT_EQ(dst[10 * 40 + 35], 0xFFFFFFFFu);

  // Drawn partly outside the canvas, only the visible part is played.
  std::fill(dst.begin(), dst.end(), 0xFFFFFFFFu);
  DrawPicture(PictureFormat::kWmf, wmf, canvas, {-20, 0, 20, 20});
  EXPECT_EQ(dst[10 * 40 + 5], 0xFFFFFFFFu);
  EXPECT_EQ(dst[10 * 40 + 25], 0xFFFFFFFFu);
}

TEST(DrawPictureTest, MetafilesWithoutAPlayerDrawNothingAndRasterPicturesFillTheRectangle) {
  std::string emf;
  PutU32(emf, 1);
  PutU32(emf, 108);
  emf.resize(40, '\0');
  PutU32(emf, 0x464D4520);
  emf.resize(108, '\0');
  EXPECT_EQ(SniffPictureFormat(emf), PictureFormat::kEmf);
  std::vector<uint32_t> dst(6 * 6, 0xFFFFFFFFu);
  Canvas canvas{dst.data(), 6, 6, 6};
  // Neither has a player here, nor have QuickDraw and OS/2 metafiles.
  for (PictureFormat format :
       {PictureFormat::kEmf, PictureFormat::kUnknown, PictureFormat::kMacPict, PictureFormat::kOs2Metafile}) {
    DrawPicture(format, emf, canvas, {0, 0, 6, 6});
    EXPECT_EQ(dst, std::vector<uint32_t>(36, 0xFFFFFFFFu)) << PictureFormatName(format);
  }

  testing::Straight solid{3, 3, std::vector<uint32_t>(9, 0xFF112233u)};
  DrawPicture(PictureFormat::kPng, MakePng(solid), canvas, {1, 1, 5, 5});
  EXPECT_EQ(dst[0], 0xFFFFFFFFu);
  EXPECT_EQ(dst[1 * 6 + 1], 0xFF112233u);
  EXPECT_EQ(dst[4 * 6 + 4], 0xFF112233u);
  EXPECT_EQ(dst[5 * 6 + 5], 0xFFFFFFFFu);
}

}  // namespace
}  // namespace tagsmith
