#include "richtext/embedded_object.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "richtext/picture_decoder.h"
#include "richtext/rtf_test_support.h"
#include "support/fake_object.h"
#include "support/picture_bytes.h"
#include "support/temp_dir.h"

namespace tagsmith::testing {
namespace {

PictureData Picture(PictureFormat format, std::string bytes = "") {
  PictureData p;
  p.format = format;
  p.bytes = std::move(bytes);
  return p;
}

TEST(EmbeddedObject, PicturesAreKnownByTheClassOfTheirFormat) {
  const std::pair<PictureFormat, const char*> cases[] = {
      {PictureFormat::kPng, "Picture.PNG"},     {PictureFormat::kJpeg, "Picture.JPEG"},
      {PictureFormat::kGif, "Picture.GIF"},     {PictureFormat::kEmf, "Picture.EMF"},
      {PictureFormat::kWmf, "Picture.WMF"},     {PictureFormat::kDib, "Picture.BMP"},
      {PictureFormat::kDdb, "Picture.BMP"},     {PictureFormat::kMacPict, "Picture.PICT"},
      {PictureFormat::kOs2Metafile, "Picture.OS2Metafile"},
  };
  for (const auto& [format, name] : cases) {
    PictureObject object(Picture(format));
    CLSID clsid;
    OleCheck(object.GetUserClassID(&clsid));
    EXPECT_EQ(clsid.progId, name);
  }
  PictureObject unknown(Picture(PictureFormat::kUnknown));
  CLSID clsid;
  TomStatus status = unknown.GetUserClassID(&clsid);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.message(), "Object has no class");
}

TEST(EmbeddedObject, PictureExtentFollowsGoalSizeScaleAndNaturalSize) {
  struct Case {
    PictureData picture;
    SIZEL extent;
  };
  auto with = [](PictureFormat f, int32_t w, int32_t h, int32_t gw, int32_t gh, int32_t sx, int32_t sy,
                 std::string bytes = "") {
    PictureData p = Picture(f, std::move(bytes));
    p.width = w;
    p.height = h;
    p.goalWidth = gw;
    p.goalHeight = gh;
    p.scaleX = sx;
    p.scaleY = sy;
    return p;
  };
  const std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x01\x00\0\0\0\x60", 24);  // 256 x 96
  const std::string gif("GIF89a\x40\x00\x20\x00", 10);                            // 64 x 32
  const std::string jpeg(
      "\xFF\xD8\xFF\xE0\x00\x04\x4A\x46\xFF\xC0\x00\x0B\x08\x00\x30\x00\x60\x01\x01\x11\x00", 21);  // 96 x 48
  const std::string dib("\x28\0\0\0\xC0\0\0\0\x40\xFF\xFF\xFF\x01\0\x18\0", 16);  // 192 x -192 (top-down)
  const Case cases[] = {
      {with(PictureFormat::kPng, 0, 0, 1440, 720, 100, 100), {2540, 1270}},
      {with(PictureFormat::kPng, 0, 0, 1440, 720, 50, 150), {1270, 1905}},
      {with(PictureFormat::kPng, 0, 0, 1, 1, 100, 100), {2, 2}},  // 1.76 rounds to 2
      {with(PictureFormat::kWmf, 5000, 2500, 0, 0, 100, 100), {5000, 2500}},
      {with(PictureFormat::kEmf, 5000, 2500, 0, 0, 10, 100), {500, 2500}},
      {with(PictureFormat::kJpeg, 96, 192, 0, 0, 100, 100), {2540, 5080}},
      {with(PictureFormat::kPng, 0, 0, 0, 0, 100, 100, png), {6773, 2540}},
      {with(PictureFormat::kGif, 0, 0, 0, 0, 100, 100, gif), {1693, 847}},
      {with(PictureFormat::kJpeg, 0, 0, 0, 0, 100, 100, jpeg), {2540, 1270}},
      {with(PictureFormat::kDib, 0, 0, 0, 0, 100, 100, dib), {5080, 5080}},
      {with(PictureFormat::kPng, 0, 0, 0, 0, 100, 100, "\x89PNG"), {0, 0}},  // no header to read
      {with(PictureFormat::kWmf, 0, 0, 0, 0, 100, 100), {0, 0}},
      {with(PictureFormat::kPng, 0, 0, 2000000000, 2000000000, 10000, 10000), {1000000, 1000000}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.picture.Extent(), c.extent) << static_cast<int>(c.picture.format) << " " << c.picture.goalWidth;
    PictureObject object(c.picture);
    SIZEL extent;
    OleCheck(object.GetExtent(DVASPECT_CONTENT, &extent));
    EXPECT_EQ(extent, c.extent);
  }
}

TEST(EmbeddedObject, OleObjectsTakeTheirExtentFromTheirSizeOrTheirResult) {
  OleData ole;
  ole.className = "Equation.3";
  ole.width = 2880;
  ole.height = 1440;
  ole.scaleY = 50;
  PictureData result = Picture(PictureFormat::kWmf);
  result.width = 700;
  result.height = 300;
  EXPECT_EQ((StoredObjectData{ole, result}.Extent()), (SIZEL{5080, 1270}));
  OleData unsized = ole;
  unsized.width = unsized.height = 0;
  EXPECT_EQ((StoredObjectData{unsized, result}.Extent()), (SIZEL{700, 300}));
  EXPECT_EQ((StoredObjectData{unsized, std::nullopt}.Extent()), (SIZEL{0, 0}));

  EmbeddedOleObject object(ole, result);
  CLSID clsid;
  OleCheck(object.GetUserClassID(&clsid));
  EXPECT_EQ(clsid.progId, "Equation.3");
  EmbeddedOleObject nameless(OleData(), std::nullopt);
  EXPECT_FALSE(nameless.GetUserClassID(&clsid).ok());
}

TEST(EmbeddedObject, StoredObjectsHandBackTheirData) {
  PictureData p = Picture(PictureFormat::kPng, "bytes");
  p.goalWidth = p.goalHeight = 1440;
  auto object = std::make_shared<PictureObject>(p);

  std::shared_ptr<const StoredObjectData> data;
  OleCheck(object->GetStoredData(&data));
  ASSERT_TRUE(data && data->picture);
  EXPECT_EQ(*data->picture, p);
  EXPECT_FALSE(data->ole);

  SIZEL extent;
  TomStatus status = object->GetExtent(4 /* DVASPECT_ICON */, &extent);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.message(), "Unsupported aspect");

  // Objects of other origins keep no stored form.
  FakeObject fake;
  status = fake.GetStoredData(&data);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.message(), "Object keeps no stored data");
}

constexpr uint32_t kWhitePixel = 0xFFFFFFFFu;

// A white canvas of its own pixels.
struct WhiteCanvas {
  WhiteCanvas(int32_t width, int32_t height)
      : pixels(size_t(width) * size_t(height), kWhitePixel), canvas{pixels.data(), width, height, width} {}
  uint32_t At(int32_t x, int32_t y) const { return pixels[size_t(y) * size_t(canvas.width) + size_t(x)]; }
  bool AllWhite() const {
    return std::all_of(pixels.begin(), pixels.end(), [](uint32_t p) { return p == kWhitePixel; });
  }
  std::vector<uint32_t> pixels;
  Canvas canvas;
};

// The one object of an RTF document, with its drawing interface.
struct ReadObject {
  ObjectAt at;
  std::shared_ptr<IViewObject> view;
};

ReadObject OnlyObject(const std::string& rtf) {
  auto doc = ReadDocument(rtf);
  EXPECT_EQ(ObjectCount(*doc), 1) << rtf.substr(0, 80);
  ReadObject o{Object(*doc, 0), nullptr};
  if (o.at.object) OleCheck(o.at.object->QueryViewObject(&o.view));
  return o;
}

// A premultiplied pixel composited over white.
uint32_t OverWhite(uint32_t p) {
  const uint32_t inverse = 255 - (p >> 24);
  uint32_t out = 0xFF000000u;
  for (int shift : {16, 8, 0}) out |= std::min<uint32_t>(((p >> shift) & 255) + inverse, 255) << shift;
  return out;
}

int ChannelDiff(uint32_t a, uint32_t b) {
  int worst = 0;
  for (int s = 0; s < 32; s += 8) worst = std::max(worst, std::abs(int((a >> s) & 255) - int((b >> s) & 255)));
  return worst;
}

TEST(EmbeddedObjectDrawing, PicturesReadFromRtfDrawTheirExactPixelsIntoTheirBounds) {
  const Straight s = Pattern(6, 4);
  const std::string png = HexOf(MakePng(s));
  const struct {
    const char* name;
    std::string group;
    const char* progId;
  } cases[] = {
      {"PNG", "\\pngblip " + png, "Picture.PNG"},
      {"bare DIB", "\\dibitmap0 " + HexOf(MakeDib24(s)), "Picture.BMP"},
      {"DIB with its BMP file header", "\\dibitmap0 " + HexOf(WithFileHeader(MakeDib24(s), 54)), "Picture.BMP"},
      {"PNG under a metafile keyword", "\\wmetafile8 " + png, "Picture.PNG"},
      {"PNG without a format keyword", " " + png, "Picture.PNG"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ReadObject o = OnlyObject("{\\rtf1 {\\pict" + c.group + "}}");
    ASSERT_TRUE(o.view);
    CLSID clsid;
    OleCheck(o.at.object->GetUserClassID(&clsid));
    EXPECT_EQ(clsid.progId, c.progId);

    WhiteCanvas white(10, 8);
    OleCheck(o.view->Draw(DVASPECT_CONTENT, -1, white.canvas, RECTL{2, 3, 8, 7}));
    for (int32_t y = 0; y < 8; ++y)
      for (int32_t x = 0; x < 10; ++x) {
        const bool inside = x >= 2 && x < 8 && y >= 3 && y < 7;
        EXPECT_EQ(white.At(x, y), inside ? s.pixels[size_t(y - 3) * 6 + size_t(x - 2)] : kWhitePixel)
            << "x " << x << " y " << y;
      }
  }
}

TEST(EmbeddedObjectDrawing, GifJpegAndWmfPicturesDrawAsTheyLook) {
  // A GIF whose last colour is transparent: those rows stay white.
  std::vector<uint8_t> indexes(4 * 4);
  for (size_t i = 0; i < indexes.size(); ++i) indexes[i] = uint8_t(i / 4);
  const std::vector<uint32_t> colours = {0xFF0000, 0x00FF00, 0x0000FF, 0x123456};
  ReadObject gif = OnlyObject("{\\rtf1 {\\pict " + HexOf(MakeGif(4, 4, indexes, colours, 3)) + "}}");
  WhiteCanvas g(4, 4);
  OleCheck(gif.view->Draw(DVASPECT_CONTENT, -1, g.canvas, RECTL{0, 0, 4, 4}));
  for (int32_t y = 0; y < 4; ++y)
    EXPECT_EQ(g.At(1, y), y == 3 ? kWhitePixel : 0xFF000000u | colours[size_t(y)]) << "row " << y;

  const Straight solid{16, 16, std::vector<uint32_t>(256, 0xFF3080C0u)};
  ReadObject jpeg = OnlyObject("{\\rtf1 {\\pict\\jpegblip " + HexOf(MakeJpeg(solid)) + "}}");
  WhiteCanvas j(16, 16);
  OleCheck(jpeg.view->Draw(DVASPECT_CONTENT, -1, j.canvas, RECTL{0, 0, 16, 16}));
  for (uint32_t p : j.pixels) EXPECT_LE(ChannelDiff(p, 0xFF3080C0u), 3);

  // Red fills the left half of the metafile's window.
  ReadObject wmf =
      OnlyObject("{\\rtf1 {\\pict\\wmetafile8\\picw5080\\pich2540 " + HexOf(MakeWmf(0, 0, 100, 100, 0xFF)) + "}}");
  CLSID clsid;
  OleCheck(wmf.at.object->GetUserClassID(&clsid));
  EXPECT_EQ(clsid.progId, "Picture.WMF");
  WhiteCanvas w(40, 20);
  OleCheck(wmf.view->Draw(DVASPECT_CONTENT, -1, w.canvas, RECTL{0, 0, 40, 20}));
  EXPECT_EQ(w.At(5, 10), 0xFFFF0000u);
  EXPECT_EQ(w.At(35, 10), kWhitePixel);
}

TEST(EmbeddedObjectDrawing, AnOleObjectDrawsItsResultAndWithoutOneNothing) {
  const Straight s = Pattern(6, 4);
  const ReadObject o = OnlyObject(
      "{\\rtf1 {\\object\\objemb\\objw1440\\objh720{\\*\\objclass Paint.Picture}{\\*\\objdata 0105000002000000}"
      "{\\result{\\pict\\pngblip " + HexOf(MakePng(s)) + "}}}}");
  CLSID clsid;
  OleCheck(o.at.object->GetUserClassID(&clsid));
  EXPECT_EQ(clsid.progId, "Paint.Picture");
  SIZEL extent;
  OleCheck(o.at.object->GetExtent(DVASPECT_CONTENT, &extent));
  EXPECT_EQ(extent, (SIZEL{2540, 1270}));
  WhiteCanvas drawn(6, 4);
  OleCheck(o.view->Draw(DVASPECT_CONTENT, -1, drawn.canvas, RECTL{0, 0, 6, 4}));
  EXPECT_EQ(drawn.pixels, s.pixels);
  const TomStatus icon = o.view->Draw(4 /* DVASPECT_ICON */, -1, drawn.canvas, RECTL{0, 0, 6, 4});
  ASSERT_FALSE(icon.ok());
  EXPECT_EQ(icon.message(), "Unsupported aspect");

  EmbeddedOleObject bare(OleData{OleObjectKind::kEmbedded, "Equation.3", "\x01\x05", 1440, 1440}, std::nullopt);
  WhiteCanvas nothing(4, 4);
  OleCheck(bare.Draw(DVASPECT_CONTENT, -1, nothing.canvas, RECTL{0, 0, 4, 4}));
  EXPECT_TRUE(nothing.AllWhite());
}

TEST(EmbeddedObjectDrawing, AnEnhancedMetafileDrawsNothingAndSucceeds) {
  std::string emf;
  PutU32(emf, 1);
  PutU32(emf, 108);
  emf.resize(40, '\0');
  PutU32(emf, 0x464D4520);  // " EMF"
  emf.resize(108, '\0');
  const ReadObject o = OnlyObject("{\\rtf1 {\\pict\\emfblip\\picw2540\\pich2540 " + HexOf(emf) + "}}");
  CLSID clsid;
  OleCheck(o.at.object->GetUserClassID(&clsid));
  EXPECT_EQ(clsid.progId, "Picture.EMF");
  WhiteCanvas white(8, 8);
  OleCheck(o.view->Draw(DVASPECT_CONTENT, -1, white.canvas, RECTL{0, 0, 8, 8}));
  EXPECT_TRUE(white.AllWhite());
}

TEST(EmbeddedObjectDrawing, DataThatCanNotBeDrawnFailsWithTheDecodersMessage) {
  const std::string png = MakePng(Pattern(4, 4));
  const std::string wmf = MakeWmf(0, 0, 100, 100, 0xFF);
  const struct {
    const char* name;
    std::string group;
    std::string message;
  } cases[] = {
      {"truncated PNG", "\\pngblip " + HexOf(png.substr(0, 40)), "Invalid PNG picture: read beyond end of data"},
      {"truncated metafile", "\\wmetafile8 " + HexOf(wmf.substr(0, 30)), "Invalid WMF picture: truncated record"},
      {"device-dependent bitmap", "\\wbitmap0\\picw2\\pich2\\wbmbitspixel1\\wbmplanes1\\wbmwidthbytes2 c000c000",
       "Device-dependent bitmaps (DDB) can not be decoded"},
      {"bytes of no known format", " 0102030405060708", "Picture of unknown format"},
      {"no bytes at all", "", "Picture has no data"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ReadObject o = OnlyObject("{\\rtf1 {\\pict" + c.group + "}}");
    ASSERT_TRUE(o.view);
    WhiteCanvas white(4, 4);
    const TomStatus status = o.view->Draw(DVASPECT_CONTENT, -1, white.canvas, RECTL{0, 0, 4, 4});
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.message(), c.message);
    EXPECT_TRUE(white.AllWhite());
  }
}

TEST(EmbeddedObjectDrawing, TheCorpusPngPictureDrawsItsPixels) {
  const auto shared = SharedDir();
  if (!shared) GTEST_SKIP() << "the RTF corpus (corpus/rtf in the shared folder) is not there";
  const auto path = *shared / "corpus/rtf/tbluemel__rtf.js/test__rtf-test-files__simplepng__source.rtf";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " is not there";
  const ReadObject o = OnlyObject(ReadFile(path));
  ASSERT_TRUE(o.view && o.at.data && o.at.data->picture);
  CLSID clsid;
  OleCheck(o.at.object->GetUserClassID(&clsid));
  EXPECT_EQ(clsid.progId, "Picture.PNG");
  SIZEL extent;
  OleCheck(o.at.object->GetExtent(DVASPECT_CONTENT, &extent));
  EXPECT_EQ(extent, (SIZEL{847, 609})) << "32 x 23 pixels at 96 dpi";

  const DecodedPicture picture = DecodePicture(PictureFormat::kPng, o.at.data->picture->bytes);
  ASSERT_EQ(picture.width, 32);
  ASSERT_EQ(picture.height, 23);
  WhiteCanvas drawn(32, 23);
  OleCheck(o.view->Draw(DVASPECT_CONTENT, -1, drawn.canvas, RECTL{0, 0, 32, 23}));
  EXPECT_FALSE(drawn.AllWhite());
  for (size_t i = 0; i < drawn.pixels.size(); ++i)
    ASSERT_EQ(drawn.pixels[i], OverWhite(picture.pixels[i])) << "pixel " << i;
}

}  // namespace
}  // namespace tagsmith::testing
