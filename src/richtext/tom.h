#pragma once

// The text-object operations through which the conversion engine, the image
// renderer and the editor read and change a formatted document. Whatever
// document stands behind them (RichDocument, the editor's Qt document) answers
// them identically:
//   - positions count UTF-16 code units of the main story;
//   - every paragraph ends with a paragraph mark, U+000D; the story ends with
//     one final paragraph mark, so an empty document has length 1;
//   - an embedded object is one character, U+FFFC;
//   - tomCharFormat steps over maximal runs of identical character formatting
//     (runs cross paragraph marks); tomParagraph over paragraphs including
//     their mark.
// Every call returns a TomStatus; callers check it at once with OleCheck,
// which raises EOleError carrying the document's message.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "platform/errors.h"

namespace tagsmith {

inline constexpr int32_t tomTrue = -1;
inline constexpr int32_t tomFalse = 0;
inline constexpr int32_t tomUndefined = -9999999;
inline constexpr int32_t tomAutoColor = -9999997;

// Units of Move and MoveEnd.
inline constexpr int32_t tomCharacter = 1;
inline constexpr int32_t tomParagraph = 4;
inline constexpr int32_t tomStory = 6;
inline constexpr int32_t tomCharFormat = 13;

// Paragraph alignments.
inline constexpr int32_t tomAlignLeft = 0;
inline constexpr int32_t tomAlignCenter = 1;
inline constexpr int32_t tomAlignRight = 2;
inline constexpr int32_t tomAlignJustify = 3;

// Underline kinds.
inline constexpr int32_t tomNone = 0;
inline constexpr int32_t tomSingle = 1;
inline constexpr int32_t tomWords = 2;
inline constexpr int32_t tomDouble = 3;
inline constexpr int32_t tomDotted = 4;
inline constexpr int32_t tomDash = 5;
inline constexpr int32_t tomDashDot = 6;
inline constexpr int32_t tomDashDotDot = 7;
inline constexpr int32_t tomWave = 8;
inline constexpr int32_t tomThick = 9;
inline constexpr int32_t tomHair = 10;
inline constexpr int32_t tomDoubleWave = 11;
inline constexpr int32_t tomHeavyWave = 12;
inline constexpr int32_t tomLongDash = 13;

// List types of a paragraph.
inline constexpr int32_t tomListNone = 0;
inline constexpr int32_t tomListBullet = 1;

inline constexpr char16_t kParagraphMark = u'\r';
inline constexpr char16_t kObjectChar = u'\uFFFC';

// The result of one text-object call: success, or a failure with the
// document's message.
class [[nodiscard]] TomStatus {
 public:
  static TomStatus Ok() { return TomStatus(); }
  static TomStatus Fail(std::string message) { return TomStatus(std::move(message)); }

  bool ok() const { return !failed_; }
  const std::string& message() const { return message_; }

 private:
  TomStatus() = default;
  explicit TomStatus(std::string message) : failed_(true), message_(std::move(message)) {}
  bool failed_ = false;
  std::string message_;
};

// A failed text-object or embedded-object call.
class EOleError : public Exception {
 public:
  using Exception::Exception;
};

// Raises EOleError with the status's message when the call failed.
inline void OleCheck(const TomStatus& status) {
  if (!status.ok()) throw EOleError(status.message());
}

// The character format of a range. Getters answer tomUndefined (a size of
// tomUndefined, an empty name) when the range spans different values.
class ITextFont {
 public:
  virtual ~ITextFont() = default;
  virtual TomStatus GetBold(int32_t* value) = 0;           // tomTrue, tomFalse, tomUndefined
  virtual TomStatus GetItalic(int32_t* value) = 0;
  virtual TomStatus GetStrikeThrough(int32_t* value) = 0;
  virtual TomStatus GetUnderline(int32_t* value) = 0;      // tomNone, a kind, tomUndefined
  virtual TomStatus GetSuperscript(int32_t* value) = 0;
  virtual TomStatus GetSubscript(int32_t* value) = 0;
  virtual TomStatus GetForeColor(int32_t* value) = 0;      // 0x00BBGGRR, tomAutoColor, tomUndefined
  virtual TomStatus GetBackColor(int32_t* value) = 0;
  virtual TomStatus GetName(std::u16string* value) = 0;
  virtual TomStatus GetSize(float* value) = 0;             // points
  // Apply to every character of the range the font was taken from.
  virtual TomStatus SetForeColor(int32_t value) = 0;
  virtual TomStatus SetSize(float value) = 0;
};

// The paragraph format of a range.
class ITextPara {
 public:
  virtual ~ITextPara() = default;
  virtual TomStatus GetAlignment(int32_t* value) = 0;  // tomAlign*, tomUndefined
  virtual TomStatus GetListType(int32_t* value) = 0;   // tomListNone, tomListBullet, tomUndefined
};

// A stretch [start, end) of the story. Positions are clamped to
// [0, story length]; setting the start beyond the end moves the end along, and
// the reverse.
class ITextRange {
 public:
  virtual ~ITextRange() = default;
  virtual TomStatus GetStart(int32_t* value) = 0;
  virtual TomStatus GetEnd(int32_t* value) = 0;
  virtual TomStatus SetStart(int32_t value) = 0;
  virtual TomStatus SetEnd(int32_t value) = 0;
  virtual TomStatus GetStoryLength(int32_t* value) = 0;
  // Moves the end by `count` units; `delta` receives the units moved (0 at the
  // end of the story). Moving forward from inside a unit goes to its end.
  virtual TomStatus MoveEnd(int32_t unit, int32_t count, int32_t* delta) = 0;
  // Moves the range as an insertion point. A non-empty range first collapses
  // to its end (forward) or start (backward), which counts as one unit.
  virtual TomStatus Move(int32_t unit, int32_t count, int32_t* delta) = 0;
  // The characters of the range; an object is its one placeholder character.
  virtual TomStatus GetText(std::u16string* value) = 0;
  virtual TomStatus GetFont(std::shared_ptr<ITextFont>* font) = 0;
  virtual TomStatus GetPara(std::shared_ptr<ITextPara>* para) = 0;
  // The hyperlink target of the range's characters; empty when none or mixed.
  virtual TomStatus GetURL(std::u16string* value) = 0;
};

class ITextDocument {
 public:
  virtual ~ITextDocument() = default;
  virtual TomStatus Range(int32_t first, int32_t limit, std::shared_ptr<ITextRange>* range) = 0;
  virtual TomStatus GetSelection(std::shared_ptr<ITextRange>* selection) = 0;
};

}  // namespace tagsmith
