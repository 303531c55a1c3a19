#include "richtext/rtf_writer.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <vector>

#include "platform/strings.h"
#include "richtext/code_pages.h"
#include "richtext/document_builder.h"
#include "richtext/document_content.h"
#include "richtext/embedded_object.h"

namespace tagsmith {

namespace {

using Run = DocumentContent::Run;
using Paragraph = DocumentContent::Paragraph;
using Object = DocumentContent::Object;

const char* UnderlineWord(int32_t kind) {
  switch (kind) {
    case tomNone: return nullptr;
    case tomWords: return "\\ulw";
    case tomDouble: return "\\uldb";
    case tomDotted: return "\\uld";
    case tomDash: return "\\uldash";
    case tomDashDot: return "\\uldashd";
    case tomDashDotDot: return "\\uldashdd";
    case tomWave: return "\\ulwave";
    case tomThick: return "\\ulth";
    case tomHair: return "\\ulhair";
    case tomDoubleWave: return "\\ululdbwave";
    case tomHeavyWave: return "\\ulhwave";
    case tomLongDash: return "\\ulldash";
    default: return "\\ul";  // single, and kinds RTF has no word for
  }
}

const char* PictureWord(PictureFormat format) {
  switch (format) {
    case PictureFormat::kPng:
    case PictureFormat::kGif: return "\\pngblip";  // RTF has no word for GIF; readers know it by its bytes
    case PictureFormat::kJpeg: return "\\jpegblip";
    case PictureFormat::kEmf: return "\\emfblip";
    case PictureFormat::kWmf: return "\\wmetafile";
    case PictureFormat::kDib: return "\\dibitmap";
    case PictureFormat::kDdb: return "\\wbitmap";
    case PictureFormat::kMacPict: return "\\macpict";
    case PictureFormat::kOs2Metafile: return "\\pmmetafile";
    case PictureFormat::kUnknown: break;
  }
  return nullptr;
}

bool HasMappingMode(PictureFormat format) {
  return format == PictureFormat::kWmf || format == PictureFormat::kOs2Metafile || format == PictureFormat::kDib ||
         format == PictureFormat::kDdb;
}

const char* ObjectKindWord(OleObjectKind kind) {
  switch (kind) {
    case OleObjectKind::kEmbedded: return "\\objemb";
    case OleObjectKind::kLinked: return "\\objlink";
    case OleObjectKind::kAutoLinked: return "\\objautlink";
    case OleObjectKind::kSubscriber: return "\\objsub";
    case OleObjectKind::kPublisher: return "\\objpub";
    case OleObjectKind::kIcon: return "\\objicemb";
    case OleObjectKind::kHtml: return "\\objhtml";
    case OleObjectKind::kControl: return "\\objocx";
  }
  return "\\objemb";
}

// The character classes RTF tells apart for the choice of font: low ASCII
// (\loch), other single-byte text (\hich) and East Asian text (\dbch).
enum class CharClass { kLow, kHigh, kDouble };

// Hangul, kana, Bopomofo, the CJK ideographs, symbols and punctuation, Yi,
// and the full- and half-width forms; a high surrogate of planes 2 and 3 (the
// supplementary ideographs) counts for its pair.
bool IsEastAsian(char16_t c) {
  return (c >= 0x1100 && c <= 0x11FF) || (c >= 0x2E80 && c <= 0x2FFF) || (c >= 0x3000 && c <= 0x4DBF) ||
         (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) || (c >= 0xA960 && c <= 0xA97F) ||
         (c >= 0xAC00 && c <= 0xD7FF) || (c >= 0xD840 && c <= 0xD8BF) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFFEF);
}

CharClass ClassOf(char16_t c) {
  if (c < 0x80) return CharClass::kLow;
  return IsEastAsian(c) ? CharClass::kDouble : CharClass::kHigh;
}

bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

const char* ClassWord(CharClass c) {
  switch (c) {
    case CharClass::kLow: return "\\loch";
    case CharClass::kHigh: return "\\hich";
    case CharClass::kDouble: return "\\dbch";
  }
  return "\\loch";
}

int64_t MulDivRound(int64_t a, int64_t b, int64_t c) {
  const int64_t n = a * b;
  return n >= 0 ? (n + c / 2) / c : -((-n + c / 2) / c);
}

// A length in twips and a scale in percent that an RTF reader turns back into
// exactly `himetric` (1440 twips = 2540 HIMETRIC). At 100 % not every value
// can be reached, since a twip is 1.76 HIMETRIC; at 56 % a twip is less than
// one HIMETRIC, so one of the scales tried always fits.
std::pair<int32_t, int32_t> TwipsForHimetric(int32_t himetric) {
  for (int32_t scale = 100; scale >= 56; --scale) {
    const int64_t twips = MulDivRound(himetric, 7200, 127 * static_cast<int64_t>(scale));
    if (MulDivRound(twips * 127, scale, 7200) == himetric) return {static_cast<int32_t>(twips), scale};
  }
  return {static_cast<int32_t>(MulDivRound(himetric, 72, 127)), 100};
}

class Writer {
 public:
  Writer(ITextDocument& document, IRichEditOle& objects) : doc_(document), objectList_(objects) {}

  std::string Write() {
    Read();
    Tables();
    out_ += "{\\rtf1\\ansi\\ansicpg1252\\uc1\n";
    WriteFontTable();
    WriteColourTable();
    size_t run = 0;
    size_t object = 0;
    for (const Paragraph& p : paragraphs_) {
      out_ += "\\pard";
      if (p.format.alignment == tomAlignCenter) out_ += "\\qc";
      else if (p.format.alignment == tomAlignRight) out_ += "\\qr";
      else if (p.format.alignment == tomAlignJustify) out_ += "\\qj";
      if (p.format.bullets) {
        const std::string f = std::to_string(symbolFont_);
        out_ += "{\\pntext\\f" + f + "\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf" + f +
                "\\pnindent0{\\pntxtb\\'B7}}\\fi-360\\li720";
      }
      out_ += ' ';
      std::u16string link;
      while (run < runs_.size() && runs_[run].end <= p.start) ++run;
      for (size_t r = run; r < runs_.size() && runs_[r].start < p.end; ++r) {
        const Run& rn = runs_[r];
        if (rn.format.link != link) {
          if (!link.empty()) out_ += "}}}";
          link = rn.format.link;
          if (!link.empty()) {
            out_ += "{\\field{\\*\\fldinst{HYPERLINK \"";
            Escaped(FieldQuoted(link));
            out_ += "\"}}{\\fldrslt{";
          }
        }
        const int32_t a = std::max(rn.start, p.start), b = std::min(rn.end, p.end);
        const bool eastAsian = HasEastAsian(a, b);
        Attributes(rn.format, eastAsian);
        // In a run with East Asian text every stretch says its class, so that
        // a reader takes the associated font and size for it and the run's
        // own for the rest.
        CharClass current = CharClass::kDouble;
        for (int32_t i = a; i < b; ++i) {
          const char16_t c = i < static_cast<int32_t>(text_.size()) ? text_[static_cast<size_t>(i)] : u'\r';
          if (c == kParagraphMark) {
            out_ += i == p.end - 1 ? "\\par\n" : "\\line ";
          } else if (c == kObjectChar && object < objects_.size() && objects_[object].cp == i) {
            WriteObject(objects_[object++]);
          } else {
            if (eastAsian && !IsLowSurrogate(c) && ClassOf(c) != current) {
              current = ClassOf(c);
              out_ += ClassWord(current);
              out_ += ' ';
            }
            Char(c);
          }
          while (object < objects_.size() && objects_[object].cp <= i) ++object;  // objects off their character
        }
      }
      if (!link.empty()) out_ += "}}}";
    }
    out_ += "}\n";
    return std::move(out_);
  }

 private:
  void Read() {
    DocumentContent content = ReadDocumentContent(doc_, objectList_);
    text_ = std::move(content.text);
    runs_ = std::move(content.runs);
    paragraphs_ = std::move(content.paragraphs);
    objects_ = std::move(content.objects);
  }

  void Tables() {
    bool bullets = false;
    for (const Paragraph& p : paragraphs_) bullets = bullets || p.format.bullets;
    for (const Run& r : runs_) {
      if (!r.format.fontName.empty() && !fontIndex_.count(r.format.fontName)) {
        fontIndex_.emplace(r.format.fontName, static_cast<int32_t>(fonts_.size()));
        fonts_.push_back(r.format.fontName);
      }
      for (int32_t c : {r.format.foreColor, r.format.backColor})
        if (c != tomAutoColor && !colourIndex_.count(c)) {
          colourIndex_.emplace(c, static_cast<int32_t>(colours_.size()) + 1);
          colours_.push_back(c);
        }
    }
    if (bullets) {
      auto it = fontIndex_.find(u"Symbol");
      if (it != fontIndex_.end()) {
        symbolFont_ = it->second;
      } else {
        symbolFont_ = static_cast<int32_t>(fonts_.size());
        fontIndex_.emplace(u"Symbol", symbolFont_);
        fonts_.push_back(u"Symbol");
      }
    }
  }

  void WriteFontTable() {
    if (fonts_.empty()) return;
    out_ += "{\\fonttbl";
    for (size_t i = 0; i < fonts_.size(); ++i) {
      out_ += FormatString("{\\f%zu\\fnil\\fcharset%d ", i, fonts_[i] == u"Symbol" ? 2 : 0);
      for (char16_t c : fonts_[i]) {
        if (c == u';') out_ += "\\'3b";
        else Char(c);
      }
      out_ += ";}";
    }
    out_ += "}\n";
  }

  void WriteColourTable() {
    if (colours_.empty()) return;
    out_ += "{\\colortbl;";
    for (int32_t c : colours_)
      out_ += FormatString("\\red%d\\green%d\\blue%d;", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    out_ += "}\n";
  }

  bool HasEastAsian(int32_t from, int32_t to) const {
    for (int32_t i = std::max(from, 0); i < to && i < static_cast<int32_t>(text_.size()); ++i)
      if (IsEastAsian(text_[static_cast<size_t>(i)])) return true;
    return false;
  }

  // A run's character properties after \plain. Some readers keep the
  // vertical position of a superscript or subscript across \plain and then
  // lose the rest of the paragraph, so the run after one states \nosupersub.
  // A run with East Asian text also gives its font and size as the
  // associated ones of every character class, and its size even when it is
  // the default: readers take the font and size of Asian text from those and
  // otherwise fall back to their own defaults for it.
  void Attributes(const CharFormat& f, bool eastAsian) {
    out_ += "\\plain";
    if (afterSuperSub_ && !f.superscript && !f.subscript) out_ += "\\nosupersub";
    afterSuperSub_ = f.superscript || f.subscript;
    const int32_t font = f.fontName.empty() ? -1 : fontIndex_.at(f.fontName);
    if (font >= 0) out_ += FormatString("\\f%d", font);
    const float halfPoints = std::round(f.size * 2.0f);
    const int fs = std::isfinite(halfPoints) ? static_cast<int>(std::clamp(halfPoints, 1.0f, 3276.0f)) : 24;
    if (fs != 24 || eastAsian) out_ += FormatString("\\fs%d", fs);
    if (f.foreColor != tomAutoColor) out_ += FormatString("\\cf%d", colourIndex_.at(f.foreColor));
    if (f.backColor != tomAutoColor) {
      const int i = colourIndex_.at(f.backColor);
      out_ += FormatString("\\chcbpat%d\\highlight%d", i, i);
    }
    if (f.bold) out_ += "\\b";
    if (f.italic) out_ += "\\i";
    if (const char* ul = UnderlineWord(f.underline)) out_ += ul;
    if (f.strikeout) out_ += "\\strike";
    if (f.superscript) out_ += "\\super";
    else if (f.subscript) out_ += "\\sub";
    if (eastAsian) {
      for (CharClass c : {CharClass::kLow, CharClass::kHigh, CharClass::kDouble}) {
        out_ += ClassWord(c);
        if (font >= 0) out_ += FormatString("\\af%d", font);
        out_ += FormatString("\\afs%d", fs);
      }
    }
    out_ += ' ';
  }

  // One character of text: ASCII as it is (braces and backslashes escaped),
  // everything else as \uN with a one-byte fallback for old readers: the
  // character's Windows-1252 byte, or "?". The fallback is always written
  // as \'hh, since some readers mishandle a plain "?" after \uN.
  void Char(char16_t c) {
    if (c == u'\\' || c == u'{' || c == u'}') {
      out_ += '\\';
      out_ += static_cast<char>(c);
    } else if (c == u'\t') {
      out_ += "\\tab ";
    } else if (c >= 0x20 && c < 0x7F) {
      out_ += static_cast<char>(c);
    } else {
      out_ += FormatString("\\u%d\\'%02x", static_cast<int>(static_cast<int16_t>(c)), Fallback(c));
    }
  }

  static unsigned Fallback(char16_t c) {
    if (c >= 0xA0 && c <= 0xFF) return c;
    const char16_t* cp1252 = SingleByteTable(1252);
    for (unsigned b = 0x80; b < 0xA0; ++b)
      if (cp1252[b - 0x80] == c) return b;
    return '?';
  }

  void Escaped(const std::u16string& s) {
    for (char16_t c : s) Char(c);
  }

  // A hyperlink target as a quoted field argument: \ and " escaped.
  static std::u16string FieldQuoted(const std::u16string& s) {
    std::u16string q;
    for (char16_t c : s) {
      if (c == u'\\' || c == u'"') q.push_back(u'\\');
      q.push_back(c);
    }
    return q;
  }

  void Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    out_ += '\n';
    for (size_t i = 0; i < bytes.size(); ++i) {
      const uint8_t b = static_cast<uint8_t>(bytes[i]);
      out_ += kDigits[b >> 4];
      out_ += kDigits[b & 15];
      if (i % 64 == 63) out_ += '\n';
    }
  }

  void WriteObject(const Object& o) {
    std::shared_ptr<const StoredObjectData> data;
    if (o.object && o.object->GetStoredData(&data).ok() && data && (data->ole || data->picture)) {
      const bool resized = !(data->Extent() == o.extent);
      if (data->ole) WriteOle(*data->ole, data->picture ? &*data->picture : nullptr, resized ? &o.extent : nullptr);
      else WritePicture(*data->picture, resized ? &o.extent : nullptr);
      return;
    }
    // An object of another origin: its class and extent are all there is.
    OleData ole;
    CLSID clsid;
    if (o.object && o.object->GetUserClassID(&clsid).ok()) ole.className = clsid.progId;
    WriteOle(ole, nullptr, &o.extent);
  }

  void WritePicture(const PictureData& p, const SIZEL* extent) {
    out_ += "{\\pict";
    if (const char* word = PictureWord(p.format)) {
      out_ += word;
      if (HasMappingMode(p.format)) out_ += std::to_string(p.mappingMode);
    }
    if (p.width > 0) out_ += FormatString("\\picw%d", p.width);
    if (p.height > 0) out_ += FormatString("\\pich%d", p.height);
    if (extent) {
      const auto [w, sx] = TwipsForHimetric(extent->cx);
      const auto [h, sy] = TwipsForHimetric(extent->cy);
      out_ += FormatString("\\picwgoal%d\\pichgoal%d", w, h);
      if (sx != 100) out_ += FormatString("\\picscalex%d", sx);
      if (sy != 100) out_ += FormatString("\\picscaley%d", sy);
    } else {
      if (p.goalWidth > 0) out_ += FormatString("\\picwgoal%d", p.goalWidth);
      if (p.goalHeight > 0) out_ += FormatString("\\pichgoal%d", p.goalHeight);
      if (p.scaleX != 100) out_ += FormatString("\\picscalex%d", p.scaleX);
      if (p.scaleY != 100) out_ += FormatString("\\picscaley%d", p.scaleY);
    }
    if (p.bitsPerPixel > 0) out_ += FormatString("\\wbmbitspixel%d", p.bitsPerPixel);
    if (p.planes > 0) out_ += FormatString("\\wbmplanes%d", p.planes);
    if (p.widthBytes > 0) out_ += FormatString("\\wbmwidthbytes%d", p.widthBytes);
    Hex(p.bytes);
    out_ += "}";
  }

  void WriteOle(const OleData& ole, const PictureData* result, const SIZEL* extent) {
    out_ += "{\\object";
    out_ += ObjectKindWord(ole.kind);
    if (extent) {
      const auto [w, sx] = TwipsForHimetric(extent->cx);
      const auto [h, sy] = TwipsForHimetric(extent->cy);
      out_ += FormatString("\\objw%d\\objh%d", w, h);
      if (sx != 100) out_ += FormatString("\\objscalex%d", sx);
      if (sy != 100) out_ += FormatString("\\objscaley%d", sy);
    } else {
      if (ole.width > 0) out_ += FormatString("\\objw%d", ole.width);
      if (ole.height > 0) out_ += FormatString("\\objh%d", ole.height);
      if (ole.scaleX != 100) out_ += FormatString("\\objscalex%d", ole.scaleX);
      if (ole.scaleY != 100) out_ += FormatString("\\objscaley%d", ole.scaleY);
    }
    if (!ole.className.empty()) {
      out_ += "{\\*\\objclass ";
      Escaped(Utf8ToUtf16(ole.className));
      out_ += "}";
    }
    if (!ole.data.empty()) {
      out_ += "{\\*\\objdata";
      Hex(ole.data);
      out_ += "}";
    }
    if (result) {
      out_ += "{\\result";
      WritePicture(*result, nullptr);
      out_ += "}";
    }
    out_ += "}";
  }

  ITextDocument& doc_;
  IRichEditOle& objectList_;
  std::u16string text_;
  std::vector<Run> runs_;
  std::vector<Paragraph> paragraphs_;
  std::vector<Object> objects_;
  std::vector<std::u16string> fonts_;
  std::map<std::u16string, int32_t> fontIndex_;
  std::vector<int32_t> colours_;
  std::map<int32_t, int32_t> colourIndex_;
  int32_t symbolFont_ = 0;
  // The run written last was a superscript or subscript.
  bool afterSuperSub_ = false;
  std::string out_;
};

}  // namespace

std::string WriteRtf(ITextDocument& document, IRichEditOle& objects) { return Writer(document, objects).Write(); }

}  // namespace tagsmith
