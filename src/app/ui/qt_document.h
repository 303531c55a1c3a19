#pragma once

// The editor's document: the text-object operations (tom.h), the object list
// (IRichEditOle) and the document builder over a QTextDocument, answering
// every operation exactly as RichDocument does:
//   - positions are QTextDocument positions, which count UTF-16 code units;
//   - a block's end (U+2029 inside Qt) and a line break inside a block
//     (U+2028) read as U+000D; the last block's end is the story's final
//     paragraph mark, so an empty document has length 1;
//   - an embedded object is one U+FFFC character of object type
//     kEmbeddedObjectType, drawn by the object itself at its extent;
//   - tomCharFormat runs are maximal over the attributes of CharFormat: Qt
//     fragments whose attributes read the same are one run, across block ends
//     too; a block's end has the format Qt keeps for it (the next block's
//     character format), and the final mark that of the character before it;
//   - a paragraph has bullets when its block belongs to a list.
// An attribute a Qt format leaves unset (text typed into a fresh document)
// reads as the document's default format (SetDefaultFormat).
//
// Reads see every change at once, whether it was made through this document
// or directly through Qt (a QTextCursor, the QTextEdit), except a change
// inside someone else's still open edit block, which reads are told of when
// the block ends. Unit steps cost O(log n) after the first step following a
// change, which reads the document's fragments once.
//
// Threads: the main (user-interface) thread only, like the QTextDocument.
// Ranges, fonts and paragraph objects may outlive this object; once the
// QTextDocument is destroyed every call fails with "The document is gone".

#include <QPointer>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "richtext/document_builder.h"
#include "richtext/document_content.h"
#include "richtext/embedded_object.h"
#include "richtext/rich_edit_ole.h"
#include "richtext/tom.h"

class QTextEdit;

namespace tagsmith {

class QtDocument : public ITextDocument, public IRichEditOle, public IDocumentBuilder {
 public:
  // Wraps `document` (a QTextEdit's), which it does not own, and registers the
  // drawing of embedded objects on its layout. Call RegisterObjectType again
  // after giving the document a new layout. A scratch document that is never
  // shown (Drawing::kNone) gets no layout, so no change lays it out.
  enum class Drawing { kObjects, kNone };
  explicit QtDocument(QTextDocument* document, Drawing drawing = Drawing::kObjects);
  ~QtDocument() override;
  QtDocument(const QtDocument&) = delete;
  QtDocument& operator=(const QtDocument&) = delete;

  // The wrapped document, or null once it is destroyed.
  QTextDocument* Document() const;
  void RegisterObjectType();

  // The format unset attributes read as; CharFormat() (no font name, 12
  // points, automatic colours) until set. Setting it also sets the
  // QTextDocument's default font when the format names a font.
  void SetDefaultFormat(const CharFormat& format);
  const CharFormat& DefaultFormat() const;

  // GetSelection follows `editor`'s cursor once attached (the editor must show
  // this document); until then, and after the editor is destroyed, the
  // document keeps a selection of its own that SetSelection sets.
  void AttachEditor(QTextEdit* editor);
  void SetSelection(int32_t start, int32_t end);

  // ITextDocument
  TomStatus Range(int32_t first, int32_t limit, std::shared_ptr<ITextRange>* range) override;
  TomStatus GetSelection(std::shared_ptr<ITextRange>* selection) override;

  // IRichEditOle: the objects in document order; a U+FFFC whose object this
  // document does not hold (a character pasted from elsewhere by Qt itself)
  // is text, not an object.
  TomStatus GetObjectCount(int32_t* count) override;
  TomStatus GetObject(int32_t index, REOBJECT* object, uint32_t flags) override;

  // IDocumentBuilder: appends at the end of the story, each call one undo
  // step unless a BuildScope is open. Qt cannot hold some characters as
  // text: U+2029 ends a paragraph like U+000D, U+2028 and U+000A are line
  // breaks, Qt's frame markers U+FDD0 and U+FDD1 become U+FFFD. A character
  // cannot be both superscript and subscript in Qt: superscript wins.
  void AppendText(std::u16string_view text, const CharFormat& format) override;
  void AppendLineBreak(const CharFormat& format) override;
  void AppendObject(std::shared_ptr<IOleObject> object, SIZEL extent, const CharFormat& format) override;
  void SetParaFormat(const ParaFormat& format) override;

  // Everything appended while a scope lives is one edit of the document: one
  // undo step, one notice to the views, much faster than single edits.
  class BuildScope {
   public:
    explicit BuildScope(QtDocument& document);
    ~BuildScope();
    BuildScope(const BuildScope&) = delete;
    BuildScope& operator=(const BuildScope&) = delete;

   private:
    QTextCursor cursor_;
  };

  // Replaces the whole story with what `build` appends, as one edit with the
  // undo history cleared afterwards (a document opened afresh). When `build`
  // throws, the story is emptied and the exception passes on.
  void Rebuild(const std::function<void(IDocumentBuilder&)>& build);

  // Inserts an embedded object at the cursor, replacing its selection, as one
  // U+FFFC drawn by the object itself at `extent` (HIMETRIC); one undo step.
  // The character takes the cursor's character format. The cursor ends after
  // the object.
  void InsertObject(QTextCursor& cursor, std::shared_ptr<IOleObject> object, SIZEL extent);
  // The object at a character position, or null when the character there is
  // no object of this document.
  std::shared_ptr<IOleObject> ObjectAt(int32_t position) const;
  // The extent the object at `position` is shown at, or nothing.
  std::optional<SIZEL> ObjectExtentAt(int32_t position) const;

  // Inserts content read from a document (a pasted or dropped one) at the
  // cursor, replacing its selection; one undo step. Paragraphs the content
  // ends with a mark keep their own formats (the first one takes in the text
  // before the cursor); the text after the last mark joins the paragraph at
  // the cursor, which keeps its format unless it was empty. The cursor ends
  // after the inserted text.
  void InsertContent(QTextCursor& cursor, const DocumentContent& content, bool withObjects = true);
  // Inserts unformatted text at the cursor in the cursor's character format,
  // replacing its selection; one undo step. Line ends (CR, LF, CR LF, U+2029)
  // end paragraphs, U+2028 is a line break; control characters other than
  // tabs, object placeholders and Qt's frame markers are left out.
  void InsertPlainText(QTextCursor& cursor, std::u16string_view text);
  // Unformatted text as InsertPlainText takes it: line ends as U+000D, the
  // characters it leaves out removed.
  static std::u16string CleanPlainText(std::u16string_view text);

  // The character attributes a Qt format stands for, unset ones taken from
  // the default format; and the Qt format of a CharFormat (no object).
  CharFormat ReadCharFormat(const QTextCharFormat& format) const;
  static QTextCharFormat MakeCharFormat(const CharFormat& format);

  class State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace tagsmith
