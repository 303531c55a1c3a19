#include "richtext/rtf_writer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "richtext/rtf_test_support.h"
#include "support/fake_object.h"

namespace tagsmith::testing {
namespace {

std::string Write(RichDocument& doc) { return WriteRtf(doc, doc); }

// Writes the document, reads what was written and expects the same document.
void ExpectRoundTrip(RichDocument& doc) {
  const std::string rtf = Write(doc);
  for (unsigned char c : rtf) ASSERT_LT(c, 0x80) << "the written RTF is 7-bit ASCII";
  auto back = ReadDocument(rtf);
  EXPECT_EQ(Describe(*back), Describe(doc)) << rtf;
}

CharFormat Font(const char16_t* name, float size) {
  CharFormat f;
  f.fontName = name;
  f.size = size;
  return f;
}

PictureData Png() {
  PictureData p;
  p.format = PictureFormat::kPng;
  p.bytes = std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10\0\0\0\x08", 24);
  p.width = 16;
  p.height = 8;
  p.goalWidth = 1440;
  p.goalHeight = 720;
  return p;
}

// A document like the ones users convert: headings, aligned paragraphs,
// several fonts, sizes and colours, a list, a link, a picture and an object.
std::shared_ptr<RichDocument> SampleDocument() {
  auto doc = RichDocument::Create();
  CharFormat title = Font(u"Arial", 20);
  title.bold = true;
  title.foreColor = 0x800000;
  doc->SetParaFormat({tomAlignCenter, false});
  doc->AppendText(u"Tagsmith sample\r", title);

  CharFormat body = Font(u"Times New Roman", 12);
  doc->SetParaFormat({tomAlignJustify, false});
  doc->AppendText(u"Plain text, ", body);
  CharFormat b = body;
  b.bold = true;
  doc->AppendText(u"bold", b);
  doc->AppendText(u", ", body);
  CharFormat i = body;
  i.italic = true;
  i.underline = tomDouble;
  doc->AppendText(u"italic double-underlined", i);
  doc->AppendText(u", ", body);
  CharFormat s = body;
  s.strikeout = true;
  s.backColor = 0x00FFFF;
  doc->AppendText(u"struck on yellow", s);
  doc->AppendText(u", E = mc", body);
  CharFormat sup = body;
  sup.superscript = true;
  doc->AppendText(u"2", sup);
  doc->AppendText(u" and H", body);
  CharFormat sub = body;
  sub.subscript = true;
  doc->AppendText(u"2", sub);
  doc->AppendText(u"O.\r", body);

  doc->SetParaFormat({tomAlignRight, false});
  CharFormat mono = Font(u"Courier New", 10.5f);
  doc->AppendText(u"Code: {braces} \\backslash\\ and\ttab", mono);
  doc->AppendLineBreak(mono);
  doc->AppendText(u"after a line break\r", mono);

  CharFormat intl = Font(u"微软雅黑", 11);
  doc->SetParaFormat({tomAlignLeft, true});
  doc->AppendText(u"Café, Привет, 你好, 😀\r", intl);
  doc->SetParaFormat({tomAlignLeft, true});
  CharFormat link = body;
  link.link = u"https://example.com/page?a=1&b=\"2\"";
  link.underline = tomSingle;
  link.foreColor = 0xFF0000;
  doc->AppendText(u"a link", link);
  doc->AppendText(u" in a list\r", body);

  doc->SetParaFormat({tomAlignCenter, false});
  doc->AppendObject(std::make_shared<PictureObject>(Png()), SIZEL{2540, 1270}, body);
  OleData ole;
  ole.className = "Equation.3";
  ole.data = std::string("\x01\x05\0\0\x02\0\0\0equation data", 21);
  ole.width = 1440;
  ole.height = 720;
  auto equation = std::make_shared<EmbeddedOleObject>(ole, Png());
  doc->AppendObject(equation, equation->data().Extent(), body);
  doc->AppendText(u"\rThe end.", body);
  return doc;
}

TEST(RtfWriter, SampleDocumentReadsBackTheSame) {
  auto doc = SampleDocument();
  ExpectRoundTrip(*doc);
}

TEST(RtfWriter, EmptyDocumentReadsBackTheSame) {
  auto doc = RichDocument::Create();
  ExpectRoundTrip(*doc);
  auto centred = RichDocument::Create();
  centred->SetParaFormat({tomAlignCenter, true});
  ExpectRoundTrip(*centred);
}

TEST(RtfWriter, WritesTheRtfOtherProgramsRead) {
  auto doc = RichDocument::Create();
  CharFormat f = Font(u"Arial", 12);
  f.foreColor = 0x0000FF;
  doc->SetParaFormat({tomAlignCenter, false});
  doc->AppendText(u"Hi é\r", f);
  CharFormat l = f;
  l.link = u"http://x.org/";
  doc->SetParaFormat({tomAlignLeft, true});
  doc->AppendText(u"link", l);
  EXPECT_EQ(Write(*doc),
            "{\\rtf1\\ansi\\ansicpg1252\\uc1\n"
            "{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}{\\f1\\fnil\\fcharset2 Symbol;}}\n"
            "{\\colortbl;\\red255\\green0\\blue0;}\n"
            "\\pard\\qc \\plain\\f0\\cf1 Hi \\u233\\'e9\\par\n"
            "\\pard{\\pntext\\f1\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'B7}}\\fi-360\\li720 "
            "{\\field{\\*\\fldinst{HYPERLINK \"http://x.org/\"}}{\\fldrslt{\\plain\\f0\\cf1 link\\par\n}}}}\n");
}

// The part of the written RTF after the tables: the paragraphs.
std::string Body(const std::string& rtf) {
  const size_t at = rtf.find("\\pard");
  return at == std::string::npos ? rtf : rtf.substr(at);
}

TEST(RtfWriter, TheRunAfterASuperscriptOrSubscriptEndsItExplicitly) {
  CharFormat plain, sup, sub;
  sup.superscript = true;
  sub.subscript = true;
  struct Piece {
    const char16_t* text;
    const CharFormat& format;
  };
  const struct {
    const char* name;
    std::vector<Piece> pieces;
    std::string body;
  } cases[] = {
      {"superscript",
       {{u"E = mc", plain}, {u"2", sup}, {u", next.\r", plain}, {u"after", plain}},
       "\\pard \\plain E = mc\\plain\\super 2\\plain\\nosupersub , next.\\par\n\\pard \\plain after\\par\n}\n"},
      {"subscript",
       {{u"H", plain}, {u"2", sub}, {u"O", plain}},
       "\\pard \\plain H\\plain\\sub 2\\plain\\nosupersub O\\par\n}\n"},
      {"one after the other",
       {{u"x", plain}, {u"2", sup}, {u"i", sub}, {u"y", plain}},
       "\\pard \\plain x\\plain\\super 2\\plain\\sub i\\plain\\nosupersub y\\par\n}\n"},
      {"at the end of a paragraph",
       {{u"x", plain}, {u"2\r", sup}, {u"y", plain}},
       "\\pard \\plain x\\plain\\super 2\\par\n\\pard \\plain\\nosupersub y\\par\n}\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto doc = RichDocument::Create();
    for (const Piece& p : c.pieces) doc->AppendText(p.text, p.format);
    EXPECT_EQ(Body(Write(*doc)), c.body);
    ExpectRoundTrip(*doc);
  }
}

TEST(RtfWriter, EastAsianTextCarriesItsFontAndSizeAsTheAssociatedOnes) {
  const struct {
    const char* name;
    std::u16string text;
    CharFormat format;
    std::string body;
  } cases[] = {
      {"Chinese at the default size", u"中文", Font(u"SimSun", 12),
       "\\pard \\plain\\f0\\fs24\\loch\\af0\\afs24\\hich\\af0\\afs24\\dbch\\af0\\afs24 "
       "\\u20013\\'3f\\u25991\\'3f\\par\n}\n"},
      {"Japanese among Latin text", u"Tokyo 東京。 café", Font(u"MS Mincho", 10.5f),
       "\\pard \\plain\\f0\\fs21\\loch\\af0\\afs21\\hich\\af0\\afs21\\dbch\\af0\\afs21 "
       "\\loch Tokyo \\dbch \\u26481\\'3f\\u20140\\'3f\\u12290\\'3f\\loch  caf\\hich \\u233\\'e9\\par\n}\n"},
      {"Korean without a font", u"한국어", Font(u"", 14),
       "\\pard \\plain\\fs28\\loch\\afs28\\hich\\afs28\\dbch\\afs28 "
       "\\u-10916\\'3f\\u-21139\\'3f\\u-14924\\'3f\\par\n}\n"},
      {"an ideograph beyond the first plane", u"\U00020000a", Font(u"SimSun-ExtB", 12),
       "\\pard \\plain\\f0\\fs24\\loch\\af0\\afs24\\hich\\af0\\afs24\\dbch\\af0\\afs24 "
       "\\u-10176\\'3f\\u-9216\\'3f\\loch a\\par\n}\n"},
      {"no Asian text: nothing more", u"Привет", Font(u"Arial", 12),
       "\\pard \\plain\\f0 \\u1055\\'3f\\u1088\\'3f\\u1080\\'3f\\u1074\\'3f\\u1077\\'3f\\u1090\\'3f\\par\n}\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto doc = RichDocument::Create();
    doc->AppendText(c.text, c.format);
    EXPECT_EQ(Body(Write(*doc)), c.body);
    ExpectRoundTrip(*doc);
  }
}

TEST(RtfWriter, ObjectsKeepTheirExtentWhenTheDocumentResizedThem) {
  // A twip is 1.76 HIMETRIC, so the goal size alone cannot hold every
  // extent; the writer adds a scale where it must. (A side of 0 is written
  // as no goal size: the reader then takes the picture's own size.)
  for (int32_t cx = 1; cx <= 3000; ++cx) {
    auto doc = RichDocument::Create();
    const int32_t cy = 100000 - cx * 7;
    doc->AppendObject(std::make_shared<PictureObject>(Png()), SIZEL{cx, cy}, CharFormat());
    auto back = ReadDocument(Write(*doc));
    ASSERT_EQ(ObjectCount(*back), 1);
    ASSERT_EQ(Object(*back, 0).extent, (SIZEL{cx, cy})) << cx;
  }
  OleData ole;
  ole.className = "Paint.Picture";
  ole.width = 100;
  auto doc = RichDocument::Create();
  doc->AppendObject(std::make_shared<EmbeddedOleObject>(ole, std::nullopt), SIZEL{12345, 6789}, CharFormat());
  EXPECT_EQ(Object(*ReadDocument(Write(*doc)), 0).extent, (SIZEL{12345, 6789}));
}

TEST(RtfWriter, ObjectsWithoutStoredDataKeepTheirClassAndExtent) {
  auto doc = RichDocument::Create();
  doc->AppendText(u"a", CharFormat());
  doc->AppendObject(std::make_shared<FakeObject>("Word.Document.8", SIZEL{2000, 1000}), SIZEL{2000, 1000},
                    CharFormat());
  doc->AppendObject(std::make_shared<FakeObject>("", SIZEL{300, 400}), SIZEL{300, 400}, CharFormat());
  auto back = ReadDocument(Write(*doc));
  EXPECT_EQ(back->Text(), u"a\uFFFC\uFFFC\r");
  ASSERT_EQ(ObjectCount(*back), 2);
  ObjectAt word = Object(*back, 0), none = Object(*back, 1);
  EXPECT_EQ(word.extent, (SIZEL{2000, 1000}));
  CLSID clsid;
  OleCheck(word.object->GetUserClassID(&clsid));
  EXPECT_EQ(clsid.progId, "Word.Document.8");
  EXPECT_EQ(none.extent, (SIZEL{300, 400}));
  EXPECT_FALSE(none.object->GetUserClassID(&clsid).ok());
}

// ---------------------------------------------------------------------------
// Generated documents

class Generator {
 public:
  explicit Generator(uint32_t seed) : rnd_(seed) {}

  std::shared_ptr<RichDocument> Document() {
    auto doc = RichDocument::Create();
    const int steps = Int(0, 40);
    for (int s = 0; s < steps; ++s) {
      const int what = Int(0, 99);
      if (what < 60) doc->AppendText(Text(), Format());
      else if (what < 70) doc->AppendLineBreak(Format());
      else if (what < 80) doc->SetParaFormat({Int(0, 3), Int(0, 1) == 1});
      else if (what < 88) doc->AppendText(u"\r", Format());
      else AppendObject(*doc);
    }
    return doc;
  }

 private:
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rnd_); }
  template <typename T, size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[static_cast<size_t>(Int(0, static_cast<int>(N) - 1))];
  }

  std::u16string Text() {
    static const std::u16string pieces[] = {
        u"a", u"word", u" ", u"Hello, World", u"123", u"\\", u"{", u"}", u"\t", u";", u"?", u"é", u"Ж",
        u"中文", u"\u00A0", u"\u00AD", u"😀", u"\uFFFC", u"\r", u"\"quoted\"", u"~", u"-", u"\u2011"};
    std::u16string t;
    for (int n = Int(1, 6); n > 0; --n) t += Pick(pieces);
    return t;
  }

  CharFormat Format() {
    static const char16_t* const fonts[] = {u"", u"Arial", u"Times New Roman", u"Ünïcødé Font", u"Semi;colon",
                                            u"Brace{}\\Font"};
    static const char16_t* const links[] = {u"", u"", u"http://example.com/", u"https://ex.org/a b?\"q\"\\x",
                                            u"#anchor", u"http://пример.рф/"};
    static const int32_t underlines[] = {tomNone, tomSingle, tomWords, tomDouble, tomDotted, tomDash, tomDashDot,
                                         tomDashDotDot, tomWave, tomThick, tomHair, tomDoubleWave,
                                         tomHeavyWave, tomLongDash};
    CharFormat f;
    f.fontName = Pick(fonts);
    f.size = static_cast<float>(Int(1, 3276)) / 2.0f;
    f.foreColor = Int(0, 2) == 0 ? tomAutoColor : Int(0, 0xFFFFFF);
    f.backColor = Int(0, 2) == 0 ? Int(0, 0xFFFFFF) : tomAutoColor;
    f.bold = Int(0, 1) == 1;
    f.italic = Int(0, 1) == 1;
    f.strikeout = Int(0, 3) == 0;
    f.underline = Int(0, 1) == 0 ? tomNone : Pick(underlines);
    const int script = Int(0, 5);
    f.superscript = script == 0;
    f.subscript = script == 1;
    f.link = Pick(links);
    return f;
  }

  std::string Bytes() {
    std::string b(static_cast<size_t>(Int(0, 300)), '\0');
    for (char& c : b) c = static_cast<char>(Int(0, 255));
    return b;
  }

  PictureData Picture() {
    static const PictureFormat formats[] = {PictureFormat::kPng,  PictureFormat::kJpeg, PictureFormat::kEmf,
                                            PictureFormat::kWmf,  PictureFormat::kDib,  PictureFormat::kDdb,
                                            PictureFormat::kUnknown, PictureFormat::kMacPict,
                                            PictureFormat::kOs2Metafile};
    PictureData p;
    p.format = Pick(formats);
    p.bytes = Bytes();
    p.width = Int(0, 1) ? Int(1, 5000) : 0;
    p.height = Int(0, 1) ? Int(1, 5000) : 0;
    p.goalWidth = Int(0, 1) ? Int(1, 20000) : 0;
    p.goalHeight = Int(0, 1) ? Int(1, 20000) : 0;
    p.scaleX = Int(0, 1) ? Int(1, 500) : 100;
    p.scaleY = Int(0, 1) ? Int(1, 500) : 100;
    if (p.format == PictureFormat::kWmf || p.format == PictureFormat::kOs2Metafile ||
        p.format == PictureFormat::kDib || p.format == PictureFormat::kDdb)
      p.mappingMode = Int(0, 8);
    if (p.format == PictureFormat::kDdb) {
      p.bitsPerPixel = Int(1, 32);
      p.planes = 1;
      p.widthBytes = Int(1, 400);
    }
    return p;
  }

  void AppendObject(RichDocument& doc) {
    static const OleObjectKind kinds[] = {OleObjectKind::kEmbedded, OleObjectKind::kLinked,
                                          OleObjectKind::kAutoLinked, OleObjectKind::kSubscriber,
                                          OleObjectKind::kPublisher, OleObjectKind::kIcon,
                                          OleObjectKind::kHtml, OleObjectKind::kControl};
    static const char* const classes[] = {"Equation.3", "Word.Document.8", "Paint.Picture", "", "Ünï.Class"};
    std::shared_ptr<StoredObject> object;
    if (Int(0, 1) == 0) {
      object = std::make_shared<PictureObject>(Picture());
    } else {
      OleData ole;
      ole.kind = Pick(kinds);
      ole.className = Pick(classes);
      ole.data = Bytes();
      ole.width = Int(0, 1) ? Int(1, 20000) : 0;
      ole.height = Int(0, 1) ? Int(1, 20000) : 0;
      ole.scaleX = Int(0, 1) ? Int(1, 300) : 100;
      ole.scaleY = Int(0, 1) ? Int(1, 300) : 100;
      std::optional<PictureData> result;
      if (Int(0, 2) != 0) result = Picture();
      object = std::make_shared<EmbeddedOleObject>(ole, result);
    }
    doc.AppendObject(object, object->data().Extent(), Format());
  }

  std::mt19937 rnd_;
};

TEST(RtfWriter, GeneratedDocumentsReadBackTheSame) {
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE(seed);
    auto doc = Generator(seed).Document();
    ExpectRoundTrip(*doc);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace tagsmith::testing
