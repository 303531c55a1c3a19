#include "platform/strings.h"

#include <gtest/gtest.h>

namespace tagsmith {
namespace {

TEST(Strings, Utf8AndUtf16RoundTripEveryPlane) {
  const std::u16string text = u"Ab\u00e9\u0416\u4e2d\U0001F600z";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
  EXPECT_EQ(Utf16ToUtf8(u"\u0416"), "\xD0\x96");
}

TEST(Strings, MalformedInputBecomesReplacementCharacters) {
  struct Case {
    std::string utf8;
    std::u16string expected;
  } cases[] = {
      {"a\xFF" "b", u"a\uFFFDb"},
      {"\xC3", u"\uFFFD"},              // truncated sequence
      {"\xC0\xAF", u"\uFFFD\uFFFD"},    // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToUtf16(c.utf8), c.expected) << c.utf8;
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(Strings, FormatAndCase) {
  EXPECT_EQ(FormatString("#%.6X", 0x12AB), "#0012AB");
  EXPECT_EQ(FormatString("%s", std::string(1000, 'x').c_str()).size(), 1000u);
  EXPECT_TRUE(EqualsIgnoreCase("TranslateData", "translatedata"));
  EXPECT_FALSE(EqualsIgnoreCase("en", "eng"));
  EXPECT_EQ(Latin1ToUtf8("\xE9"), "\xC3\xA9");
}

}  // namespace
}  // namespace tagsmith
