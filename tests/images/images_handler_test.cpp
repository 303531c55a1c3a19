#include "images/images_handler.h"

#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include "images/png_chunks.h"
#include "platform/strings.h"
#include "platform/sync_queue.h"
#include "support/picture_bytes.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

using testing::ReadFile;

// An embedded object for the renderer: a class (or none), an extent, a solid
// drawing, and a log of the bounds it was drawn into and the threads that
// called it.
class TestObject : public IOleObject, public IViewObject, public std::enable_shared_from_this<TestObject> {
 public:
  TestObject(std::string progId, SIZEL extent, uint32_t colour) : progId_(std::move(progId)), extent_(extent), colour_(colour) {}

  TomStatus GetUserClassID(CLSID* clsid) override {
    Touch();
    if (progId_.empty()) return TomStatus::Fail("Object has no class");
    clsid->progId = progId_;
    return TomStatus::Ok();
  }
  TomStatus GetExtent(uint32_t, SIZEL* size) override {
    Touch();
    ++extentCalls;
    *size = extent_;
    return TomStatus::Ok();
  }
  TomStatus QueryViewObject(std::shared_ptr<IViewObject>* view) override {
    Touch();
    if (noView) return TomStatus::Fail("No such interface supported");
    *view = shared_from_this();
    return TomStatus::Ok();
  }
  TomStatus Draw(uint32_t, int32_t index, Canvas& canvas, const RECTL& bounds) override {
    Touch();
    drawn.push_back(bounds);
    EXPECT_EQ(index, -1);
    if (throwOnDraw) throw EPictureError("Invalid PNG picture: not a PNG file");
    for (int32_t y = std::max(bounds.top, 0); y < std::min(bounds.bottom, canvas.height); ++y)
      for (int32_t x = std::max(bounds.left, 0); x < std::min(bounds.right, canvas.width); ++x)
        canvas.pixels[size_t(y) * size_t(canvas.stride) + size_t(x)] = colour_;
    if (failDraw) return TomStatus::Fail("Invalid PNG picture: not a PNG file");
    return TomStatus::Ok();
  }

  std::vector<RECTL> drawn;
  int extentCalls = 0;
  bool offMainThread = false;
  bool noView = false;
  bool failDraw = false;
  bool throwOnDraw = false;

 private:
  void Touch() {
    if (!SyncQueue::Main().IsMainThread()) offMainThread = true;
  }
  std::string progId_;
  SIZEL extent_;
  uint32_t colour_;
};

constexpr uint32_t kRed = 0xFFFF0000u;

class ImagesHandlerTest : public ::testing::Test {
 protected:
  std::shared_ptr<TestObject> AddObject(std::string progId = "Paint.Picture", SIZEL extent = {5080, 2540},
                                        uint32_t colour = kRed, SIZEL recorded = {5080, 2540}) {
    auto object = std::make_shared<TestObject>(std::move(progId), extent, colour);
    TEmbObjFormat f;
    f.StartPos = int32_t(tags.EmbObjFormats.size());
    f.EndPos = f.StartPos + 1;
    f.Obj.OleObject = object;
    f.Obj.ObjWidth = recorded.cx;
    f.Obj.ObjHeight = recorded.cy;
    tags.EmbObjFormats.push_back(std::move(f));
    return object;
  }

  // A handler set up as the convert dialog sets it up.
  std::unique_ptr<TImagesHandler> MakeHandler() {
    auto h = std::make_unique<TImagesHandler>();
    h->ScreenDpi = 96;
    h->UpscaleDpi = 400;
    h->ImageList = &thumbnails;
    h->TagsArray = &tags;
    h->TempFiles = &tempFiles;
    h->OnFinished = [this](TImagesHandler*) { events.push_back("finished"); };
    h->OnProgress = [this](int32_t index, int32_t count) {
      events.push_back(FormatString("progress %d/%d thumbnails %zu", index, count, thumbnails.Images().size()));
    };
    h->OnImageFailed = [this](int32_t index, const std::string& message) {
      events.push_back(FormatString("failed %d: %s", index, message.c_str()));
    };
    return h;
  }

  void Run(TImagesHandler& h) {
    h.Start();
    h.WaitFor();
  }

  DecodedPicture Png(size_t index) {
    return DecodePicture(PictureFormat::kPng, ReadFile(Utf16ToUtf8(tags.EmbObjFormats[index].Obj.PngFile)));
  }
  DecodedPicture Jpeg(size_t index) {
    return DecodePicture(PictureFormat::kJpeg, ReadFile(Utf16ToUtf8(tags.EmbObjFormats[index].Obj.JpegFile)));
  }

  testing::TempHome home;
  TTempFiles tempFiles;
  TTagsArray tags;
  TThumbnailList thumbnails{125, 125};
  std::vector<std::string> events;
};

int ChannelDiff(uint32_t a, uint32_t b) {
  int worst = 0;
  for (int s = 0; s < 32; s += 8) worst = std::max(worst, std::abs(int((a >> s) & 255) - int((b >> s) & 255)));
  return worst;
}

// How the thumbnail cell is painted: every pixel red inside `rect`, white outside.
void ExpectCell(const DecodedPicture& cell, const RECTL& rect) {
  ASSERT_EQ(cell.width, 125);
  ASSERT_EQ(cell.height, 125);
  int wrong = 0;
  for (int y = 0; y < 125; ++y)
    for (int x = 0; x < 125; ++x) {
      const bool inside = x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
      if (ChannelDiff(cell.pixels[size_t(y) * 125 + size_t(x)], inside ? kRed : 0xFFFFFFFFu) > 1) ++wrong;
    }
  EXPECT_EQ(wrong, 0) << "rect " << rect.left << "," << rect.top << "," << rect.right << "," << rect.bottom;
}

TEST_F(ImagesHandlerTest, ProgressFollowsEachThumbnailAndFinishedComesLast) {
  AddObject();
  AddObject();
  AddObject();
  auto h = MakeHandler();
  Run(*h);
  EXPECT_EQ(events, (std::vector<std::string>{"progress 0/3 thumbnails 1", "progress 1/3 thumbnails 2",
                                              "progress 2/3 thumbnails 3", "finished"}));
  EXPECT_TRUE(h->Finished());
  EXPECT_TRUE(h->Failures().empty());
}

TEST_F(ImagesHandlerTest, RendersAtScreenResolutionOrUpscaledAndReduced) {
  struct Case {
    bool upscaleEnabled;
    std::string progId;
    RECTL drawnInto;
    RECTL thumbnail;
  } cases[] = {
      {false, "Paint.Picture", {0, 0, 192, 96}, {-33, 14, 159, 110}},
      {true, "Word.Document.8", {0, 0, 800, 400}, {0, 31, 125, 93}},
      // An object without a class is upscaled whatever the option says.
      {false, "", {0, 0, 800, 400}, {0, 31, 125, 93}},
      // An exempt class is not upscaled; the set ignores letter case.
      {true, "PAINT.Picture.1", {0, 0, 192, 96}, {-33, 14, 159, 110}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "upscaling " << c.upscaleEnabled << " class " << c.progId);
    tags.EmbObjFormats.clear();
    events.clear();
    auto object = AddObject(c.progId);
    auto h = MakeHandler();
    h->UpscaleEnabled = c.upscaleEnabled;
    h->UpscaleExemptions.insert("paint");
    Run(*h);
    ASSERT_EQ(object->drawn.size(), 1u);
    EXPECT_EQ(object->drawn[0], c.drawnInto);
    EXPECT_FALSE(object->offMainThread);
    for (const DecodedPicture& p : {Png(0), Jpeg(0)}) {
      ASSERT_EQ(p.width, 192);
      ASSERT_EQ(p.height, 96);
      for (uint32_t px : p.pixels) ASSERT_LE(ChannelDiff(px, kRed), 3);
    }
    ASSERT_EQ(thumbnails.Images().size(), 1u);
    ExpectCell(thumbnails.Images()[0], c.thumbnail);
  }
}

TEST_F(ImagesHandlerTest, ExtentComesFromTheRecordUnlessBothSidesAreZero) {
  auto asked = AddObject("Paint.Picture", {2540, 1270}, kRed, {0, 0});
  auto half = AddObject("Paint.Picture", {2540, 1270}, kRed, {5080, 0});
  auto h = MakeHandler();
  Run(*h);
  EXPECT_EQ(asked->extentCalls, 1);
  EXPECT_EQ(asked->drawn.at(0), (RECTL{0, 0, 96, 48}));
  EXPECT_EQ(half->extentCalls, 0);
  // A zero side still gives a picture, one pixel high.
  EXPECT_EQ(half->drawn.at(0), (RECTL{0, 0, 192, 1}));
  EXPECT_EQ(Png(1).height, 1);
  EXPECT_TRUE(h->Failures().empty());
}

TEST_F(ImagesHandlerTest, FilesAreWrittenAsSpecifiedAndDecodeBackToTheRender) {
  // Stripes, so that the picture is not flat.
  class Stripes : public TestObject {
   public:
    Stripes() : TestObject("Paint.Picture", {2540, 2540}, 0) {}
    TomStatus Draw(uint32_t, int32_t, Canvas& canvas, const RECTL&) override {
      for (int32_t y = 0; y < canvas.height; ++y)
        for (int32_t x = 0; x < canvas.width; ++x)
          canvas.pixels[size_t(y) * size_t(canvas.stride) + size_t(x)] =
              0xFF000000u | uint32_t((x * 8) & 255) << 16 | uint32_t((y * 8) & 255) << 8 | 0x40;
      return TomStatus::Ok();
    }
  };
  auto object = std::make_shared<Stripes>();
  TEmbObjFormat f;
  f.Obj.OleObject = object;
  f.Obj.ObjWidth = f.Obj.ObjHeight = 2540;
  tags.EmbObjFormats.push_back(f);
  auto h = MakeHandler();
  Run(*h);
  const TEmbObjRec& rec = tags.EmbObjFormats[0].Obj;
  const std::string pngPath = Utf16ToUtf8(rec.PngFile), jpegPath = Utf16ToUtf8(rec.JpegFile);
  EXPECT_EQ(pngPath.substr(pngPath.size() - 4), ".png");
  EXPECT_EQ(jpegPath.substr(jpegPath.size() - 4), ".jpg");
  EXPECT_EQ(pngPath.substr(0, pngPath.rfind('/')), tempFiles.GetTempDir());

  const auto chunks = testing::ReadPngChunks(ReadFile(pngPath));
  ASSERT_FALSE(chunks.empty());
  EXPECT_EQ(int(chunks[0].data[9]), 2);
  EXPECT_EQ(int(chunks[0].data[8]), 8);
  EXPECT_EQ(int(chunks[0].data[12]), 0);
  std::string idat;
  for (const auto& c : chunks)
    if (c.type == "IDAT") {
      EXPECT_LE(c.data.size(), 65535u);
      idat += c.data;
    }
  const std::string raw = testing::Inflate(idat);
  ASSERT_EQ(raw.size(), 96u * (1 + 96 * 3));
  for (size_t y = 0; y < 96; ++y) EXPECT_EQ(int(raw[y * (1 + 96 * 3)]), 1);

  const auto markers = testing::ReadJpegMarkers(ReadFile(jpegPath));
  EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xC0), 1);
  EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xC2), 0);

  const DecodedPicture png = Png(0), jpeg = Jpeg(0);
  double jpegError = 0;
  for (int y = 0; y < 96; ++y)
    for (int x = 0; x < 96; ++x) {
      const uint32_t want = 0xFF000000u | uint32_t((x * 8) & 255) << 16 | uint32_t((y * 8) & 255) << 8 | 0x40;
      ASSERT_EQ(png.pixels[size_t(y) * 96 + size_t(x)], want);
      jpegError += ChannelDiff(jpeg.pixels[size_t(y) * 96 + size_t(x)], want);
    }
  EXPECT_LT(jpegError / (96 * 96), 8);
  EXPECT_EQ(rec.FileSize, rec.ImageKind == kImageKindPng ? GetFileSize64(pngPath) : GetFileSize64(jpegPath));
}

TEST_F(ImagesHandlerTest, FormatChoiceDecidesTheRecordedKindAndSize) {
  for (uint8_t choice : {0, 1, 2}) {
    SCOPED_TRACE(int(choice));
    tags.EmbObjFormats.clear();
    AddObject();  // flat red: the PNG is far smaller than the JPEG
    auto h = MakeHandler();
    h->FormatChoice = choice;
    Run(*h);
    const TEmbObjRec& rec = tags.EmbObjFormats[0].Obj;
    const int64_t png = GetFileSize64(Utf16ToUtf8(rec.PngFile)), jpeg = GetFileSize64(Utf16ToUtf8(rec.JpegFile));
    ASSERT_LT(png, jpeg);
    ASSERT_GT(png, 0);
    EXPECT_EQ(rec.ImageKind, choice == 1 ? kImageKindJpeg : kImageKindPng);
    EXPECT_EQ(rec.FileSize, choice == 1 ? jpeg : png);
  }
}

TEST_F(ImagesHandlerTest, AFailingObjectIsReportedAndTheOthersStillGetTheirFiles) {
  AddObject();
  AddObject()->noView = true;
  AddObject()->failDraw = true;
  AddObject()->throwOnDraw = true;
  // 70000 pixels wide: more than a JPEG can hold.
  AddObject("Paint.Picture", {1852084, 26}, kRed, {1852084, 26});
  AddObject();
  auto h = MakeHandler();
  Run(*h);
  ASSERT_EQ(events.size(), 11u);
  EXPECT_EQ(events[0], "progress 0/6 thumbnails 1");
  EXPECT_EQ(events[1], "failed 1: No such interface supported");
  EXPECT_EQ(events[2], "progress 1/6 thumbnails 2");
  EXPECT_EQ(events[3], "failed 2: Invalid PNG picture: not a PNG file");
  EXPECT_EQ(events[4], "progress 2/6 thumbnails 3");
  EXPECT_EQ(events[5], "failed 3: Invalid PNG picture: not a PNG file");
  EXPECT_EQ(events[6], "progress 3/6 thumbnails 4");
  EXPECT_EQ(events[7].rfind("failed 4: Error writing file \"", 0), 0u) << events[7];
  EXPECT_NE(events[7].find(".jpg\". Maximum supported image dimension is 65500 pixels"), std::string::npos)
      << events[7];
  EXPECT_EQ(events[8], "progress 4/6 thumbnails 5");
  EXPECT_EQ(events[9], "progress 5/6 thumbnails 6");
  EXPECT_EQ(events[10], "finished");
  ASSERT_EQ(h->Failures().size(), 4u);
  EXPECT_FALSE(h->Failures()[0].FilesWritten);
  EXPECT_TRUE(h->Failures()[1].FilesWritten);
  EXPECT_TRUE(h->Failures()[2].FilesWritten);
  EXPECT_FALSE(h->Failures()[3].FilesWritten);

  // No files for objects 1 and 4, a white picture for the drawings that failed.
  EXPECT_TRUE(tags.EmbObjFormats[1].Obj.PngFile.empty());
  EXPECT_TRUE(tags.EmbObjFormats[4].Obj.JpegFile.empty());
  EXPECT_EQ(tags.EmbObjFormats[4].Obj.FileSize, 0);
  for (size_t i : {2, 3})
    for (uint32_t px : Png(i).pixels) ASSERT_EQ(px, 0xFFFFFFFFu);
  for (size_t i : {0, 5})
    for (uint32_t px : Png(i).pixels) ASSERT_EQ(px, kRed);
  for (size_t i : {1, 4}) ExpectCell(thumbnails.Images()[i], {0, 0, 0, 0});
}

TEST_F(ImagesHandlerTest, PicturesOfADocumentDrawThemselvesAndDamagedOnesGiveWhiteFiles) {
  // 6 x 4 pixels shown at 90 x 60 twips: 6 x 4 pixels at 96 dpi again.
  const testing::Straight pattern = testing::Pattern(6, 4);
  auto add = [this](std::string bytes) {
    PictureData p;
    p.format = PictureFormat::kPng;
    p.bytes = std::move(bytes);
    p.goalWidth = 90;
    p.goalHeight = 60;
    TEmbObjFormat f;
    f.StartPos = int32_t(tags.EmbObjFormats.size());
    f.EndPos = f.StartPos + 1;
    f.Obj.OleObject = std::make_shared<PictureObject>(p);
    tags.EmbObjFormats.push_back(std::move(f));
  };
  const std::string png = testing::MakePng(pattern);
  add(png);
  add(png.substr(0, 40));
  auto h = MakeHandler();
  Run(*h);
  EXPECT_EQ(events, (std::vector<std::string>{"progress 0/2 thumbnails 1",
                                              "failed 1: Invalid PNG picture: read beyond end of data",
                                              "progress 1/2 thumbnails 2", "finished"}));
  const DecodedPicture drawn = Png(0);
  ASSERT_EQ(drawn.width, 6);
  ASSERT_EQ(drawn.height, 4);
  EXPECT_EQ(drawn.pixels, pattern.pixels);
  const DecodedPicture white = Png(1);
  EXPECT_EQ(white.width, 6);
  EXPECT_EQ(white.pixels, std::vector<uint32_t>(24, 0xFFFFFFFFu));
  ASSERT_EQ(h->Failures().size(), 1u);
  EXPECT_TRUE(h->Failures()[0].FilesWritten);
}

TEST_F(ImagesHandlerTest, DestroyingARunningHandlerServesItToTheEnd) {
  for (int i = 0; i < 4; ++i) AddObject();
  {
    auto h = MakeHandler();
    h->UpscaleEnabled = true;
    h->Start();
  }
  EXPECT_EQ(events.size(), 5u);
  EXPECT_EQ(events.back(), "finished");
  for (size_t i = 0; i < 4; ++i) EXPECT_FALSE(tags.EmbObjFormats[i].Obj.PngFile.empty());
}

TEST_F(ImagesHandlerTest, ATerminatedHandlerEndsAfterTheObjectInProgressAndStillFinishes) {
  for (int i = 0; i < 4; ++i) AddObject();
  auto h = MakeHandler();
  // Asked from the main thread while object 1 is recorded.
  h->OnProgress = [&](int32_t index, int32_t count) {
    events.push_back(FormatString("progress %d/%d", index, count));
    if (index == 1) h->Terminate();
  };
  Run(*h);
  EXPECT_EQ(events, (std::vector<std::string>{"progress 0/4", "progress 1/4", "finished"}));
  EXPECT_TRUE(h->Finished());
  EXPECT_FALSE(tags.EmbObjFormats[1].Obj.PngFile.empty());
  EXPECT_TRUE(tags.EmbObjFormats[2].Obj.PngFile.empty());
  EXPECT_TRUE(tags.EmbObjFormats[3].Obj.JpegFile.empty());
  EXPECT_TRUE(h->Failures().empty());
}

TEST_F(ImagesHandlerTest, AHandlerThatWasNeverStartedDoesNothing) {
  auto object = AddObject();
  { auto h = MakeHandler(); }
  EXPECT_TRUE(events.empty());
  EXPECT_TRUE(object->drawn.empty());
  EXPECT_TRUE(tags.EmbObjFormats[0].Obj.PngFile.empty());
}

TEST_F(ImagesHandlerTest, WithoutObjectsOnlyFinishedArrivesAndTheListIsCleared) {
  thumbnails.Add({std::vector<uint32_t>(125 * 125).data(), 125, 125, 125});
  auto h = MakeHandler();
  Run(*h);
  EXPECT_EQ(events, std::vector<std::string>{"finished"});
  EXPECT_TRUE(thumbnails.Images().empty());
}

TEST_F(ImagesHandlerTest, TheLanczosResamplerCarriesOverToLaterThumbnails) {
  // A 250 x 250 render, black on its left half, shrinks into the 125 x 125
  // cell: nearest neighbour keeps the edge hard, the Lanczos kernel rings
  // beside it.
  class HalfBlack : public TestObject {
   public:
    HalfBlack() : TestObject("Paint.Picture", {}, 0) {}
    TomStatus Draw(uint32_t, int32_t, Canvas& canvas, const RECTL&) override {
      for (int32_t y = 0; y < canvas.height; ++y)
        for (int32_t x = 0; x < canvas.width / 2; ++x) canvas.pixels[size_t(y) * size_t(canvas.stride) + size_t(x)] = 0xFF000000u;
      return TomStatus::Ok();
    }
  };
  auto addHalfBlack = [&] {
    TEmbObjFormat f;
    f.Obj.OleObject = std::make_shared<HalfBlack>();
    f.Obj.ObjWidth = f.Obj.ObjHeight = 6615;  // 250 pixels at 96 dpi
    tags.EmbObjFormats.push_back(f);
  };
  addHalfBlack();
  AddObject("");  // no class: upscaled, which switches the render buffer to Lanczos
  addHalfBlack();
  auto h = MakeHandler();
  Run(*h);
  ASSERT_EQ(thumbnails.Images().size(), 3u);
  auto greys = [&](size_t i) {
    int n = 0;
    for (uint32_t px : thumbnails.Images()[i].pixels) n += px != 0xFFFFFFFFu && px != 0xFF000000u;
    return n;
  };
  EXPECT_EQ(greys(0), 0);
  EXPECT_GT(greys(2), 0);
}

}  // namespace
}  // namespace tagsmith
