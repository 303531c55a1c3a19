#include "images/image_encoders.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "images/png_chunks.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

using testing::BigEndian32;
using testing::Inflate;
using testing::ReadFile;
using testing::ReadJpegMarkers;
using testing::ReadPngChunks;

// Opaque noise, which compresses badly and so spreads over several IDATs.
std::vector<uint32_t> Noise(int width, int height) {
  std::vector<uint32_t> p(size_t(width) * height);
  uint32_t seed = 7;
  for (uint32_t& px : p) {
    seed = seed * 1664525u + 1013904223u;
    px = 0xFF000000u | (seed >> 8);
  }
  return p;
}

std::vector<uint32_t> Smooth(int width, int height) {
  std::vector<uint32_t> p(size_t(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      p[size_t(y) * width + x] = 0xFF000000u | uint32_t(x * 255 / width) << 16 | uint32_t(y * 255 / height) << 8 | 0x60;
  return p;
}

std::string SaveError(bool png, const PixelView& view, const std::string& path) {
  try {
    if (png) TPngEncoder().SaveToFile(view, path);
    else TJpegEncoder().SaveToFile(view, path);
  } catch (const EImageEncoder& e) {
    return e.what();
  }
  return "(saved)";
}

TEST(ImageEncodersTest, PngIsTruecolourWithSubFilteredRowsInSmallIdatChunks) {
  testing::TempDir dir;
  const std::string path = (dir / "noise.png").string();
  for (int width : {1, 3, 301}) {
    SCOPED_TRACE(width);
    const int height = 257;
    const std::vector<uint32_t> pixels = Noise(width, height);
    TPngEncoder().SaveToFile({pixels.data(), width, height, width}, path);
    const std::vector<testing::PngChunk> chunks = ReadPngChunks(ReadFile(path));
    ASSERT_FALSE(chunks.empty());
    ASSERT_EQ(chunks.front().type, "IHDR");
    const std::string& ihdr = chunks.front().data;
    EXPECT_EQ(BigEndian32(ihdr, 0), uint32_t(width));
    EXPECT_EQ(BigEndian32(ihdr, 4), uint32_t(height));
    EXPECT_EQ(int(ihdr[8]), 8);   // bit depth
    EXPECT_EQ(int(ihdr[9]), 2);   // truecolour, no alpha
    EXPECT_EQ(int(ihdr[10]), 0);  // deflate
    EXPECT_EQ(int(ihdr[11]), 0);  // adaptive filtering
    EXPECT_EQ(int(ihdr[12]), 0);  // not interlaced
    EXPECT_EQ(chunks.back().type, "IEND");
    std::string data;
    int idats = 0;
    for (const auto& c : chunks) {
      EXPECT_NE(c.type, "tRNS");
      EXPECT_NE(c.type, "PLTE");
      if (c.type != "IDAT") continue;
      ++idats;
      EXPECT_LE(c.data.size(), 65535u);
      data += c.data;
    }
    if (width == 301) {
      EXPECT_GT(idats, 1);
    }
    // zlib header: compression level 7 and up is marked as "maximum" (3).
    EXPECT_EQ((uint8_t(data[1]) >> 6), 3);
    const std::string raw = Inflate(data);
    const size_t rowBytes = 1 + size_t(width) * 3;
    ASSERT_EQ(raw.size(), rowBytes * height);
    for (int y = 0; y < height; ++y) EXPECT_EQ(int(raw[y * rowBytes]), 1) << "row " << y;
  }
}

TEST(ImageEncodersTest, PngDecodesBackToThePixelsFlattenedOntoWhite) {
  testing::TempDir dir;
  const std::string path = (dir / "back.png").string();
  std::vector<uint32_t> pixels = Noise(40, 30);
  pixels[5] = 0x80400000u;  // half-covered dark red over white -> (191, 127, 127)
  pixels[6] = 0;            // uncovered -> white
  TPngEncoder().SaveToFile({pixels.data(), 40, 30, 40}, path);
  const DecodedPicture back = DecodePicture(PictureFormat::kPng, ReadFile(path));
  ASSERT_EQ(back.width, 40);
  ASSERT_EQ(back.height, 30);
  std::vector<uint32_t> want = pixels;
  want[5] = 0xFFBF7F7Fu;
  want[6] = 0xFFFFFFFFu;
  EXPECT_EQ(back.pixels, want);
}

TEST(ImageEncodersTest, JpegIsBaselineAndDecodesBackCloseToThePixels) {
  testing::TempDir dir;
  const std::string path = (dir / "smooth.jpg").string();
  const std::vector<uint32_t> pixels = Smooth(120, 80);
  TJpegEncoder encoder;
  encoder.SaveToFile({pixels.data(), 120, 80, 120}, path);
  const std::string jpeg = ReadFile(path);
  const std::vector<uint8_t> markers = ReadJpegMarkers(jpeg);
  ASSERT_FALSE(markers.empty());
  EXPECT_EQ(markers.front(), 0xD8);
  EXPECT_EQ(markers.back(), 0xDA);
  EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xC0), 1);  // SOF0: baseline
  for (uint8_t m : {0xC1, 0xC2, 0xC3, 0xC9, 0xCA}) EXPECT_EQ(std::count(markers.begin(), markers.end(), m), 0);
  const DecodedPicture back = DecodePicture(PictureFormat::kJpeg, jpeg);
  ASSERT_EQ(back.width, 120);
  ASSERT_EQ(back.height, 80);
  double total = 0;
  for (size_t i = 0; i < pixels.size(); ++i)
    for (int s = 0; s < 24; s += 8) total += std::abs(int((back.pixels[i] >> s) & 255) - int((pixels[i] >> s) & 255));
  EXPECT_LT(total / (pixels.size() * 3), 1.5);

  // The same encoder writes the next picture of another size.
  const std::vector<uint32_t> small = Smooth(9, 7);
  encoder.SaveToFile({small.data(), 9, 7, 9}, path);
  EXPECT_EQ(DecodePicture(PictureFormat::kJpeg, ReadFile(path)).width, 9);
}

TEST(ImageEncodersTest, FilesThatCanNotBeWrittenFailWithTheirName) {
  testing::TempDir dir;
  const std::vector<uint32_t> pixels = Noise(64, 64);
  const PixelView view{pixels.data(), 64, 64, 64};
  const std::string missing = (dir / "no" / "such.png").string();
  EXPECT_EQ(SaveError(true, view, missing), "Cannot create file \"" + missing + "\". No such file or directory");
  EXPECT_EQ(SaveError(false, view, missing), "Cannot create file \"" + missing + "\". No such file or directory");
  EXPECT_EQ(SaveError(true, view, "/dev/full"), "Error writing file \"/dev/full\". Write Error");
  EXPECT_EQ(SaveError(false, view, "/dev/full"),
            "Error writing file \"/dev/full\". Output file write error --- out of disk space?");
  EXPECT_EQ(SaveError(true, {pixels.data(), 0, 5, 0}, (dir / "empty.png").string()),
            "A picture of 0 x 5 pixels can not be saved");
}

}  // namespace
}  // namespace tagsmith
