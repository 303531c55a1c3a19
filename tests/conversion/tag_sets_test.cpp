#include "conversion/tag_sets.h"

#include <gtest/gtest.h>

namespace tagsmith {
namespace {

TEST(TagSets, DefaultsAreEverythingButBulletsForHtmlAndSixKindsForBBCode) {
  THTMLTagSetHolder html;
  TBBCODETagSetHolder bbcode;
  EXPECT_EQ(html.Data.Bits(), 1023);
  EXPECT_EQ(bbcode.Data.Bits(), 249);
  EXPECT_FALSE(html.Data.Contains(httBullets));
  EXPECT_TRUE(bbcode.Data.Contains(bttImage));
  EXPECT_FALSE(bbcode.Data.Contains(bttFontName));
  EXPECT_FALSE(bbcode.Data.Contains(bttFontSize));
  EXPECT_FALSE(bbcode.Data.Contains(bttAlign));
}

TEST(TagSets, PublishedDataPropertyNamesEveryElement) {
  TBBCODETagSetHolder bbcode;
  auto props = bbcode.GetPublishedProperties();
  ASSERT_EQ(props.size(), 1u);
  EXPECT_EQ(props[0].name, "Data");
  EXPECT_EQ(props[0].kind, PublishedProperty::Kind::Set);
  ASSERT_EQ(props[0].setElements.size(), 10u);
  EXPECT_EQ(props[0].setElements[4], "bttBold");
  props[0].setInteger(0xFFFF);
  EXPECT_EQ(bbcode.Data.Bits(), 0x3FF);  // bits beyond the enumeration are dropped
  EXPECT_EQ(props[0].getInteger(), 0x3FF);
}

}  // namespace
}  // namespace tagsmith
