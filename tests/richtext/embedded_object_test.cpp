#include "richtext/embedded_object.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/fake_object.h"

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

TEST(EmbeddedObject, StoredObjectsHandBackTheirDataAndDrawNothingYet) {
  PictureData p = Picture(PictureFormat::kPng, "bytes");
  p.goalWidth = p.goalHeight = 1440;
  auto object = std::make_shared<PictureObject>(p);

  std::shared_ptr<const StoredObjectData> data;
  OleCheck(object->GetStoredData(&data));
  ASSERT_TRUE(data && data->picture);
  EXPECT_EQ(*data->picture, p);
  EXPECT_FALSE(data->ole);

  std::shared_ptr<IViewObject> view;
  OleCheck(object->QueryViewObject(&view));
  std::vector<uint32_t> pixels(16, 0xFFFFFFFFu);
  Canvas canvas{pixels.data(), 4, 4, 4};
  OleCheck(view->Draw(DVASPECT_CONTENT, -1, canvas, RECTL{0, 0, 4, 4}));
  EXPECT_EQ(pixels, std::vector<uint32_t>(16, 0xFFFFFFFFu)) << "the canvas stays white";

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

}  // namespace
}  // namespace tagsmith::testing
