#include "richtext/rtf_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "richtext/rtf_test_support.h"

namespace tagsmith::testing {
namespace {

// A document with two fonts and two colours around `body`.
std::string Doc(const std::string& body) {
  return "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\froman\\fcharset0 Times New Roman;}}"
         "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}\n" +
         body + "}";
}

std::u16string TextOf(const std::string& rtf) { return ReadDocument(rtf)->Text(); }

// ---------------------------------------------------------------------------
// Character formatting

struct FormatCase {
  const char* body;  // the formatted text starts the document
  std::function<void(CharFormat&)> expect;
};

CharFormat DefaultFormat() {
  CharFormat f;
  f.fontName = u"Arial";
  return f;
}

TEST(RtfReader, CharacterControlWordsSetTheFormatOfTheirText) {
  const FormatCase cases[] = {
      {"x", [](CharFormat&) {}},
      {"\\b x", [](CharFormat& f) { f.bold = true; }},
      {"\\b\\b0 x", [](CharFormat&) {}},
      {"\\i x", [](CharFormat& f) { f.italic = true; }},
      {"\\ul x", [](CharFormat& f) { f.underline = tomSingle; }},
      {"\\ulw x", [](CharFormat& f) { f.underline = tomWords; }},
      {"\\uldb x", [](CharFormat& f) { f.underline = tomDouble; }},
      {"\\uld x", [](CharFormat& f) { f.underline = tomDotted; }},
      {"\\uldash x", [](CharFormat& f) { f.underline = tomDash; }},
      {"\\uldashd x", [](CharFormat& f) { f.underline = tomDashDot; }},
      {"\\uldashdd x", [](CharFormat& f) { f.underline = tomDashDotDot; }},
      {"\\ulwave x", [](CharFormat& f) { f.underline = tomWave; }},
      {"\\ulth x", [](CharFormat& f) { f.underline = tomThick; }},
      {"\\ulthdashd x", [](CharFormat& f) { f.underline = tomThick; }},
      {"\\ulhair x", [](CharFormat& f) { f.underline = tomHair; }},
      {"\\ululdbwave x", [](CharFormat& f) { f.underline = tomDoubleWave; }},
      {"\\ulhwave x", [](CharFormat& f) { f.underline = tomHeavyWave; }},
      {"\\ulldash x", [](CharFormat& f) { f.underline = tomLongDash; }},
      {"\\uldb\\ulnone x", [](CharFormat&) {}},
      {"\\ul\\ul0 x", [](CharFormat&) {}},
      {"\\strike x", [](CharFormat& f) { f.strikeout = true; }},
      {"\\striked1 x", [](CharFormat& f) { f.strikeout = true; }},
      {"\\striked1\\striked0 x", [](CharFormat&) {}},
      {"\\cf1 x", [](CharFormat& f) { f.foreColor = 0x0000FF; }},
      {"\\cf2 x", [](CharFormat& f) { f.foreColor = 0xFF0000; }},
      {"\\cf1\\cf0 x", [](CharFormat&) {}},
      {"\\cf9 x", [](CharFormat&) {}},  // no such colour: automatic
      {"\\cb2 x", [](CharFormat& f) { f.backColor = 0xFF0000; }},
      {"\\chcbpat1 x", [](CharFormat& f) { f.backColor = 0x0000FF; }},
      {"\\highlight2 x", [](CharFormat& f) { f.backColor = 0xFF0000; }},
      {"\\highlight2\\highlight0 x", [](CharFormat&) {}},
      {"\\f1 x", [](CharFormat& f) { f.fontName = u"Times New Roman"; }},
      {"\\f7 x", [](CharFormat& f) { f.fontName.clear(); }},  // no such font
      {"\\fs21 x", [](CharFormat& f) { f.size = 10.5f; }},
      {"\\fs0 x", [](CharFormat&) {}},
      {"\\fs99999999999999 x", [](CharFormat& f) { f.size = 1638.0f; }},
      {"\\super x", [](CharFormat& f) { f.superscript = true; }},
      {"\\sub x", [](CharFormat& f) { f.subscript = true; }},
      {"\\super\\sub x", [](CharFormat& f) { f.subscript = true; }},
      {"\\super\\nosupersub x", [](CharFormat&) {}},
      {"\\up6 x", [](CharFormat& f) { f.superscript = true; }},
      {"\\dn6 x", [](CharFormat& f) { f.subscript = true; }},
      {"\\up6\\up0 x", [](CharFormat&) {}},
      {"\\b\\i\\ul\\cf1\\f1\\fs40\\super\\plain x", [](CharFormat&) {}},
      {"{\\b bold}x", [](CharFormat& f) { f.bold = true; }},
  };
  for (const FormatCase& c : cases) {
    auto doc = ReadDocument(Doc(c.body));
    CharFormat expected = DefaultFormat();
    c.expect(expected);
    EXPECT_EQ(FormatAt(*doc, 0), expected) << c.body;
  }
}

TEST(RtfReader, GroupsRestoreTheFormatAroundThem) {
  auto doc = ReadDocument(Doc("a{\\b\\cf1 b{\\i c}d}e"));
  EXPECT_EQ(doc->Text(), u"abcde\r");
  EXPECT_FALSE(FormatAt(*doc, 0).bold);
  EXPECT_TRUE(FormatAt(*doc, 1).bold);
  EXPECT_TRUE(FormatAt(*doc, 2).italic);
  EXPECT_FALSE(FormatAt(*doc, 3).italic);
  EXPECT_EQ(FormatAt(*doc, 3).foreColor, 0x0000FF);
  EXPECT_EQ(FormatAt(*doc, 4), DefaultFormat());
}

TEST(RtfReader, WithoutDefaultFontTextHasNoFontName) {
  auto doc = ReadDocument("{\\rtf1{\\fonttbl{\\f0 Arial;}}plain\\f0 arial\\plain plain}");
  EXPECT_EQ(FormatAt(*doc, 0).fontName, u"");
  EXPECT_EQ(FormatAt(*doc, 5).fontName, u"Arial");
  EXPECT_EQ(FormatAt(*doc, 11).fontName, u"");
}

TEST(RtfReader, FontTablesOfEveryShapeAreRead) {
  // Entries without groups, several in one group, names with escapes and
  // alternative names, and a table left open around the text.
  auto doc = ReadDocument(
      "{\\rtf1{\\fonttbl\\f0\\fnil First;\\f1\\froman Second;{\\f2 Th\\'efrd{\\*\\falt Other};}"
      "{\\f3{\\*\\panose 02020603050405020304}  Fourth  ;}}"
      "\\f0 a\\f1 b\\f2 c\\f3 d}");
  EXPECT_EQ(FormatAt(*doc, 0).fontName, u"First");
  EXPECT_EQ(FormatAt(*doc, 1).fontName, u"Second");
  EXPECT_EQ(FormatAt(*doc, 2).fontName, u"Th\u00EFrd");
  EXPECT_EQ(FormatAt(*doc, 3).fontName, u"Fourth");

  // Control characters in a name are debris of a broken table.
  auto debris = ReadDocument("{\\rtf1{\\fonttbl{\\f0 MS\t\x01 Gothic;}}\\f0 x}");
  EXPECT_EQ(FormatAt(*debris, 0).fontName, u"MS Gothic");

  auto open = ReadDocument(
      "{\\rtf1\\deff0{\\fonttbl{\\f0\\fnil\\fcharset0 Verdana;} \\viewkind4\\pard\\f0\\fs18 5% Auf Patronen \\par}}");
  EXPECT_EQ(open->Text(), u"5% Auf Patronen \r");
  EXPECT_EQ(FormatAt(*open, 0).fontName, u"Verdana");
  EXPECT_EQ(FormatAt(*open, 0).size, 9.0f);
}

// ---------------------------------------------------------------------------
// Text

struct TextCase {
  const char* rtf;
  std::u16string text;
};

TEST(RtfReader, SymbolsEscapesAndUnicodeBecomeTheirCharacters) {
  const TextCase cases[] = {
      {"{\\rtf1 \\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote}", u"—–•‘’“”\r"},
      {"{\\rtf1 \\emspace\\enspace\\qmspace\\zwj\\zwnj\\ltrmark\\rtlmark}",
       u"\u2003\u2002\u2005\u200D\u200C\u200E\u200F\r"},
      {"{\\rtf1 a\\tab b\tc}", u"a\tb\tc\r"},
      {"{\\rtf1 a\\~b\\_c\\-d}", u"a\u00A0b\u2011c\u00ADd\r"},
      {"{\\rtf1 \\{\\}\\\\}", u"{}\\\r"},
      {"{\\rtf1 a\r\nb\n}", u"ab\r"},  // raw line ends are not text
      {"{\\rtf1 \\u8364?}", u"€\r"},
      {"{\\rtf1 \\u8364 ?x}", u"€x\r"},
      {"{\\rtf1 \\u-10179?\\u-8704?}", u"\U0001F600\r"},  // a surrogate pair
      {"{\\rtf1 \\u128512?}", u"\U0001F600\r"},            // a code point above U+FFFF
      {"{\\rtf1 \\u-10179?a}", u"\uFFFDa\r"},              // a lone high surrogate
      {"{\\rtf1 \\u-8704?a}", u"\uFFFDa\r"},               // a lone low surrogate
      {"{\\rtf1 \\uc2\\u8364\\'80\\'80x}", u"€x\r"},
      {"{\\rtf1 \\uc0\\u8364 x}", u"€x\r"},
      {"{\\rtf1 {\\uc3\\u8364 abc}\\u8364 ?x}", u"€€x\r"},  // \uc is part of the group state
      {"{\\rtf1 \\u8364\\'80x}", u"€x\r"},                  // a hex fallback counts as one
      {"{\\rtf1 \\u8364{x}}", u"€x\r"},                     // a group ends the fallback
      {"{\\rtf1 Ma\\u269\\'0dek}", u"Maček\r"},
      {"{\\rtf1 x\\u345\\'3?x}", u"xřx\r"},  // a malformed hex fallback is still one character
      {"{\\rtf1 \\upr{ansi}{\\*\\ud{uni\\u8364 ?}}}", u"uni€\r"},
      {"{\\rtf1 \\u0?a\\u7?b}", u"ab\r"},  // control characters are no text
      {"{\\rtf1 foobar}", u"foobar\r"},
      {"{\\rtf1 \\unknownword text}", u"text\r"},
  };
  for (const TextCase& c : cases) EXPECT_EQ(TextOf(c.rtf), c.text) << c.rtf;
}

TEST(RtfReader, HexBytesAreDecodedInTheCodePageOfTheCurrentFont) {
  const TextCase cases[] = {
      {"{\\rtf1\\ansi caf\\'e9}", u"café\r"},
      {"{\\rtf1\\ansi\\ansicpg1251 \\'e4\\'e0}", u"да\r"},
      {"{\\rtf1\\ansi\\ansicpg0 caf\\'e9}", u"café\r"},  // an unknown page: 1252
      {"{\\rtf1\\ansi\\ansicpg20866 \\'c1}", u"а\r"},      // KOI8-R
      {"{\\rtf1\\mac caf\\'8e}", u"café\r"},
      {"{\\rtf1\\pc caf\\'82}", u"café\r"},
      {"{\\rtf1\\pca \\'9b}", u"ø\r"},
      {"{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset204 Cyr;}{\\f1\\fcharset0 Lat;}}\\f0\\'e4\\f1\\'e4}", u"дä\r"},
      {"{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0 NoCharset;}{\\f1\\fcharset1 Default;}}\\f0\\'e4\\f1\\'e4}",
       u"дд\r"},
      {"{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset161 G;}}\\f0\\'e1}", u"α\r"},
      {"{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset238 E;}}\\f0\\'b9}", u"ą\r"},
      {"{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset162 T;}}\\f0\\'fd}", u"ı\r"},
      {"{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset177 H;}}\\f0\\'e0}", u"א\r"},
      {"{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset178 A;}}\\f0\\'c7}", u"ا\r"},
      {"{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset186 B;}}\\f0\\'e0}", u"ą\r"},
      {"{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset222 Thai;}}\\f0\\'a1}", u"ก\r"},
      {"{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset163 V;}}\\f0\\'d0}", u"Đ\r"},
      {"{\\rtf1\\ansi{\\fonttbl{\\f0\\cpg1253 G;}}\\f0\\'e1}", u"α\r"},
      {"{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset2 Symbol;}}\\f0 a\\'b7}", u"a\uF0B7\r"},
      {"{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset128 MS Gothic;}}\\f0\\'82\\'a0\\'83A}", u"あア\r"},
      {"{\\rtf1\\ansi\\ansicpg932 \\'82\\'a0}", u"あ\r"},
      {"{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset134 SimSun;}}\\f0\\'c4\\'e3\\'ba\\'c3}", u"你好\r"},
      {"{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset136 MingLiU;}}\\f0\\'a7\\'41}", u"你\r"},
      {"{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset129 Gulim;}}\\f0\\'c7\\'d1}", u"한\r"},
      {"{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset129 Gulim;}}\\f0\\'c7\r\n\\'d1}", u"한\r"},
      {"{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset128 J;}}\\f0\\'82}", u"\uFFFD\r"},  // a lead byte alone
      {"{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset128 J;}}\\f0\\'82 x}", u"\uFFFD x\r"},
      {"{\\rtf1\\ansi\\ansicpg65001 \\'e2\\'82\\'ac}", u"€\r"},
  };
  for (const TextCase& c : cases) EXPECT_EQ(TextOf(c.rtf), c.text) << c.rtf;

  // Font names are decoded in their own charset, raw bytes too.
  auto korean = ReadDocument("{\\rtf1{\\fonttbl{\\f0\\fcharset129 \\'b8\\'bc\\'c0\\'ba;}}\\f0 x}");
  EXPECT_EQ(FormatAt(*korean, 0).fontName, u"맑은");
  auto raw = ReadDocument("{\\rtf1{\\fonttbl{\\f0\\fcharset134 \xCB\xCE\xCC\xE5;}}\\f0 x}");
  EXPECT_EQ(FormatAt(*raw, 0).fontName, u"宋体");
}

TEST(RtfReader, DestinationsOutsideTheMainTextAreSkipped) {
  const TextCase cases[] = {
      {"{\\rtf1{\\header head\\par}{\\footerr foot}{\\footnote note}body}", u"body\r"},
      {"{\\rtf1{\\info{\\title T}{\\author A}}{\\stylesheet{\\s0 Normal;}}body}", u"body\r"},
      {"{\\rtf1{\\*\\unknown {nested {deeper}} text}body}", u"body\r"},
      {"{\\rtf1{\\*\\generator Writer;}{\\*\\bkmkstart b}body{\\*\\bkmkend b}}", u"body\r"},
      {"{\\rtf1 a{\\v hidden}b}", u"ab\r"},
      {"{\\rtf1 a\\bin3 }{}b}", u"ab\r"},            // binary data is no text
      {"{\\rtf1 a{\\*\\x\\bin2 }}}b}", u"ab\r"},       // not even in a skipped group
      {"{\\rtf1{\\*\\shprslt\\bin24 }{\\par MUST NOT IMPORT}}}text}", u"text\r"},
      {"{\\rtf1 {\\pntext 1.\\tab}{\\listtext \\'b7\\tab}item}", u"item\r"},
      {"{\\rtf1 a\\chftn{\\*\\atnid x}b\\:c\\|d}", u"abcd\r"},
  };
  for (const TextCase& c : cases) EXPECT_EQ(TextOf(c.rtf), c.text) << c.rtf;
}

// ---------------------------------------------------------------------------
// Paragraphs, breaks and tables

TEST(RtfReader, ParagraphMarksLineBreaksAndTheFinalMark) {
  const TextCase cases[] = {
      {"{\\rtf1 one\\par two\\par}", u"one\rtwo\r"},  // the final \par is the story's mark
      {"{\\rtf1 one\\par two}", u"one\rtwo\r"},
      {"{\\rtf1 one\\par\\par}", u"one\r\r"},
      {"{\\rtf1 one\\par\n}", u"one\r"},
      {"{\\rtf1 \\par}", u"\r"},
      {"{\\rtf1 }", u"\r"},
      {"{\\rtf1 a\\sect b\\page c\\column d}", u"a\rb\rc\rd\r"},
      {"{\\rtf1 a\\\nb\\\r\nc}", u"a\rb\rc\r"},  // backslash and line end
      {"{\\rtf1 one\\line two}", u"one\rtwo\r"},
  };
  for (const TextCase& c : cases) EXPECT_EQ(TextOf(c.rtf), c.text) << c.rtf;

  auto doc = ReadDocument("{\\rtf1 one\\line two\\par three}");
  size_t first = 0, last = 0;
  doc->ParagraphsIn(0, doc->StoryLength(), &first, &last);
  EXPECT_EQ(last - first, 1u) << "a line break does not end its paragraph";
}

TEST(RtfReader, ParagraphsKeepTheFormatInForceAtTheirMark) {
  auto doc = ReadDocument(
      "{\\rtf1 \\qc centred\\par \\pard right\\qr\\par \\pard\\qj justified\\par{\\qc in group\\par}"
      "\\pard left\\par}");
  EXPECT_EQ(doc->Text(), u"centred\rright\rjustified\rin group\rleft\r");
  EXPECT_EQ(ParaAt(*doc, 0).alignment, tomAlignCenter);
  EXPECT_EQ(ParaAt(*doc, 8).alignment, tomAlignRight);
  EXPECT_EQ(ParaAt(*doc, 14).alignment, tomAlignJustify);
  EXPECT_EQ(ParaAt(*doc, 24).alignment, tomAlignCenter);
  EXPECT_EQ(ParaAt(*doc, 33).alignment, tomAlignLeft);

  // Without a final \par the last paragraph keeps the format of its text.
  auto last = ReadDocument("{\\rtf1 a\\par{\\qr b}}");
  EXPECT_EQ(ParaAt(*last, 2).alignment, tomAlignRight);
}

TEST(RtfReader, ListParagraphsGetBulletsButNotTheGeneratedListText) {
  auto doc = ReadDocument(
      "{\\rtf1{\\*\\listtable{\\list{\\listlevel{\\leveltext \\'01\\'b7;}}\\listid1}}"
      "{\\*\\listoverridetable{\\listoverride\\listid1\\ls1}}"
      "\\pard plain\\par"
      "{\\listtext \\'b7\\tab}\\pard\\ls1\\ilvl0 word\\par"
      "\\pard{\\pntext\\f1\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'B7}}\\fi-360 legacy\\par"
      "\\pard after\\par}");
  EXPECT_EQ(doc->Text(), u"plain\rword\rlegacy\rafter\r");
  EXPECT_FALSE(ParaAt(*doc, 0).bullets);
  EXPECT_TRUE(ParaAt(*doc, 6).bullets);
  EXPECT_TRUE(ParaAt(*doc, 11).bullets);
  EXPECT_FALSE(ParaAt(*doc, 18).bullets);
}

TEST(RtfReader, TableCellsEndWithATabAndRowsWithAParagraphMark) {
  EXPECT_EQ(TextOf("{\\rtf1 \\trowd\\cellx1000\\cellx2000\\pard\\intbl a\\cell b\\cell\\row"
                   "\\trowd\\cellx1000\\cellx2000\\pard\\intbl c\\cell d\\cell\\row\\pard after\\par}"),
            u"a\tb\t\rc\td\t\rafter\r");
  // Nested tables: the inner row's \nestrow sits in its properties group, and
  // the plain-text copy for old readers is not read.
  EXPECT_EQ(TextOf("{\\rtf1\\trowd\\cellx5000\\pard\\intbl\\itap2 Deep A\\nestcell Deep B\\nestcell"
                   "{\\*\\nesttableprops\\trowd\\cellx2000\\cellx4000\\nestrow}"
                   "{\\nonesttables FALLBACK\\par}\\pard\\intbl\\itap1 Outer\\cell\\row}"),
            u"Deep A\tDeep B\t\rOuter\t\r");
}

// ---------------------------------------------------------------------------
// Fields

TEST(RtfReader, HyperlinkFieldsPutTheirTargetOnTheResultText) {
  struct Case {
    const char* instruction;
    std::u16string link;
  } cases[] = {
      {"HYPERLINK \"http://example.com/a?b=c\"", u"http://example.com/a?b=c"},
      {" HYPERLINK  http://example.com/ ", u"http://example.com/"},
      {"hyperlink \"http://example.com/\" \\\\o \"tip\"", u"http://example.com/"},
      {"HYPERLINK \\\\l \"chapter\"", u"#chapter"},
      {"HYPERLINK \"doc.rtf\" \\\\l \"part\"", u"doc.rtf#part"},
      {"{HYPERLINK \"c:\\\\\\\\temp\\\\\\\\doc1.doc\"}", u"c:\\temp\\doc1.doc"},
      {"HYPERLINK \"say \\\\\"hi\\\\\"\"", u"say \"hi\""},
      {"HYPERLINK \"http://\\u1087?\\u1088?.example/\"", u"http://пр.example/"},
      {"PAGE \\\\* MERGEFORMAT", u""},
      {"HYPERLINKX \"http://no/\"", u""},
  };
  for (const Case& c : cases) {
    auto doc = ReadDocument(std::string("{\\rtf1 a{\\field{\\*\\fldinst ") + c.instruction +
                            "}{\\fldrslt {\\ul link}}}b}");
    EXPECT_EQ(doc->Text(), u"alinkb\r") << c.instruction;
    EXPECT_EQ(FormatAt(*doc, 1).link, c.link) << c.instruction;
    EXPECT_EQ(FormatAt(*doc, 1).underline, tomSingle);
    EXPECT_EQ(FormatAt(*doc, 0).link, u"");
    EXPECT_EQ(FormatAt(*doc, 5).link, u"");
  }
  // \plain inside the result keeps the link; a nested field links its own.
  auto doc = ReadDocument(
      "{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"http://a/\"}{\\fldrslt \\plain x"
      "{\\field{\\*\\fldinst HYPERLINK \"http://b/\"}{\\fldrslt y}}z}}}");
  EXPECT_EQ(doc->Text(), u"xyz\r");
  EXPECT_EQ(FormatAt(*doc, 0).link, u"http://a/");
  EXPECT_EQ(FormatAt(*doc, 1).link, u"http://b/");
  EXPECT_EQ(FormatAt(*doc, 2).link, u"http://a/");
}

// ---------------------------------------------------------------------------
// Pictures and objects

// A PNG header of 32 x 23 pixels.
const char kPngHex[] = "89504e470d0a1a0a0000000d49484452000000200000001708030000005ddbbdd3";

TEST(RtfReader, PicturesBecomeObjectsWithTheirBytesAndExtent) {
  auto doc = ReadDocument(std::string("{\\rtf1 a{\\pict\\pngblip\\picw32\\pich23\\picwgoal1440\\pichgoal720 ") +
                          kPngHex + "}b}");
  EXPECT_EQ(doc->Text(), u"a\uFFFCb\r");
  ASSERT_EQ(ObjectCount(*doc), 1);
  ObjectAt o = Object(*doc, 0);
  EXPECT_EQ(o.cp, 1);
  EXPECT_EQ(o.extent, (SIZEL{2540, 1270}));
  ASSERT_TRUE(o.data && o.data->picture);
  EXPECT_FALSE(o.data->ole);
  const PictureData& p = *o.data->picture;
  EXPECT_EQ(p.format, PictureFormat::kPng);
  EXPECT_EQ(p.bytes.size(), 33u);
  EXPECT_EQ(p.bytes.substr(0, 4), "\x89PNG");
  EXPECT_EQ(p.width, 32);
  EXPECT_EQ(p.goalWidth, 1440);
  CLSID clsid;
  OleCheck(o.object->GetUserClassID(&clsid));
  EXPECT_EQ(clsid.progId, "Picture.PNG");
  SIZEL extent;
  OleCheck(o.object->GetExtent(DVASPECT_CONTENT, &extent));
  EXPECT_EQ(extent, o.extent);
}

TEST(RtfReader, PictureExtentComesFromGoalScaleOrNaturalSize) {
  struct Case {
    std::string rtf;
    SIZEL extent;
  } cases[] = {
      {"\\jpegblip\\picwgoal1440\\pichgoal720\\picscalex50\\picscaley200 ffd8ff", {1270, 2540}},
      {"\\wmetafile8\\picw2540\\pich1270 0100", {2540, 1270}},          // metafiles: HIMETRIC
      {"\\dibitmap0\\picw96\\pich48 28000000", {2540, 1270}},            // bitmaps: pixels at 96 dpi
      {"\\emfblip\\picw1000\\pich500\\picscalex200 01", {2000, 500}},
      {std::string("\\pngblip ") + kPngHex, {847, 609}},                 // the PNG header's size
      {"\\pngblip\\picwgoal-5\\pichgoal99999999\\picscalex0 89", {0, 1000000}},  // absurd values
  };
  for (const Case& c : cases) {
    auto doc = ReadDocument("{\\rtf1{\\pict" + c.rtf + "}}");
    ASSERT_EQ(ObjectCount(*doc), 1) << c.rtf;
    EXPECT_EQ(Object(*doc, 0).extent, c.extent) << c.rtf;
  }
}

TEST(RtfReader, PictureBytesComeFromHexOrBinAndSignaturesWin) {
  // A picture given as raw bytes, inside a group of its own.
  auto bin = ReadDocument(std::string("{\\rtf1{\\pict\\pngblip{\\bin8 \x89PNG\r\n\x1a\n}}}", 38));
  ASSERT_EQ(ObjectCount(*bin), 1);
  EXPECT_EQ(Object(*bin, 0).data->picture->bytes, std::string("\x89PNG\r\n\x1a\n", 8));

  // Hex digits split by blanks and line ends, an odd digit left over at the end.
  auto hex = ReadDocument("{\\rtf1{\\pict\\wmetafile8 01 02\r\n0a0B f}}");
  EXPECT_EQ(Object(*hex, 0).data->picture->bytes, std::string("\x01\x02\x0a\x0b", 4));
  EXPECT_EQ(Object(*hex, 0).data->picture->mappingMode, 8);

  // A PNG mislabelled as a metafile is a PNG.
  auto png = ReadDocument(std::string("{\\rtf1{\\pict\\wmetafile6 ") + kPngHex + "}}");
  EXPECT_EQ(Object(*png, 0).data->picture->format, PictureFormat::kPng);
}

TEST(RtfReader, OnlyThePictureMeantForThisReaderIsRead) {
  auto doc = ReadDocument(
      "{\\rtf1 a{\\*\\shppict{\\pict{\\*\\picprop{\\sp{\\sn x}{\\sv y}}}\\pngblip\\picwgoal20\\pichgoal20 89}}"
      "{\\nonshppict{\\pict\\wmetafile8\\picw10\\pich10 01}}b}");
  EXPECT_EQ(doc->Text(), u"a\uFFFCb\r");
  ASSERT_EQ(ObjectCount(*doc), 1);
  EXPECT_EQ(Object(*doc, 0).data->picture->format, PictureFormat::kPng);
}

TEST(RtfReader, ShapesGiveTheirPictureAndTextButNotTheirPlainCopy) {
  auto doc = ReadDocument(
      "{\\rtf1 a{\\shp{\\*\\shpinst\\shpleft0{\\sp{\\sn shapeType}{\\sv 75}}"
      "{\\sp{\\sn pib}{\\sv {\\pict\\pngblip\\picwgoal1440\\pichgoal1440 89}}}}"
      "{\\shprslt{\\pict\\wmetafile8 01}copy}}b"
      "{\\shp{\\*\\shpinst{\\sp{\\sn fLine}{\\sv 0}}{\\shptxt boxed}}{\\shprslt copy}}"
      "{\\shp{\\*\\shpinst{\\sp{\\sn fLine}{\\sv 0}}}{\\shprslt plain}}c}");
  EXPECT_EQ(doc->Text(), u"a\uFFFCbboxedplainc\r");
  ASSERT_EQ(ObjectCount(*doc), 1);
  EXPECT_EQ(Object(*doc, 0).extent, (SIZEL{2540, 2540}));
}

TEST(RtfReader, OleObjectsKeepClassDataAndResultPicture) {
  auto doc = ReadDocument(
      "{\\rtf1 x{\\object\\objemb\\objw2880\\objh1440\\objscalex50{\\*\\objclass Equation.3}"
      "{\\*\\objdata 0105000002000000}"
      "{\\result{\\*\\shppict{\\pict\\pngblip\\picwgoal100\\pichgoal100 89}}{\\nonshppict{\\pict\\wmetafile8 01}}"
      "ignored text\\par}}y}");
  EXPECT_EQ(doc->Text(), u"x\uFFFCy\r");
  ASSERT_EQ(ObjectCount(*doc), 1);
  ObjectAt o = Object(*doc, 0);
  EXPECT_EQ(o.cp, 1);
  EXPECT_EQ(o.extent, (SIZEL{2540, 2540}));
  ASSERT_TRUE(o.data && o.data->ole && o.data->picture);
  EXPECT_EQ(o.data->ole->className, "Equation.3");
  EXPECT_EQ(o.data->ole->kind, OleObjectKind::kEmbedded);
  EXPECT_EQ(o.data->ole->data, std::string("\x01\x05\x00\x00\x02\x00\x00\x00", 8));
  EXPECT_EQ(o.data->ole->width, 2880);
  EXPECT_EQ(o.data->ole->scaleX, 50);
  EXPECT_EQ(o.data->picture->format, PictureFormat::kPng);
  CLSID clsid;
  OleCheck(o.object->GetUserClassID(&clsid));
  EXPECT_EQ(clsid.progId, "Equation.3");

  // Without \objw/\objh the object is as large as its result; without a
  // class it has none.
  auto bare = ReadDocument("{\\rtf1{\\object\\objlink{\\result{\\pict\\wmetafile8\\picw500\\pich400 01}}}}");
  ObjectAt b = Object(*bare, 0);
  EXPECT_EQ(b.extent, (SIZEL{500, 400}));
  EXPECT_EQ(b.data->ole->kind, OleObjectKind::kLinked);
  EXPECT_FALSE(b.object->GetUserClassID(&clsid).ok());
}

// ---------------------------------------------------------------------------
// Malformed input

TEST(RtfReader, TextThatIsNotRtfFailsClearly) {
  for (const char* text : {"", "hello", "{\\rt", "{rtf1 x}", "\\rtf1", " {\\pard x}"}) {
    auto doc = RichDocument::Create();
    try {
      ReadRtf(text, *doc);
      ADD_FAILURE() << "no error for " << text;
    } catch (const ERtfReader& e) {
      EXPECT_STREQ(e.what(), "Not an RTF document: it does not begin with {\\rtf") << text;
    }
  }
  // Blanks and a UTF-8 byte order mark before the document are allowed.
  EXPECT_EQ(TextOf("\xEF\xBB\xBF \r\n{\\rtf1 ok}"), u"ok\r");
}

TEST(RtfReader, BrokenDocumentsAreReadAsFarAsTheyGo) {
  const TextCase cases[] = {
      {"{\\rtf1 abc", u"abc\r"},                       // truncated
      {"{\\rtf1 {\\b abc\\par def", u"abc\rdef\r"},
      {"{\\rtf1 abc}}}}garbage{\\b more}", u"abc\r"},  // after the document's group
      {"{\\rtf1 a\\", u"a\r"},
      {"{\\rtf1 a\\'", u"a\r"},
      {"{\\rtf1 a\\'4", u"a\r"},
      {"{\\rtf1 a\\u", u"a\r"},
      {"{\\rtf1 a\\u-", u"a\r"},
      {"{\\rtf1 a\\bin999999999999 bc}", u"a\r"},       // binary data beyond the end
      {"{\\rtf1 a\\bin-5 bc}", u"abc\r"},
      {"{\\rtf1 a\\uc999999999\\u8364 bcdef}", u"a€\r"},  // \uc clamped, the skip ends with the group
      {"{\\rtf1 \\u99999999999 x}", u"\uFFFD\r"},
      {"{\\rtf1 a\\b99999999999999999999999999999 b}", u"ab\r"},
      {"{\\rtf1 a\\averyveryveryveryveryveryveryveryverylongcontrolword b}", u"ab\r"},
      {"{\\rtf1 {\\field{\\fldrslt only result}}}", u"only result\r"},
      {"{\\rtf1 {\\fldrslt no field}}", u"no field\r"},
      {"{\\rtf1 {\\*\\fldinst HYPERLINK \"x\"}text}", u"text\r"},
      {"{\\rtf1 {\\result no object}}", u"no object\r"},
      {"{\\rtf1 {\\*\\objclass x}{\\objdata 00}{\\sv 1}{\\sn 2}{\\shptxt t}{\\nestrow}x}", u"t\rx\r"},
      {"{\\rtf1 {\\pict{\\pict 01}}x}", u"\uFFFCx\r"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.rtf);
    EXPECT_EQ(TextOf(c.rtf), c.text);
  }
  // A picture cut off by the end of the input keeps the bytes it got.
  auto cut = ReadDocument("{\\rtf1 {\\pict\\pngblip\\bin99999999 abc");
  ASSERT_EQ(ObjectCount(*cut), 1);
  EXPECT_EQ(Object(*cut, 0).data->picture->bytes, "abc");
}

TEST(RtfReader, EmptyPicturesBeyondTheInputsShareAreLeftOut) {
  std::string rtf = "{\\rtf1 ";
  for (int i = 0; i < 3000; ++i) rtf += "{\\pict}";
  rtf += "{\\object}}";
  auto doc = ReadDocument(rtf);
  const int32_t budget = static_cast<int32_t>(1000 + rtf.size() / 100);
  EXPECT_EQ(ObjectCount(*doc), budget);
  EXPECT_EQ(doc->StoryLength(), budget + 1);
}

TEST(RtfReader, NestingDeeperThanTheLimitFailsButSkippedGroupsMayNestFreely) {
  const std::string ok = "{\\rtf1" + std::string(kRtfMaxGroupDepth - 1, '{') + "deep" +
                         std::string(kRtfMaxGroupDepth, '}');
  EXPECT_EQ(TextOf(ok), u"deep\r");

  const std::string tooDeep = "{\\rtf1 before" + std::string(kRtfMaxGroupDepth, '{') + "x";
  auto doc = RichDocument::Create();
  try {
    ReadRtf(tooDeep, *doc);
    ADD_FAILURE() << "no error";
  } catch (const ERtfReader& e) {
    EXPECT_STREQ(e.what(), "RTF groups nested more than 1000 levels deep");
  }

  const std::string skipped = "{\\rtf1{\\*\\unknown" + std::string(200000, '{') + std::string(200000, '}') + "}ok}";
  EXPECT_EQ(TextOf(skipped), u"ok\r");
}

}  // namespace
}  // namespace tagsmith::testing
