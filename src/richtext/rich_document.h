#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "richtext/document_builder.h"
#include "richtext/rich_edit_ole.h"
#include "richtext/tom.h"

namespace tagsmith {

// A formatted document in plain C++, behind the text-object operations: the
// document of the command-line converter and of the tests. It answers every
// operation as the editor's document does (see tom.h). Unit steps cost
// O(log n) in the number of runs or paragraphs.
//
// Create it with Create(); ranges, fonts and paragraph objects keep it alive.
// Not thread-safe: one thread (the main thread) uses a document.
class RichDocument : public ITextDocument,
                     public IRichEditOle,
                     public IDocumentBuilder,
                     public std::enable_shared_from_this<RichDocument> {
  struct Passkey {};

 public:
  // `defaultFormat` is the format of the final paragraph mark of an empty
  // document.
  static std::shared_ptr<RichDocument> Create(const CharFormat& defaultFormat = CharFormat());
  RichDocument(Passkey, const CharFormat& defaultFormat);

  // ITextDocument
  TomStatus Range(int32_t first, int32_t limit, std::shared_ptr<ITextRange>* range) override;
  TomStatus GetSelection(std::shared_ptr<ITextRange>* selection) override;

  // IRichEditOle
  TomStatus GetObjectCount(int32_t* count) override;
  TomStatus GetObject(int32_t index, REOBJECT* object, uint32_t flags) override;

  // IDocumentBuilder
  void AppendText(std::u16string_view text, const CharFormat& format) override;
  void AppendLineBreak(const CharFormat& format) override;
  void AppendObject(std::shared_ptr<IOleObject> object, SIZEL extent, const CharFormat& format) override;
  void SetParaFormat(const ParaFormat& format) override;
  void ReserveText(size_t units) override;

  // Direct reads, for callers that hold the concrete document.
  int32_t StoryLength() const { return static_cast<int32_t>(text_.size()); }
  const std::u16string& Text() const { return text_; }
  void SetSelection(int32_t start, int32_t end);

  // Used by the range, font and paragraph objects.
  struct Bounds {
    int32_t start = 0;
    int32_t end = 0;
  };
  int32_t Clamp(int32_t pos) const;
  int32_t NextBoundary(int32_t unit, int32_t pos) const;
  int32_t PrevBoundary(int32_t unit, int32_t pos) const;
  bool IsUnit(int32_t unit) const;
  // Format indices of the characters in [start, end): the run of the character
  // before `start` when the range is empty.
  void FormatsIn(int32_t start, int32_t end, std::vector<uint32_t>* out) const;
  const CharFormat& Format(uint32_t index) const { return formats_[index]; }
  void ParagraphsIn(int32_t start, int32_t end, size_t* first, size_t* last) const;
  const ParaFormat& Paragraph(size_t index) const { return paraFormats_[index]; }
  // Changes the format of every character in [start, end); runs stay maximal.
  void ApplyCharFormat(int32_t start, int32_t end, const std::function<void(CharFormat&)>& change);
  // Bumped by every change, so font objects know when to look again.
  uint64_t Version() const { return version_; }

 private:
  uint32_t Intern(const CharFormat& format);
  void Append(std::u16string_view text, const CharFormat& format, bool paragraphMarksEndParagraphs);
  size_t RunAt(int32_t pos) const;   // the run holding the character at pos
  size_t ParaAt(int32_t pos) const;  // the paragraph holding it
  void SplitRunAt(int32_t pos);
  void MergeRuns(size_t from, size_t to);

  struct Object {
    int32_t pos;
    std::shared_ptr<IOleObject> object;
    SIZEL extent;
  };

  std::u16string text_;  // the story, final paragraph mark included
  // Runs: run i covers [runStarts_[i], runStarts_[i + 1]) and the last run
  // reaches the end of the story, so the final mark always belongs to it.
  std::vector<int32_t> runStarts_;
  std::vector<uint32_t> runFormats_;
  std::vector<CharFormat> formats_;
  std::unordered_map<CharFormat, uint32_t, CharFormatHash> formatIndex_;
  // Paragraphs, the same way: paragraph i starts at paraStarts_[i].
  std::vector<int32_t> paraStarts_;
  std::vector<ParaFormat> paraFormats_;
  std::vector<Object> objects_;
  std::shared_ptr<Bounds> selection_;
  uint64_t version_ = 0;
  // Walks go forward run by run; remembering the last run and paragraph
  // found makes each step O(1) instead of a binary search.
  mutable size_t runHint_ = 0;
  mutable size_t paraHint_ = 0;
};

}  // namespace tagsmith
