#include "images/image_rules.h"

#include <gtest/gtest.h>

#include "richtext/picture_decoder.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

// Sizes and placements of one object: its extent, whether it is upscaled,
// the render, the saved picture, and the render's place in a 125 x 125 cell.
TEST(ImageRulesTest, SizesAndThumbnailPlacements) {
  struct Case {
    SIZEL himetric;
    bool upscale;
    int32_t renderW, renderH;
    bool reduce;
    int32_t outW, outH;
    RECTL thumbnail;
  } cases[] = {
      {{5080, 2540}, false, 192, 96, false, 192, 96, {-33, 14, 159, 110}},
      {{5080, 2540}, true, 800, 400, true, 192, 96, {0, 31, 125, 93}},
      {{1588, 1058}, false, 60, 40, false, 60, 40, {32, 42, 92, 82}},
      // Halves: 13 HIMETRIC at 96 dpi is 0.4913 px -> 0 -> at least 1; 2540/96
      // HIMETRIC = 1 px exactly; 4 px rendered at 400 dpi reduce to 0.96 -> 1.
      {{13, 27}, false, 1, 1, false, 1, 1, {62, 62, 63, 63}},
      {{0, 0}, true, 1, 1, true, 1, 1, {62, 62, 63, 63}},
      // 127 HIMETRIC at 400 dpi is exactly 20 px; at 96 dpi 4.8 -> 5.
      {{127, 254}, true, 20, 40, true, 5, 10, {52, 42, 72, 82}},
      // 191 HIMETRIC at 400 dpi is 30.08 -> 30 px; reduced 7.2 -> 7.
      {{191, 191}, true, 30, 30, true, 7, 7, {47, 47, 77, 77}},
      // A negative extent counts by its magnitude.
      {{-5080, 2540}, false, 192, 96, false, 192, 96, {-33, 14, 159, 110}},
      // Taller than wide and bigger than the cell: height fits.
      {{2540, 10160}, false, 96, 384, false, 96, 384, {14, -129, 110, 255}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.himetric.cx << " x " << c.himetric.cy << (c.upscale ? " upscaled" : ""));
    const RenderPlan plan = PlanRender(c.himetric, c.upscale, 96, 400, kPixelBudget);
    EXPECT_EQ(plan.renderWidth, c.renderW);
    EXPECT_EQ(plan.renderHeight, c.renderH);
    EXPECT_EQ(plan.reduce, c.upscale);
    EXPECT_EQ(plan.outputWidth, c.outW);
    EXPECT_EQ(plan.outputHeight, c.outH);
    EXPECT_FALSE(plan.limited);
    EXPECT_EQ(FitRect({0, 0, plan.renderWidth, plan.renderHeight}, {0, 0, 125, 125}), c.thumbnail);
  }
}

TEST(ImageRulesTest, FitRectScalesBigSourcesIntoTheCellKeepingTheirShape) {
  struct Case {
    RECTL source;
    RECTL want;
  } cases[] = {
      {{0, 0, 800, 400}, {0, 31, 125, 93}},
      {{0, 0, 400, 800}, {31, 0, 93, 125}},
      {{0, 0, 125, 125}, {0, 0, 125, 125}},
      {{0, 0, 3307, 4677}, {18, 0, 106, 125}},
      {{0, 0, 60, 40}, {32, 42, 92, 82}},
      {{0, 0, 130, 10}, {-2, 57, 128, 67}},
      {{0, 0, 10000, 125}, {0, 62, 125, 63}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FitRect(c.source, {0, 0, 125, 125}), c.want) << c.source.right << " x " << c.source.bottom;
}

TEST(ImageRulesTest, MulDivRoundsHalvesAwayFromZeroAndRoundHalfEvenToEven) {
  EXPECT_EQ(MulDiv(5080, 96, 2540), 192);
  EXPECT_EQ(MulDiv(3, 1, 2), 2);
  EXPECT_EQ(MulDiv(-3, 1, 2), -2);
  EXPECT_EQ(MulDiv(5, 1, 2), 3);
  EXPECT_EQ(MulDiv(1, 1, 3), 0);
  EXPECT_EQ(MulDiv(2, 1, 3), 1);
  EXPECT_EQ(MulDiv(7, 3, -2), -11);
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
  EXPECT_EQ(MulDiv(2000000000, 2000000000, 1), 2147483647);
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
  EXPECT_EQ(RoundHalfEven(2.5000001), 3);

  // At 100 dpi a 10-pixel render reduces to 2.5 -> 2 and a 14-pixel one to
  // 3.5 -> 4.
  EXPECT_EQ(PlanRender({64, 89}, true, 100, 400, kPixelBudget).outputWidth, 2);
  EXPECT_EQ(PlanRender({64, 89}, true, 100, 400, kPixelBudget).outputHeight, 4);
}

TEST(ImageRulesTest, RendersAboveTheBudgetKeepTheirShapeWithinIt) {
  // A4 at 400 dpi: 3307 x 4677, reduced to 794 x 1122 at 96 dpi.
  RenderPlan a4 = PlanRender({21000, 29700}, true, 96, 400, kPixelBudget);
  EXPECT_EQ(a4.renderWidth, 3307);
  EXPECT_EQ(a4.renderHeight, 4677);
  EXPECT_EQ(a4.outputWidth, 794);
  EXPECT_EQ(a4.outputHeight, 1122);

  // A 2 x 1 m poster at 400 dpi would be 31496 x 15748 pixels.
  RenderPlan poster = PlanRender({200000, 100000}, true, 96, 400, kPixelBudget);
  EXPECT_TRUE(poster.limited);
  EXPECT_LE(int64_t(poster.renderWidth) * poster.renderHeight, kPixelBudget);
  EXPECT_GT(int64_t(poster.renderWidth) * poster.renderHeight, kPixelBudget * 99 / 100);
  EXPECT_NEAR(double(poster.renderWidth) / poster.renderHeight, 2.0, 0.001);
  EXPECT_EQ(poster.outputWidth, 7559);
  EXPECT_EQ(poster.outputHeight, 3780);

  // A thin strip as long as 32-bit HIMETRIC allows.
  RenderPlan strip = PlanRender({2147483647, 1}, false, 96, 400, kPixelBudget);
  EXPECT_EQ(strip.renderHeight, 1);
  EXPECT_EQ(strip.renderWidth, kPixelBudget);
  EXPECT_EQ(strip.outputWidth, kPixelBudget);

  RenderPlan small = PlanRender({2540, 2540}, true, 96, 400, 100);
  EXPECT_EQ(small.renderWidth, 10);
  EXPECT_EQ(small.renderHeight, 10);
  EXPECT_EQ(small.outputWidth, 10);
}

TEST(ImageRulesTest, AutoFormatPrefersPngUnlessItIsBigAndMuchBiggerThanTheJpeg) {
  struct Case {
    uint8_t choice;
    int64_t png, jpeg;
    uint8_t want;
  } cases[] = {
      {0, 80000, 10000, kImageKindPng},
      {0, 200000, 150000, kImageKindPng},
      {0, 200000, 100000, kImageKindJpeg},
      {0, 102400, 68000, kImageKindJpeg},
      {0, 102399, 1, kImageKindPng},
      {0, 0, 500000, kImageKindPng},
      {1, 100, 500000, kImageKindJpeg},
      {2, 900000, 100, kImageKindPng},
      {7, 200000, 100000, kImageKindJpeg},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ChooseImageKind(c.choice, c.png, c.jpeg), c.want)
        << "choice " << int(c.choice) << " png " << c.png << " jpeg " << c.jpeg;
  EXPECT_EQ(FormatChoiceFromSetting("JPEG"), 1);
  EXPECT_EQ(FormatChoiceFromSetting("PNG"), 2);
  EXPECT_EQ(FormatChoiceFromSetting("png"), 0);
  EXPECT_EQ(FormatChoiceFromSetting("Auto"), 0);
  EXPECT_EQ(FormatChoiceFromSetting(""), 0);
}

TEST(ImageRulesTest, ProgIDShorteningKeepsThePartBeforeTheFirstDot) {
  EXPECT_EQ(ShortenProgID("Paint.Picture"), "Paint");
  EXPECT_EQ(ShortenProgID("Word.Document.8"), "Word");
  EXPECT_EQ(ShortenProgID("Equation"), "Equation");
  EXPECT_EQ(ShortenProgID(".hidden.x"), ".hidden.x");
  EXPECT_EQ(ShortenProgID("A."), "A");
  EXPECT_EQ(ShortenProgID(""), "");
}

TEST(ImageRulesTest, FileSizeIsZeroForWhatCanNotBeOpened) {
  testing::TempDir dir;
  testing::WriteFile(dir / "seven.bin", "1234567");
  EXPECT_EQ(GetFileSize64((dir / "seven.bin").string()), 7);
  EXPECT_EQ(GetFileSize64((dir / "missing.bin").string()), 0);
  EXPECT_EQ(GetFileSize64(dir.str()), 0);
}

}  // namespace
}  // namespace tagsmith
