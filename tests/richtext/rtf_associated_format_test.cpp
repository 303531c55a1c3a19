// The associated character formatting of RTF: East Asian and complex-script
// characters take the fonts, sizes, bold and italic of their slots, as word
// processors write them for mixed Latin and Asian paragraphs.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "richtext/rtf_test_support.h"

namespace tagsmith::testing {
namespace {

// Fonts: Arial (the default), Times New Roman, SimSun in the GBK code page,
// an Arabic font.
std::string Doc(const std::string& body) {
  return "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\froman\\fcharset0 Times New Roman;}"
         "{\\f2\\fnil\\fcharset134 SimSun;}{\\f3\\fnil\\fcharset178 Noto Naskh Arabic;}}\n"
         "\\pard\\plain " +
         body + "\\par}";
}

struct Expect {
  std::u16string ch;  // the character, found in the text
  std::u16string font;
  float size;
  bool bold = false;
  bool italic = false;
};

struct Case {
  const char* name;
  std::string body;
  std::vector<Expect> chars;
};

TEST(RtfAssociatedFormat, EachCharacterTakesTheSlotOfItsScript) {
  const Case cases[] = {
      // As LibreOffice writes a paragraph of Latin and Chinese: the Asian
      // font and size after \dbch, the Latin ones after \loch.
      {"LibreOffice mixed paragraph",
       "\\ltrpar\\cf1\\kerning1\\dbch\\af2\\langfe2052\\dbch\\af2\\afs32\\alang1033\\loch\\f1\\fs24\\lang1033 "
       "{\\rtlch \\ltrch\\dbch\\loch\\f1 Judo \\u26580\\'3f\\u36947\\'3f is}",
       {{u"J", u"Times New Roman", 12}, {u"\u67D4", u"SimSun", 16}, {u"\u9053", u"SimSun", 16},
        {u"s", u"Times New Roman", 12}}},
      {"Asian bold and italic after \\dbch",
       "\\loch\\f1\\fs20\\dbch\\af2\\afs28\\ab\\ai A\\u26580\\'3f",
       {{u"A", u"Times New Roman", 10}, {u"\u67D4", u"SimSun", 14, true, true}}},
      {"run's own bold reaches Asian text the slot leaves unset",
       "\\b\\dbch\\af2 A\\u26580\\'3f",
       {{u"A", u"Arial", 12, true}, {u"\u67D4", u"SimSun", 12, true}}},
      {"\\ab0 takes bold off Asian text only",
       "\\b\\dbch\\af2\\ab0 A\\u26580\\'3f",
       {{u"A", u"Arial", 12, true}, {u"\u67D4", u"SimSun", 12, false}}},
      // As Word writes it: \rtlch names the complex-script slot, then the
      // Latin, high-ANSI and East Asian fonts in turn.
      {"Word run prefix",
       "\\rtlch\\fcs1 \\af3\\afs30\\ab \\ltrch\\fcs0 \\fs22\\loch\\af1\\hich\\af1\\dbch\\af2 "
       "Ab\\u1576\\'3f\\u26580\\'3f\\hich\\'e9",
       {{u"A", u"Times New Roman", 11}, {u"\u0628", u"Noto Naskh Arabic", 15, true},
        {u"\u67D4", u"SimSun", 11}, {u"\u00E9", u"Times New Roman", 11}}},
      {"high-ANSI letters take the \\hich font",
       "\\loch\\f1\\hich\\af0 A\\'e9",
       {{u"A", u"Times New Roman", 12}, {u"\u00E9", u"Arial", 12}}},
      {"a bare \\af names the complex-script font",
       "\\af3\\afs40 x\\u1576\\'3f\\u26580\\'3f",
       {{u"x", u"Arial", 12}, {u"\u0628", u"Noto Naskh Arabic", 20}, {u"\u67D4", u"Arial", 12}}},
      {"groups restore the slots",
       "{\\dbch\\af2\\afs40 \\u26580\\'3f}\\u36947\\'3f",
       {{u"\u67D4", u"SimSun", 20}, {u"\u9053", u"Arial", 12}}},
      {"\\plain resets the slots",
       "\\dbch\\af2\\afs40\\plain \\u26580\\'3f",
       {{u"\u67D4", u"Arial", 12}}},
      {"ASCII text of a double-byte run stays Latin",
       "\\dbch\\af2\\afs40 abc",
       {{u"b", u"Arial", 12}}},
      {"full-width forms, kana and hangul are East Asian",
       "\\dbch\\af2\\afs18 \\u65313\\'3f\\u12354\\'3f\\u-21504\\'3f",
       {{u"\uFF21", u"SimSun", 9}, {u"\u3042", u"SimSun", 9}, {u"\uAC00", u"SimSun", 9}}},
      {"both halves of a supplementary ideograph",
       "\\dbch\\af2\\afs18 \\u-10176\\'3f\\u-9216\\'3f",
       {{u"\xD840", u"SimSun", 9}, {u"\xDC00", u"SimSun", 9}}},
      // Word 2003 writes Chinese as bytes of the \dbch font.
      {"double-byte bytes in the code page of the \\dbch font",
       "\\loch\\af1\\hich\\af1\\dbch\\f2 \\'c8\\'e1",
       {{u"\u67D4", u"SimSun", 12}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto doc = ReadDocument(Doc(c.body));
    const std::u16string& text = doc->Text();
    for (const Expect& e : c.chars) {
      const size_t at = text.find(e.ch);
      ASSERT_NE(at, std::u16string::npos) << Quoted(e.ch) << " in " << Quoted(text);
      const CharFormat f = FormatAt(*doc, int32_t(at));
      EXPECT_EQ(Quoted(f.fontName), Quoted(e.font)) << Quoted(e.ch);
      EXPECT_EQ(f.size, e.size) << Quoted(e.ch);
      EXPECT_EQ(f.bold, e.bold) << Quoted(e.ch);
      EXPECT_EQ(f.italic, e.italic) << Quoted(e.ch);
    }
  }
}

}  // namespace
}  // namespace tagsmith::testing
