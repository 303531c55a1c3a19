#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "richtext/embedded_object.h"
#include "richtext/tom.h"

namespace tagsmith {

// The character formatting of one character.
struct CharFormat {
  std::u16string fontName;
  float size = 12.0f;               // points
  int32_t foreColor = tomAutoColor;  // 0x00BBGGRR or tomAutoColor
  int32_t backColor = tomAutoColor;
  bool bold = false;
  bool italic = false;
  int32_t underline = tomNone;       // tomNone or an underline kind
  bool strikeout = false;
  bool superscript = false;
  bool subscript = false;
  std::u16string link;               // hyperlink target, empty when none

  bool operator==(const CharFormat&) const = default;
};

// A hash over every attribute, for the format tables of documents.
struct CharFormatHash {
  size_t operator()(const CharFormat& f) const {
    size_t seed = 0;
    const auto mix = [&seed](size_t h) { seed ^= h + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2); };
    mix(std::hash<std::u16string>()(f.fontName));
    mix(std::hash<float>()(f.size));
    mix(std::hash<int32_t>()(f.foreColor));
    mix(std::hash<int32_t>()(f.backColor));
    mix(std::hash<int32_t>()(f.underline));
    mix((f.bold ? 1u : 0u) | (f.italic ? 2u : 0u) | (f.strikeout ? 4u : 0u) | (f.superscript ? 8u : 0u) |
        (f.subscript ? 16u : 0u));
    mix(std::hash<std::u16string>()(f.link));
    return seed;
  }
};

// The formatting of one paragraph.
struct ParaFormat {
  int32_t alignment = tomAlignLeft;
  bool bullets = false;

  bool operator==(const ParaFormat&) const = default;
};

// Builds a document from its start to its end: the RTF reader, tests and the
// clipboard fill any document through this. The story always ends with its
// final paragraph mark; everything appended goes before it, and the final
// mark takes the character format of the character before it.
class IDocumentBuilder {
 public:
  virtual ~IDocumentBuilder() = default;
  // Appends text in one format. U+000D in the text ends the current paragraph;
  // the new paragraph starts with the ended one's paragraph format.
  virtual void AppendText(std::u16string_view text, const CharFormat& format) = 0;
  // Appends a line break inside the paragraph. It reads as U+000D, so the
  // code breaks the line there, but it does not end the paragraph.
  virtual void AppendLineBreak(const CharFormat& format) = 0;
  // Appends an embedded object as one character; `extent` is in HIMETRIC.
  virtual void AppendObject(std::shared_ptr<IOleObject> object, SIZEL extent, const CharFormat& format) = 0;
  // Sets the format of the current (last, not yet ended) paragraph.
  virtual void SetParaFormat(const ParaFormat& format) = 0;
  // A hint before a long build: at most about `units` more UTF-16 code units
  // will be appended. A document may reserve room for them at once instead of
  // growing step by step; the default ignores the hint.
  virtual void ReserveText(size_t units) {}
};

}  // namespace tagsmith
