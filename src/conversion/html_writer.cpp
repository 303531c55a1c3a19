#include "conversion/markup_writers.h"

namespace tagsmith {

namespace {

using namespace markup;
using namespace std::string_view_literals;

bool SpanCondition(const TSymRec& sym, THTMLTagSet s) {
  return (s.Contains(httFontName) && !sym.FontName.empty()) ||
         (s.Contains(httFontSize) && sym.FontSize > 0) ||
         (s.Contains(httFontColor) && !IsAutoColor(sym.ForeColor)) ||
         (s.Contains(httFontBkColor) && !IsAutoColor(sym.BackColor));
}

void RunOpen(const TSymRec& sym, THTMLTagSet s, std::u16string& out) {
  if (SpanCondition(sym, s)) {
    // "<span style=\"%s%s%s%s\">": size, family, colour, background.
    out += u"<span style=\""sv;
    if (s.Contains(httFontSize) && sym.FontSize > 0) {
      out += u"font-size: "sv;
      AppendDecimal(out, RoundedFontSize(sym.FontSize));
      out += u"pt; "sv;
    }
    if (s.Contains(httFontName) && !sym.FontName.empty()) {
      out += u"font-family: "sv;
      AppendValue(out, sym.FontName, ValueContext::HtmlAttribute);
      out += u"; "sv;
    }
    if (s.Contains(httFontColor) && !IsAutoColor(sym.ForeColor)) {
      out += u"color: #"sv;
      AppendHex6(out, SwapRB(static_cast<uint32_t>(sym.ForeColor)));
      out += u"; "sv;
    }
    if (s.Contains(httFontBkColor) && !IsAutoColor(sym.BackColor)) {
      out += u"background-color: #"sv;
      AppendHex6(out, SwapRB(static_cast<uint32_t>(sym.BackColor)));
      out += u"; "sv;
    }
    out += u"\">"sv;
  }
  if (s.Contains(httBold) && (sym.Style & fsBold)) out += u"<b>"sv;
  if (s.Contains(httItalic) && (sym.Style & fsItalic)) out += u"<i>"sv;
  if (s.Contains(httUnderline) && (sym.Style & fsUnderline)) out += u"<u>"sv;
  if (s.Contains(httStrikeout) && (sym.Style & fsStrikeOut)) out += u"<s>"sv;
}

void RunClose(const TSymRec& sym, THTMLTagSet s, std::u16string& out) {
  if (s.Contains(httStrikeout) && (sym.Style & fsStrikeOut)) out += u"</s>"sv;
  if (s.Contains(httUnderline) && (sym.Style & fsUnderline)) out += u"</u>"sv;
  if (s.Contains(httItalic) && (sym.Style & fsItalic)) out += u"</i>"sv;
  if (s.Contains(httBold) && (sym.Style & fsBold)) out += u"</b>"sv;
  if (SpanCondition(sym, s)) out += u"</span>"sv;
}

void ImageTag(std::u16string_view source, std::u16string& out) {
  out += u"<img src=\""sv;
  AppendValue(out, source, ValueContext::HtmlAttribute);
  out += u"\" border=\"0\">"sv;
}

void ObjectOpen(const TEmbObjRec& obj, bool local, bool antiHotlinking, std::u16string& out) {
  if (local) {
    // A local file as a link the browser opens: "file://localhost" and the
    // absolute path (a path without a leading separator gets one).
    const std::u16string& file = obj.ImageKind == 1 ? obj.PngFile : obj.JpegFile;
    std::u16string link = u"file://localhost";
    if (file.empty() || file[0] != u'/') link += u'/';
    link += file;
    ImageTag(link, out);
  } else if (antiHotlinking && IsBigImage(obj)) {
    out += u"<a href=\""sv;
    AppendValue(out, obj.LinkToPage, ValueContext::HtmlAttribute);
    out += u"\" target=\"_blank\">"sv;
    ImageTag(obj.ImagePreviewURL, out);
    out += u"</a>"sv;
  } else {
    ImageTag(obj.ImageURL, out);
  }
}

}  // namespace

void AppendHtmlTagText(const TTagRec& tag, bool local, bool antiHotlinking, THTMLTagSet s, std::u16string& out) {
  if (tag.Phase == tpBreak) {
    if (tag.BreakFlag == 1) out += u"<br/>"sv;
    return;
  }
  switch (tag.Kind) {
    case tgSym:
      if (!tag.Sym) return;
      if (tag.Phase == tpOpen) RunOpen(*tag.Sym, s, out);
      else RunClose(*tag.Sym, s, out);
      return;
    case tgPara: {
      if (!tag.Para || !s.Contains(httAlign)) return;
      if (tag.Phase == tpOpen) {
        if (const char16_t* word = AlignmentWord(*tag.Para)) {
          out += u"<span align="sv;
          out += word;
          out += u">"sv;
        }
      } else if (*tag.Para != 3) {
        out += u"</span>"sv;
      }
      return;
    }
    case tgObj:
      if (tag.Obj && tag.Phase == tpOpen && s.Contains(httImage)) ObjectOpen(*tag.Obj, local, antiHotlinking, out);
      return;
  }
}

}  // namespace tagsmith
