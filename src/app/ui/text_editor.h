#pragma once

// The editing control of the editor window: a QTextEdit whose document is
// read and changed through the Qt document (the text-object operations), and
// whose clipboard, drag and drop and picture insertion go through
// document_io, so that what is copied, pasted or dropped is what the
// converter sees. Every command reports its failure in the application's
// error box (RunGuarded) and leaves the document and the clipboard as they
// were. Main thread only.
//
// Commands of the window must call Cut, Copy and Paste of this class, not
// QTextEdit's slots: QTextEdit's cut removes the text even when nothing
// could be put on the clipboard.

#include <QList>
#include <QStringList>
#include <QTextEdit>

#include <memory>
#include <optional>

#include "app/ui/document_io.h"
#include "app/ui/qt_document.h"

class QAction;
class QMimeData;

namespace tagsmith {

class TTextEditor : public QTextEdit {
  Q_OBJECT

 public:
  explicit TTextEditor(QWidget* parent = nullptr);
  ~TTextEditor() override;

  // The Qt document over this editor's QTextDocument, attached to it.
  QtDocument& Document();
  std::shared_ptr<QtDocument> SharedDocument() const;

  // The clipboard holds something the editor can paste (and it is not
  // read-only).
  bool CanPasteNow() const;

  // The selection's content (RTF, HTML, text, a lone picture's PNG) onto the
  // clipboard; Cut then removes it as one undo step. Nothing happens without
  // a selection. False when the content could not be made (error box shown;
  // clipboard and document unchanged).
  bool Copy();
  bool Cut();
  // Pastes the clipboard at the selection in the first format that reads;
  // false with an error box when nothing could be pasted.
  bool Paste();
  // Asks for the format in the Paste Special dialog (through ModalUi().Exec)
  // and pastes the clipboard's content in it. False when cancelled, when
  // nothing can be pasted, or on an error (shown).
  bool PasteAs();

  // Inserts the picture files at the selection, in order, as one undo step;
  // all or nothing: when one cannot be read, its error is shown and nothing
  // is inserted. The clipboard is not used.
  bool InsertPictureFiles(const QStringList& files);

  // Inserts dropped data at `position` as pasting does: local files as
  // pictures (all or nothing), anything else in the paste order. With
  // `moveSelection` (a drag from this editor's own selection) the selection
  // is removed after the data was inserted, in the same undo step; a drop
  // inside the selection itself changes nothing. False on an error (shown).
  bool InsertDropped(const QMimeData& mime, int position, bool moveSelection);

  // The actions of the context menu, in place of the editor's own Cut, Copy,
  // Paste and Paste As (the window passes its translated ones).
  void SetContextMenuActions(const QList<QAction*>& actions);
  // The editor's own actions (objectNames "actEditorCut", "actEditorCopy",
  // "actEditorPaste", "actEditorPasteAs"), kept enabled as the commands can
  // run.
  QList<QAction*> OwnActions() const;

 signals:
  // Emitted on every change of the clipboard, with CanPasteNow after it.
  void pasteAvailableChanged(bool available);

 protected:
  QMimeData* createMimeDataFromSelection() const override;
  bool canInsertFromMimeData(const QMimeData* source) const override;
  void insertFromMimeData(const QMimeData* source) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void ClipboardChanged();
  void UpdateOwnActions();
  bool PictureFilesOnly(const QMimeData& mime) const;
  bool CanDrop(const QMimeData& mime) const;
  bool PasteAt(const QMimeData& mime, std::optional<PasteFormat> only);
  void InsertPictureFilesAt(QTextCursor& cursor, const QStringList& files);
  std::optional<int> LineRuleCaret(QPointF viewportPos) const;

  std::shared_ptr<QtDocument> document_;
  bool pasteAvailable_ = false;
  QAction* cut_;
  QAction* copy_;
  QAction* paste_;
  QAction* pasteAs_;
  QList<QAction*> contextActions_;
};

}  // namespace tagsmith
