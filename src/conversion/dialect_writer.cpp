// The writer of every dialect but Classic. Where the Classic writers turn
// each event into text on its own, this one keeps the structure the places
// the code is pasted into need: each paragraph is a block (its alignment
// outermost, list items grouped in one list), the runs inside are tags that
// close in the reverse order they opened, every inline tag closes before its
// paragraph ends and reopens after it, and nothing stays open at the end.
// How each piece is spelt comes from the dialect's profile.

#include <algorithm>
#include <map>

#include "conversion/markup_writers.h"

namespace tagsmith {

namespace {

using namespace markup;
using namespace std::string_view_literals;

// One inline tag: its kind and its two texts. Two tags are the same when
// their kind and opening text are.
struct InlineTag {
  int kind = 0;
  std::u16string open, close;
  bool operator==(const InlineTag& o) const { return kind == o.kind && open == o.open; }
};

enum InlineKind { ikFont, ikSize, ikColor, ikBackground, ikBold, ikItalic, ikUnderline, ikStrikeout };

// A block around paragraphs: an alignment (BBCode) or a list.
struct Block {
  std::u16string open, close;
  bool operator==(const Block& o) const { return open == o.open; }
};

bool IsAsciiAlnum(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// Text inside an HTML attribute or element: the characters that would end it
// or start markup become references.
void AppendHtmlEscaped(std::u16string& out, std::u16string_view text, bool attribute) {
  for (char16_t c : text) {
    switch (c) {
      case u'&': out += u"&amp;"sv; break;
      case u'<': out += u"&lt;"sv; break;
      case u'>': out += u"&gt;"sv; break;
      case u'"':
        if (attribute) out += u"&quot;"sv;
        else out.push_back(c);
        break;
      default: out.push_back(c);
    }
  }
}

// A CSS font family: bare when every word is an identifier and the name is
// no keyword, else a quoted string.
std::u16string CssFontFamily(std::u16string_view name) {
  static constexpr std::u16string_view kKeywords[] = {
      u"serif", u"sans-serif", u"monospace", u"cursive", u"fantasy", u"system-ui", u"math", u"emoji",
      u"fangsong", u"ui-serif", u"ui-sans-serif", u"ui-monospace", u"ui-rounded", u"inherit", u"initial",
      u"unset", u"revert", u"revert-layer", u"default"};
  bool bare = !name.empty();
  size_t i = 0;
  while (bare && i <= name.size()) {
    const size_t end = std::min(name.find(u' ', i), name.size());
    std::u16string_view word = name.substr(i, end - i);
    auto identStart = [](char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_' || c >= 0x80; };
    if (word.empty() || !identStart(word[0] == u'-' && word.size() > 1 ? word[1] : word[0])) bare = false;
    for (char16_t c : word)
      if (!(IsAsciiAlnum(c) || c == u'-' || c == u'_' || c >= 0x80)) bare = false;
    if (word.size() > 1 && word[0] == u'-' && word[1] == u'-') bare = false;
    i = end + 1;
  }
  if (bare) {
    for (std::u16string_view k : kKeywords) {
      if (k.size() != name.size()) continue;
      bool same = true;
      for (size_t j = 0; j < k.size() && same; ++j) {
        char16_t c = name[j];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        same = c == k[j];
      }
      if (same) bare = false;
    }
  }
  if (bare) return std::u16string(name);
  std::u16string quoted = u"'";
  for (char16_t c : name) {
    if (c == u'\\' || c == u'\'') quoted.push_back(u'\\');
    // A line end cannot stand in a CSS string; the name never needs one.
    if (c == u'\r' || c == u'\n') continue;
    quoted.push_back(c);
  }
  quoted.push_back(u'\'');
  return quoted;
}

// A size in points with at most two decimals and no trailing zeros.
void AppendPoints(std::u16string& out, long double size) {
  long long hundredths = static_cast<long long>(std::min<long double>(size, 100000.0L) * 100.0L + 0.5L);
  AppendDecimal(out, static_cast<int>(hundredths / 100));
  int fraction = static_cast<int>(hundredths % 100);
  if (fraction) {
    out.push_back(u'.');
    out.push_back(static_cast<char16_t>(u'0' + fraction / 10));
    if (fraction % 10) out.push_back(static_cast<char16_t>(u'0' + fraction % 10));
  }
}

class DialectWriter {
 public:
  DialectWriter(const TDialect& dialect, const TDialectInput& in) : d_(dialect), in_(in) {}

  std::u16string Write() {
    if (!Html()) FindBodyText();
    const std::vector<TSymFormat>& runs = *in_.Runs;
    const TEmbObjFormatArr& objects = *in_.Objects;
    const int32_t textLength = static_cast<int32_t>(in_.Text.size());
    size_t run = 0, object = 0;
    int32_t done = 0;
    for (const TParaFormat& para : *in_.Paras) {
      const int32_t start = std::max(para.StartPos, done);
      const int32_t end = std::min(para.EndPos, textLength);
      if (end <= start) continue;
      done = end;
      const int32_t mark = in_.Text[size_t(end - 1)] == u'\r' ? end - 1 : end;
      SetBlocks(BlocksOf(para));
      ParagraphOpen(para);
      bool empty = true, endsWithBreak = false;
      for (int32_t pos = start; pos < mark;) {
        while (run < runs.size() && runs[run].EndPos <= pos) ++run;
        const TSymFormat* current = run < runs.size() && runs[run].StartPos <= pos ? &runs[run] : nullptr;
        int32_t segmentEnd = mark;
        if (current) segmentEnd = std::min(mark, current->EndPos);
        else if (run < runs.size()) segmentEnd = std::min(mark, runs[run].StartPos);
        SetInline(current ? TagsOf(current->Sym) : std::vector<InlineTag>());
        while (pos < segmentEnd) {
          while (object < objects.size() && objects[object].StartPos < pos) ++object;
          const int32_t nextObject =
              object < objects.size() ? std::min(objects[object].StartPos, segmentEnd) : segmentEnd;
          int32_t stop = pos;
          while (stop < nextObject && in_.Text[size_t(stop)] != u'\r') ++stop;
          if (stop > pos) {
            AppendText(in_.Text.substr(size_t(pos), size_t(stop - pos)));
            empty = false;
            endsWithBreak = false;
          }
          pos = stop;
          if (pos >= segmentEnd) break;
          if (in_.Text[size_t(pos)] == u'\r' && !(object < objects.size() && objects[object].StartPos == pos)) {
            out_ += Html() ? u"<br>"sv : u"\r\n"sv;
            empty = false;
            endsWithBreak = true;
          } else if (object < objects.size() && objects[object].StartPos == pos) {
            if (AppendObject(objects[object].Obj, static_cast<int>(object))) {
              empty = false;
              endsWithBreak = false;
            }
            ++object;
          }
          ++pos;
        }
      }
      SetInline({});
      ParagraphClose(empty, endsWithBreak);
    }
    SetBlocks({});
    return std::move(out_);
  }

 private:
  bool Html() const { return d_.OutputKind == 0; }
  bool Has(int kind) const { return (in_.Tags >> kind) & 1u; }

  // The size and font most of the document's characters have: the forum's
  // normal text, written without tags.
  void FindBodyText() {
    std::map<int, long long> sizes;
    std::map<std::u16string, long long> fonts;
    for (const TSymFormat& run : *in_.Runs) {
      const long long length = std::max<long long>(0, static_cast<long long>(run.EndPos) - run.StartPos);
      if (run.Sym.FontSize > 0) sizes[RoundedFontSize(run.Sym.FontSize)] += length;
      if (!run.Sym.FontName.empty()) fonts[run.Sym.FontName] += length;
    }
    long long best = -1;
    for (const auto& [size, count] : sizes)
      if (count > best) best = count, bodySize_ = size;
    best = -1;
    for (const auto& [font, count] : fonts)
      if (count > best) best = count, bodyFont_ = font;
  }

  std::vector<InlineTag> TagsOf(const TSymRec& sym) const {
    std::vector<InlineTag> tags;
    const bool bold = sym.Style & fsBold, italic = sym.Style & fsItalic;
    const bool underline = sym.Style & fsUnderline, strikeout = sym.Style & fsStrikeOut;
    if (Html()) {
      // One span per property, outermost the one that changes least, so
      // that a change of colour inside a paragraph reopens only its own span.
      auto span = [&tags](int kind, std::u16string_view style) {
        std::u16string open = u"<span style=\"";
        AppendHtmlEscaped(open, style, true);
        open += u"\">"sv;
        tags.push_back({kind, open, u"</span>"});
      };
      if (Has(httFontName) && !sym.FontName.empty()) span(ikFont, u"font-family: " + CssFontFamily(sym.FontName));
      if (Has(httFontSize) && sym.FontSize > 0) {
        std::u16string size = u"font-size: ";
        AppendPoints(size, sym.FontSize);
        span(ikSize, size + u"pt");
      }
      if (Has(httFontColor) && !IsAutoColor(sym.ForeColor)) {
        std::u16string colour = u"color: #";
        AppendHex6(colour, SwapRB(static_cast<uint32_t>(sym.ForeColor)));
        span(ikColor, colour);
      }
      if (Has(httFontBkColor) && !IsAutoColor(sym.BackColor)) {
        std::u16string colour = u"background-color: #";
        AppendHex6(colour, SwapRB(static_cast<uint32_t>(sym.BackColor)));
        span(ikBackground, colour);
      }
      if (Has(httBold) && bold) tags.push_back({ikBold, u"<b>", u"</b>"});
      if (Has(httItalic) && italic) tags.push_back({ikItalic, u"<i>", u"</i>"});
      if (Has(httUnderline) && underline) tags.push_back({ikUnderline, u"<u>", u"</u>"});
      if (Has(httStrikeout) && strikeout) tags.push_back({ikStrikeout, u"<s>", u"</s>"});
      return tags;
    }
    if (Has(bttFontName) && d_.FontChars && !sym.FontName.empty() && sym.FontName != bodyFont_) {
      bool allowed = true;
      for (char16_t c : sym.FontName)
        allowed = allowed && (IsAsciiAlnum(c) || (c < 0x80 && std::string_view(d_.FontChars).find(char(c)) !=
                                                                   std::string_view::npos));
      if (allowed) tags.push_back({ikFont, u"[font=" + sym.FontName + u"]", u"[/font]"});
    }
    if (Has(bttFontSize) && d_.Size != TSizeForm::None && sym.FontSize > 0) {
      const int rounded = RoundedFontSize(sym.FontSize);
      if (rounded != bodySize_ && bodySize_ > 0) {
        const long double scaled = sym.FontSize / bodySize_ * d_.NormalSize;
        const int value = std::clamp(RoundedFontSize(scaled), d_.SizeMin, d_.SizeMax);
        if (value != d_.NormalSize) {
          std::u16string open = u"[size=";
          AppendDecimal(open, value);
          if (d_.Size == TSizeForm::PtSuffix) open += u"pt"sv;
          if (d_.Size == TSizeForm::PxSuffix) open += u"px"sv;
          open += u"]"sv;
          tags.push_back({ikSize, open, u"[/size]"});
        }
      }
    }
    if (Has(bttFontColor) && !IsAutoColor(sym.ForeColor)) {
      std::u16string open = u"[color=#";
      AppendHex6(open, SwapRB(static_cast<uint32_t>(sym.ForeColor)));
      open += u"]"sv;
      tags.push_back({ikColor, open, u"[/color]"});
    }
    if (Has(bttBold) && bold) tags.push_back({ikBold, u"[b]", u"[/b]"});
    if (Has(bttItalic) && italic) tags.push_back({ikItalic, u"[i]", u"[/i]"});
    if (Has(bttUnderline) && underline) tags.push_back({ikUnderline, u"[u]", u"[/u]"});
    if (Has(bttStrikeout) && strikeout && d_.Strikeout) tags.push_back({ikStrikeout, u"[s]", u"[/s]"});
    return tags;
  }

  // Keeps the open tags both runs share and closes and opens the rest, so
  // the tags always nest.
  void SetInline(const std::vector<InlineTag>& want) {
    size_t same = 0;
    while (same < open_.size() && same < want.size() && open_[same] == want[same]) ++same;
    while (open_.size() > same) {
      out_ += open_.back().close;
      open_.pop_back();
    }
    for (size_t i = same; i < want.size(); ++i) {
      out_ += want[i].open;
      open_.push_back(want[i]);
    }
  }

  // The BBCode alignment word of a paragraph: none for left, the forum's own
  // alignment, and none for a kind the engine lacks.
  const char16_t* BBCodeAlignment(uint8_t alignment) const {
    if (!Has(bttAlign) || d_.Align == TAlignForm::None || alignment == 0) return nullptr;
    if (alignment == 3) return d_.Justify ? u"justify" : nullptr;
    return AlignmentWord(alignment);
  }

  bool IsListItem(const TParaFormat& para) const {
    return para.Bullets && (Html() ? Has(httBullets) : Has(bttBullets));
  }

  std::vector<Block> BlocksOf(const TParaFormat& para) const {
    std::vector<Block> blocks;
    if (Html()) {
      if (IsListItem(para)) blocks.push_back({u"<ul>\r\n", u"</ul>\r\n"});
      return blocks;
    }
    if (const char16_t* word = BBCodeAlignment(para.Alignment)) {
      if (d_.Align == TAlignForm::AlignEquals) blocks.push_back({u"[align=" + std::u16string(word) + u"]", u"[/align]"});
      else blocks.push_back({u"[" + std::u16string(word) + u"]", u"[/" + std::u16string(word) + u"]"});
    }
    if (IsListItem(para)) blocks.push_back({u"[list]", u"[/list]"});
    return blocks;
  }

  void SetBlocks(const std::vector<Block>& want) {
    size_t same = 0;
    while (same < blocks_.size() && same < want.size() && blocks_[same] == want[same]) ++same;
    while (blocks_.size() > same) {
      out_ += blocks_.back().close;
      blocks_.pop_back();
    }
    for (size_t i = same; i < want.size(); ++i) {
      out_ += want[i].open;
      blocks_.push_back(want[i]);
    }
  }

  void ParagraphOpen(const TParaFormat& para) {
    if (!Html()) {
      if (IsListItem(para)) out_ += u"[*]"sv;
      return;
    }
    out_ += IsListItem(para) ? u"<li"sv : u"<div"sv;
    if (Has(httAlign)) {
      static constexpr std::u16string_view kWords[] = {u"left", u"right", u"center", u"justify"};
      out_ += u" style=\"text-align: "sv;
      out_ += kWords[para.Alignment < 4 ? para.Alignment : 0];
      out_ += u"\""sv;
    }
    out_ += u">"sv;
    listItem_ = IsListItem(para);
  }

  void ParagraphClose(bool empty, bool endsWithBreak) {
    if (Html()) {
      // An empty paragraph still takes a line, as does a line break at the
      // end of one: a block's last <br> ends a line but starts none.
      if (empty || endsWithBreak) out_ += u"<br>"sv;
      out_ += listItem_ ? u"</li>"sv : u"</div>"sv;
    }
    out_ += u"\r\n"sv;
  }

  void AppendText(std::u16string_view text) {
    if (Html()) {
      AppendHtmlEscaped(out_, text, false);
      return;
    }
    for (size_t i = 0; i < text.size(); ++i) {
      const char16_t c = text[i];
      const char16_t next = i + 1 < text.size() ? text[i + 1] : u'\0';
      // A "[" that could open a tag is shown as it is where the engine has
      // a way to say so.
      if (c == u'[' && d_.LiteralTag && (IsAsciiAlnum(next) || next == u'*' || next == u'/')) {
        out_ += u"["sv;
        out_ += d_.LiteralTag;
        out_ += u"][[/"sv;
        out_ += d_.LiteralTag;
        out_ += u"]"sv;
      } else {
        out_.push_back(c);
      }
    }
  }

  // True when something was written.
  bool AppendObject(const TEmbObjRec& obj, int index) {
    const bool preview = in_.AntiHotlinking && IsBigImage(obj);
    if (!Html()) {
      if (!Has(bttImage)) return false;
      if (preview) {
        out_ += u"[url="sv;
        AppendValue(out_, obj.LinkToPage, ValueContext::BBCode);
        out_ += u"][img]"sv;
        AppendValue(out_, obj.ImagePreviewURL, ValueContext::BBCode);
        out_ += u"[/img][/url]"sv;
      } else {
        out_ += u"[img]"sv;
        AppendValue(out_, obj.ImageURL, ValueContext::BBCode);
        out_ += u"[/img]"sv;
      }
      return true;
    }
    if (!Has(httImage)) return false;
    auto image = [&](std::u16string_view source) {
      out_ += u"<img src=\""sv;
      AppendHtmlEscaped(out_, source, true);
      out_ += u"\" alt=\"Picture "sv;
      AppendDecimal(out_, index + 1);
      out_ += u"\">"sv;
    };
    if (in_.Local) {
      const std::u16string& file = obj.ImageKind == 1 ? obj.PngFile : obj.JpegFile;
      std::u16string link = u"file://localhost";
      if (file.empty() || file[0] != u'/') link += u'/';
      link += file;
      image(link);
    } else if (preview) {
      out_ += u"<a href=\""sv;
      AppendHtmlEscaped(out_, obj.LinkToPage, true);
      out_ += u"\" target=\"_blank\">"sv;
      image(obj.ImagePreviewURL);
      out_ += u"</a>"sv;
    } else {
      image(obj.ImageURL);
    }
    return true;
  }

  const TDialect& d_;
  const TDialectInput& in_;
  int bodySize_ = 0;
  std::u16string bodyFont_;
  std::vector<InlineTag> open_;
  std::vector<Block> blocks_;
  bool listItem_ = false;
  std::u16string out_;
};

}  // namespace

std::u16string WriteDialectCode(const TDialect& dialect, const TDialectInput& input) {
  return DialectWriter(dialect, input).Write();
}

}  // namespace tagsmith
