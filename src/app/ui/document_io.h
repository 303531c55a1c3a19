#pragma once

// Moving content into and out of the editor's document: files, the
// clipboard's and drag and drop's MIME data, picture files. Every function
// runs on the main thread and throws EDocumentIO with the system's English
// message; a function that throws leaves the document as it was.

#include <QMimeData>
#include <QTextCursor>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ui/qt_document.h"
#include "platform/errors.h"

namespace tagsmith {

class EDocumentIO : public Exception {
 public:
  using Exception::Exception;
};

// Opens a file into the document, replacing what it held: an RTF document
// (known by its "{\rtf" start) through the project's reader, any other file
// as plain text (UTF-8, UTF-16 with its byte order mark, else Windows-1252).
// The undo history is cleared and the document is marked unmodified. Throws
// when the file cannot be read, is no text (it holds NUL bytes), is too large
// or is an RTF document the reader refuses; the document is then unchanged.
void LoadDocumentFile(QtDocument& doc, const std::string& path);

// Saves the whole document as RTF through the project's writer: written to a
// temporary file beside the target, flushed to disk, then renamed over it, so
// a failure leaves the old file as it was. A symbolic link is followed and
// the file it names replaced; an existing file keeps its permissions. Marks
// the document unmodified. Throws when the file cannot be written.
void SaveDocumentFile(QtDocument& doc, const std::string& path);

// The MIME data of [first, limit) for the clipboard or a drag: "text/rtf" and
// "application/rtf" (the project's writer), "text/html" (objects as embedded
// PNG pictures), "text/plain" (line ends as LF, objects left out), and for a
// range of exactly one object also its picture as "image/png" and as Qt's
// image data. Throws when the range is empty.
std::unique_ptr<QMimeData> MimeFromRange(QtDocument& doc, int first, int limit);

enum class PasteFormat { RichText, RichTextWithoutObjects, Html, UnformattedText, Picture };

// The formats `mime` offers now, in the order a paste tries them: RTF (with
// and without objects), HTML, a picture (any image type Qt reads), text.
std::vector<PasteFormat> AvailablePasteFormats(const QMimeData& mime);
// "Rich text", "Rich text without objects", "HTML", "Unformatted text",
// "Picture": the names the Paste As dialog lists.
std::string PasteFormatName(PasteFormat format);
bool CanPaste(const QMimeData& mime);

// Pastes `mime` at the cursor, replacing its selection, as one undo step:
// with `only` empty the first format that reads (an RTF, HTML or picture that
// cannot be read, or reads as nothing, falls back to the next format);
// otherwise exactly that format. Throws when nothing could be pasted; the
// document is then unchanged. The cursor ends after the pasted content.
void PasteMime(QtDocument& doc, QTextCursor& cursor, const QMimeData& mime, std::optional<PasteFormat> only = {});

// Inserts the picture file at `path` at the cursor as a picture object (PNG,
// JPEG and GIF files keep their bytes; any other type Qt reads is stored as
// PNG), shown at its size at 96 dpi; one undo step. The clipboard is not
// used. Throws when the file cannot be read as a picture; nothing is inserted.
void InsertPictureFile(QtDocument& doc, QTextCursor& cursor, const std::string& path);

// The picture object made from image bytes as InsertPictureFile makes it.
// Throws EDocumentIO("The picture cannot be read") for data no reader takes.
std::shared_ptr<IOleObject> PictureFromBytes(const std::string& bytes, SIZEL* extent);

}  // namespace tagsmith
