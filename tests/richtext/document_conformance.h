#pragma once

// The conformance test of the text-object operations, written once and run
// against every document implementation: a test executable includes this
// header once and instantiates the suite with its own DocumentFactory:
//
//   INSTANTIATE_TEST_SUITE_P(RichDocument, DocumentConformance,
//                            ::testing::Values(&factory));

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "richtext/document_builder.h"
#include "richtext/rich_edit_ole.h"
#include "richtext/tom.h"
#include "support/fake_object.h"

namespace tagsmith::testing {

struct TestDocument {
  std::shared_ptr<ITextDocument> document;
  std::shared_ptr<IRichEditOle> objects;
  std::shared_ptr<void> keepAlive;  // whatever else the implementation needs
};

class DocumentFactory {
 public:
  virtual ~DocumentFactory() = default;
  // Builds a fresh document through its builder interface.
  virtual TestDocument Build(const std::function<void(IDocumentBuilder&)>& build) = 0;
};

class DocumentConformance : public ::testing::TestWithParam<DocumentFactory*> {
 protected:
  TestDocument Make(const std::function<void(IDocumentBuilder&)>& build) { return GetParam()->Build(build); }

  static std::shared_ptr<ITextRange> Range(const TestDocument& d, int32_t first, int32_t limit) {
    std::shared_ptr<ITextRange> r;
    OleCheck(d.document->Range(first, limit, &r));
    return r;
  }
  static std::pair<int32_t, int32_t> Bounds(ITextRange& r) {
    int32_t s = -1, e = -1;
    OleCheck(r.GetStart(&s));
    OleCheck(r.GetEnd(&e));
    return {s, e};
  }
  static std::u16string Text(ITextRange& r) {
    std::u16string t;
    OleCheck(r.GetText(&t));
    return t;
  }
  // The units as the conversion engine walks them: MoveEnd by one, record,
  // Move by one, until the story ends.
  static std::vector<std::pair<int32_t, int32_t>> Walk(const TestDocument& d, int32_t unit) {
    std::vector<std::pair<int32_t, int32_t>> units;
    auto r = Range(d, 0, 0);
    for (int guard = 0; guard < 10000; ++guard) {
      int32_t delta = 0;
      OleCheck(r->MoveEnd(unit, 1, &delta));
      if (delta == 0 || delta == -1) break;
      units.push_back(Bounds(*r));
      OleCheck(r->Move(unit, 1, &delta));
      if (delta == 0 || delta == -1) break;
    }
    return units;
  }
  static std::shared_ptr<ITextFont> Font(const TestDocument& d, int32_t first, int32_t limit) {
    std::shared_ptr<ITextFont> f;
    OleCheck(Range(d, first, limit)->GetFont(&f));
    return f;
  }
  static int32_t Alignment(const TestDocument& d, int32_t first, int32_t limit) {
    std::shared_ptr<ITextPara> p;
    OleCheck(Range(d, first, limit)->GetPara(&p));
    int32_t a = 0;
    OleCheck(p->GetAlignment(&a));
    return a;
  }

  static CharFormat Plain() { return CharFormat(); }
  static CharFormat Bold() {
    CharFormat f;
    f.bold = true;
    return f;
  }
};

using Units = std::vector<std::pair<int32_t, int32_t>>;

TEST_P(DocumentConformance, EmptyDocumentIsOneFinalParagraphMark) {
  auto d = Make([](IDocumentBuilder&) {});
  auto r = Range(d, 0, 100);
  int32_t length = 0;
  OleCheck(r->GetStoryLength(&length));
  EXPECT_EQ(length, 1);
  EXPECT_EQ(Bounds(*r), std::make_pair(0, 1));
  EXPECT_EQ(Text(*r), u"\r");
  EXPECT_EQ(Walk(d, tomCharFormat), (Units{{0, 1}}));
  EXPECT_EQ(Walk(d, tomParagraph), (Units{{0, 1}}));
  int32_t count = -1;
  OleCheck(d.objects->GetObjectCount(&count));
  EXPECT_EQ(count, 0);
}

TEST_P(DocumentConformance, RunsAreMaximalAndCrossParagraphMarks) {
  auto d = Make([](IDocumentBuilder& b) {
    b.AppendText(u"Hello\r", Plain());
    b.AppendText(u"World", Plain());
  });
  EXPECT_EQ(Walk(d, tomCharFormat), (Units{{0, 12}}));
  EXPECT_EQ(Walk(d, tomParagraph), (Units{{0, 6}, {6, 12}}));
  EXPECT_EQ(Text(*Range(d, 0, 12)), u"Hello\rWorld\r");
}

TEST_P(DocumentConformance, FormatChangesSplitRunsAndTheFinalMarkJoinsTheLastRun) {
  auto d = Make([](IDocumentBuilder& b) {
    b.AppendText(u"Hello", Bold());
    b.AppendText(u"\rWor", Plain());
    b.AppendText(u"ld", Plain());
  });
  EXPECT_EQ(Walk(d, tomCharFormat), (Units{{0, 5}, {5, 12}}));
  int32_t bold = 0;
  OleCheck(Font(d, 11, 12)->GetBold(&bold));
  EXPECT_EQ(bold, tomFalse);
}

TEST_P(DocumentConformance, MoveEndFromInsideAUnitGoesToItsEnd) {
  auto d = Make([](IDocumentBuilder& b) {
    b.AppendText(u"aaaa", Bold());
    b.AppendText(u"bbbb\rcc", Plain());
  });
  auto r = Range(d, 2, 2);
  int32_t delta = 0;
  OleCheck(r->MoveEnd(tomCharFormat, 1, &delta));
  EXPECT_EQ(delta, 1);
  EXPECT_EQ(Bounds(*r), std::make_pair(2, 4));
  OleCheck(r->MoveEnd(tomParagraph, 1, &delta));
  EXPECT_EQ(Bounds(*r), std::make_pair(2, 9));
  // A collapsed range moves to the start of the next unit.
  r = Range(d, 1, 1);
  OleCheck(r->Move(tomCharFormat, 1, &delta));
  EXPECT_EQ(delta, 1);
  EXPECT_EQ(Bounds(*r), std::make_pair(4, 4));
  // A non-empty range collapses to its end, which counts as the one unit.
  r = Range(d, 4, 12);
  OleCheck(r->Move(tomCharFormat, 1, &delta));
  EXPECT_EQ(delta, 1);
  EXPECT_EQ(Bounds(*r), std::make_pair(12, 12));
  OleCheck(r->Move(tomCharFormat, 1, &delta));
  EXPECT_EQ(delta, 0);
  OleCheck(r->MoveEnd(tomCharFormat, 1, &delta));
  EXPECT_EQ(delta, 0);
  EXPECT_EQ(Bounds(*r), std::make_pair(12, 12));
  // Backwards: the end goes to the start of its unit, the start follows.
  r = Range(d, 6, 6);
  OleCheck(r->MoveEnd(tomCharFormat, -1, &delta));
  EXPECT_EQ(delta, -1);
  EXPECT_EQ(Bounds(*r), std::make_pair(4, 4));
}

TEST_P(DocumentConformance, BoundsAreClampedAndOrdered) {
  auto d = Make([](IDocumentBuilder& b) { b.AppendText(u"abc", Plain()); });
  EXPECT_EQ(Bounds(*Range(d, 3, 1)), std::make_pair(1, 3));
  EXPECT_EQ(Bounds(*Range(d, -5, 99)), std::make_pair(0, 4));
  auto r = Range(d, 1, 2);
  OleCheck(r->SetStart(3));
  EXPECT_EQ(Bounds(*r), std::make_pair(3, 3));
  OleCheck(r->SetEnd(0));
  EXPECT_EQ(Bounds(*r), std::make_pair(0, 0));
  OleCheck(r->SetEnd(50));
  EXPECT_EQ(Bounds(*r), std::make_pair(0, 4));
}

TEST_P(DocumentConformance, FontOfARangeAnswersUndefinedWhereValuesDiffer) {
  CharFormat a;
  a.fontName = u"Arial";
  a.size = 10.5f;
  a.foreColor = 0x0000FF;
  a.bold = true;
  a.underline = tomDouble;
  CharFormat b = a;
  b.fontName = u"Courier New";
  b.size = 14;
  b.foreColor = tomAutoColor;
  b.backColor = 0x00FF00;
  b.bold = false;
  b.underline = tomDotted;
  b.strikeout = true;
  auto d = Make([&](IDocumentBuilder& builder) {
    builder.AppendText(u"one", a);
    builder.AppendText(u"two", b);
  });
  auto f = Font(d, 0, 3);
  int32_t v = 0;
  float size = 0;
  std::u16string name;
  OleCheck(f->GetBold(&v));
  EXPECT_EQ(v, tomTrue);
  OleCheck(f->GetUnderline(&v));
  EXPECT_EQ(v, tomDouble);
  OleCheck(f->GetSize(&size));
  EXPECT_FLOAT_EQ(size, 10.5f);
  OleCheck(f->GetName(&name));
  EXPECT_EQ(name, u"Arial");
  OleCheck(f->GetForeColor(&v));
  EXPECT_EQ(v, 0x0000FF);
  OleCheck(f->GetBackColor(&v));
  EXPECT_EQ(v, tomAutoColor);

  f = Font(d, 1, 5);
  OleCheck(f->GetBold(&v));
  EXPECT_EQ(v, tomUndefined);
  OleCheck(f->GetItalic(&v));
  EXPECT_EQ(v, tomFalse);  // the same in both runs
  OleCheck(f->GetStrikeThrough(&v));
  EXPECT_EQ(v, tomUndefined);
  OleCheck(f->GetUnderline(&v));
  EXPECT_EQ(v, tomUndefined);
  OleCheck(f->GetForeColor(&v));
  EXPECT_EQ(v, tomUndefined);
  OleCheck(f->GetSize(&size));
  EXPECT_EQ(size, static_cast<float>(tomUndefined));
  OleCheck(f->GetName(&name));
  EXPECT_EQ(name, u"");

  // An insertion point has the format of the character before it.
  OleCheck(Font(d, 3, 3)->GetBold(&v));
  EXPECT_EQ(v, tomTrue);
  OleCheck(Font(d, 4, 4)->GetBold(&v));
  EXPECT_EQ(v, tomFalse);
}

TEST_P(DocumentConformance, SuperscriptSubscriptAndLinksAreCharacterAttributes) {
  CharFormat sup;
  sup.superscript = true;
  CharFormat link;
  link.link = u"http://example.com/";
  auto d = Make([&](IDocumentBuilder& b) {
    b.AppendText(u"x", Plain());
    b.AppendText(u"2", sup);
    b.AppendText(u"site", link);
  });
  EXPECT_EQ(Walk(d, tomCharFormat), (Units{{0, 1}, {1, 2}, {2, 7}}));
  int32_t v = 0;
  OleCheck(Font(d, 1, 2)->GetSuperscript(&v));
  EXPECT_EQ(v, tomTrue);
  OleCheck(Font(d, 1, 2)->GetSubscript(&v));
  EXPECT_EQ(v, tomFalse);
  std::u16string url;
  OleCheck(Range(d, 2, 6)->GetURL(&url));
  EXPECT_EQ(url, u"http://example.com/");
  OleCheck(Range(d, 0, 6)->GetURL(&url));
  EXPECT_EQ(url, u"");
}

TEST_P(DocumentConformance, ParagraphsKeepTheirOwnAlignmentAndBullets) {
  auto d = Make([](IDocumentBuilder& b) {
    b.SetParaFormat({tomAlignCenter, false});
    b.AppendText(u"one\r", CharFormat());
    b.SetParaFormat({tomAlignJustify, true});
    b.AppendText(u"two\r", CharFormat());
    b.SetParaFormat({tomAlignRight, false});
    b.AppendText(u"three", CharFormat());
  });
  EXPECT_EQ(Walk(d, tomParagraph), (Units{{0, 4}, {4, 8}, {8, 14}}));
  EXPECT_EQ(Alignment(d, 0, 4), tomAlignCenter);
  EXPECT_EQ(Alignment(d, 4, 8), tomAlignJustify);
  EXPECT_EQ(Alignment(d, 8, 14), tomAlignRight);
  EXPECT_EQ(Alignment(d, 2, 6), tomUndefined);
  EXPECT_EQ(Alignment(d, 5, 5), tomAlignJustify);
  std::shared_ptr<ITextPara> p;
  OleCheck(Range(d, 4, 8)->GetPara(&p));
  int32_t list = 0;
  OleCheck(p->GetListType(&list));
  EXPECT_EQ(list, tomListBullet);
}

TEST_P(DocumentConformance, LineBreakReadsAsParagraphMarkButKeepsTheParagraph) {
  auto d = Make([](IDocumentBuilder& b) {
    b.AppendText(u"one", Plain());
    b.AppendLineBreak(Plain());
    b.AppendText(u"two", Plain());
  });
  EXPECT_EQ(Text(*Range(d, 0, 8)), u"one\rtwo\r");
  EXPECT_EQ(Walk(d, tomParagraph), (Units{{0, 8}}));
}

TEST_P(DocumentConformance, ObjectsAreOnePlaceholderCharacterWithExtent) {
  auto picture = std::make_shared<FakeObject>("Paint.Picture", SIZEL{5080, 2540});
  auto equation = std::make_shared<FakeObject>("Equation.3", SIZEL{100, 200});
  auto d = Make([&](IDocumentBuilder& b) {
    b.AppendText(u"abc", Plain());
    b.AppendObject(picture, SIZEL{5080, 2540}, Plain());
    b.AppendObject(equation, SIZEL{100, 200}, Bold());
    b.AppendText(u"z", Plain());
  });
  EXPECT_EQ(Text(*Range(d, 0, 7)), u"abc\uFFFC\uFFFCz\r");
  EXPECT_EQ(Walk(d, tomCharFormat), (Units{{0, 4}, {4, 5}, {5, 7}}));
  int32_t count = 0;
  OleCheck(d.objects->GetObjectCount(&count));
  ASSERT_EQ(count, 2);
  REOBJECT o;
  o.cbStruct = sizeof(REOBJECT);
  OleCheck(d.objects->GetObject(1, &o, REO_GETOBJ_POLEOBJ));
  EXPECT_EQ(o.cp, 4);
  EXPECT_EQ(o.sizel, (SIZEL{100, 200}));
  EXPECT_EQ(o.poleobj, equation);
  OleCheck(d.objects->GetObject(0, &o, REO_GETOBJ_NO_INTERFACES));
  EXPECT_EQ(o.cp, 3);
  EXPECT_EQ(o.poleobj, nullptr);

  REOBJECT wrong;
  EXPECT_FALSE(d.objects->GetObject(0, &wrong, REO_GETOBJ_POLEOBJ).ok());
  EXPECT_FALSE(d.objects->GetObject(2, &o, REO_GETOBJ_POLEOBJ).ok());
  EXPECT_FALSE(d.objects->GetObject(-1, &o, REO_GETOBJ_POLEOBJ).ok());
}

TEST_P(DocumentConformance, SettingColourAndSizeOnARangeKeepsRunsMaximal) {
  auto d = Make([](IDocumentBuilder& b) { b.AppendText(u"abcdef", Plain()); });
  std::shared_ptr<ITextFont> f = Font(d, 2, 4);
  OleCheck(f->SetForeColor(0x123456));
  OleCheck(f->SetSize(20));
  EXPECT_EQ(Walk(d, tomCharFormat), (Units{{0, 2}, {2, 4}, {4, 7}}));
  int32_t colour = 0;
  OleCheck(Font(d, 2, 4)->GetForeColor(&colour));
  EXPECT_EQ(colour, 0x123456);
  // Undoing the change by hand merges the runs again.
  f = Font(d, 2, 4);
  OleCheck(f->SetForeColor(tomAutoColor));
  OleCheck(f->SetSize(12));
  EXPECT_EQ(Walk(d, tomCharFormat), (Units{{0, 7}}));
  EXPECT_FALSE(f->SetSize(0).ok());
}

TEST_P(DocumentConformance, UnknownUnitFails) {
  auto d = Make([](IDocumentBuilder& b) { b.AppendText(u"abc", Plain()); });
  int32_t delta = 0;
  EXPECT_FALSE(Range(d, 0, 0)->MoveEnd(9999, 1, &delta).ok());
  EXPECT_THROW(OleCheck(Range(d, 0, 0)->Move(9999, 1, &delta)), EOleError);
}

}  // namespace tagsmith::testing
