#pragma once

// A stretch of a document as the text-object operations report it (its text,
// runs, paragraphs and objects), and the way back into any document through
// its builder. The RTF writer reads documents this way; the editor copies
// selections into scratch documents and pastes them back with it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "richtext/document_builder.h"
#include "richtext/rich_edit_ole.h"
#include "richtext/tom.h"

namespace tagsmith {

struct DocumentContent {
  struct Run {
    int32_t start = 0;
    int32_t end = 0;
    CharFormat format;
  };
  struct Paragraph {
    int32_t start = 0;  // may lie before `first`: the whole paragraph is reported
    int32_t end = 0;    // its mark included
    ParaFormat format;
  };
  struct Object {
    int32_t cp = 0;
    std::shared_ptr<IOleObject> object;
    SIZEL extent;
  };

  int32_t first = 0;  // the stretch read, [first, limit) of the story
  int32_t limit = 0;
  int32_t storyLength = 1;
  std::u16string text;  // the characters of [first, limit)
  std::vector<Run> runs;              // maximal runs, clipped to [first, limit)
  std::vector<Paragraph> paragraphs;  // every paragraph that holds a character of the stretch
  std::vector<Object> objects;        // the objects in [first, limit), by position
};

// Reads [first, limit) of `document` (clamped to the story; the whole story
// with first = 0 and limit = the story length). Walks runs and paragraphs as
// the conversion engine does. Throws EOleError when a document call fails.
DocumentContent ReadDocumentContent(ITextDocument& document, IRichEditOle& objects, int32_t first, int32_t limit);
DocumentContent ReadDocumentContent(ITextDocument& document, IRichEditOle& objects);

// Appends the content to `builder`: each run's text in its format, a U+000D
// that ends a paragraph as a paragraph mark and any other as a line break,
// each object as an object with its extent (or left out when `withObjects` is
// false), each paragraph's format set while it is the current one. The
// story's final paragraph mark, when the content holds it, is not appended:
// every document has its own.
void AppendDocumentContent(const DocumentContent& content, IDocumentBuilder& builder, bool withObjects = true);

}  // namespace tagsmith
