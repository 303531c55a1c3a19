#pragma once

// Writing documents as RTF (files, the clipboard).

#include <string>

#include "richtext/rich_edit_ole.h"
#include "richtext/tom.h"

namespace tagsmith {

// Writes the whole story of `document`, read only through the text-object
// operations and the object list `objects`, as an RTF document that this
// system's reader, word processors and the platform's text controls read
// back:
//   - a font table of the fonts used, a colour table of the colours used;
//   - each paragraph with its alignment and bullets (as a bulleted list);
//   - each run with every character attribute of the model: font, size,
//     text and background colour, bold, italic, the underline kind,
//     strikeout, superscript, subscript, and its hyperlink as a HYPERLINK
//     field; line breaks as \line, tabs as \tab, every character outside
//     printable ASCII as \uN; the run after a superscript or subscript
//     with \nosupersub; a run holding East Asian text with its font and size
//     also as the associated ones (\af, \afs) of each character class, and
//     each stretch of its text marked \loch, \hich or \dbch;
//   - each embedded object from its stored data (GetStoredData): a picture as
//     \pict with its original bytes and sizes, an OLE object as \object with
//     its class, data and result picture; an object that keeps no stored data
//     as an \object with its class and extent only. A document extent that
//     differs from the stored one (a resized object) is written as the
//     object's goal size.
// Reading the result gives back the same text, runs, paragraphs and objects.
// The result is 7-bit ASCII. Throws EOleError when a document call fails.
std::string WriteRtf(ITextDocument& document, IRichEditOle& objects);

}  // namespace tagsmith
