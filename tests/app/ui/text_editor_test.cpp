#include "app/ui/text_editor.h"

#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QImage>
#include <QKeyEvent>
#include <QListWidget>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QUrl>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ui/document_io.h"
#include "app/ui/paste_special_dialog.h"
#include "qt_test_support.h"
#include "richtext/rtf_test_support.h"
#include "scripted_modal_ui.h"
#include "support/picture_bytes.h"
#include "support/temp_dir.h"

namespace tagsmith::testing {
namespace {

std::u16string TextOf(QtDocument& doc) {
  std::shared_ptr<ITextRange> r;
  OleCheck(doc.Range(0, INT32_MAX, &r));
  std::u16string t;
  OleCheck(r->GetText(&t));
  return t;
}

std::string PngBytes(int width, int height) { return MakePng(Pattern(width, height)); }

std::shared_ptr<PictureObject> Picture(int width, int height) {
  PictureData p{PictureFormat::kPng, PngBytes(width, height), width, height};
  p.goalWidth = width * 15;
  p.goalHeight = height * 15;
  return std::make_shared<PictureObject>(std::move(p));
}

void Select(TTextEditor& e, int first, int limit) {
  QTextCursor c(e.document());
  c.setPosition(first);
  c.setPosition(limit, QTextCursor::KeepAnchor);
  e.setTextCursor(c);
}

void Caret(TTextEditor& e, int position) { Select(e, position, position); }

void SetClipboard(const std::function<void(QMimeData&)>& fill) {
  auto* mime = new QMimeData;
  fill(*mime);
  QGuiApplication::clipboard()->setMimeData(mime);
}

const char kRtf[] = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 plain {\\b bold}\\par}";
const char kBrokenRtf[] = "not rtf at all";

// An editor with "ab" bold, a paragraph mark, "c", a picture and "d".
struct Filled {
  Filled() {
    auto& doc = editor.Document();
    doc.AppendText(u"ab", Formatted(true));
    doc.AppendText(u"\rc", Formatted(false));
    doc.AppendObject(Picture(6, 4), SIZEL{159, 106}, Formatted(false));
    doc.AppendText(u"d", Formatted(false));
    editor.document()->clearUndoRedoStacks();
  }
  TTextEditor editor;
};

TEST(TextEditorClipboard, CopyAndPasteCarryTheContentBetweenEditors) {
  struct Case {
    const char* name;
    int first, limit;
    const char16_t* pasted;
    bool png;
  } cases[] = {
      {"formatted text across a paragraph mark", 1, 4, u"b\rc\r", false},
      {"text and a picture", 0, 6, u"ab\rc\uFFFCd\r", false},
      {"a lone picture", 4, 5, u"\uFFFC\r", true},
  };
  for (const Case& c : cases) {
    Filled from;
    Select(from.editor, c.first, c.limit);
    ASSERT_TRUE(from.editor.Copy()) << c.name;
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(mime) << c.name;
    EXPECT_TRUE(mime->hasFormat("text/rtf")) << c.name;
    EXPECT_TRUE(mime->hasFormat("application/rtf")) << c.name;
    EXPECT_TRUE(mime->hasHtml()) << c.name;
    EXPECT_EQ(mime->hasFormat("image/png"), c.png) << c.name;
    if (c.png) {
      QImage png;
      ASSERT_TRUE(png.loadFromData(mime->data("image/png"), "PNG")) << c.name;
      EXPECT_EQ(png.size(), QSize(6, 4)) << c.name;
    }

    TTextEditor to;
    EXPECT_TRUE(to.Paste()) << c.name;
    EXPECT_EQ(TextOf(to.Document()), c.pasted) << c.name;
    // The same content as a direct copy of the range into a document.
    TTextEditor direct;
    QTextCursor at(direct.document());
    PasteMime(direct.Document(), at, *MimeFromRange(from.editor.Document(), c.first, c.limit));
    EXPECT_EQ(Describe(to.Document(), to.Document()), Describe(direct.Document(), direct.Document())) << c.name;
  }
}

TEST(TextEditorClipboard, CutRemovesTheSelectionOnceItIsOnTheClipboard) {
  Filled f;
  Select(f.editor, 1, 4);
  ASSERT_TRUE(f.editor.Cut());
  EXPECT_EQ(TextOf(f.editor.Document()), u"a\uFFFCd\r");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "b\nc");
  f.editor.undo();
  EXPECT_EQ(TextOf(f.editor.Document()), u"ab\rc\uFFFCd\r");

  // Without a selection, and in a read-only editor, nothing changes.
  SetClipboard([](QMimeData& m) { m.setText("kept"); });
  Caret(f.editor, 2);
  EXPECT_FALSE(f.editor.Cut());
  EXPECT_FALSE(f.editor.Copy());
  f.editor.setReadOnly(true);
  Select(f.editor, 0, 2);
  EXPECT_FALSE(f.editor.Cut());
  EXPECT_EQ(TextOf(f.editor.Document()), u"ab\rc\uFFFCd\r");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "kept");
}

TEST(TextEditorClipboard, TheStandardKeysGoThroughTheEditorsOwnFormats) {
  Filled f;
  f.editor.show();
  Select(f.editor, 0, 2);
  QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
  QApplication::sendEvent(&f.editor, &copy);
  ASSERT_TRUE(QGuiApplication::clipboard()->mimeData()->hasFormat("text/rtf"));
  QKeyEvent cut(QEvent::KeyPress, Qt::Key_X, Qt::ControlModifier);
  QApplication::sendEvent(&f.editor, &cut);
  EXPECT_EQ(TextOf(f.editor.Document()), u"\rc\uFFFCd\r");
  Caret(f.editor, 1);
  QKeyEvent paste(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier);
  QApplication::sendEvent(&f.editor, &paste);
  EXPECT_EQ(TextOf(f.editor.Document()), u"\rabc\uFFFCd\r");
  EXPECT_EQ(Bold(f.editor.Document(), 1, 3), tomTrue);
}

TEST(TextEditorPaste, TakesTheFirstFormatThatReadsInPasteOrder) {
  struct Case {
    const char* name;
    std::function<void(QMimeData&)> fill;
    const char16_t* text;
    int32_t bold;  // of the first pasted character
  } cases[] = {
      {"RTF before HTML and text",
       [](QMimeData& m) {
         m.setData("text/rtf", kRtf);
         m.setHtml("<i>html</i>");
         m.setText("text");
       },
       u"plain bold\r", tomFalse},
      {"application/rtf as well", [](QMimeData& m) { m.setData("application/rtf", kRtf); }, u"plain bold\r",
       tomFalse},
      {"broken RTF falls back to HTML",
       [](QMimeData& m) {
         m.setData("text/rtf", kBrokenRtf);
         m.setHtml("<b>html</b>");
         m.setText("text");
       },
       u"html\r", tomTrue},
      {"broken RTF falls back to text",
       [](QMimeData& m) {
         m.setData("text/rtf", kBrokenRtf);
         m.setText("text");
       },
       u"text\r", tomFalse},
      {"a picture before text",
       [](QMimeData& m) {
         m.setData("image/png", QByteArray::fromStdString(PngBytes(3, 2)));
         m.setText("text");
       },
       u"\uFFFC\r", tomFalse},
      {"a damaged picture falls back to text",
       [](QMimeData& m) {
         m.setData("image/png", "\x89PNG\r\n\x1a\n damaged");
         m.setText("text");
       },
       u"text\r", tomFalse},
  };
  for (const Case& c : cases) {
    ScriptedModalUi ui;
    SetClipboard(c.fill);
    TTextEditor e;
    EXPECT_TRUE(e.Paste()) << c.name;
    EXPECT_EQ(TextOf(e.Document()), c.text) << c.name;
    EXPECT_EQ(Bold(e.Document(), 0, 1), c.bold) << c.name;
    EXPECT_TRUE(ui.Errors().empty()) << c.name;
  }
}

TEST(TextEditorPaste, DataThatCannotBeReadIsAnErrorBoxAndChangesNothing) {
  ScriptedModalUi ui;
  Filled f;
  Select(f.editor, 0, 2);
  SetClipboard([](QMimeData& m) {
    m.setData("text/rtf", kBrokenRtf);
    m.setData("image/png", "\x89PNG\r\n\x1a\n damaged");
  });
  EXPECT_FALSE(f.editor.Paste());
  ASSERT_EQ(ui.Errors().size(), 1u);
  EXPECT_TRUE(ui.Errors()[0].startsWith("The data could not be pasted: ")) << ui.Errors()[0].toStdString();
  EXPECT_EQ(TextOf(f.editor.Document()), u"ab\rc\uFFFCd\r");
  EXPECT_TRUE(f.editor.textCursor().hasSelection());
  EXPECT_FALSE(f.editor.document()->isUndoAvailable());
}

TEST(TextEditorPaste, PasteIsAvailableExactlyWhenTheClipboardHoldsSomethingPasteable) {
  struct Case {
    const char* name;
    std::function<void(QMimeData&)> fill;
    bool pasteable;
  } cases[] = {
      {"nothing", [](QMimeData&) {}, false},
      {"text", [](QMimeData& m) { m.setText("x"); }, true},
      {"RTF", [](QMimeData& m) { m.setData("text/rtf", kRtf); }, true},
      {"HTML", [](QMimeData& m) { m.setHtml("<p>x</p>"); }, true},
      {"a picture", [](QMimeData& m) { m.setData("image/png", QByteArray::fromStdString(PngBytes(2, 2))); }, true},
      {"Qt's image", [](QMimeData& m) { m.setImageData(QImage(2, 2, QImage::Format_RGB32)); }, true},
      {"an unknown format", [](QMimeData& m) { m.setData("application/x-unknown", "x"); }, false},
  };
  TTextEditor e;
  std::vector<bool> spy;
  QObject::connect(&e, &TTextEditor::pasteAvailableChanged, [&](bool available) { spy.push_back(available); });
  const QList<QAction*> own = e.OwnActions();
  for (const Case& c : cases) {
    spy.clear();
    SetClipboard(c.fill);
    EXPECT_EQ(e.CanPasteNow(), c.pasteable) << c.name;
    ASSERT_FALSE(spy.empty()) << c.name;
    EXPECT_EQ(spy.back(), c.pasteable) << c.name;
    EXPECT_EQ(own[2]->isEnabled(), c.pasteable) << c.name;  // Paste
    EXPECT_EQ(own[3]->isEnabled(), c.pasteable) << c.name;  // Paste As
  }
  QGuiApplication::clipboard()->clear();
  EXPECT_FALSE(e.CanPasteNow());
  SetClipboard([](QMimeData& m) { m.setText("x"); });
  e.setReadOnly(true);
  EXPECT_FALSE(e.CanPasteNow());
}

TEST(TextEditorPasteAs, ListsWhatTheClipboardHoldsNowAndPastesTheChoice) {
  ScriptedModalUi ui;
  SetClipboard([](QMimeData& m) {
    m.setData("text/rtf", "{\\rtf1 {\\b A}B}");
    m.setText("text");
  });
  TTextEditor e;
  QStringList listed;
  ui.dialogs.push_back([&](QDialog& d) {
    auto* list = d.findChild<QListWidget*>("lstFormats");
    for (int i = 0; list && i < list->count(); ++i) listed << list->item(i)->text();
    EXPECT_TRUE(static_cast<TPasteSpecialDialog&>(d).SelectFormat(PasteFormat::UnformattedText));
    return int(QDialog::Accepted);
  });
  EXPECT_TRUE(e.PasteAs());
  EXPECT_EQ(ui.calls.at(0).title, "Paste Special");
  EXPECT_EQ(listed, QStringList({"Rich text", "Rich text without objects", "Unformatted text"}));
  EXPECT_EQ(TextOf(e.Document()), u"text\r");

  // A picture and HTML now; the dialog offers those.
  SetClipboard([](QMimeData& m) {
    m.setHtml("<b>H</b>");
    m.setData("image/png", QByteArray::fromStdString(PngBytes(2, 2)));
  });
  listed.clear();
  ui.dialogs.push_back([&](QDialog& d) {
    auto* list = d.findChild<QListWidget*>("lstFormats");
    for (int i = 0; list && i < list->count(); ++i) listed << list->item(i)->text();
    static_cast<TPasteSpecialDialog&>(d).SelectFormat(PasteFormat::Picture);
    return int(QDialog::Accepted);
  });
  Caret(e, 0);
  EXPECT_TRUE(e.PasteAs());
  EXPECT_EQ(listed, QStringList({"HTML", "Picture"}));
  EXPECT_EQ(TextOf(e.Document()), u"\uFFFCtext\r");
  EXPECT_TRUE(ui.Errors().empty());
}

TEST(TextEditorPasteAs, ACancelOrAFormatGoneFromTheClipboardPastesNothing) {
  ScriptedModalUi ui;
  SetClipboard([](QMimeData& m) {
    m.setData("text/rtf", "{\\rtf1 A}");
    m.setText("text");
  });
  TTextEditor e;
  ui.dialogs.push_back([](QDialog&) { return int(QDialog::Rejected); });
  EXPECT_FALSE(e.PasteAs());
  EXPECT_EQ(TextOf(e.Document()), u"\r");
  EXPECT_TRUE(ui.Errors().empty());

  // The user copied something else while the dialog was open.
  ui.dialogs.push_back([](QDialog& d) {
    static_cast<TPasteSpecialDialog&>(d).SelectFormat(PasteFormat::RichText);
    SetClipboard([](QMimeData& m) { m.setText("other"); });
    return int(QDialog::Accepted);
  });
  EXPECT_FALSE(e.PasteAs());
  EXPECT_EQ(TextOf(e.Document()), u"\r");
  ASSERT_EQ(ui.Errors().size(), 1u);
  EXPECT_EQ(ui.Errors()[0], "The data holds no Rich text");

  // Nothing pasteable: no dialog, the error box.
  SetClipboard([](QMimeData& m) { m.setData("application/x-unknown", "x"); });
  EXPECT_FALSE(e.PasteAs());
  EXPECT_EQ(ui.Count("exec"), 2u);
  EXPECT_EQ(ui.Errors().back(), "There is nothing to paste");
}

// The editor's drop handling as a drag over its window reaches it.
struct DropSite : TTextEditor {
  void Drop(QDropEvent& event) { dropEvent(&event); }
  bool Accepts(const QMimeData& mime) const { return canInsertFromMimeData(&mime); }
};

class PictureFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir / "a.png", PngBytes(20, 10));
    WriteFile(dir / "b.png", PngBytes(4, 4));
    WriteFile(dir / "bad.png", "\x89PNG\r\n\x1a\n damaged");
    editor.Document().AppendText(u"abcd", CharFormat());
    editor.document()->clearUndoRedoStacks();
    SetClipboard([](QMimeData& m) { m.setText("the user's"); });
  }
  QString File(const char* name) const { return QString::fromStdString((dir / name).string()); }
  std::unique_ptr<QMimeData> FileDrop(const QStringList& files) const {
    auto mime = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& f : files) urls << QUrl::fromLocalFile(f);
    mime->setUrls(urls);
    return mime;
  }
  void ExpectUnchanged() {
    EXPECT_EQ(TextOf(editor.Document()), u"abcd\r");
    EXPECT_FALSE(editor.document()->isUndoAvailable());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "the user's");
    EXPECT_FALSE(QGuiApplication::clipboard()->mimeData()->hasImage());
  }
  TempDir dir;
  ScriptedModalUi ui;
  DropSite editor;
};

TEST_F(PictureFiles, InsertPictureFilesInsertsAllAsOneUndoStepAndLeavesTheClipboard) {
  Select(editor, 1, 3);
  ASSERT_TRUE(editor.InsertPictureFiles({File("a.png"), File("b.png")}));
  EXPECT_EQ(TextOf(editor.Document()), u"a\uFFFC\uFFFCd\r");
  EXPECT_EQ(editor.textCursor().position(), 3);
  EXPECT_EQ(*editor.Document().ObjectExtentAt(1), (SIZEL{529, 265}));
  EXPECT_EQ(*editor.Document().ObjectExtentAt(2), (SIZEL{106, 106}));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "the user's");
  EXPECT_TRUE(ui.Errors().empty());
  editor.undo();
  ExpectUnchanged();
}

TEST_F(PictureFiles, APictureThatCannotBeReadIsReportedAndNothingIsInserted) {
  struct Case {
    const char* name;
    QStringList files;
    std::string error;
  } cases[] = {
      {"damaged, after a good one", {File("a.png"), File("bad.png")},
       "Cannot insert the picture " + (dir / "bad.png").string() + ". The picture cannot be read"},
      {"missing, first", {File("none.png"), File("a.png")},
       "Cannot read the picture " + (dir / "none.png").string() + ": No such file or directory"},
  };
  for (const Case& c : cases) {
    ui.calls.clear();
    Caret(editor, 2);
    EXPECT_FALSE(editor.InsertPictureFiles(c.files)) << c.name;
    ASSERT_EQ(ui.Errors().size(), 1u) << c.name;
    EXPECT_EQ(ui.Errors()[0].toStdString(), c.error) << c.name;
    ExpectUnchanged();
  }
}

TEST_F(PictureFiles, DroppedPictureFilesGoInWhereTheyAreDroppedAllOrNothing) {
  editor.resize(400, 300);
  editor.show();
  QTextCursor two(editor.document());
  two.setPosition(2);
  const QPointF at = editor.cursorRect(two).center();

  const auto bad = FileDrop({File("a.png"), File("bad.png")});
  EXPECT_TRUE(editor.Accepts(*bad));
  QDropEvent refused(at, Qt::CopyAction, bad.get(), Qt::LeftButton, Qt::NoModifier);
  editor.Drop(refused);
  EXPECT_FALSE(refused.isAccepted());
  EXPECT_EQ(ui.Errors().size(), 1u);
  ExpectUnchanged();

  const auto good = FileDrop({File("a.png"), File("b.png")});
  QDropEvent drop(at, Qt::CopyAction, good.get(), Qt::LeftButton, Qt::NoModifier);
  editor.Drop(drop);
  EXPECT_TRUE(drop.isAccepted());
  EXPECT_EQ(TextOf(editor.Document()), u"ab\uFFFC\uFFFCcd\r");
  editor.undo();
  EXPECT_EQ(TextOf(editor.Document()), u"abcd\r");
}

TEST_F(PictureFiles, DroppedRichTextGoesInAsPastingDoes) {
  editor.resize(400, 300);
  editor.show();
  QTextCursor two(editor.document());
  two.setPosition(2);
  QMimeData rich;
  rich.setData("text/rtf", kBrokenRtf);
  rich.setHtml("<b>X</b>");
  QDropEvent drop(editor.cursorRect(two).center(), Qt::CopyAction, &rich, Qt::LeftButton, Qt::NoModifier);
  editor.Drop(drop);
  EXPECT_TRUE(drop.isAccepted());
  EXPECT_EQ(TextOf(editor.Document()), u"abXcd\r");
  EXPECT_EQ(Bold(editor.Document(), 2, 3), tomTrue);

  QMimeData unknown;
  unknown.setData("application/x-unknown", "x");
  EXPECT_FALSE(editor.Accepts(unknown));
  EXPECT_FALSE(editor.InsertDropped(unknown, 0, false));
  EXPECT_EQ(TextOf(editor.Document()), u"abXcd\r");
}

TEST(TextEditorDrop, MovingTheOwnSelectionIsOneUndoStep) {
  struct Case {
    const char* name;
    int first, limit, drop;
    const char16_t* moved;
  } cases[] = {
      {"forward", 0, 2, 5, u"cdeab\r"},
      {"backward", 3, 5, 1, u"adebc\r"},
      {"inside the selection", 1, 4, 2, u"abcde\r"},
  };
  for (const Case& c : cases) {
    TTextEditor e;
    e.Document().AppendText(u"abcde", CharFormat());
    e.document()->clearUndoRedoStacks();
    Select(e, c.first, c.limit);
    const auto mime = MimeFromRange(e.Document(), c.first, c.limit);
    EXPECT_TRUE(e.InsertDropped(*mime, c.drop, true)) << c.name;
    EXPECT_EQ(TextOf(e.Document()), c.moved) << c.name;
    if (e.document()->isUndoAvailable()) e.undo();
    EXPECT_EQ(TextOf(e.Document()), u"abcde\r") << c.name;
  }
}

// Sends a left press (and its release) at a point of the viewport.
void Press(TTextEditor& e, QPointF at, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  const QPointF global = e.viewport()->mapToGlobal(at);
  QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, modifiers);
  QApplication::sendEvent(e.viewport(), &press);
  QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, modifiers);
  QApplication::sendEvent(e.viewport(), &release);
}

TEST(TextEditorMouse, APressLeftOrRightOfALinePutsTheCaretAtItsStartOrEnd) {
  TTextEditor e;
  e.resize(300, 400);
  e.show();
  // A short paragraph, then one long enough to wrap over several lines.
  e.Document().AppendText(u"short\r", CharFormat());
  std::u16string words;
  for (int i = 0; i < 40; ++i) words += u"word ";
  e.Document().AppendText(words + u"end", CharFormat());
  const QTextBlock wrapped = e.document()->findBlockByNumber(1);
  const QTextLayout* layout = wrapped.layout();
  e.document()->documentLayout()->blockBoundingRect(wrapped);  // lays it out
  ASSERT_GE(layout->lineCount(), 3);
  const QTextLine second = layout->lineAt(1);
  const int secondStart = wrapped.position() + second.textStart();
  const int secondEnd = secondStart + second.textLength();
  const QRectF block = e.document()->documentLayout()->blockBoundingRect(wrapped);
  const qreal secondY = block.top() + second.y() + second.height() / 2 - e.verticalScrollBar()->value();
  const qreal firstY = e.document()->documentLayout()->blockBoundingRect(e.document()->begin()).center().y();
  const qreal right = e.viewport()->width() - 2;
  const qreal left = 1;  // inside the document's margin
  const QRect shortEnd = e.cursorRect([&] {
    QTextCursor c(e.document());
    c.setPosition(5);
    return c;
  }());

  struct Case {
    const char* name;
    QPointF at;
    int caret;
  } cases[] = {
      {"right of a short line", {right, firstY}, 5},
      {"left of a short line", {left, firstY}, 0},
      {"right of a wrapped line", {right, secondY}, secondEnd},
      {"left of a wrapped line", {left, secondY}, secondStart},
      {"on the text", {qreal(shortEnd.left() - 3), firstY}, -1},
  };
  for (const Case& c : cases) {
    Select(e, 1, 3);
    Press(e, c.at);
    const int expected = c.caret >= 0 ? c.caret : e.cursorForPosition(c.at.toPoint()).position();
    EXPECT_EQ(e.textCursor().position(), expected) << c.name;
    EXPECT_FALSE(e.textCursor().hasSelection()) << c.name;
  }
  // A shift press extends the selection as usual.
  Caret(e, 1);
  Press(e, {right, firstY}, Qt::ShiftModifier);
  EXPECT_EQ(e.textCursor().anchor(), 1);
  EXPECT_EQ(e.textCursor().position(), 5);
}

TEST(TextEditor, HasTheNamesTheWindowAndScreenReadersUse) {
  TTextEditor e;
  EXPECT_EQ(e.objectName(), "TextEditor");
  EXPECT_FALSE(e.accessibleName().isEmpty());
  for (QAction* a : e.OwnActions()) {
    EXPECT_FALSE(a->objectName().isEmpty());
    EXPECT_FALSE(a->text().isEmpty());
  }
  EXPECT_EQ(&e.Document(), e.SharedDocument().get());
  EXPECT_EQ(e.Document().Document(), e.document());
}

}  // namespace
}  // namespace tagsmith::testing
