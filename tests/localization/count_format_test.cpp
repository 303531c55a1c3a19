#include "localization/count_format.h"

#include <gtest/gtest.h>

#include "localization/simple_translator.h"

namespace tagsmith {
namespace {

TEST(CountFormat, OnlyPlainIntegerConversionsAreCounted) {
  struct Case {
    const char* format;
    std::optional<int> expected;
  } cases[] = {
      {"Rendering images: %d of %d", 2},
      {"%i/%i", 2},
      {"%-3d of %+d, % d, %05d, %.2d, %10.10i", 6},
      {"100%% done: %d%%", 1},
      {"no conversions", 0},
      {"", 0},
      {"%d of %d of %d", 3},
      {"%s of %d", std::nullopt},
      {"%d of %f", std::nullopt},
      {"%ld of %d", std::nullopt},
      {"%hd", std::nullopt},
      {"%*d", std::nullopt},
      {"%.*d", std::nullopt},
      {"%1$d of %2$d", std::nullopt},
      {"%u", std::nullopt},
      {"%x", std::nullopt},
      {"%n", std::nullopt},
      {"%#d", std::nullopt},
      {"%123d", std::nullopt},
      {"%.100d", std::nullopt},
      {"%d of %", std::nullopt},
      {"%-", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(IntegerConversionCount(c.format), c.expected) << c.format;
  EXPECT_EQ(IntegerConversionCount(std::string_view("%\0d", 3)), std::nullopt);
}

TEST(CountFormat, CountTextIsFormattedWithDoneAndTotalOrRefused) {
  EXPECT_EQ(FormatCountText("Rendering images: %d of %d", 2, 3), "Rendering images: 2 of 3");
  EXPECT_EQ(FormatCountText("%3d%%", 7, 9), "  7%");
  EXPECT_EQ(FormatCountText("Uploading...", 1, 2), "Uploading...");
  struct Case {
    const char* format;
  } refused[] = {{"Rendering images: %s of %d"}, {"%d of %d of %d"}, {"%n%d"}, {"%99999999d"}};
  for (const auto& c : refused) {
    try {
      FormatCountText(c.format, 1, 2);
      ADD_FAILURE() << "no error for " << c.format;
    } catch (const ESimpleTranslator& e) {
      EXPECT_EQ(e.what(), std::string("Format '") + c.format + "' invalid or incompatible with argument");
    }
  }
}

}  // namespace
}  // namespace tagsmith
