#include "app/ui/text_editor.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QUrl>

#include <algorithm>
#include <utility>
#include <vector>

#include "app/ui/application_errors.h"
#include "app/ui/modal_ui.h"
#include "app/ui/paste_special_dialog.h"

namespace tagsmith {
namespace {

// Ends the edit block of a cursor also when what runs inside it throws.
class EditBlock {
 public:
  explicit EditBlock(QTextCursor& cursor) : cursor_(cursor) { cursor_.beginEditBlock(); }
  ~EditBlock() { cursor_.endEditBlock(); }
  EditBlock(const EditBlock&) = delete;
  EditBlock& operator=(const EditBlock&) = delete;

 private:
  QTextCursor& cursor_;
};

std::string LocalPath(const QString& file) { return QFile::encodeName(file).toStdString(); }

}  // namespace

TTextEditor::TTextEditor(QWidget* parent) : QTextEdit(parent) {
  setObjectName("TextEditor");
  setAccessibleName(tr("Text editor"));
  document_ = std::make_shared<QtDocument>(document());
  document_->AttachEditor(this);

  // The selection stays visible, in the same colours, when the editor loses
  // the focus to a tool bar or a dialog.
  QPalette p = palette();
  p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
  p.setColor(QPalette::Inactive, QPalette::HighlightedText, p.color(QPalette::Active, QPalette::HighlightedText));
  setPalette(p);

  auto makeAction = [this](const QString& caption, const char* name, QKeySequence::StandardKey key) {
    auto* a = new QAction(caption, this);
    a->setObjectName(name);
    a->setShortcut(key);
    a->setShortcutContext(Qt::WidgetShortcut);
    return a;
  };
  cut_ = makeAction(tr("Cut"), "actEditorCut", QKeySequence::Cut);
  copy_ = makeAction(tr("Copy"), "actEditorCopy", QKeySequence::Copy);
  paste_ = makeAction(tr("Paste"), "actEditorPaste", QKeySequence::Paste);
  pasteAs_ = new QAction(tr("Paste As"), this);
  pasteAs_->setObjectName("actEditorPasteAs");
  pasteAs_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V));
  pasteAs_->setShortcutContext(Qt::WidgetShortcut);
  connect(cut_, &QAction::triggered, this, [this] { Cut(); });
  connect(copy_, &QAction::triggered, this, [this] { Copy(); });
  connect(paste_, &QAction::triggered, this, [this] { Paste(); });
  connect(pasteAs_, &QAction::triggered, this, [this] { PasteAs(); });
  connect(this, &QTextEdit::selectionChanged, this, [this] { UpdateOwnActions(); });

  connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, [this] { ClipboardChanged(); });
  pasteAvailable_ = CanPasteNow();
  UpdateOwnActions();
}

TTextEditor::~TTextEditor() = default;

QtDocument& TTextEditor::Document() { return *document_; }

std::shared_ptr<QtDocument> TTextEditor::SharedDocument() const { return document_; }

bool TTextEditor::CanPasteNow() const {
  if (isReadOnly()) return false;
  const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
  return mime && CanPaste(*mime);
}

bool TTextEditor::Copy() {
  const QTextCursor selection = textCursor();
  if (!selection.hasSelection()) return false;
  std::unique_ptr<QMimeData> mime;
  if (!RunGuarded(this, [&] { mime = MimeFromRange(*document_, selection.selectionStart(), selection.selectionEnd()); }))
    return false;
  QGuiApplication::clipboard()->setMimeData(mime.release());
  return true;
}

bool TTextEditor::Cut() {
  if (isReadOnly() || !textCursor().hasSelection()) return false;
  // Removed only once its content is safely on the clipboard.
  if (!Copy()) return false;
  QTextCursor selection = textCursor();
  selection.removeSelectedText();
  setTextCursor(selection);
  ensureCursorVisible();
  return true;
}

bool TTextEditor::Paste() {
  if (isReadOnly()) return false;
  const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
  if (!mime) return RunGuarded(this, [] { throw EDocumentIO("There is nothing to paste"); });
  return PasteAt(*mime, std::nullopt);
}

bool TTextEditor::PasteAs() {
  if (isReadOnly()) return false;
  const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
  const std::vector<PasteFormat> formats = mime ? AvailablePasteFormats(*mime) : std::vector<PasteFormat>();
  if (formats.empty()) return RunGuarded(this, [] { throw EDocumentIO("There is nothing to paste"); });
  TPasteSpecialDialog dialog(formats, this);
  const int result = ModalUi().Exec(dialog);
  setFocus();
  const std::optional<PasteFormat> chosen = dialog.ChosenFormat();
  if (result != QDialog::Accepted || !chosen) return false;
  // The clipboard may have changed while the dialog was open; PasteMime
  // reports a format that is gone.
  mime = QGuiApplication::clipboard()->mimeData();
  if (!mime) return RunGuarded(this, [] { throw EDocumentIO("There is nothing to paste"); });
  return PasteAt(*mime, chosen);
}

bool TTextEditor::PasteAt(const QMimeData& mime, std::optional<PasteFormat> only) {
  return RunGuarded(this, [&] {
    QTextCursor cursor = textCursor();
    PasteMime(*document_, cursor, mime, only);
    setTextCursor(cursor);
    ensureCursorVisible();
  });
}

void TTextEditor::InsertPictureFilesAt(QTextCursor& cursor, const QStringList& files) {
  // Every file is read into a scratch document first, so that one picture
  // that cannot be read leaves the document untouched.
  QTextDocument scratch;
  QtDocument staging(&scratch, QtDocument::Drawing::kNone);
  QTextCursor stage(&scratch);
  std::vector<std::pair<std::shared_ptr<IOleObject>, SIZEL>> pictures;
  for (const QString& file : files) {
    const int at = stage.position();
    InsertPictureFile(staging, stage, LocalPath(file));
    auto object = staging.ObjectAt(at);
    const std::optional<SIZEL> extent = staging.ObjectExtentAt(at);
    if (!object || !extent) throw EDocumentIO("Cannot insert the picture " + file.toStdString());
    pictures.emplace_back(std::move(object), *extent);
  }
  EditBlock step(cursor);
  for (auto& [object, extent] : pictures) document_->InsertObject(cursor, std::move(object), extent);
}

bool TTextEditor::InsertPictureFiles(const QStringList& files) {
  if (isReadOnly()) return false;
  const bool done = RunGuarded(this, [&] {
    QTextCursor cursor = textCursor();
    InsertPictureFilesAt(cursor, files);
    setTextCursor(cursor);
    ensureCursorVisible();
  });
  setFocus();
  return done;
}

bool TTextEditor::PictureFilesOnly(const QMimeData& mime) const {
  if (!mime.hasUrls()) return false;
  const QList<QUrl> urls = mime.urls();
  return !urls.isEmpty() && std::all_of(urls.begin(), urls.end(), [](const QUrl& u) { return u.isLocalFile(); });
}

bool TTextEditor::CanDrop(const QMimeData& mime) const {
  return !isReadOnly() && (PictureFilesOnly(mime) || CanPaste(mime));
}

bool TTextEditor::InsertDropped(const QMimeData& mime, int position, bool moveSelection) {
  if (!CanDrop(mime)) return false;
  QTextCursor selection = textCursor();
  moveSelection = moveSelection && selection.hasSelection();
  if (moveSelection && position >= selection.selectionStart() && position <= selection.selectionEnd()) return true;
  QTextCursor at(document());
  at.setPosition(std::clamp(position, 0, std::max(0, document()->characterCount() - 1)));
  const bool done = RunGuarded(this, [&] {
    if (PictureFilesOnly(mime)) {
      QStringList files;
      for (const QUrl& url : mime.urls()) files << url.toLocalFile();
      InsertPictureFilesAt(at, files);
    } else {
      PasteMime(*document_, at, mime);
    }
  });
  if (!done) return false;
  if (moveSelection) {
    // The selection's cursor followed the insertion; its removal joins the
    // insertion's undo step, so one Undo puts the text back where it was.
    selection.joinPreviousEditBlock();
    selection.removeSelectedText();
    selection.endEditBlock();
  }
  setTextCursor(at);
  ensureCursorVisible();
  return true;
}

QMimeData* TTextEditor::createMimeDataFromSelection() const {
  // Reached by drags (and the selection clipboard where there is one); the
  // commands use Copy, which reports errors.
  const QTextCursor selection = textCursor();
  if (selection.hasSelection()) {
    try {
      return MimeFromRange(*document_, selection.selectionStart(), selection.selectionEnd()).release();
    } catch (const std::exception&) {
      // Qt's own text and HTML then, so a drag still carries the text.
    }
  }
  return QTextEdit::createMimeDataFromSelection();
}

bool TTextEditor::canInsertFromMimeData(const QMimeData* source) const { return source && CanDrop(*source); }

void TTextEditor::insertFromMimeData(const QMimeData* source) {
  // QTextEdit's own paste paths (the selection clipboard's middle click);
  // data that holds nothing to paste is ignored as QTextEdit ignores it.
  if (!source || isReadOnly() || !CanPaste(*source)) return;
  PasteAt(*source, std::nullopt);
}

void TTextEditor::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    Copy();
  } else if (event->matches(QKeySequence::Cut)) {
    Cut();
  } else if (event->matches(QKeySequence::Paste)) {
    if (CanPasteNow()) Paste();
  } else if (QKeySequence(event->keyCombination()) == pasteAs_->shortcut()) {
    if (CanPasteNow()) PasteAs();
  } else {
    QTextEdit::keyPressEvent(event);
    return;
  }
  event->accept();
}

std::optional<int> TTextEditor::LineRuleCaret(QPointF viewportPos) const {
  const QTextBlock block = cursorForPosition(viewportPos.toPoint()).block();
  const QTextLayout* layout = block.layout();
  if (!block.isValid() || !layout || layout->lineCount() == 0) return std::nullopt;
  const QPointF docPos = viewportPos + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
  const QPointF origin = document()->documentLayout()->blockBoundingRect(block).topLeft();
  const qreal y = docPos.y() - origin.y();
  // The line at that height; above or below the block's lines, the nearest.
  QTextLine line = layout->lineAt(0);
  for (int i = 0; i < layout->lineCount(); ++i) {
    const QTextLine candidate = layout->lineAt(i);
    if (candidate.y() > y) break;
    line = candidate;
  }
  const int first = line.textStart();
  const int end = first + line.textLength();
  const qreal x = docPos.x() - origin.x();
  // A wrapped line's trailing spaces reach past its right edge; its end is
  // where its visible text ends.
  const qreal endX = std::min(line.cursorToX(end), line.x() + line.naturalTextWidth());
  if (x > endX) return block.position() + end;
  if (x < line.cursorToX(first)) return block.position() + first;
  return std::nullopt;
}

void TTextEditor::mousePressEvent(QMouseEvent* event) {
  QTextEdit::mousePressEvent(event);
  // Only a plain left press that placed the caret: a shift press, a triple
  // click or a press that starts dragging the selection keep what Qt made.
  if (event->button() != Qt::LeftButton || (event->modifiers() & Qt::ShiftModifier) || textCursor().hasSelection())
    return;
  const std::optional<int> caret = LineRuleCaret(event->position());
  if (!caret) return;
  QTextCursor cursor = textCursor();
  cursor.setPosition(*caret);
  setTextCursor(cursor);
  ensureCursorVisible();
}

void TTextEditor::dropEvent(QDropEvent* event) {
  // Clears QTextEdit's drop caret, which its own drop handling would have.
  QDragLeaveEvent leave;
  QTextEdit::dragLeaveEvent(&leave);
  const QMimeData* mime = event->mimeData();
  if (!mime || !CanDrop(*mime)) {
    event->ignore();
    return;
  }
  const int position = cursorForPosition(event->position().toPoint()).position();
  const bool fromHere = event->source() == this || event->source() == viewport();
  const bool move = fromHere && event->dropAction() == Qt::MoveAction;
  if (!InsertDropped(*mime, position, move)) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  setFocus();
}

void TTextEditor::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.setObjectName("mnuTextEditor");
  menu.setAccessibleName(tr("Editor menu"));
  UpdateOwnActions();
  for (QAction* a : contextActions_.isEmpty() ? OwnActions() : contextActions_) menu.addAction(a);
  menu.exec(event->globalPos());
}

void TTextEditor::SetContextMenuActions(const QList<QAction*>& actions) { contextActions_ = actions; }

QList<QAction*> TTextEditor::OwnActions() const { return {cut_, copy_, paste_, pasteAs_}; }

void TTextEditor::ClipboardChanged() {
  pasteAvailable_ = CanPasteNow();
  UpdateOwnActions();
  emit pasteAvailableChanged(pasteAvailable_);
}

void TTextEditor::UpdateOwnActions() {
  const bool selected = textCursor().hasSelection();
  copy_->setEnabled(selected);
  cut_->setEnabled(selected && !isReadOnly());
  const bool pasteable = CanPasteNow();
  paste_->setEnabled(pasteable);
  pasteAs_->setEnabled(pasteable);
}

}  // namespace tagsmith
