#include "conversion/tags_array.h"

#include <algorithm>

#include "conversion/markup_writers.h"
#include "conversion/wstring_stream.h"
#include "platform/memory.h"

namespace tagsmith {

namespace {

int32_t StoredColor(int32_t reported) {
  return reported == tomAutoColor ? kAutoColor : (reported & 0x00FFFFFF);
}

uint8_t StoredAlignment(int32_t reported) {
  switch (reported) {
    case tomAlignCenter: return 2;
    case tomAlignRight: return 1;
    case tomAlignJustify: return 3;
    default: return 0;  // left, or a value the document cannot state
  }
}

// Walks the story unit by unit as the collectors do: MoveEnd by one unit,
// visit, Move by one unit, until the document reports 0 or -1.
template <typename Visit>
void WalkUnits(ITextDocument& document, int32_t unit, Visit visit) {
  std::shared_ptr<ITextRange> range;
  OleCheck(document.Range(0, 0, &range));
  for (;;) {
    int32_t moved = 0;
    OleCheck(range->MoveEnd(unit, 1, &moved));
    if (moved == 0 || moved == -1) return;
    visit(*range);
    OleCheck(range->Move(unit, 1, &moved));
    if (moved == 0 || moved == -1) return;
  }
}

// Writes text with a line feed after every carriage return: the same code as
// running CRToCRLF over the whole accumulated code (tags hold no carriage
// return), without a second copy of it.
void WriteWithCRLF(TWStringStream& code, std::u16string_view text) {
  size_t from = 0;
  for (size_t cr = text.find(u'\r'); cr != std::u16string_view::npos; cr = text.find(u'\r', from)) {
    code.WriteWideString(text.substr(from, cr + 1 - from));
    code.WriteWideString(u"\n");
    from = cr + 1;
  }
  code.WriteWideString(text.substr(from));
}

void RequireDocument(const std::shared_ptr<ITextDocument>& document) {
  if (!document) throw EConversionError("No document to convert");
}

}  // namespace

int32_t TagRank(TTagKind kind, TTagPhase phase) {
  if (phase == tpClose && kind == tgObj) return 0;
  if (phase == tpClose && kind == tgSym) return 1;
  if (phase == tpClose && kind == tgPara) return 2;
  if (phase == tpBreak) return 3;
  if (phase == tpOpen && kind == tgPara) return 4;
  if (phase == tpOpen && kind == tgSym) return 5;
  if (phase == tpOpen && kind == tgObj) return 6;
  throw EConversionError("Error in adder block!");
}

int32_t CompareTags(const TTagRec& a, const TTagRec& b) {
  // Computed wide so that positions beyond 2^31 / 7 still order correctly.
  const int64_t ka = TagRank(a.Kind, a.Phase) + 7 * static_cast<int64_t>(a.Position);
  const int64_t kb = TagRank(b.Kind, b.Phase) + 7 * static_cast<int64_t>(b.Position);
  return ka < kb ? -1 : (ka > kb ? 1 : 0);
}

uint32_t SwapRB(uint32_t colour) {
  return ((colour >> 16) & 0xFFu) | (colour & 0xFF00u) | ((colour & 0xFFu) << 16);
}

std::u16string CRToCRLF(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size() + static_cast<size_t>(std::count(text.begin(), text.end(), u'\r')));
  for (char16_t c : text) {
    out.push_back(c);
    if (c == u'\r') out.push_back(u'\n');
  }
  return out;
}

void TTagsArray::Analyze() {
  ReadSymFormats();
  ReadParaFormats();
  ReadEmbObjects();
  FillTags();
  AddLineBreakTags();
  SortTags();
}

void TTagsArray::ReadSymFormats() {
  RequireDocument(Document);
  SymFormats.clear();
  {
    // Room for a run every four characters: runs are rarely shorter, and
    // room never filled costs address space only.
    std::shared_ptr<ITextRange> whole;
    OleCheck(Document->Range(0, 0, &whole));
    int32_t length = 0;
    OleCheck(whole->GetStoryLength(&length));
    ReserveLarge(SymFormats, static_cast<size_t>(std::max(length, 0)) / 4 + 16);
  }
  WalkUnits(*Document, tomCharFormat, [this](ITextRange& range) {
    TSymFormat& run = SymFormats.emplace_back();
    OleCheck(range.GetStart(&run.StartPos));
    OleCheck(range.GetEnd(&run.EndPos));
    // One font object of the run answers every attribute: nothing changes the
    // document between the reads, so a fresh object per attribute would only
    // cost time on long documents.
    std::shared_ptr<ITextFont> font;
    OleCheck(range.GetFont(&font));
    if (!font) throw EOleError("The document returned no font");
    int32_t value = 0;
    OleCheck(font->GetBold(&value));
    if (value != 0) run.Sym.Style |= fsBold;
    OleCheck(font->GetItalic(&value));
    if (value != 0) run.Sym.Style |= fsItalic;
    OleCheck(font->GetStrikeThrough(&value));
    if (value != 0) run.Sym.Style |= fsStrikeOut;
    OleCheck(font->GetUnderline(&value));
    if (value != 0 && value != tomUndefined) run.Sym.Style |= fsUnderline;
    OleCheck(font->GetForeColor(&value));
    run.Sym.ForeColor = StoredColor(value);
    OleCheck(font->GetBackColor(&value));
    run.Sym.BackColor = StoredColor(value);
    OleCheck(font->GetName(&run.Sym.FontName));
    float size = 0;
    OleCheck(font->GetSize(&size));
    run.Sym.FontSize = size;
  });
}

void TTagsArray::ReadParaFormats() {
  RequireDocument(Document);
  ParaFormats.clear();
  WalkUnits(*Document, tomParagraph, [this](ITextRange& range) {
    TParaFormat& para = ParaFormats.emplace_back();
    OleCheck(range.GetStart(&para.StartPos));
    OleCheck(range.GetEnd(&para.EndPos));
    std::shared_ptr<ITextPara> format;
    OleCheck(range.GetPara(&format));
    if (!format) throw EOleError("The document returned no paragraph format");
    int32_t alignment = tomAlignLeft;
    OleCheck(format->GetAlignment(&alignment));
    para.Alignment = StoredAlignment(alignment);
    int32_t list = tomListNone;
    OleCheck(format->GetListType(&list));
    para.Bullets = list != tomListNone && list != tomUndefined;
  });
}

void TTagsArray::ReadEmbObjects() {
  if (!RichEditOle) throw EConversionError("No object list to convert");
  int32_t count = 0;
  OleCheck(RichEditOle->GetObjectCount(&count));
  EmbObjFormats.assign(static_cast<size_t>(std::max(count, 0)), TEmbObjFormat());
  for (int32_t i = 0; i < count; ++i) {
    REOBJECT descriptor;
    descriptor.cbStruct = sizeof(REOBJECT);
    OleCheck(RichEditOle->GetObject(i, &descriptor, REO_GETOBJ_POLEOBJ));
    TEmbObjFormat& entry = EmbObjFormats[static_cast<size_t>(i)];
    entry = TEmbObjFormat();
    entry.StartPos = descriptor.cp;
    entry.EndPos = descriptor.cp + 1;
    entry.Obj.OleObject = std::move(descriptor.poleobj);
    entry.Obj.ObjWidth = descriptor.sizel.cx;
    entry.Obj.ObjHeight = descriptor.sizel.cy;
  }
}

int32_t TTagsArray::GetTextLength() {
  RequireDocument(Document);
  int32_t lastEnd = 0;
  bool any = false;
  WalkUnits(*Document, tomCharFormat, [&](ITextRange& range) {
    OleCheck(range.GetEnd(&lastEnd));
    any = true;
  });
  return any ? lastEnd - 1 : -1;
}

void TTagsArray::FillTags() {
  const size_t r = SymFormats.size(), p = ParaFormats.size(), o = EmbObjFormats.size();
  Tags.clear();
  if (r + p + o == 0) return;
  // Room for the line breaks that follow: one per paragraph mark but the
  // final one, plus line breaks inside paragraphs, which are rare.
  ReserveLarge(Tags, 2 * (r + p + o) + p);
  Tags.resize(2 * (r + p + o));
  for (size_t i = 0; i < r; ++i) {
    const TSymFormat& run = SymFormats[i];
    Tags[2 * i] = TTagRec{tgSym, tpOpen, 0, run.StartPos, &run.Sym, nullptr, nullptr};
    Tags[2 * i + 1] = TTagRec{tgSym, tpClose, 0, run.EndPos, &run.Sym, nullptr, nullptr};
  }
  for (size_t j = 0; j < p; ++j) {
    const TParaFormat& para = ParaFormats[j];
    Tags[2 * (r + j)] = TTagRec{tgPara, tpOpen, 0, para.StartPos, nullptr, &para.Alignment, nullptr};
    Tags[2 * (r + j) + 1] = TTagRec{tgPara, tpClose, 0, para.EndPos, nullptr, &para.Alignment, nullptr};
  }
  for (size_t k = 0; k < o; ++k) {
    const TEmbObjFormat& obj = EmbObjFormats[k];
    Tags[2 * (r + p + k)] = TTagRec{tgObj, tpOpen, 0, obj.StartPos, nullptr, nullptr, &obj.Obj};
    Tags[2 * (r + p + k) + 1] = TTagRec{tgObj, tpClose, 0, obj.EndPos, nullptr, nullptr, &obj.Obj};
  }
}

void TTagsArray::AddLineBreakTags() {
  RequireDocument(Document);
  // The story length without the final mark, as GetTextLength walks it: the
  // run walk has just been taken for the snapshot of this unchanged document,
  // so its last run gives the same number without walking again.
  const int32_t length = SymFormats.empty() ? -1 : SymFormats.back().EndPos - 1;
  // The text of [0, length) is read in slices: the same characters as one
  // read of the whole range, without a copy of the whole story in memory.
  constexpr int32_t kSlice = 1 << 16;
  std::shared_ptr<ITextRange> range;
  OleCheck(Document->Range(0, 0, &range));
  std::u16string text;
  for (int32_t from = 0; from < length; from += kSlice) {
    OleCheck(range->SetStart(0));
    OleCheck(range->SetEnd(std::min(length, from + kSlice)));
    OleCheck(range->SetStart(from));
    OleCheck(range->GetText(&text));
    for (size_t i = 0; i < text.size(); ++i)
      if (text[i] == u'\r')
        Tags.push_back(TTagRec{tgSym, tpBreak, 1, from + static_cast<int32_t>(i), nullptr, nullptr, nullptr});
  }
}

void TTagsArray::SortTags() {
  // The events of one kind and phase come in document order (the collectors
  // walk forward), so the order by position and rank is a merge of the seven
  // groups: linear, where a sort would not be. A group out of order (a
  // document that reported positions backwards) falls back to a full sort.
  struct Group {
    std::vector<const TTagRec*> tags;
    bool ordered = true;
  };
  Group groups[7];
  size_t sizes[7] = {};
  for (const TTagRec& tag : Tags) ++sizes[TagRank(tag.Kind, tag.Phase)];
  for (int rank = 0; rank < 7; ++rank) ReserveLarge(groups[rank].tags, sizes[rank]);
  for (const TTagRec& tag : Tags) {
    Group& g = groups[TagRank(tag.Kind, tag.Phase)];
    if (!g.tags.empty() && g.tags.back()->Position > tag.Position) g.ordered = false;
    g.tags.push_back(&tag);
  }
  SortedTags.clear();
  ReserveLarge(SortedTags, Tags.size());
  bool ordered = true;
  for (const Group& g : groups) ordered = ordered && g.ordered;
  if (!ordered) {
    for (const TTagRec& tag : Tags) SortedTags.push_back(&tag);
    std::sort(SortedTags.begin(), SortedTags.end(),
              [](const TTagRec* a, const TTagRec* b) { return CompareTags(*a, *b) < 0; });
    return;
  }
  size_t next[7] = {};
  for (size_t n = 0; n < Tags.size(); ++n) {
    int best = -1;
    int64_t bestKey = 0;
    for (int rank = 0; rank < 7; ++rank) {
      if (next[rank] == groups[rank].tags.size()) continue;
      const int64_t key = rank + 7 * static_cast<int64_t>(groups[rank].tags[next[rank]]->Position);
      if (best < 0 || key < bestKey) best = rank, bestKey = key;
    }
    SortedTags.push_back(groups[best].tags[next[best]++]);
  }
}

TDialectId TTagsArray::CurrentDialect() const {
  if (!DataModule.Dialects || OutputKind > 1) return mdClassic;
  const TDialectId id = OutputKind == 0 ? DataModule.Dialects->Html : DataModule.Dialects->BBCode;
  const TDialect& d = DialectProfile(id);
  return d.OutputKind == OutputKind ? d.Id : mdClassic;
}

std::u16string TTagsArray::GetCode(bool local) {
  RequireDocument(Document);
  if (const TDialectId dialect = CurrentDialect(); dialect != mdClassic)
    return GetDialectCode(DialectProfile(dialect), local);
  TWStringStream code;
  std::shared_ptr<ITextRange> range;
  OleCheck(Document->Range(0, 0, &range));
  std::u16string text, markup;
  // The code's size, known before it is written: the text up to the last
  // event, a line feed for each paragraph mark, and the markup. Room for all
  // of it at once spares a long document its copies while the code grows.
  size_t size = 0;
  for (const TTagRec* tag : SortedTags) {
    markup.clear();
    AppendTagText(*tag, local, markup);
    size += markup.size();
    if (tag->Phase == tpBreak) ++size;
  }
  if (!SortedTags.empty()) size += static_cast<size_t>(std::max(SortedTags.back()->Position, 0)) + 1;
  code.Reserve(size);
  for (const TTagRec* tag : SortedTags) {
    OleCheck(range->SetEnd(tag->Position));
    int32_t start = 0, end = 0;
    OleCheck(range->GetStart(&start));
    OleCheck(range->GetEnd(&end));
    // An object's own character (its placeholder) is never written.
    if (start != end && !(tag->Kind == tgObj && tag->Phase == tpClose)) {
      OleCheck(range->GetText(&text));
      WriteWithCRLF(code, text);
    }
    markup.clear();
    AppendTagText(*tag, local, markup);
    code.WriteWideString(markup);
    OleCheck(range->SetStart(tag->Position));
  }
  return code.TakeDataString();
}

std::u16string TTagsArray::GetDialectCode(const TDialect& dialect, bool local) {
  // The story's text up to the end of the last run, read in slices as the
  // line breaks are.
  const int32_t length = SymFormats.empty() ? 0 : SymFormats.back().EndPos;
  constexpr int32_t kSlice = 1 << 16;
  std::shared_ptr<ITextRange> range;
  OleCheck(Document->Range(0, 0, &range));
  std::u16string story, slice;
  story.reserve(static_cast<size_t>(std::max(length, 0)));
  for (int32_t from = 0; from < length; from += kSlice) {
    OleCheck(range->SetStart(0));
    OleCheck(range->SetEnd(std::min(length, from + kSlice)));
    OleCheck(range->SetStart(from));
    OleCheck(range->GetText(&slice));
    story += slice;
  }
  TDialectInput input;
  input.Runs = &SymFormats;
  input.Paras = &ParaFormats;
  input.Objects = &EmbObjFormats;
  input.Text = story;
  input.Tags = OutputKind == 0 ? HtmlTags().Bits() : BBCodeTags().Bits();
  input.Local = local;
  input.AntiHotlinking = AntiHotlinking;
  return WriteDialectCode(dialect, input);
}

THTMLTagSet TTagsArray::HtmlTags() const {
  return DataModule.Html ? DataModule.Html->Data : THTMLTagSet(THTMLTagSetHolder::kDefault);
}

TBBCODETagSet TTagsArray::BBCodeTags() const {
  return DataModule.BBCode ? DataModule.BBCode->Data : TBBCODETagSet(TBBCODETagSetHolder::kDefault);
}

std::u16string TTagsArray::GetTagText(const TTagRec& tag, bool local) const {
  std::u16string out;
  AppendTagText(tag, local, out);
  return out;
}

void TTagsArray::AppendTagText(const TTagRec& tag, bool local, std::u16string& out) const {
  switch (OutputKind) {
    case 0: AppendHtmlTagText(tag, local, AntiHotlinking, HtmlTags(), out); break;
    case 1: AppendBBCodeTagText(tag, AntiHotlinking, BBCodeTags(), out); break;
    default: break;
  }
}

}  // namespace tagsmith
