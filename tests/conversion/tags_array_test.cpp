#include "conversion/tags_array.h"

#include <gtest/gtest.h>

#include <climits>

#include "conversion/markup_writers.h"
#include "richtext/rich_document.h"
#include "support/failing_document.h"
#include "support/fake_object.h"

namespace tagsmith {
namespace {

using testing::FakeObject;
using testing::FailingDocument;

struct Event {
  TTagKind kind;
  TTagPhase phase;
  int32_t position;
  bool operator==(const Event&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Event& e) {
  static const char* kinds[] = {"sym", "para", "obj"};
  static const char* phases[] = {"open", "close", "break"};
  return os << kinds[e.kind] << "-" << phases[e.phase] << "@" << e.position;
}

std::vector<Event> Sorted(const TTagsArray& tags) {
  std::vector<Event> out;
  for (const TTagRec* t : tags.SortedTags) out.push_back({t->Kind, t->Phase, t->Position});
  return out;
}

struct Analysed {
  std::shared_ptr<RichDocument> doc;
  std::unique_ptr<TTagsArray> tags = std::make_unique<TTagsArray>();
};

Analysed Analyse(const std::function<void(RichDocument&)>& build) {
  Analysed a;
  a.doc = RichDocument::Create();
  build(*a.doc);
  a.tags->Document = a.doc;
  a.tags->RichEditOle = a.doc;
  a.tags->Analyze();
  return a;
}

CharFormat Bold() {
  CharFormat f;
  f.bold = true;
  return f;
}

TEST(TagEvents, WorkedOrderOfTwoParagraphsAndTwoRuns) {
  auto a = Analyse([](RichDocument& d) {
    d.AppendText(u"Hello", Bold());
    d.AppendText(u"\rWorld", CharFormat());
  });
  EXPECT_EQ(a.tags->GetTextLength(), 11);
  EXPECT_EQ(Sorted(*a.tags), (std::vector<Event>{{tgPara, tpOpen, 0},
                                                 {tgSym, tpOpen, 0},
                                                 {tgSym, tpClose, 5},
                                                 {tgSym, tpBreak, 5},
                                                 {tgSym, tpOpen, 5},
                                                 {tgPara, tpClose, 6},
                                                 {tgPara, tpOpen, 6},
                                                 {tgSym, tpClose, 12},
                                                 {tgPara, tpClose, 12}}));
}

TEST(TagEvents, EmptyDocumentGivesFourEventsAndNoBreak) {
  auto a = Analyse([](RichDocument&) {});
  ASSERT_EQ(a.tags->SymFormats.size(), 1u);
  EXPECT_EQ(a.tags->SymFormats[0].StartPos, 0);
  EXPECT_EQ(a.tags->SymFormats[0].EndPos, 1);
  ASSERT_EQ(a.tags->ParaFormats.size(), 1u);
  EXPECT_EQ(a.tags->ParaFormats[0].Alignment, 0);
  EXPECT_TRUE(a.tags->EmbObjFormats.empty());
  EXPECT_EQ(a.tags->GetTextLength(), 0);
  EXPECT_EQ(Sorted(*a.tags), (std::vector<Event>{
                                 {tgPara, tpOpen, 0}, {tgSym, tpOpen, 0}, {tgSym, tpClose, 1}, {tgPara, tpClose, 1}}));
}

TEST(TagEvents, AdjacentObjectsCloseBeforeTheNextOpensWithRunsBetween) {
  auto a = Analyse([](RichDocument& d) {
    d.AppendText(u"abc", CharFormat());
    d.AppendObject(std::make_shared<FakeObject>(), {100, 100}, Bold());
    d.AppendObject(std::make_shared<FakeObject>(), {100, 100}, CharFormat());
  });
  std::vector<Event> at4;
  for (const Event& e : Sorted(*a.tags))
    if (e.position == 4) at4.push_back(e);
  EXPECT_EQ(at4, (std::vector<Event>{{tgObj, tpClose, 4}, {tgSym, tpClose, 4}, {tgSym, tpOpen, 4}, {tgObj, tpOpen, 4}}));
  std::vector<Event> at3;
  for (const Event& e : Sorted(*a.tags))
    if (e.position == 3) at3.push_back(e);
  // The run ending where the object starts closes first.
  EXPECT_EQ(at3, (std::vector<Event>{{tgSym, tpClose, 3}, {tgSym, tpOpen, 3}, {tgObj, tpOpen, 3}}));
}

TEST(TagEvents, RankTableAndItsError) {
  struct {
    TTagKind kind;
    TTagPhase phase;
    int32_t rank;
  } rows[] = {{tgObj, tpClose, 0}, {tgSym, tpClose, 1}, {tgPara, tpClose, 2}, {tgSym, tpBreak, 3},
              {tgObj, tpBreak, 3}, {tgPara, tpOpen, 4}, {tgSym, tpOpen, 5},   {tgObj, tpOpen, 6}};
  for (auto r : rows) EXPECT_EQ(TagRank(r.kind, r.phase), r.rank) << int(r.kind) << "/" << int(r.phase);
  try {
    TagRank(static_cast<TTagKind>(7), tpOpen);
    FAIL();
  } catch (const EConversionError& e) {
    EXPECT_STREQ(e.what(), "Error in adder block!");
  }
  TTagRec lateOpen{tgObj, tpOpen, 0, 5};
  TTagRec earlyClose{tgObj, tpClose, 0, 6};
  EXPECT_LT(CompareTags(lateOpen, earlyClose), 0);
  EXPECT_EQ(CompareTags(lateOpen, lateOpen), 0);
  // Far beyond 2^31 / 7 characters the order still holds.
  TTagRec far{tgSym, tpOpen, 0, 400000000};
  TTagRec farther{tgSym, tpOpen, 0, 400000001};
  EXPECT_LT(CompareTags(far, farther), 0);
}

TEST(Snapshot, AttributesAreStoredAsTheDocumentReportsThem) {
  CharFormat red;
  red.foreColor = 0x0000FF;
  red.size = 10.5f;
  red.fontName = u"Arial";
  red.underline = tomDotted;
  CharFormat dbl;
  dbl.underline = tomDouble;
  dbl.italic = true;
  dbl.strikeout = true;
  auto a = Analyse([&](RichDocument& d) {
    d.SetParaFormat({tomAlignJustify, false});
    d.AppendText(u"red\r", red);
    d.SetParaFormat({tomAlignRight, false});
    d.AppendText(u"auto", CharFormat());
    d.AppendText(u"xx", dbl);
    d.AppendObject(std::make_shared<FakeObject>(), {5080, 2540}, dbl);
  });
  const auto& runs = a.tags->SymFormats;
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].Sym.ForeColor, 0x000000FF);
  EXPECT_EQ(runs[0].Sym.BackColor, kAutoColor);
  EXPECT_EQ(runs[0].Sym.FontSize, 10.5L);
  EXPECT_EQ(runs[0].Sym.FontName, u"Arial");
  EXPECT_EQ(runs[0].Sym.Style, fsUnderline);
  EXPECT_EQ(runs[1].Sym.ForeColor, kAutoColor);
  EXPECT_EQ(runs[2].Sym.Style, fsItalic | fsUnderline | fsStrikeOut);
  EXPECT_EQ(runs[2].StartPos, 8);
  EXPECT_EQ(runs[2].EndPos, 12);
  ASSERT_EQ(a.tags->ParaFormats.size(), 2u);
  EXPECT_EQ(a.tags->ParaFormats[0].Alignment, 3);
  EXPECT_EQ(a.tags->ParaFormats[1].Alignment, 1);
  ASSERT_EQ(a.tags->EmbObjFormats.size(), 1u);
  const TEmbObjFormat& obj = a.tags->EmbObjFormats[0];
  EXPECT_EQ(obj.StartPos, 10);
  EXPECT_EQ(obj.EndPos, 11);
  EXPECT_EQ(obj.Obj.ObjWidth, 5080);
  EXPECT_EQ(obj.Obj.ObjHeight, 2540);
  EXPECT_NE(obj.Obj.OleObject, nullptr);
  EXPECT_TRUE(obj.Obj.PngFile.empty() && obj.Obj.ImageURL.empty() && obj.Obj.FileSize == 0);
}

TEST(Snapshot, UndefinedUnderlineAndAlignmentReadAsNone) {
  CharFormat u;
  u.underline = tomSingle;
  auto doc = RichDocument::Create();
  doc->AppendText(u"text", u);
  auto failing = std::make_shared<FailingDocument>(doc, doc);
  failing->underline = tomUndefined;
  failing->alignment = tomUndefined;
  TTagsArray tags;
  tags.Document = failing;
  tags.RichEditOle = failing;
  tags.Analyze();
  EXPECT_EQ(tags.SymFormats.at(0).Sym.Style & fsUnderline, 0);
  EXPECT_EQ(tags.ParaFormats.at(0).Alignment, 0);
}

// Every single document call of Analyze and of GetCode is made to fail in
// turn: each failure must surface as EOleError carrying the document's
// message, and nothing may crash.
TEST(Snapshot, EveryFailingDocumentCallEndsAnalyzeOrGetCodeWithItsMessage) {
  auto doc = RichDocument::Create();
  doc->AppendText(u"Hello", Bold());
  doc->AppendText(u"\rWorld", CharFormat());
  doc->AppendObject(std::make_shared<FakeObject>(), {100, 100}, CharFormat());

  auto counter = std::make_shared<FailingDocument>(doc, doc);
  {
    TTagsArray tags;
    tags.Document = counter;
    tags.RichEditOle = counter;
    tags.Analyze();
    tags.GetCode(false);
  }
  const int total = counter->calls;
  ASSERT_GT(total, 50);
  for (int n = 1; n <= total; ++n) {
    auto failing = std::make_shared<FailingDocument>(doc, doc);
    failing->failAt = n;
    TTagsArray tags;
    tags.Document = failing;
    tags.RichEditOle = failing;
    try {
      tags.Analyze();
      tags.GetCode(false);
      ADD_FAILURE() << "call " << n << " failed silently";
    } catch (const EOleError& e) {
      EXPECT_EQ(std::string(e.what()), "Simulated failure of call " + std::to_string(n));
    }
  }
}

TEST(Snapshot, MissingDocumentIsAClearError) {
  TTagsArray tags;
  EXPECT_THROW(tags.Analyze(), EConversionError);
  EXPECT_THROW(tags.GetCode(false), EConversionError);
}

TEST(Code, TagSetsAreReadAtEveryCall) {
  auto doc = RichDocument::Create();
  doc->AppendText(u"b", Bold());
  TBBCODETagSetHolder bbcode;
  TTagsArray tags;
  tags.Document = doc;
  tags.RichEditOle = doc;
  tags.DataModule.BBCode = &bbcode;
  tags.Analyze();
  tags.OutputKind = 1;
  EXPECT_EQ(tags.GetCode(false), u"[b]b\r\n[/b]");
  bbcode.Data.Exclude(bttBold);
  EXPECT_EQ(tags.GetCode(false), u"b\r\n");
  tags.OutputKind = 7;
  EXPECT_EQ(tags.GetCode(false), u"b\r\n");
}

TEST(Code, HelpersSwapColoursAndDoubleLineEnds) {
  EXPECT_EQ(SwapRB(0x00563412u), 0x00123456u);
  EXPECT_EQ(SwapRB(0xAB563412u), 0x00123456u);
  EXPECT_EQ(CRToCRLF(u"a\rb\r\nc\n"), u"a\r\nb\r\n\nc\n");
  EXPECT_EQ(CRToCRLF(u""), u"");
}

}  // namespace
}  // namespace tagsmith

namespace tagsmith {
namespace {

TEST(Code, FontSizesRoundHalvesToTheEvenNeighbour) {
  const struct {
    long double size;
    int expected;
  } rows[] = {{10.5L, 10}, {11.5L, 12}, {12.5L, 12}, {13.5L, 14}, {10.49L, 10}, {10.51L, 11},
              {0.5L, 0},   {1.5L, 2},   {-2.5L, -2}, {-3.5L, -4}, {7.0L, 7},    {1e30L, INT_MAX},
              {-1e30L, INT_MIN}};
  for (const auto& r : rows) EXPECT_EQ(markup::RoundedFontSize(r.size), r.expected) << static_cast<double>(r.size);
}

}  // namespace
}  // namespace tagsmith

namespace tagsmith {
namespace {

TEST(Code, FontSizesBeyondDoublePrecisionStillRoundExactly) {
  // Just above a half: the nearest integer above, though a double would see
  // exactly 10.5.
  const long double justAbove = 10.5L + 1.0L / (1ull << 60);
  if (static_cast<long double>(static_cast<double>(justAbove)) == justAbove) GTEST_SKIP() << "long double is double here";
  EXPECT_EQ(markup::RoundedFontSize(justAbove), 11);
}

}  // namespace
}  // namespace tagsmith

namespace tagsmith {
namespace {

// A name from a document or an address from an image host cannot end its tag
// early or slip markup into the code; ordinary values are written unchanged.
TEST(Code, ValuesThatWouldBreakTheirTagAreEscaped) {
  CharFormat f;
  f.fontName = u"Evil\" onmouseover=\"x";
  f.size = 0;
  auto doc = RichDocument::Create();
  doc->AppendText(u"t", f);
  doc->AppendObject(std::make_shared<FakeObject>(), {100, 100}, f);
  TTagsArray tags;
  tags.Document = doc;
  tags.RichEditOle = doc;
  THTMLTagSetHolder html;
  html.Data = THTMLTagSet(1u << httImage | 1u << httFontName);
  TBBCODETagSetHolder bbcode;
  bbcode.Data = TBBCODETagSet(1u << bttImage | 1u << bttFontName);
  tags.DataModule = {&html, &bbcode};
  tags.Analyze();
  tags.EmbObjFormats[0].Obj.ImageURL = u"http://h/a\"><script>alert(1)</script>[/img][url=http://x]";

  tags.OutputKind = 0;
  EXPECT_EQ(tags.GetCode(false),
            u"<span style=\"font-family: Evil&quot; onmouseover=&quot;x; \">t"
            u"<img src=\"http://h/a&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;[/img][url=http://x]\" border=\"0\">"
            u"\r\n</span>");
  tags.OutputKind = 1;
  EXPECT_EQ(tags.GetCode(false),
            u"[font=\"Evil%22 onmouseover=%22x\"]t"
            u"[img]http://h/a%22><script>alert(1)</script>%5B/img%5D%5Burl=http://x%5D[/img]"
            u"\r\n[/font]");

  tags.EmbObjFormats[0].Obj.ImageURL = u"http://i.example/p/12.png?size=2&x=1";
  EXPECT_EQ(tags.GetTagText(*tags.SortedTags[2], false), u"[img]http://i.example/p/12.png?size=2&x=1");
}

}  // namespace
}  // namespace tagsmith
