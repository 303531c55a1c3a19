#include "richtext/document_content.h"

#include <algorithm>

namespace tagsmith {

namespace {

int32_t Colour(int32_t value) { return value < 0 ? tomAutoColor : (value & 0xFFFFFF); }

bool On(int32_t value) { return value != tomFalse && value != tomUndefined; }

CharFormat ReadFormat(ITextRange& range) {
  std::shared_ptr<ITextFont> font;
  OleCheck(range.GetFont(&font));
  if (!font) throw EOleError("The document returned no font");
  CharFormat f;
  int32_t v = 0;
  OleCheck(font->GetBold(&v));
  f.bold = On(v);
  OleCheck(font->GetItalic(&v));
  f.italic = On(v);
  OleCheck(font->GetStrikeThrough(&v));
  f.strikeout = On(v);
  OleCheck(font->GetSuperscript(&v));
  f.superscript = On(v);
  OleCheck(font->GetSubscript(&v));
  f.subscript = On(v);
  OleCheck(font->GetUnderline(&v));
  f.underline = v == tomUndefined || v < 0 ? tomNone : v;
  OleCheck(font->GetForeColor(&v));
  f.foreColor = Colour(v);
  OleCheck(font->GetBackColor(&v));
  f.backColor = Colour(v);
  OleCheck(font->GetName(&f.fontName));
  OleCheck(font->GetSize(&f.size));
  OleCheck(range.GetURL(&f.link));
  return f;
}

// Walks the units from `first` as the conversion engine walks them from the
// start: MoveEnd by one, take the range, Move by one, until the story or the
// stretch ends.
template <typename Visit>
void Walk(ITextDocument& document, int32_t unit, int32_t first, int32_t limit, Visit visit) {
  std::shared_ptr<ITextRange> range;
  OleCheck(document.Range(first, first, &range));
  while (true) {
    int32_t delta = 0;
    OleCheck(range->MoveEnd(unit, 1, &delta));
    if (delta == 0 || delta == -1) break;
    int32_t start = 0, end = 0;
    OleCheck(range->GetStart(&start));
    OleCheck(range->GetEnd(&end));
    visit(*range, start, end);
    if (end >= limit) break;
    OleCheck(range->Move(unit, 1, &delta));
    if (delta == 0 || delta == -1) break;
  }
}

}  // namespace

DocumentContent ReadDocumentContent(ITextDocument& document, IRichEditOle& objects) {
  return ReadDocumentContent(document, objects, 0, INT32_MAX);
}

DocumentContent ReadDocumentContent(ITextDocument& document, IRichEditOle& objects, int32_t first, int32_t limit) {
  DocumentContent c;
  std::shared_ptr<ITextRange> all;
  OleCheck(document.Range(0, 0, &all));
  OleCheck(all->GetStoryLength(&c.storyLength));
  c.first = std::clamp(std::min(first, limit), 0, c.storyLength);
  c.limit = std::clamp(std::max(first, limit), 0, c.storyLength);
  if (c.first == c.limit) return c;
  OleCheck(all->SetEnd(c.limit));
  OleCheck(all->SetStart(c.first));
  OleCheck(all->GetText(&c.text));
  Walk(document, tomCharFormat, c.first, c.limit, [&](ITextRange& r, int32_t s, int32_t e) {
    c.runs.push_back(DocumentContent::Run{s, std::min(e, c.limit), ReadFormat(r)});
  });
  // The paragraph walk starts at the paragraph that holds `first` (or the one
  // before, when `first` starts a paragraph: that one is passed over).
  std::shared_ptr<ITextRange> head;
  OleCheck(document.Range(c.first, c.first, &head));
  int32_t delta = 0;
  OleCheck(head->Move(tomParagraph, -1, &delta));
  int32_t paragraphStart = 0;
  OleCheck(head->GetStart(&paragraphStart));
  Walk(document, tomParagraph, paragraphStart, c.limit, [&](ITextRange& r, int32_t s, int32_t e) {
    if (e <= c.first) return;
    std::shared_ptr<ITextPara> para;
    OleCheck(r.GetPara(&para));
    if (!para) throw EOleError("The document returned no paragraph format");
    int32_t alignment = tomAlignLeft, list = tomListNone;
    OleCheck(para->GetAlignment(&alignment));
    OleCheck(para->GetListType(&list));
    c.paragraphs.push_back(DocumentContent::Paragraph{s, e, ParaFormat{alignment, list != tomListNone && list != tomUndefined}});
  });
  int32_t count = 0;
  OleCheck(objects.GetObjectCount(&count));
  for (int32_t i = 0; i < count; ++i) {
    REOBJECT reo;
    reo.cbStruct = sizeof(REOBJECT);
    OleCheck(objects.GetObject(i, &reo, REO_GETOBJ_POLEOBJ));
    if (reo.cp >= c.first && reo.cp < c.limit) c.objects.push_back(DocumentContent::Object{reo.cp, reo.poleobj, reo.sizel});
  }
  std::stable_sort(c.objects.begin(), c.objects.end(),
                   [](const DocumentContent::Object& a, const DocumentContent::Object& b) { return a.cp < b.cp; });
  return c;
}

void AppendDocumentContent(const DocumentContent& c, IDocumentBuilder& builder, bool withObjects) {
  if (c.first >= c.limit) return;
  builder.ReserveText(c.text.size());
  size_t para = 0, object = 0;
  if (!c.paragraphs.empty()) builder.SetParaFormat(c.paragraphs[0].format);
  std::u16string segment;
  for (const DocumentContent::Run& run : c.runs) {
    segment.clear();
    const int32_t from = std::max(run.start, c.first);
    for (int32_t pos = from; pos < run.end; ++pos) {
      const char16_t ch = c.text[static_cast<size_t>(pos - c.first)];
      while (object < c.objects.size() && c.objects[object].cp < pos) ++object;
      if (ch == kParagraphMark) {
        while (para < c.paragraphs.size() && c.paragraphs[para].end <= pos) ++para;
        const bool endsParagraph = para < c.paragraphs.size() && c.paragraphs[para].end == pos + 1;
        if (!endsParagraph) {
          builder.AppendText(segment, run.format);
          segment.clear();
          builder.AppendLineBreak(run.format);
          continue;
        }
        if (pos + 1 == c.storyLength) break;  // the story's final mark: the target has its own
        segment.push_back(ch);
        builder.AppendText(segment, run.format);
        segment.clear();
        if (para + 1 < c.paragraphs.size() && c.paragraphs[para + 1].format != c.paragraphs[para].format)
          builder.SetParaFormat(c.paragraphs[para + 1].format);
        continue;
      }
      if (ch == kObjectChar && object < c.objects.size() && c.objects[object].cp == pos) {
        builder.AppendText(segment, run.format);
        segment.clear();
        if (withObjects) builder.AppendObject(c.objects[object].object, c.objects[object].extent, run.format);
        ++object;
        continue;
      }
      segment.push_back(ch);
    }
    builder.AppendText(segment, run.format);
  }
}

}  // namespace tagsmith
