#include "richtext/rich_document.h"

#include <algorithm>
#include <climits>

#include "platform/strings.h"
#include "richtext/tom_moves.h"

namespace tagsmith {

namespace {

TomStatus Null(const char* what) { return TomStatus::Fail(std::string("Invalid pointer: ") + what); }

// Folds the values of one attribute over several formats: the common value, or
// `undefined` when they differ.
template <typename Get, typename T>
T Common(const RichDocument& doc, const std::vector<uint32_t>& formats, Get get, T undefined) {
  T first = get(doc.Format(formats.front()));
  for (size_t i = 1; i < formats.size(); ++i)
    if (!(get(doc.Format(formats[i])) == first)) return undefined;
  return first;
}

int32_t TomBool(bool b) { return b ? tomTrue : tomFalse; }

class RichFont : public ITextFont {
 public:
  RichFont(std::shared_ptr<RichDocument> doc, int32_t start, int32_t end)
      : doc_(std::move(doc)), start_(start), end_(end) {}

  TomStatus GetBold(int32_t* v) override { return Flag(v, [](const CharFormat& f) { return f.bold; }); }
  TomStatus GetItalic(int32_t* v) override { return Flag(v, [](const CharFormat& f) { return f.italic; }); }
  TomStatus GetStrikeThrough(int32_t* v) override {
    return Flag(v, [](const CharFormat& f) { return f.strikeout; });
  }
  TomStatus GetSuperscript(int32_t* v) override {
    return Flag(v, [](const CharFormat& f) { return f.superscript; });
  }
  TomStatus GetSubscript(int32_t* v) override {
    return Flag(v, [](const CharFormat& f) { return f.subscript; });
  }
  TomStatus GetUnderline(int32_t* v) override {
    return Value(v, [](const CharFormat& f) { return f.underline; }, tomUndefined);
  }
  TomStatus GetForeColor(int32_t* v) override {
    return Value(v, [](const CharFormat& f) { return f.foreColor; }, tomUndefined);
  }
  TomStatus GetBackColor(int32_t* v) override {
    return Value(v, [](const CharFormat& f) { return f.backColor; }, tomUndefined);
  }
  TomStatus GetName(std::u16string* v) override {
    return Value(v, [](const CharFormat& f) { return f.fontName; }, std::u16string());
  }
  TomStatus GetSize(float* v) override {
    return Value(v, [](const CharFormat& f) { return f.size; }, static_cast<float>(tomUndefined));
  }

  TomStatus SetForeColor(int32_t value) override {
    if (value != tomAutoColor && (value < 0 || value > 0xFFFFFF))
      return TomStatus::Fail(FormatString("Invalid colour value %d", value));
    doc_->ApplyCharFormat(start_, end_, [value](CharFormat& f) { f.foreColor = value; });
    return TomStatus::Ok();
  }
  TomStatus SetSize(float value) override {
    if (!(value > 0.0f) || value > 1638.0f) return TomStatus::Fail("Invalid font size");
    doc_->ApplyCharFormat(start_, end_, [value](CharFormat& f) { f.size = value; });
    return TomStatus::Ok();
  }

 private:
  template <typename Get>
  TomStatus Flag(int32_t* out, Get get) {
    if (!out) return Null("value");
    Collect();
    bool first = get(doc_->Format(formats_.front()));
    for (uint32_t idx : formats_)
      if (get(doc_->Format(idx)) != first) {
        *out = tomUndefined;
        return TomStatus::Ok();
      }
    *out = TomBool(first);
    return TomStatus::Ok();
  }
  template <typename T, typename Get>
  TomStatus Value(T* out, Get get, T undefined) {
    if (!out) return Null("value");
    Collect();
    *out = Common(*doc_, formats_, get, undefined);
    return TomStatus::Ok();
  }
  void Collect() {
    if (collected_ && version_ == doc_->Version()) return;
    doc_->FormatsIn(doc_->Clamp(start_), doc_->Clamp(end_), &formats_);
    version_ = doc_->Version();
    collected_ = true;
  }

  std::shared_ptr<RichDocument> doc_;
  int32_t start_, end_;
  std::vector<uint32_t> formats_;
  uint64_t version_ = 0;
  bool collected_ = false;
};

class RichPara : public ITextPara {
 public:
  RichPara(std::shared_ptr<RichDocument> doc, int32_t start, int32_t end)
      : doc_(std::move(doc)), start_(start), end_(end) {}

  TomStatus GetAlignment(int32_t* v) override {
    return Value(v, [](const ParaFormat& p) { return p.alignment; });
  }
  TomStatus GetListType(int32_t* v) override {
    return Value(v, [](const ParaFormat& p) { return p.bullets ? tomListBullet : tomListNone; });
  }

 private:
  template <typename Get>
  TomStatus Value(int32_t* out, Get get) {
    if (!out) return Null("value");
    size_t first = 0, last = 0;
    doc_->ParagraphsIn(doc_->Clamp(start_), doc_->Clamp(end_), &first, &last);
    int32_t value = get(doc_->Paragraph(first));
    for (size_t i = first + 1; i <= last; ++i)
      if (get(doc_->Paragraph(i)) != value) {
        value = tomUndefined;
        break;
      }
    *out = value;
    return TomStatus::Ok();
  }

  std::shared_ptr<RichDocument> doc_;
  int32_t start_, end_;
};

class RichRange : public ITextRange {
 public:
  RichRange(std::shared_ptr<RichDocument> doc, std::shared_ptr<RichDocument::Bounds> bounds)
      : doc_(std::move(doc)), b_(std::move(bounds)) {}

  TomStatus GetStart(int32_t* v) override {
    if (!v) return Null("value");
    Normalize();
    *v = b_->start;
    return TomStatus::Ok();
  }
  TomStatus GetEnd(int32_t* v) override {
    if (!v) return Null("value");
    Normalize();
    *v = b_->end;
    return TomStatus::Ok();
  }
  TomStatus SetStart(int32_t value) override {
    Normalize();
    b_->start = doc_->Clamp(value);
    if (b_->end < b_->start) b_->end = b_->start;
    return TomStatus::Ok();
  }
  TomStatus SetEnd(int32_t value) override {
    Normalize();
    b_->end = doc_->Clamp(value);
    if (b_->start > b_->end) b_->start = b_->end;
    return TomStatus::Ok();
  }
  TomStatus GetStoryLength(int32_t* v) override {
    if (!v) return Null("value");
    *v = doc_->StoryLength();
    return TomStatus::Ok();
  }

  TomStatus MoveEnd(int32_t unit, int32_t count, int32_t* delta) override {
    if (!doc_->IsUnit(unit)) return TomStatus::Fail(FormatString("Unsupported unit %d", unit));
    Normalize();
    TomBounds b{b_->start, b_->end};
    const int32_t moved = TomMoveEnd(b, count, doc_->StoryLength(), [&](int32_t p) { return doc_->NextBoundary(unit, p); },
                                     [&](int32_t p) { return doc_->PrevBoundary(unit, p); });
    b_->start = b.start;
    b_->end = b.end;
    if (delta) *delta = moved;
    return TomStatus::Ok();
  }

  TomStatus Move(int32_t unit, int32_t count, int32_t* delta) override {
    if (!doc_->IsUnit(unit)) return TomStatus::Fail(FormatString("Unsupported unit %d", unit));
    Normalize();
    TomBounds b{b_->start, b_->end};
    const int32_t moved = TomMove(b, count, doc_->StoryLength(), [&](int32_t p) { return doc_->NextBoundary(unit, p); },
                                  [&](int32_t p) { return doc_->PrevBoundary(unit, p); });
    b_->start = b.start;
    b_->end = b.end;
    if (delta) *delta = moved;
    return TomStatus::Ok();
  }

  TomStatus GetText(std::u16string* v) override {
    if (!v) return Null("value");
    Normalize();
    v->assign(doc_->Text(), b_->start, b_->end - b_->start);
    return TomStatus::Ok();
  }
  TomStatus GetFont(std::shared_ptr<ITextFont>* font) override {
    if (!font) return Null("font");
    Normalize();
    *font = std::make_shared<RichFont>(doc_, b_->start, b_->end);
    return TomStatus::Ok();
  }
  TomStatus GetPara(std::shared_ptr<ITextPara>* para) override {
    if (!para) return Null("para");
    Normalize();
    *para = std::make_shared<RichPara>(doc_, b_->start, b_->end);
    return TomStatus::Ok();
  }
  TomStatus GetURL(std::u16string* v) override {
    if (!v) return Null("value");
    Normalize();
    std::vector<uint32_t> formats;
    doc_->FormatsIn(b_->start, b_->end, &formats);
    *v = Common(*doc_, formats, [](const CharFormat& f) { return f.link; }, std::u16string());
    return TomStatus::Ok();
  }

 private:
  // The story may have grown or shrunk since the bounds were set.
  void Normalize() {
    b_->start = doc_->Clamp(b_->start);
    b_->end = doc_->Clamp(b_->end);
    if (b_->start > b_->end) std::swap(b_->start, b_->end);
  }

  std::shared_ptr<RichDocument> doc_;
  std::shared_ptr<RichDocument::Bounds> b_;
};

}  // namespace

std::shared_ptr<RichDocument> RichDocument::Create(const CharFormat& defaultFormat) {
  return std::make_shared<RichDocument>(Passkey(), defaultFormat);
}

RichDocument::RichDocument(Passkey, const CharFormat& defaultFormat)
    : text_(1, kParagraphMark),
      runStarts_{0},
      runFormats_{0},
      paraStarts_{0},
      paraFormats_{ParaFormat()},
      selection_(std::make_shared<Bounds>()) {
  Intern(defaultFormat);
}

uint32_t RichDocument::Intern(const CharFormat& format) {
  auto it = formatIndex_.find(format);
  if (it != formatIndex_.end()) return it->second;
  const uint32_t index = static_cast<uint32_t>(formats_.size());
  formats_.push_back(format);
  formatIndex_.emplace(format, index);
  return index;
}

TomStatus RichDocument::Range(int32_t first, int32_t limit, std::shared_ptr<ITextRange>* range) {
  if (!range) return Null("range");
  auto bounds = std::make_shared<Bounds>();
  bounds->start = Clamp(std::min(first, limit));
  bounds->end = Clamp(std::max(first, limit));
  *range = std::make_shared<RichRange>(shared_from_this(), std::move(bounds));
  return TomStatus::Ok();
}

TomStatus RichDocument::GetSelection(std::shared_ptr<ITextRange>* selection) {
  if (!selection) return Null("selection");
  *selection = std::make_shared<RichRange>(shared_from_this(), selection_);
  return TomStatus::Ok();
}

void RichDocument::SetSelection(int32_t start, int32_t end) {
  selection_->start = Clamp(std::min(start, end));
  selection_->end = Clamp(std::max(start, end));
}

TomStatus RichDocument::GetObjectCount(int32_t* count) {
  if (!count) return Null("count");
  *count = static_cast<int32_t>(objects_.size());
  return TomStatus::Ok();
}

TomStatus RichDocument::GetObject(int32_t index, REOBJECT* object, uint32_t flags) {
  if (!object) return Null("object");
  if (object->cbStruct != sizeof(REOBJECT))
    return TomStatus::Fail("Invalid object descriptor: wrong structure size");
  if (index < 0 || static_cast<size_t>(index) >= objects_.size())
    return TomStatus::Fail(FormatString("Object index out of range: %d", index));
  const Object& o = objects_[static_cast<size_t>(index)];
  object->cp = o.pos;
  object->sizel = o.extent;
  object->dvaspect = DVASPECT_CONTENT;
  object->poleobj = (flags & REO_GETOBJ_POLEOBJ) ? o.object : nullptr;
  return TomStatus::Ok();
}

void RichDocument::Append(std::u16string_view text, const CharFormat& format,
                          bool paragraphMarksEndParagraphs) {
  if (text.empty()) return;
  const int32_t at = StoryLength() - 1;  // before the final paragraph mark
  const uint32_t idx = Intern(format);
  if (at == 0) {
    // The final mark takes the format of the character before it; in an empty
    // document there was none until now.
    runFormats_[0] = idx;
  } else if (runFormats_.back() != idx) {
    runStarts_.push_back(at);
    runFormats_.push_back(idx);
  }
  text_.insert(static_cast<size_t>(at), text.data(), text.size());
  ++version_;
  if (paragraphMarksEndParagraphs) {
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] != kParagraphMark) continue;
      paraStarts_.push_back(at + static_cast<int32_t>(i) + 1);
      paraFormats_.push_back(paraFormats_.back());
    }
  }
}

void RichDocument::AppendText(std::u16string_view text, const CharFormat& format) {
  Append(text, format, true);
}

void RichDocument::AppendLineBreak(const CharFormat& format) {
  const char16_t mark = kParagraphMark;
  Append(std::u16string_view(&mark, 1), format, false);
}

void RichDocument::AppendObject(std::shared_ptr<IOleObject> object, SIZEL extent,
                                const CharFormat& format) {
  const int32_t at = StoryLength() - 1;
  const char16_t placeholder = kObjectChar;
  Append(std::u16string_view(&placeholder, 1), format, false);
  objects_.push_back(Object{at, std::move(object), extent});
}

void RichDocument::SetParaFormat(const ParaFormat& format) {
  paraFormats_.back() = format;
  ++version_;
}

void RichDocument::ReserveText(size_t units) {
  // Reserved room that is never written costs address space, not memory.
  text_.reserve(text_.size() + std::min<size_t>(units, static_cast<size_t>(INT32_MAX)));
}

int32_t RichDocument::Clamp(int32_t pos) const { return std::clamp(pos, 0, StoryLength()); }

bool RichDocument::IsUnit(int32_t unit) const {
  return unit == tomCharacter || unit == tomCharFormat || unit == tomParagraph || unit == tomStory;
}

int32_t RichDocument::NextBoundary(int32_t unit, int32_t pos) const {
  const int32_t length = StoryLength();
  if (pos >= length) return length;
  switch (unit) {
    case tomCharacter: return pos + 1;
    case tomStory: return length;
    case tomCharFormat: {
      const size_t r = RunAt(pos);
      return r + 1 < runStarts_.size() ? runStarts_[r + 1] : length;
    }
    default: {
      const size_t p = ParaAt(pos);
      return p + 1 < paraStarts_.size() ? paraStarts_[p + 1] : length;
    }
  }
}

int32_t RichDocument::PrevBoundary(int32_t unit, int32_t pos) const {
  const std::vector<int32_t>* starts = nullptr;
  switch (unit) {
    case tomCharacter: return std::max(pos - 1, 0);
    case tomStory: return 0;
    case tomCharFormat: starts = &runStarts_; break;
    default: starts = &paraStarts_; break;
  }
  auto it = std::lower_bound(starts->begin(), starts->end(), pos);
  return it == starts->begin() ? 0 : *(it - 1);
}

namespace {

// The index i with starts[i] <= pos < starts[i + 1], trying the hint and its
// successor before searching.
size_t Locate(const std::vector<int32_t>& starts, int32_t pos, size_t& hint) {
  const size_t n = starts.size();
  for (size_t i = hint; i < n && i <= hint + 1; ++i) {
    if (starts[i] <= pos && (i + 1 == n || pos < starts[i + 1])) return hint = i;
  }
  auto it = std::upper_bound(starts.begin(), starts.end(), pos);
  hint = static_cast<size_t>(it - starts.begin()) - 1;
  return hint;
}

}  // namespace

size_t RichDocument::RunAt(int32_t pos) const { return Locate(runStarts_, pos, runHint_); }

size_t RichDocument::ParaAt(int32_t pos) const { return Locate(paraStarts_, pos, paraHint_); }

void RichDocument::FormatsIn(int32_t start, int32_t end, std::vector<uint32_t>* out) const {
  out->clear();
  if (start >= end) {
    // An insertion point has the format of the character before it.
    out->push_back(runFormats_[RunAt(start > 0 ? start - 1 : 0)]);
    return;
  }
  const size_t first = RunAt(start), last = RunAt(end - 1);
  for (size_t i = first; i <= last; ++i) out->push_back(runFormats_[i]);
}

void RichDocument::ParagraphsIn(int32_t start, int32_t end, size_t* first, size_t* last) const {
  const int32_t lastChar = std::max(std::min(end, StoryLength()) - 1, 0);
  *first = ParaAt(std::min(start, lastChar));
  *last = start >= end ? *first : ParaAt(lastChar);
}

void RichDocument::SplitRunAt(int32_t pos) {
  if (pos <= 0 || pos >= StoryLength()) return;
  const size_t i = RunAt(pos);
  if (runStarts_[i] == pos) return;
  runStarts_.insert(runStarts_.begin() + static_cast<std::ptrdiff_t>(i) + 1, pos);
  runFormats_.insert(runFormats_.begin() + static_cast<std::ptrdiff_t>(i) + 1, runFormats_[i]);
}

void RichDocument::MergeRuns(size_t from, size_t to) {
  to = std::min(to, runStarts_.size() - 1);
  for (size_t i = to; i > from && i > 0; --i) {
    if (runFormats_[i] != runFormats_[i - 1]) continue;
    runStarts_.erase(runStarts_.begin() + static_cast<std::ptrdiff_t>(i));
    runFormats_.erase(runFormats_.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

void RichDocument::ApplyCharFormat(int32_t start, int32_t end,
                                   const std::function<void(CharFormat&)>& change) {
  start = Clamp(start);
  end = Clamp(end);
  if (start >= end) return;
  SplitRunAt(start);
  SplitRunAt(end);
  const size_t first = RunAt(start), last = RunAt(end - 1);
  for (size_t i = first; i <= last; ++i) {
    CharFormat f = formats_[runFormats_[i]];
    change(f);
    runFormats_[i] = Intern(f);
  }
  MergeRuns(first > 0 ? first - 1 : 0, last + 1);
  ++version_;
}

}  // namespace tagsmith
