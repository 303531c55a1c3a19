#include "conversion/markup_writers.h"

namespace tagsmith {

namespace {

using namespace markup;
using namespace std::string_view_literals;

bool HasFont(const TSymRec& sym, TBBCODETagSet s) { return s.Contains(bttFontName) && !sym.FontName.empty(); }
bool HasSize(const TSymRec& sym, TBBCODETagSet s) { return s.Contains(bttFontSize) && sym.FontSize > 0; }
bool HasColor(const TSymRec& sym, TBBCODETagSet s) {
  return s.Contains(bttFontColor) && !IsAutoColor(sym.ForeColor);
}

void RunOpen(const TSymRec& sym, TBBCODETagSet s, std::u16string& out) {
  if (HasFont(sym, s)) {
    out += u"[font=\""sv;
    AppendValue(out, sym.FontName, ValueContext::BBCode);
    out += u"\"]"sv;
  }
  if (HasSize(sym, s)) {
    out += u"[size="sv;
    AppendDecimal(out, RoundedFontSize(sym.FontSize));
    out += u"]"sv;
  }
  if (HasColor(sym, s)) {
    out += u"[color=#"sv;
    AppendHex6(out, SwapRB(static_cast<uint32_t>(sym.ForeColor)));
    out += u"]"sv;
  }
  if (s.Contains(bttBold) && (sym.Style & fsBold)) out += u"[b]"sv;
  if (s.Contains(bttItalic) && (sym.Style & fsItalic)) out += u"[i]"sv;
  if (s.Contains(bttUnderline) && (sym.Style & fsUnderline)) out += u"[u]"sv;
  if (s.Contains(bttStrikeout) && (sym.Style & fsStrikeOut)) out += u"[s]"sv;
}

void RunClose(const TSymRec& sym, TBBCODETagSet s, std::u16string& out) {
  if (s.Contains(bttStrikeout) && (sym.Style & fsStrikeOut)) out += u"[/s]"sv;
  if (s.Contains(bttUnderline) && (sym.Style & fsUnderline)) out += u"[/u]"sv;
  if (s.Contains(bttItalic) && (sym.Style & fsItalic)) out += u"[/i]"sv;
  if (s.Contains(bttBold) && (sym.Style & fsBold)) out += u"[/b]"sv;
  if (HasColor(sym, s)) out += u"[/color]"sv;
  if (HasSize(sym, s)) out += u"[/size]"sv;
  if (HasFont(sym, s)) out += u"[/font]"sv;
}

}  // namespace

// BBCode writes no background colour and never links local files.
void AppendBBCodeTagText(const TTagRec& tag, bool antiHotlinking, TBBCODETagSet s, std::u16string& out) {
  if (tag.Phase == tpBreak) return;
  switch (tag.Kind) {
    case tgSym:
      if (!tag.Sym) return;
      if (tag.Phase == tpOpen) RunOpen(*tag.Sym, s, out);
      else RunClose(*tag.Sym, s, out);
      return;
    case tgPara: {
      if (!tag.Para || !s.Contains(bttAlign)) return;
      const char16_t* word = AlignmentWord(*tag.Para);
      if (!word) return;
      out += tag.Phase == tpOpen ? u"["sv : u"[/"sv;
      out += word;
      out += u"]"sv;
      return;
    }
    case tgObj: {
      if (!tag.Obj || !s.Contains(bttImage)) return;
      const bool preview = antiHotlinking && IsBigImage(*tag.Obj);
      if (tag.Phase != tpOpen) {
        out += preview ? u"[/img][/url]"sv : u"[/img]"sv;
      } else if (preview) {
        out += u"[url="sv;
        AppendValue(out, tag.Obj->LinkToPage, ValueContext::BBCode);
        out += u"][img]"sv;
        AppendValue(out, tag.Obj->ImagePreviewURL, ValueContext::BBCode);
      } else {
        out += u"[img]"sv;
        AppendValue(out, tag.Obj->ImageURL, ValueContext::BBCode);
      }
      return;
    }
  }
}

}  // namespace tagsmith
