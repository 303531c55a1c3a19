#include "app/ui/qt_document.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextList>
#include <QWidget>

#include "app/ui/object_painter.h"
#include "qt_test_support.h"
#include "richtext/document_conformance.h"
#include "richtext/rich_document.h"

namespace tagsmith::testing {
namespace {

class QtDocumentFactory : public DocumentFactory {
 public:
  TestDocument Build(const std::function<void(IDocumentBuilder&)>& build) override {
    struct Holder {
      std::unique_ptr<QTextDocument> text = std::make_unique<QTextDocument>();
      std::shared_ptr<QtDocument> doc = std::make_shared<QtDocument>(text.get());
    };
    auto holder = std::make_shared<Holder>();
    build(*holder->doc);
    return TestDocument{holder->doc, holder->doc, holder};
  }
};

QtDocumentFactory factory;
INSTANTIATE_TEST_SUITE_P(QtDocument, DocumentConformance, ::testing::Values(&factory));

TEST(QtDocument, ReadsWhatQtItselfChangesAtOnce) {
  Editor e;
  e.doc->AppendText(u"Hello world", Formatted(false));
  EXPECT_EQ(Bold(*e.doc, 0, 5), tomFalse);
  // The editor formats through Qt: bold on "world", a centred block.
  QTextCursor c = e.At(6);
  c.setPosition(11, QTextCursor::KeepAnchor);
  QTextCharFormat bold;
  bold.setFontWeight(QFont::Bold);
  c.mergeCharFormat(bold);
  QTextBlockFormat centre;
  centre.setAlignment(Qt::AlignHCenter);
  c.mergeBlockFormat(centre);
  EXPECT_EQ(Bold(*e.doc, 6, 11), tomTrue);
  EXPECT_EQ(Bold(*e.doc, 0, 11), tomUndefined);
  EXPECT_EQ(Alignment(*e.doc, 3), tomAlignCenter);
  // Typing: Qt inserts into the document directly.
  e.At(0).insertText("Oh, ");
  EXPECT_EQ(e.Text(), u"Oh, Hello world\r");
}

TEST(QtDocument, FragmentsThatReadTheSameAreOneRun) {
  Editor e;
  e.doc->AppendText(u"abc", Formatted(false));
  // The same attributes, but Qt keeps a format of its own for them: an
  // explicit normal weight and a property this system does not read.
  QTextCursor c = e.At(1);
  c.setPosition(2, QTextCursor::KeepAnchor);
  QTextCharFormat same;
  same.setFontWeight(QFont::Normal);
  same.setToolTip("a tip");
  c.mergeCharFormat(same);
  ASSERT_GT(e.edit.document()->allFormats().size(), 2);
  EXPECT_NE(e.Describe().find("run 0-4 "), std::string::npos) << e.Describe();
}

TEST(QtDocument, TextTypedAfterAnObjectIsText) {
  Editor e;
  auto object = std::make_shared<FakeObject>("Paint.Picture", SIZEL{2540, 2540});
  e.doc->AppendText(u"a", Formatted(false));
  e.doc->AppendObject(object, SIZEL{2540, 2540}, Formatted(false));
  QTextCursor c = e.At(2);
  c.insertText("bc");  // as typing does, in the format of the character before
  EXPECT_EQ(e.Text(), u"a\uFFFCbc\r");
  EXPECT_EQ(ObjectCount(*e.doc), 1);
  EXPECT_EQ(e.doc->ObjectAt(1), object);
  EXPECT_EQ(e.doc->ObjectAt(2), nullptr);
  // One run: the object's character has the format of the text around it.
  EXPECT_NE(e.Describe().find("run 0-5 "), std::string::npos) << e.Describe();
}

TEST(QtDocument, ObjectsSurviveCopiesUndoAndRedo) {
  Editor e;
  auto object = std::make_shared<FakeObject>("Equation.3", SIZEL{1000, 500});
  e.doc->AppendText(u"x", Formatted(false));
  QTextCursor c = e.At(1);
  e.doc->InsertObject(c, object, SIZEL{1000, 500});
  ASSERT_EQ(ObjectCount(*e.doc), 1);
  // A copy inside the document (Qt's own fragments) names the same object.
  QTextCursor sel = e.At(1);
  sel.setPosition(2, QTextCursor::KeepAnchor);
  const QTextDocumentFragment fragment(sel);
  QTextCursor end = e.At(2);
  end.insertFragment(fragment);
  ASSERT_EQ(ObjectCount(*e.doc), 2);
  EXPECT_EQ(Object(*e.doc, 1).object, object);
  EXPECT_EQ(Object(*e.doc, 1).extent, (SIZEL{1000, 500}));
  // Deleted and brought back by undo, then gone again by redo.
  QTextCursor del = e.At(1);
  del.setPosition(3, QTextCursor::KeepAnchor);
  del.removeSelectedText();
  EXPECT_EQ(ObjectCount(*e.doc), 0);
  e.edit.undo();
  EXPECT_EQ(ObjectCount(*e.doc), 2);
  EXPECT_EQ(Object(*e.doc, 0).object, object);
  e.edit.redo();
  EXPECT_EQ(ObjectCount(*e.doc), 0);
}

TEST(QtDocument, AnObjectRemovedForGoodIsLetGo) {
  Editor e;
  std::weak_ptr<FakeObject> weak;
  {
    auto object = std::make_shared<FakeObject>();
    weak = object;
    e.doc->AppendObject(object, SIZEL{100, 100}, CharFormat());
  }
  e.edit.document()->setUndoRedoEnabled(false);
  QTextCursor c = e.At(0);
  c.setPosition(1, QTextCursor::KeepAnchor);
  c.removeSelectedText();
  EXPECT_EQ(ObjectCount(*e.doc), 0);
  EXPECT_TRUE(weak.expired());
}

TEST(QtDocument, UnderlineKindsQtCannotDrawAreKeptUntilTheEditorChangesTheStyle) {
  Editor e;
  CharFormat f;
  f.underline = tomDouble;
  e.doc->AppendText(u"abc", f);
  std::shared_ptr<ITextRange> r;
  OleCheck(e.doc->Range(0, 3, &r));
  std::shared_ptr<ITextFont> font;
  int32_t u = 0;
  OleCheck(r->GetFont(&font));
  OleCheck(font->GetUnderline(&u));
  EXPECT_EQ(u, tomDouble);
  QTextCursor c = e.At(0);
  c.setPosition(3, QTextCursor::KeepAnchor);
  QTextCharFormat wave;
  wave.setUnderlineStyle(QTextCharFormat::WaveUnderline);
  c.mergeCharFormat(wave);
  OleCheck(r->GetFont(&font));
  OleCheck(font->GetUnderline(&u));
  EXPECT_EQ(u, tomWave);
  QTextCharFormat none;
  none.setFontUnderline(false);
  c.mergeCharFormat(none);
  OleCheck(r->GetFont(&font));
  OleCheck(font->GetUnderline(&u));
  EXPECT_EQ(u, tomNone);
}

TEST(QtDocument, UnsetAttributesReadAsTheDefaultFormat) {
  Editor e;
  CharFormat defaults;
  defaults.fontName = u"DejaVu Sans";
  defaults.size = 12;
  e.doc->SetDefaultFormat(defaults);
  e.At(0).insertText("typed", QTextCharFormat());
  std::shared_ptr<ITextRange> r;
  OleCheck(e.doc->Range(0, 5, &r));
  std::shared_ptr<ITextFont> f;
  OleCheck(r->GetFont(&f));
  std::u16string name;
  float size = 0;
  OleCheck(f->GetName(&name));
  OleCheck(f->GetSize(&size));
  EXPECT_EQ(name, u"DejaVu Sans");
  EXPECT_FLOAT_EQ(size, 12);
  // A run the builder gave no font name keeps none.
  e.doc->AppendText(u"x", CharFormat());
  OleCheck(e.doc->Range(5, 6, &r));
  OleCheck(r->GetFont(&f));
  OleCheck(f->GetName(&name));
  EXPECT_EQ(name, u"");
}

TEST(QtDocument, SelectionFollowsTheAttachedEditor) {
  Editor e;
  e.doc->AppendText(u"hello world", Formatted(false));
  QTextCursor c = e.At(6);
  c.setPosition(11, QTextCursor::KeepAnchor);
  e.edit.setTextCursor(c);
  std::shared_ptr<ITextRange> sel;
  OleCheck(e.doc->GetSelection(&sel));
  std::u16string text;
  OleCheck(sel->GetText(&text));
  EXPECT_EQ(text, u"world");
  OleCheck(sel->SetStart(0));
  EXPECT_EQ(e.edit.textCursor().selectionStart(), 0);
  EXPECT_EQ(e.edit.textCursor().selectionEnd(), 11);
  // The editor's cursor cannot pass the final mark.
  OleCheck(sel->SetEnd(100));
  EXPECT_EQ(e.edit.textCursor().selectionEnd(), 11);
}

TEST(QtDocument, SettingAColourIsOneUndoStep) {
  Editor e;
  e.doc->AppendText(u"ab", Formatted(false));
  e.doc->AppendText(u"cd", Formatted(true));
  e.doc->AppendText(u"\ref", Formatted(false));
  const std::string before = e.Describe();
  std::shared_ptr<ITextRange> r;
  OleCheck(e.doc->Range(1, 6, &r));
  std::shared_ptr<ITextFont> f;
  OleCheck(r->GetFont(&f));
  OleCheck(f->SetForeColor(0x0000FF));
  int32_t colour = 0;
  OleCheck(f->GetForeColor(&colour));
  EXPECT_EQ(colour, 0x0000FF);
  EXPECT_EQ(Bold(*e.doc, 1, 6), tomUndefined);  // only the colour changed
  e.edit.undo();
  EXPECT_EQ(e.Describe(), before);
}

TEST(QtDocument, BulletedParagraphsInARowShareOneList) {
  Editor e;
  e.doc->SetParaFormat({tomAlignLeft, true});
  e.doc->AppendText(u"one\rtwo\r", CharFormat());
  e.doc->SetParaFormat({tomAlignLeft, false});
  e.doc->AppendText(u"three", CharFormat());
  QTextDocument* d = e.edit.document();
  ASSERT_EQ(d->blockCount(), 3);
  ASSERT_NE(d->findBlockByNumber(0).textList(), nullptr);
  EXPECT_EQ(d->findBlockByNumber(0).textList(), d->findBlockByNumber(1).textList());
  EXPECT_EQ(d->findBlockByNumber(2).textList(), nullptr);
  EXPECT_NE(e.Describe().find("para 0-4 align=0 list=1\npara 4-8 align=0 list=1\npara 8-14 align=0 list=0"),
            std::string::npos)
      << e.Describe();
}

TEST(QtDocument, CharactersQtTakesAsBlockEndsStayInPlace) {
  Editor e;
  // U+2029 ends a paragraph, LF and U+2028 break lines, frame markers are no text.
  e.doc->AppendText(u"a\u2029b\nc\u2028d\uFDD0e", CharFormat());
  EXPECT_EQ(e.Text(), u"a\rb\rc\rd\uFFFDe\r");
  EXPECT_EQ(e.edit.document()->blockCount(), 2);
}

TEST(QtDocument, PastedParagraphsKeepTheirFormatsAndTheRestJoinsTheCursorsParagraph) {
  auto source = RichDocument::Create();
  source->SetParaFormat({tomAlignCenter, false});
  source->AppendText(u"A\r", CharFormat());
  source->SetParaFormat({tomAlignRight, false});
  source->AppendText(u"B", CharFormat());
  const DocumentContent content = ReadDocumentContent(*source, *source);

  Editor into;  // the middle of a left-aligned paragraph
  into.doc->SetParaFormat({tomAlignJustify, false});
  into.doc->AppendText(u"xy", CharFormat());
  QTextCursor c = into.At(1);
  into.doc->InsertContent(c, content);
  EXPECT_EQ(into.Text(), u"xA\rBy\r");
  EXPECT_EQ(Alignment(*into.doc, 0), tomAlignCenter);
  EXPECT_EQ(Alignment(*into.doc, 4), tomAlignJustify);
  EXPECT_EQ(c.position(), 4);
  into.edit.undo();  // one step
  EXPECT_EQ(into.Text(), u"xy\r");

  Editor empty;  // an empty paragraph takes the last pasted one's format too
  QTextCursor at = empty.At(0);
  empty.doc->InsertContent(at, content);
  EXPECT_EQ(empty.Text(), u"A\rB\r");
  EXPECT_EQ(Alignment(*empty.doc, 0), tomAlignCenter);
  EXPECT_EQ(Alignment(*empty.doc, 3), tomAlignRight);
}

TEST(QtDocument, ObjectsDrawThemselvesAtTheirExtentInTheEditor) {
  Editor e;
  auto red = std::make_shared<FakeObject>("Paint.Picture", SIZEL{2540, 1270}, 0xFFFF0000u);
  e.doc->AppendObject(red, SIZEL{2540, 1270}, CharFormat());  // one inch by half an inch
  e.edit.show();
  const QImage shown = e.edit.viewport()->grab().toImage().convertToFormat(QImage::Format_ARGB32);
  EXPECT_GT(red->draws, 0);
  int minX = shown.width(), maxX = -1, minY = shown.height(), maxY = -1;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x)
      if (shown.pixel(x, y) == 0xFFFF0000u) {
        minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
      }
  ASSERT_GE(maxX, 0) << "the object was not drawn";
  const QSize expected = ExtentPixels(SIZEL{2540, 1270}, e.edit.logicalDpiX(), e.edit.logicalDpiY());
  EXPECT_NEAR(maxX - minX + 1, expected.width(), 1);
  EXPECT_NEAR(maxY - minY + 1, expected.height(), 1);
}

TEST(QtDocument, CallsFailOnceTheQtDocumentIsGone) {
  std::shared_ptr<ITextRange> range;
  std::shared_ptr<QtDocument> doc;
  {
    QTextDocument text;
    doc = std::make_shared<QtDocument>(&text);
    doc->AppendText(u"abc", CharFormat());
    OleCheck(doc->Range(0, 2, &range));
  }
  std::u16string t;
  const TomStatus status = range->GetText(&t);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.message(), "The document is gone");
  int32_t count = 0;
  EXPECT_FALSE(doc->GetObjectCount(&count).ok());
  EXPECT_THROW(doc->AppendText(u"x", CharFormat()), EOleError);
}

TEST(QtDocument, WalkingManyRunsStaysLinear) {
  // 20,000 runs in one document: each step is a look-up in the cached runs,
  // not a walk of Qt's fragments.
  QTextDocument text;
  QtDocument doc(&text, QtDocument::Drawing::kNone);
  {
    QtDocument::BuildScope scope(doc);
    for (int i = 0; i < 10000; ++i) {
      doc.AppendText(u"ab", Formatted(false));
      doc.AppendText(u"cd", Formatted(true));
    }
  }
  std::shared_ptr<ITextRange> r;
  OleCheck(doc.Range(0, 0, &r));
  int runs = 0;
  for (int32_t delta = 1; delta == 1;) {
    OleCheck(r->MoveEnd(tomCharFormat, 1, &delta));
    if (delta != 1) break;
    ++runs;
    OleCheck(r->Move(tomCharFormat, 1, &delta));
  }
  EXPECT_EQ(runs, 20000);
}

}  // namespace
}  // namespace tagsmith::testing
