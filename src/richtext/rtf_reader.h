#pragma once

// Reading RTF documents (files, the clipboard) into any document.

#include <string_view>

#include "platform/errors.h"
#include "richtext/document_builder.h"

namespace tagsmith {

// An RTF document that cannot be read: not RTF at all, or structured beyond
// what the reader follows. The message says which.
class ERtfReader : public Exception {
 public:
  using Exception::Exception;
};

// Groups nest at most this deep; deeper nesting fails (skipped destinations
// may nest without limit, they keep no state).
inline constexpr int kRtfMaxGroupDepth = 1000;

// Reads the RTF document `rtf` and appends its main text to `builder`, from
// its start to its end:
//   - character formatting (font, size, colours, bold, italic, every underline
//     kind, strikeout, superscript, subscript) becomes the CharFormat of the
//     text; a HYPERLINK field puts its target into CharFormat::link of the
//     field's result text; hidden text (\v) is left out;
//   - each paragraph gets its alignment and, when it is a list item (\ls, \pn),
//     bullets; the list's generated numbers and bullets are not inserted;
//   - \line is a line break; a table cell ends with a tab and a row with a
//     paragraph mark, nested tables too; a final paragraph mark becomes the
//     story's own final mark;
//   - every picture (\pict) becomes a PictureObject and every \object an
//     EmbeddedOleObject showing its \result picture, with the extent their
//     sizes give;
//   - headers, footers, footnotes, style sheets, document information and
//     unknown \* destinations are skipped; \'hh bytes are decoded in the code
//     page of the current font's charset (\cpg, else \fcharset, else
//     \ansicpg).
// Malformed input (truncated files, unbalanced braces, absurd numbers or
// \binN lengths) is read as far as it goes; it never reads beyond the input,
// and memory stays a small multiple of the input's size: a document holds at
// most 1000 pictures and objects plus one per 100 bytes of RTF (real ones
// take kilobytes each); any beyond are left out.
// Throws ERtfReader with "Not an RTF document: it does not begin with {\rtf"
// when the bytes (after blanks and a UTF-8 byte order mark) do not begin so,
// "RTF document too large" beyond 2 GB, and "RTF groups nested more than 1000
// levels deep"; what was read before the failure stays in the builder.
// Any thread; the builder is used only from the calling thread.
void ReadRtf(std::string_view rtf, IDocumentBuilder& builder);

}  // namespace tagsmith
