#include "richtext/rtf_reader.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/strings.h"
#include "richtext/code_pages.h"
#include "richtext/embedded_object.h"
#include "richtext/picture_decoder.h"

namespace tagsmith {

namespace {

// ---------------------------------------------------------------------------
// Control words

enum class Kw : uint8_t {
  kNone,  // unknown or without meaning here: ignored
  kRtf,
  // destinations
  kSkipDest, kFontTable, kColorTable, kPict, kObject, kObjClass, kObjData, kResult, kField, kFldinst,
  kFldrslt, kShp, kShpinst, kShprslt, kSp, kSn, kSv, kShptxt, kShppict, kUpr, kUd, kPn, kNestTableProps,
  // character formatting
  kPlain, kBold, kItalic, kUnderline, kUnderlineNone, kStrike, kStrikeDouble, kForeColor, kBackColor,
  kHighlight, kFont, kFontSize, kSuper, kSub, kNoSuperSub, kUp, kDown, kHidden, kDefaultFont,
  // associated character formatting: the font slot words and the properties they name
  kRunType, kAssocFont, kAssocSize, kAssocBold, kAssocItalic,
  // paragraphs, tables, breaks
  kPard, kAlign, kPar, kLine, kList, kIntbl, kCell, kRow, kNestRow, kTab,
  // text
  kSymbol, kUnicode, kUnicodeSkip,
  // code pages
  kAnsi, kMac, kPc, kPca, kAnsiCpg, kCharset, kCpg,
  // colour table
  kRed, kGreen, kBlue,
  // pictures
  kPictFormat, kPicW, kPicH, kPicWGoal, kPicHGoal, kPicScaleX, kPicScaleY, kWbmBitsPixel, kWbmPlanes,
  kWbmWidthBytes, kBin,
  // OLE objects
  kObjKind, kObjW, kObjH, kObjScaleX, kObjScaleY,
};

struct Keyword {
  std::string_view name;
  Kw kind;
  int32_t value;  // the underline kind, alignment, symbol, picture format or object kind
};

constexpr int32_t Fmt(PictureFormat f) { return static_cast<int32_t>(f); }
constexpr int32_t Obj(OleObjectKind k) { return static_cast<int32_t>(k); }

constexpr Keyword kKeywords[] = {
    {"rtf", Kw::kRtf, 0},
    // Destinations whose content is not part of the main text.
    {"stylesheet", Kw::kSkipDest, 0}, {"info", Kw::kSkipDest, 0}, {"header", Kw::kSkipDest, 0},
    {"headerl", Kw::kSkipDest, 0}, {"headerr", Kw::kSkipDest, 0}, {"headerf", Kw::kSkipDest, 0},
    {"footer", Kw::kSkipDest, 0}, {"footerl", Kw::kSkipDest, 0}, {"footerr", Kw::kSkipDest, 0},
    {"footerf", Kw::kSkipDest, 0}, {"footnote", Kw::kSkipDest, 0}, {"annotation", Kw::kSkipDest, 0},
    {"atnid", Kw::kSkipDest, 0}, {"atnauthor", Kw::kSkipDest, 0}, {"atndate", Kw::kSkipDest, 0},
    {"atnref", Kw::kSkipDest, 0}, {"pntext", Kw::kSkipDest, 0}, {"listtext", Kw::kSkipDest, 0},
    {"nonshppict", Kw::kSkipDest, 0}, {"nonesttables", Kw::kSkipDest, 0}, {"listtable", Kw::kSkipDest, 0},
    {"listoverridetable", Kw::kSkipDest, 0}, {"revtbl", Kw::kSkipDest, 0}, {"rsidtbl", Kw::kSkipDest, 0},
    {"pnseclvl", Kw::kSkipDest, 0}, {"xe", Kw::kSkipDest, 0}, {"tc", Kw::kSkipDest, 0},
    {"txe", Kw::kSkipDest, 0}, {"template", Kw::kSkipDest, 0}, {"docvar", Kw::kSkipDest, 0},
    {"bkmkstart", Kw::kSkipDest, 0}, {"bkmkend", Kw::kSkipDest, 0}, {"objname", Kw::kSkipDest, 0},
    {"objalias", Kw::kSkipDest, 0}, {"objsect", Kw::kSkipDest, 0}, {"objtime", Kw::kSkipDest, 0},
    {"picprop", Kw::kSkipDest, 0}, {"blipuid", Kw::kSkipDest, 0}, {"ftnsep", Kw::kSkipDest, 0},
    {"ftnsepc", Kw::kSkipDest, 0}, {"aftnsep", Kw::kSkipDest, 0}, {"aftnsepc", Kw::kSkipDest, 0},
    {"ftncn", Kw::kSkipDest, 0}, {"aftncn", Kw::kSkipDest, 0}, {"background", Kw::kSkipDest, 0},
    {"themedata", Kw::kSkipDest, 0}, {"colorschememapping", Kw::kSkipDest, 0},
    {"datastore", Kw::kSkipDest, 0}, {"latentstyles", Kw::kSkipDest, 0}, {"xmlnstbl", Kw::kSkipDest, 0},
    {"filetbl", Kw::kSkipDest, 0}, {"mmathPr", Kw::kSkipDest, 0}, {"generator", Kw::kSkipDest, 0},
    {"userprops", Kw::kSkipDest, 0}, {"pgdsctbl", Kw::kSkipDest, 0}, {"do", Kw::kSkipDest, 0},
    {"listpicture", Kw::kSkipDest, 0}, {"falt", Kw::kSkipDest, 0}, {"panose", Kw::kSkipDest, 0},
    {"fonttbl", Kw::kFontTable, 0}, {"colortbl", Kw::kColorTable, 0},
    {"pict", Kw::kPict, 0}, {"object", Kw::kObject, 0}, {"objclass", Kw::kObjClass, 0},
    {"objdata", Kw::kObjData, 0}, {"result", Kw::kResult, 0},
    {"field", Kw::kField, 0}, {"fldinst", Kw::kFldinst, 0}, {"fldrslt", Kw::kFldrslt, 0},
    {"shp", Kw::kShp, 0}, {"shpinst", Kw::kShpinst, 0}, {"shprslt", Kw::kShprslt, 0},
    {"sp", Kw::kSp, 0}, {"sn", Kw::kSn, 0}, {"sv", Kw::kSv, 0}, {"shptxt", Kw::kShptxt, 0},
    {"shppict", Kw::kShppict, 0}, {"upr", Kw::kUpr, 0}, {"ud", Kw::kUd, 0}, {"pn", Kw::kPn, 0},
    {"nesttableprops", Kw::kNestTableProps, 0},
    // Character formatting.
    {"plain", Kw::kPlain, 0}, {"b", Kw::kBold, 0}, {"i", Kw::kItalic, 0},
    {"ul", Kw::kUnderline, tomSingle}, {"ulw", Kw::kUnderline, tomWords},
    {"uldb", Kw::kUnderline, tomDouble}, {"uld", Kw::kUnderline, tomDotted},
    {"uldash", Kw::kUnderline, tomDash}, {"uldashd", Kw::kUnderline, tomDashDot},
    {"uldashdd", Kw::kUnderline, tomDashDotDot}, {"ulwave", Kw::kUnderline, tomWave},
    {"ulth", Kw::kUnderline, tomThick}, {"ulthd", Kw::kUnderline, tomThick},
    {"ulthdash", Kw::kUnderline, tomThick}, {"ulthdashd", Kw::kUnderline, tomThick},
    {"ulthdashdd", Kw::kUnderline, tomThick}, {"ulthldash", Kw::kUnderline, tomThick},
    {"ulhair", Kw::kUnderline, tomHair}, {"ululdbwave", Kw::kUnderline, tomDoubleWave},
    {"ulhwave", Kw::kUnderline, tomHeavyWave}, {"ulldash", Kw::kUnderline, tomLongDash},
    {"ulnone", Kw::kUnderlineNone, 0}, {"strike", Kw::kStrike, 0}, {"striked", Kw::kStrikeDouble, 0},
    {"cf", Kw::kForeColor, 0}, {"cb", Kw::kBackColor, 0}, {"chcbpat", Kw::kBackColor, 0},
    {"highlight", Kw::kHighlight, 0}, {"f", Kw::kFont, 0}, {"fs", Kw::kFontSize, 0},
    {"super", Kw::kSuper, 0}, {"sub", Kw::kSub, 0}, {"nosupersub", Kw::kNoSuperSub, 0},
    {"up", Kw::kUp, 0}, {"dn", Kw::kDown, 0}, {"v", Kw::kHidden, 0}, {"deff", Kw::kDefaultFont, 0},
    {"loch", Kw::kRunType, 1}, {"hich", Kw::kRunType, 2}, {"dbch", Kw::kRunType, 3},
    {"rtlch", Kw::kRunType, 4}, {"ltrch", Kw::kRunType, 0},
    {"af", Kw::kAssocFont, 0}, {"afs", Kw::kAssocSize, 0}, {"ab", Kw::kAssocBold, 0},
    {"ai", Kw::kAssocItalic, 0},
    // Paragraphs, tables and breaks.
    {"pard", Kw::kPard, 0}, {"ql", Kw::kAlign, tomAlignLeft}, {"qc", Kw::kAlign, tomAlignCenter},
    {"qr", Kw::kAlign, tomAlignRight}, {"qj", Kw::kAlign, tomAlignJustify},
    {"qd", Kw::kAlign, tomAlignJustify}, {"par", Kw::kPar, 0}, {"sect", Kw::kPar, 0},
    {"page", Kw::kPar, 0}, {"column", Kw::kPar, 0}, {"line", Kw::kLine, 0}, {"ls", Kw::kList, 0},
    {"intbl", Kw::kIntbl, 0}, {"cell", Kw::kCell, 0}, {"nestcell", Kw::kCell, 0}, {"row", Kw::kRow, 0},
    {"nestrow", Kw::kNestRow, 0}, {"tab", Kw::kTab, 0},
    // Symbols.
    {"emdash", Kw::kSymbol, 0x2014}, {"endash", Kw::kSymbol, 0x2013}, {"emspace", Kw::kSymbol, 0x2003},
    {"enspace", Kw::kSymbol, 0x2002}, {"qmspace", Kw::kSymbol, 0x2005}, {"bullet", Kw::kSymbol, 0x2022},
    {"lquote", Kw::kSymbol, 0x2018}, {"rquote", Kw::kSymbol, 0x2019}, {"ldblquote", Kw::kSymbol, 0x201C},
    {"rdblquote", Kw::kSymbol, 0x201D}, {"zwj", Kw::kSymbol, 0x200D}, {"zwnj", Kw::kSymbol, 0x200C},
    {"ltrmark", Kw::kSymbol, 0x200E}, {"rtlmark", Kw::kSymbol, 0x200F}, {"zwbo", Kw::kSymbol, 0x200B},
    {"u", Kw::kUnicode, 0}, {"uc", Kw::kUnicodeSkip, 0},
    // Code pages.
    {"ansi", Kw::kAnsi, 0}, {"mac", Kw::kMac, 0}, {"pc", Kw::kPc, 0}, {"pca", Kw::kPca, 0},
    {"ansicpg", Kw::kAnsiCpg, 0}, {"fcharset", Kw::kCharset, 0}, {"cpg", Kw::kCpg, 0},
    {"red", Kw::kRed, 0}, {"green", Kw::kGreen, 0}, {"blue", Kw::kBlue, 0},
    // Pictures.
    {"pngblip", Kw::kPictFormat, Fmt(PictureFormat::kPng)},
    {"jpegblip", Kw::kPictFormat, Fmt(PictureFormat::kJpeg)},
    {"emfblip", Kw::kPictFormat, Fmt(PictureFormat::kEmf)},
    {"wmetafile", Kw::kPictFormat, Fmt(PictureFormat::kWmf)},
    {"dibitmap", Kw::kPictFormat, Fmt(PictureFormat::kDib)},
    {"wbitmap", Kw::kPictFormat, Fmt(PictureFormat::kDdb)},
    {"macpict", Kw::kPictFormat, Fmt(PictureFormat::kMacPict)},
    {"pmmetafile", Kw::kPictFormat, Fmt(PictureFormat::kOs2Metafile)},
    {"picw", Kw::kPicW, 0}, {"pich", Kw::kPicH, 0}, {"picwgoal", Kw::kPicWGoal, 0},
    {"pichgoal", Kw::kPicHGoal, 0}, {"picscalex", Kw::kPicScaleX, 0}, {"picscaley", Kw::kPicScaleY, 0},
    {"wbmbitspixel", Kw::kWbmBitsPixel, 0}, {"wbmplanes", Kw::kWbmPlanes, 0},
    {"wbmwidthbytes", Kw::kWbmWidthBytes, 0}, {"bin", Kw::kBin, 0},
    // OLE objects.
    {"objemb", Kw::kObjKind, Obj(OleObjectKind::kEmbedded)},
    {"objlink", Kw::kObjKind, Obj(OleObjectKind::kLinked)},
    {"objautlink", Kw::kObjKind, Obj(OleObjectKind::kAutoLinked)},
    {"objsub", Kw::kObjKind, Obj(OleObjectKind::kSubscriber)},
    {"objpub", Kw::kObjKind, Obj(OleObjectKind::kPublisher)},
    {"objicemb", Kw::kObjKind, Obj(OleObjectKind::kIcon)},
    {"objhtml", Kw::kObjKind, Obj(OleObjectKind::kHtml)},
    {"objocx", Kw::kObjKind, Obj(OleObjectKind::kControl)},
    {"objw", Kw::kObjW, 0}, {"objh", Kw::kObjH, 0}, {"objscalex", Kw::kObjScaleX, 0},
    {"objscaley", Kw::kObjScaleY, 0},
};

// An open-addressing table over kKeywords: control words are most of what a
// document consists of, so their lookup must be cheap.
class KeywordTable {
 public:
  KeywordTable() {
    slots_.fill(nullptr);
    for (const Keyword& k : kKeywords) {
      size_t i = Hash(k.name) & kMask;
      while (slots_[i]) i = (i + 1) & kMask;
      slots_[i] = &k;
    }
  }
  const Keyword* Find(std::string_view word) const {
    size_t i = Hash(word) & kMask;
    while (const Keyword* k = slots_[i]) {
      if (word == k->name) return k;
      i = (i + 1) & kMask;
    }
    return nullptr;
  }

 private:
  static constexpr size_t kSize = 1024;
  static constexpr size_t kMask = kSize - 1;
  static size_t Hash(std::string_view s) {
    uint32_t h = 2166136261u;
    for (char c : s) h = (h ^ static_cast<uint8_t>(c)) * 16777619u;
    return h ^ (h >> 15);
  }
  std::array<const Keyword*, kSize> slots_;
};

const KeywordTable& Keywords() {
  static const KeywordTable table;
  return table;
}

// Destination words understood after \*; any other \* destination is skipped.
bool IsKnownDestination(Kw k) {
  switch (k) {
    case Kw::kFontTable: case Kw::kColorTable: case Kw::kPict: case Kw::kObject: case Kw::kObjClass:
    case Kw::kObjData: case Kw::kResult: case Kw::kField: case Kw::kFldinst: case Kw::kFldrslt:
    case Kw::kShp: case Kw::kShpinst: case Kw::kShprslt: case Kw::kShptxt: case Kw::kShppict:
    case Kw::kUpr: case Kw::kUd: case Kw::kPn: case Kw::kNestTableProps:
      return true;
    default:
      return false;
  }
}

// Words that belong to the text, never to a font table: one of them inside a
// font table means the table was left open (as some writers do) and the text
// has begun.
bool IsBodyWord(Kw k) {
  switch (k) {
    case Kw::kPlain: case Kw::kBold: case Kw::kItalic: case Kw::kUnderline: case Kw::kUnderlineNone:
    case Kw::kStrike: case Kw::kStrikeDouble: case Kw::kForeColor: case Kw::kBackColor:
    case Kw::kHighlight: case Kw::kFontSize: case Kw::kSuper: case Kw::kSub: case Kw::kNoSuperSub:
    case Kw::kPard: case Kw::kAlign: case Kw::kPar: case Kw::kLine: case Kw::kIntbl: case Kw::kCell:
    case Kw::kRow: case Kw::kTab: case Kw::kPict: case Kw::kObject: case Kw::kField:
      return true;
    default:
      return false;
  }
}

// ---------------------------------------------------------------------------
// Character classes

struct CharClasses {
  // Plain printable ASCII that goes into the text as it is.
  std::array<bool, 256> plain{};
  // What ends a run of skipped bytes.
  std::array<bool, 256> special{};
  std::array<int8_t, 256> hex{};
  CharClasses() {
    for (int c = 0x20; c < 0x7F; ++c) plain[c] = true;
    plain['\\'] = plain['{'] = plain['}'] = false;
    special['\\'] = special['{'] = special['}'] = true;
    hex.fill(-1);
    for (int c = '0'; c <= '9'; ++c) hex[c] = static_cast<int8_t>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c) hex[c] = static_cast<int8_t>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c) hex[c] = static_cast<int8_t>(c - 'A' + 10);
  }
};

const CharClasses& Classes() {
  static const CharClasses classes;
  return classes;
}

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// ---------------------------------------------------------------------------
// Reader state

enum class Dest : uint8_t {
  kNormal,      // the main text
  kFontTable,   // font names
  kColorTable,  // colour entries
  kFieldInst,   // a field's instruction
  kPict,        // picture data
  kObject,      // inside \object, outside its parts
  kObjClass,    // an object's class name
  kObjData,     // an object's data
  kResult,      // an object's result: its picture is what the object shows
  kShapeInst,   // a shape's properties
  kShapeName,   // a shape property's name
  kShapePib,    // the value of a shape's picture property
  kUpr,         // the ANSI half of \upr, replaced by its \ud half
  kNestProps,   // a nested table row's properties, with its \nestrow
};

// The character formatting in force, compact enough to be compared and
// hashed as two words: it is compared at every piece of text.
enum : uint8_t { kBold = 1, kItalic = 2, kStrike = 4, kSuper = 8, kSub = 16, kHidden = 32 };

struct CharState {
  int32_t font = -1;  // font number, -1 for none
  int32_t link = -1;  // index into links_, -1 for none
  uint16_t halfPoints = 24;
  uint16_t fore = 0;  // colour table indices
  uint16_t back = 0;
  uint8_t underline = tomNone;
  uint8_t flags = 0;

  bool Has(uint8_t flag) const { return (flags & flag) != 0; }
  void Set(uint8_t flag, bool on) { flags = static_cast<uint8_t>(on ? flags | flag : flags & ~flag); }
  bool operator==(const CharState& o) const { return std::memcmp(this, &o, sizeof(CharState)) == 0; }
};
static_assert(sizeof(CharState) == 16, "CharState compares as two words");

struct CharStateHash {
  size_t operator()(const CharState& s) const {
    uint64_t w[2];
    std::memcpy(w, &s, sizeof w);
    const uint64_t h = (w[0] * 0x9E3779B97F4A7C15ull) ^ (w[1] + 0x632BE59BD9B4E019ull + (w[0] >> 29));
    return static_cast<size_t>(h ^ (h >> 31));
  }
};

// The font slots of a run beside its own formatting. A run-type word
// (\loch, \hich, \dbch, \rtlch; \ltrch returns to none) picks the slot
// the font words after it set: \loch\f or \loch\af the run's own font,
// \hich\af the font of high-ANSI letters, \dbch\af or \dbch\f the East Asian
// font, \rtlch\af (or a bare \af) the complex-script one. The associated
// size, bold and italic (\afs, \ab, \ai) go to the East Asian slot after
// \dbch, else to the complex-script slot. What a slot leaves unset falls
// back to the run's own formatting.
struct AssocSlot {
  int32_t font = -1;
  uint16_t halfPoints = 0;  // 0: unset
  int8_t bold = -1;         // -1: unset
  int8_t italic = -1;
};

struct AssocState {
  enum RunType : uint8_t { kNone, kLow, kHigh, kDouble, kComplex };
  int32_t highFont = -1;
  AssocSlot eastAsian;
  AssocSlot complex;
  RunType runType = kNone;
};

// Which of a run's slots a character takes, by its code, as word processors
// read it (the run-type words before a run name slots, not the script of its
// text): East Asian and complex-script characters their slots, Latin-1
// letters and signs the high-ANSI font, everything else the run's own. The low half of a surrogate
// pair goes with its high half.
enum class CharClass : uint8_t { kLatin, kHighAnsi, kEastAsian, kComplex };

CharClass ClassOf(char16_t u) {
  if (u < 0x80) return CharClass::kLatin;
  if (u <= 0xFF) return CharClass::kHighAnsi;
  if ((u >= 0x1100 && u <= 0x11FF) ||   // Hangul Jamo
      (u >= 0x2E80 && u <= 0xA4CF) ||   // CJK radicals, symbols and punctuation, kana, CJK ideographs, Yi
      (u >= 0xA960 && u <= 0xA97F) ||   // Hangul Jamo extended
      (u >= 0xAC00 && u <= 0xD7FF) ||   // Hangul syllables
      (u >= 0xD840 && u <= 0xD8BF) ||   // high surrogates of planes 2 and 3: CJK ideographs
      (u >= 0xF900 && u <= 0xFAFF) ||   // CJK compatibility ideographs
      (u >= 0xFE30 && u <= 0xFE4F) ||   // CJK compatibility forms
      (u >= 0xFF00 && u <= 0xFFEF))     // full-width and half-width forms
    return CharClass::kEastAsian;
  if ((u >= 0x0590 && u <= 0x08FF) ||   // Hebrew, Arabic, Syriac, Thaana, NKo, Samaritan, Mandaic
      (u >= 0x0900 && u <= 0x0DFF) ||   // the Indic scripts, Sinhala
      (u >= 0x0E00 && u <= 0x0FFF) ||   // Thai, Lao, Tibetan
      (u >= 0x1000 && u <= 0x109F) ||   // Myanmar
      (u >= 0x1780 && u <= 0x17FF) ||   // Khmer
      (u >= 0xFB1D && u <= 0xFDFF) ||   // Hebrew and Arabic presentation forms
      (u >= 0xFE70 && u <= 0xFEFF))     // Arabic presentation forms
    return CharClass::kComplex;
  return CharClass::kLatin;
}

struct ParaState {
  uint8_t alignment = tomAlignLeft;
  bool bullets = false;
  bool operator==(const ParaState&) const = default;
};

struct State {
  CharState chr;
  AssocState assoc;
  ParaState para;
  Dest dest = Dest::kNormal;
  Dest uprOuter = Dest::kNormal;  // the destination \ud returns to
  uint8_t uc = 1;                 // bytes of fallback after \uN
  int32_t fieldInst = -1;         // the field whose instruction this group collects
};

struct FontEntry {
  std::u16string name;
  int codePage = 0;  // 0: the document's code page
};

struct PictContext {
  enum Target : uint8_t { kDocument, kObjectResult, kShape };
  size_t depth;
  Target target;
  CharState chr;
  PictureData data;
  int nibble = -1;
};

struct ObjectContext {
  size_t depth;
  CharState chr;
  OleData ole;
  std::u16string className;
  std::optional<PictureData> result;
  int nibble = -1;
};

struct FieldContext {
  size_t depth;
  Dest outerDest;
  std::u16string instr;
  bool linkKnown = false;  // the instruction has been read for its link
  int32_t link = -1;
};

struct ShapeContext {
  size_t depth;
  std::u16string propName;
  bool replaced = false;  // its picture or text was read; its \shprslt is not needed
};

constexpr int32_t kMaxHalfPoints = 3276;  // 1638 points
constexpr int32_t kMaxUc = 64;

// The target of a HYPERLINK field instruction, or nothing: the first argument
// (quoted, with \\ and \" unescaped, or a bare word), with "#" and the \l
// bookmark appended.
std::u16string HyperlinkTarget(std::u16string_view instr) {
  size_t i = 0;
  auto skipBlanks = [&] {
    while (i < instr.size() && (instr[i] == u' ' || instr[i] == u'\t' || instr[i] == u'\r' || instr[i] == u'\n'))
      ++i;
  };
  auto argument = [&]() {
    std::u16string arg;
    skipBlanks();
    if (i < instr.size() && instr[i] == u'"') {
      ++i;
      while (i < instr.size() && instr[i] != u'"') {
        if (instr[i] == u'\\' && i + 1 < instr.size() && (instr[i + 1] == u'\\' || instr[i + 1] == u'"')) ++i;
        arg.push_back(instr[i++]);
      }
      if (i < instr.size()) ++i;
    } else {
      while (i < instr.size() && instr[i] != u' ' && instr[i] != u'\t') arg.push_back(instr[i++]);
    }
    return arg;
  };
  skipBlanks();
  static constexpr std::u16string_view kWord = u"HYPERLINK";
  if (instr.size() - i < kWord.size()) return {};
  for (size_t k = 0; k < kWord.size(); ++k) {
    char16_t c = instr[i + k];
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    if (c != kWord[k]) return {};
  }
  i += kWord.size();
  if (i < instr.size() && instr[i] != u' ' && instr[i] != u'\t' && instr[i] != u'"') return {};
  std::u16string url, anchor;
  bool haveUrl = false;
  while (true) {
    skipBlanks();
    if (i >= instr.size()) break;
    if (instr[i] == u'\\' && i + 1 < instr.size()) {
      const char16_t sw = instr[i + 1];
      i += 2;
      if (sw == u'l') anchor = argument();
      else if (sw == u'o' || sw == u't') argument();  // tooltip, target frame
      continue;
    }
    std::u16string arg = argument();
    if (!haveUrl) {
      url = std::move(arg);
      haveUrl = true;
    }
  }
  if (!anchor.empty()) url += u"#" + anchor;
  return url;
}

// PNG, JPEG and GIF bytes are what they are whatever the keyword says; other
// signatures are too weak to overrule it.
PictureFormat Sniff(PictureFormat declared, const std::string& b) {
  const std::optional<PictureFormat> sniffed = SniffPictureFormat(b);
  if (sniffed == PictureFormat::kPng || sniffed == PictureFormat::kJpeg || sniffed == PictureFormat::kGif)
    return *sniffed;
  return declared;
}

// The formats whose keyword carries a number worth keeping (\wmetafileN and the like).
bool HasMappingMode(PictureFormat f) {
  return f == PictureFormat::kWmf || f == PictureFormat::kOs2Metafile || f == PictureFormat::kDib ||
         f == PictureFormat::kDdb;
}

std::u16string Trim(std::u16string s) {
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == u' ' || s[a] == u'\t')) ++a;
  while (b > a && (s[b - 1] == u' ' || s[b - 1] == u'\t')) --b;
  return s.substr(a, b - a);
}

// ---------------------------------------------------------------------------

class Reader {
 public:
  Reader(std::string_view rtf, IDocumentBuilder& builder)
      : p_(rtf.data()),
        end_(rtf.data() + rtf.size()),
        b_(builder),
        kw_(Keywords()),
        cc_(Classes()),
        objectsLeft_(1000 + rtf.size() / 100) {
    text_.reserve(4096);
  }

  void Run() {
    while (p_ < end_) {
      const char c = *p_;
      if (c == '\\') {
        ++p_;
        ControlWord();
      } else if (c == '{') {
        ++p_;
        OpenGroup();
      } else if (c == '}') {
        ++p_;
        if (stack_.empty()) break;
        CloseGroup();
        if (stack_.empty()) break;  // the document's group has ended; what follows is not RTF
      } else if (c == '\r' || c == '\n') {
        ++p_;
      } else {
        Text();
      }
    }
    while (!stack_.empty()) CloseGroup();  // a truncated document
    FlushPending();
    FlushText();
    if (pendingPar_) return;  // the final \par is the story's final mark; its format is set
    b_.SetParaFormat(ToPara(contentSeen_ ? contentPara_ : st_.para));
  }

 private:
  // ---- groups

  void OpenGroup() {
    FlushPending();
    skip_ = 0;
    ignorable_ = false;
    if (stack_.size() >= static_cast<size_t>(kRtfMaxGroupDepth))
      throw ERtfReader(FormatString("RTF groups nested more than %d levels deep", kRtfMaxGroupDepth));
    stack_.push_back(st_);
  }

  void CloseGroup() {
    FlushPending();
    skip_ = 0;
    ignorable_ = false;
    const size_t depth = stack_.size();
    while (!picts_.empty() && picts_.back().depth >= depth) FinishPicture();
    while (!objects_.empty() && objects_.back().depth >= depth) FinishObject();
    while (!fields_.empty() && fields_.back().depth >= depth) fields_.pop_back();
    while (!shapes_.empty() && shapes_.back().depth >= depth) shapes_.pop_back();
    if (fontOpen_ && fontDepth_ >= depth) CommitFont();
    if (colorDepth_ >= depth) {
      if (colorHas_) CommitColor();
      colorDepth_ = 0;
    }
    st_ = stack_.back();
    stack_.pop_back();
  }

  // Skips the rest of the current group, up to (not including) its closing
  // brace; nested groups need no state, so their depth is not limited.
  void SkipGroup() {
    ignorable_ = false;
    int64_t depth = 0;
    while (p_ < end_) {
      const char c = *p_;
      if (c == '}') {
        if (depth == 0) return;
        --depth;
        ++p_;
      } else if (c == '{') {
        ++depth;
        ++p_;
      } else if (c == '\\') {
        ++p_;
        if (p_ >= end_) return;
        if (!IsAlpha(*p_)) {
          ++p_;  // a control symbol, \{ \} \\ and \' among them
          continue;
        }
        const char* w = p_;
        while (p_ < end_ && IsAlpha(*p_)) ++p_;
        const bool bin = p_ - w == 3 && std::memcmp(w, "bin", 3) == 0;
        bool hasParam = false;
        const int32_t n = Param(&hasParam);
        if (bin && n > 0) p_ += std::min<int64_t>(n, end_ - p_);
      } else {
        ++p_;
        while (p_ < end_ && !cc_.special[static_cast<uint8_t>(*p_)]) ++p_;
      }
    }
  }

  // ---- control words

  // Reads a control word's numeric parameter and its delimiting blank.
  int32_t Param(bool* hasParam) {
    int64_t value = 0;
    bool negative = false;
    *hasParam = false;
    if (p_ < end_ && *p_ == '-' && p_ + 1 < end_ && IsDigit(p_[1])) {
      negative = true;
      ++p_;
    }
    while (p_ < end_ && IsDigit(*p_)) {
      *hasParam = true;
      if (value < INT32_MAX) value = value * 10 + (*p_ - '0');
      ++p_;
    }
    if (p_ < end_ && *p_ == ' ') ++p_;
    value = std::min<int64_t>(value, INT32_MAX);
    return static_cast<int32_t>(negative ? -value : value);
  }

  void ControlWord() {
    if (p_ >= end_) return;
    if (!IsAlpha(*p_)) {
      const char c = *p_++;
      ControlSymbol(c);
      return;
    }
    const char* w = p_;
    while (p_ < end_ && IsAlpha(*p_)) ++p_;
    const std::string_view word(w, static_cast<size_t>(p_ - w));
    bool hasParam = false;
    const int32_t param = Param(&hasParam);
    if (word.size() == 1 && *w == 'u' && st_.dest == Dest::kNormal && skip_ == 0 && !ignorable_) {
      // \uN is the commonest word of non-Western text; its usual fallback of
      // one plain character is passed over here at once.
      if (!pendingBytes_.empty() || pendingLead_) FlushBytes();
      Unicode(param);
      skip_ = st_.uc;
      if (skip_ == 1 && p_ < end_ && cc_.plain[static_cast<uint8_t>(*p_)]) {
        ++p_;
        skip_ = 0;
      }
      return;
    }
    const Keyword* k = word.size() <= 32 ? kw_.Find(word) : nullptr;
    Dispatch(k ? k->kind : Kw::kNone, k ? k->value : 0, hasParam, param);
  }

  void ControlSymbol(char c) {
    if (c == '\'') {
      // \'hh: exactly two characters, unless a brace or backslash cuts it short.
      int value = 0, digits = 0;
      bool valid = true;
      while (digits < 2 && p_ < end_ && *p_ != '\\' && *p_ != '{' && *p_ != '}') {
        const int v = cc_.hex[static_cast<uint8_t>(*p_)];
        if (v < 0) valid = false;
        value = value * 16 + std::max(v, 0);
        ++digits;
        ++p_;
      }
      if (skip_ > 0) {
        --skip_;
        return;
      }
      if (valid && digits == 2) Byte(static_cast<uint8_t>(value));
      return;
    }
    if (c == '*') {
      ignorable_ = true;
      return;
    }
    if (skip_ > 0) {
      --skip_;
      return;
    }
    FlushPending();
    switch (c) {
      case '\\': case '{': case '}': Put(static_cast<char16_t>(c)); break;
      case '~': Put(u'\u00A0'); break;
      case '_': Put(u'\u2011'); break;
      case '-': Put(u'\u00AD'); break;
      case '\r': case '\n': EndParagraph(); break;
      case '\t': Put(u'\t'); break;
      default: break;  // \: \| and unknown symbols
    }
  }

  void Dispatch(Kw kw, int32_t value, bool hasParam, int32_t param) {
    if (kw == Kw::kBin) {
      const int64_t n = std::clamp<int64_t>(param, 0, end_ - p_);
      if (skip_ > 0) {
        --skip_;
      } else if (st_.dest == Dest::kPict) {
        FlushPending();
        picts_.back().data.bytes.append(p_, static_cast<size_t>(n));
      } else if (st_.dest == Dest::kObjData) {
        FlushPending();
        objects_.back().ole.data.append(p_, static_cast<size_t>(n));
      }
      p_ += n;
      return;
    }
    if (ignorable_) {
      ignorable_ = false;
      if (!IsKnownDestination(kw)) {
        SkipGroup();
        return;
      }
    }
    if (skip_ > 0) {
      --skip_;
      return;
    }
    if (kw == Kw::kUnicode) {
      FlushBytes();
      Unicode(param);
      skip_ = st_.uc;
      return;
    }
    FlushPending();
    if (st_.dest == Dest::kFontTable && IsBodyWord(kw)) {
      // A font table left open: the text has begun.
      if (fontOpen_) CommitFont();
      st_.dest = Dest::kNormal;
    }
    const bool on = !hasParam || param != 0;
    CharState& chr = st_.chr;
    switch (kw) {
      case Kw::kNone: case Kw::kRtf: case Kw::kBin: case Kw::kUnicode: break;

      case Kw::kSkipDest: SkipGroup(); break;
      case Kw::kFontTable:
        st_.dest = Dest::kFontTable;
        fontOpen_ = false;
        break;
      case Kw::kColorTable:
        st_.dest = Dest::kColorTable;
        colors_.clear();
        colorHas_ = false;
        color_ = 0;
        colorDepth_ = stack_.size();
        ClearFormats();
        break;
      case Kw::kPict: StartPicture(); break;
      case Kw::kObject:
        if (st_.dest != Dest::kNormal || !ObjectBudgetLeft()) {
          SkipGroup();
          break;
        }
        objects_.push_back(ObjectContext{stack_.size(), chr, OleData(), {}, std::nullopt});
        st_.dest = Dest::kObject;
        break;
      case Kw::kObjClass:
        if (st_.dest == Dest::kObject) st_.dest = Dest::kObjClass;
        else SkipGroup();
        break;
      case Kw::kObjData:
        if (st_.dest == Dest::kObject) st_.dest = Dest::kObjData;
        else SkipGroup();
        break;
      case Kw::kResult:
        if (st_.dest == Dest::kObject) st_.dest = Dest::kResult;
        break;
      case Kw::kField: fields_.push_back(FieldContext{stack_.size(), st_.dest, {}}); break;
      case Kw::kFldinst:
        if (fields_.empty()) {
          SkipGroup();
          break;
        }
        st_.dest = Dest::kFieldInst;
        st_.fieldInst = static_cast<int32_t>(fields_.size() - 1);
        break;
      case Kw::kFldrslt:
        if (!fields_.empty()) {
          FieldContext& f = fields_.back();
          st_.dest = f.outerDest;
          if (!f.linkKnown) {
            f.linkKnown = true;
            std::u16string target = HyperlinkTarget(f.instr);
            if (!target.empty()) f.link = Link(std::move(target));
          }
          if (f.link >= 0) chr.link = f.link;
        }
        break;
      case Kw::kShp:
        if (st_.dest == Dest::kNormal) shapes_.push_back(ShapeContext{stack_.size(), {}});
        break;
      case Kw::kShpinst:
        if (st_.dest == Dest::kNormal && !shapes_.empty()) st_.dest = Dest::kShapeInst;
        else SkipGroup();
        break;
      // Shape properties; outside a shape they mean nothing and are no text.
      case Kw::kSp:
        if (st_.dest == Dest::kShapeInst) shapes_.back().propName.clear();
        else SkipGroup();
        break;
      case Kw::kSn:
        if (st_.dest == Dest::kShapeInst) {
          st_.dest = Dest::kShapeName;
          shapes_.back().propName.clear();
        } else {
          SkipGroup();
        }
        break;
      case Kw::kSv:
        if (st_.dest == Dest::kShapeInst && Trim(shapes_.back().propName) == u"pib") st_.dest = Dest::kShapePib;
        else SkipGroup();
        break;
      case Kw::kShptxt:
        if (st_.dest == Dest::kShapeInst) {
          st_.dest = Dest::kNormal;
          shapes_.back().replaced = true;
        }
        break;
      case Kw::kShprslt:
        // The shape's plain rendering, for readers that do not know shapes;
        // not needed when the shape itself gave its picture or text.
        if (!shapes_.empty() && shapes_.back().replaced) SkipGroup();
        break;
      case Kw::kShppict: break;  // the picture inside is the one to read
      case Kw::kUpr:
        st_.uprOuter = st_.dest;
        st_.dest = Dest::kUpr;
        break;
      case Kw::kUd:
        if (st_.dest == Dest::kUpr) st_.dest = st_.uprOuter;
        break;
      case Kw::kPn:
        // A legacy list paragraph: the paragraph around gets bullets; the
        // numbering description itself is not text.
        if (st_.dest == Dest::kNormal) {
          st_.para.bullets = true;
          if (!stack_.empty()) stack_.back().para.bullets = true;
        }
        SkipGroup();
        break;
      case Kw::kNestTableProps:
        if (st_.dest == Dest::kNormal) st_.dest = Dest::kNestProps;
        else SkipGroup();
        break;

      case Kw::kPlain: {
        const int32_t link = chr.link;
        chr = CharState();
        chr.font = deff_;
        chr.link = link;
        st_.assoc = AssocState();
        break;
      }
      case Kw::kRunType: st_.assoc.runType = static_cast<AssocState::RunType>(value); break;
      case Kw::kAssocFont:
        if (st_.dest == Dest::kFontTable) break;
        switch (st_.assoc.runType) {
          case AssocState::kLow: chr.font = hasParam ? param : deff_; break;
          case AssocState::kHigh: st_.assoc.highFont = hasParam ? param : -1; break;
          case AssocState::kDouble: st_.assoc.eastAsian.font = hasParam ? param : -1; break;
          case AssocState::kNone:
          case AssocState::kComplex: st_.assoc.complex.font = hasParam ? param : -1; break;
        }
        break;
      case Kw::kAssocSize:
        AssocSlotNow().halfPoints = static_cast<uint16_t>(param > 0 ? std::min(param, kMaxHalfPoints) : 0);
        break;
      case Kw::kAssocBold: AssocSlotNow().bold = on ? 1 : 0; break;
      case Kw::kAssocItalic: AssocSlotNow().italic = on ? 1 : 0; break;
      case Kw::kBold: chr.Set(kBold, on); break;
      case Kw::kItalic: chr.Set(kItalic, on); break;
      case Kw::kUnderline: chr.underline = on ? static_cast<uint8_t>(value) : tomNone; break;
      case Kw::kUnderlineNone: chr.underline = tomNone; break;
      case Kw::kStrike:
      case Kw::kStrikeDouble: chr.Set(kStrike, on); break;
      case Kw::kForeColor: chr.fore = ColourIndex(param); break;
      case Kw::kBackColor:
      case Kw::kHighlight: chr.back = ColourIndex(param); break;
      case Kw::kFont:
        if (st_.dest == Dest::kFontTable) StartFont(param);
        else if (st_.assoc.runType == AssocState::kDouble) st_.assoc.eastAsian.font = hasParam ? param : -1;
        else chr.font = hasParam ? param : deff_;
        break;
      case Kw::kFontSize:
        chr.halfPoints = static_cast<uint16_t>(param > 0 ? std::min(param, kMaxHalfPoints) : 24);
        break;
      case Kw::kSuper:
      case Kw::kUp:
        chr.Set(kSuper, on);
        chr.Set(kSub, false);
        break;
      case Kw::kSub:
      case Kw::kDown:
        chr.Set(kSub, on);
        chr.Set(kSuper, false);
        break;
      case Kw::kNoSuperSub: chr.Set(kSuper | kSub, false); break;
      case Kw::kHidden: chr.Set(kHidden, on); break;
      case Kw::kDefaultFont:
        deff_ = param;
        if (chr.font < 0) chr.font = param;
        break;

      case Kw::kPard: st_.para = ParaState(); break;
      case Kw::kAlign: st_.para.alignment = static_cast<uint8_t>(value); break;
      case Kw::kPar:
      case Kw::kRow: EndParagraph(); break;
      case Kw::kNestRow:
        if (st_.dest == Dest::kNestProps) {
          st_.dest = Dest::kNormal;
          EndParagraph();
          st_.dest = Dest::kNestProps;
        } else {
          EndParagraph();
        }
        break;
      case Kw::kLine:
        if (st_.dest == Dest::kNormal && !chr.Has(kHidden)) LineBreak();
        break;
      case Kw::kList:
        if (param > 0) st_.para.bullets = true;
        break;
      case Kw::kIntbl: break;
      case Kw::kCell:
      case Kw::kTab: Put(u'\t'); break;

      case Kw::kSymbol: Put(static_cast<char16_t>(value)); break;
      case Kw::kUnicodeSkip: st_.uc = static_cast<uint8_t>(std::clamp(param, 0, kMaxUc)); break;

      case Kw::kAnsi: docCodePage_ = 1252; break;
      case Kw::kMac: docCodePage_ = 10000; break;
      case Kw::kPc: docCodePage_ = 437; break;
      case Kw::kPca: docCodePage_ = 850; break;
      case Kw::kAnsiCpg: docCodePage_ = KnownCodePage(param) ? param : 1252; break;
      case Kw::kCharset:
        if (st_.dest == Dest::kFontTable && fontOpen_) fontCharset_ = param;
        break;
      case Kw::kCpg:
        if (st_.dest == Dest::kFontTable && fontOpen_) fontCpg_ = param;
        break;

      case Kw::kRed: SetComponent(0, param); break;
      case Kw::kGreen: SetComponent(8, param); break;
      case Kw::kBlue: SetComponent(16, param); break;

      case Kw::kPictFormat:
        if (st_.dest == Dest::kPict) {
          picts_.back().data.format = static_cast<PictureFormat>(value);
          picts_.back().data.mappingMode = std::max(param, 0);
        }
        break;
      case Kw::kPicW: PictField(&PictureData::width, param); break;
      case Kw::kPicH: PictField(&PictureData::height, param); break;
      case Kw::kPicWGoal: PictField(&PictureData::goalWidth, param); break;
      case Kw::kPicHGoal: PictField(&PictureData::goalHeight, param); break;
      case Kw::kPicScaleX: PictField(&PictureData::scaleX, Scale(param)); break;
      case Kw::kPicScaleY: PictField(&PictureData::scaleY, Scale(param)); break;
      case Kw::kWbmBitsPixel: PictField(&PictureData::bitsPerPixel, param); break;
      case Kw::kWbmPlanes: PictField(&PictureData::planes, param); break;
      case Kw::kWbmWidthBytes: PictField(&PictureData::widthBytes, param); break;

      case Kw::kObjKind:
        if (InObject()) objects_.back().ole.kind = static_cast<OleObjectKind>(value);
        break;
      case Kw::kObjW: ObjField(&OleData::width, std::max(param, 0)); break;
      case Kw::kObjH: ObjField(&OleData::height, std::max(param, 0)); break;
      case Kw::kObjScaleX: ObjField(&OleData::scaleX, Scale(param)); break;
      case Kw::kObjScaleY: ObjField(&OleData::scaleY, Scale(param)); break;
    }
  }

  // Colour indices beyond any real table all mean "no such colour".
  static uint16_t ColourIndex(int32_t param) { return static_cast<uint16_t>(std::clamp(param, 0, 65535)); }
  static int32_t Scale(int32_t percent) { return percent > 0 ? std::min(percent, 10000) : 100; }
  static bool KnownCodePage(int cp) { return SingleByteTable(cp) != nullptr || IsMultiByteCodePage(cp); }

  void PictField(int32_t PictureData::*field, int32_t v) {
    if (st_.dest == Dest::kPict) picts_.back().data.*field = std::max(v, 0);
  }
  bool InObject() const { return st_.dest == Dest::kObject && !objects_.empty(); }
  void ObjField(int32_t OleData::*field, int32_t v) {
    if (InObject()) objects_.back().ole.*field = v;
  }

  // ---- text

  void Text() {
    switch (st_.dest) {
      case Dest::kPict: HexData(picts_.back().data.bytes, picts_.back().nibble); return;
      case Dest::kObjData: HexData(objects_.back().ole.data, objects_.back().nibble); return;
      case Dest::kColorTable:
        if (*p_ == ';') CommitColor();
        ++p_;
        return;
      case Dest::kFontTable:
        if (*p_ == ';') {
          ++p_;
          if (skip_ > 0) {
            --skip_;
            return;
          }
          FlushPending();
          if (fontOpen_) CommitFont();
          return;
        }
        break;
      case Dest::kNormal:
        if (skip_ == 0 && !pendingLead_ && pendingBytes_.empty() && pendingHigh_ == 0) {
          const char* q = p_;
          while (q < end_ && cc_.plain[static_cast<uint8_t>(*q)]) ++q;
          if (q != p_) {
            AppendAscii(p_, static_cast<size_t>(q - p_));
            p_ = q;
            return;
          }
        }
        break;
      default: break;
    }
    const uint8_t c = static_cast<uint8_t>(*p_++);
    if (c < 0x20 && c != '\t') return;  // stray control bytes are no text
    if (skip_ > 0) {
      --skip_;
      return;
    }
    if (c >= 0x80 || (pendingLead_ && c >= 0x20)) {
      Byte(c);
      return;
    }
    FlushPending();
    Put(c);
  }

  void HexData(std::string& out, int& nibble) {
    while (p_ < end_) {
      const char c = *p_;
      const int v = cc_.hex[static_cast<uint8_t>(c)];
      if (v >= 0) {
        if (nibble < 0) {
          nibble = v;
        } else {
          out.push_back(static_cast<char>((nibble << 4) | v));
          nibble = -1;
        }
      } else if (c == '\\' || c == '{' || c == '}') {
        return;
      }
      ++p_;
    }
  }

  // One byte of 8-bit text in the current code page.
  void Byte(uint8_t byte) {
    const int cp = CurrentCodePage();
    if (IsMultiByteCodePage(cp)) {
      FlushSurrogate();
      if (!pendingBytes_.empty() && pendingCodePage_ != cp) FlushBytes();
      pendingCodePage_ = cp;
      pendingBytes_.push_back(static_cast<char>(byte));
      if (pendingLead_) pendingLead_ = false;
      else pendingLead_ = IsLeadByte(cp, byte);
      return;
    }
    FlushPending();
    if (byte < 0x80) {
      Put(byte);
    } else if (cp == kCodePageSymbol) {
      Put(static_cast<char16_t>(0xF000 + byte));
    } else {
      const char16_t* table = SingleByteTable(cp);
      if (!table) table = SingleByteTable(1252);
      Put(table[byte - 0x80]);
    }
  }

  int CurrentCodePage() {
    if (st_.dest == Dest::kFontTable && fontOpen_) return ResolveCodePage(FontCodePage(fontCharset_, fontCpg_));
    // The bytes of a double-byte run are in the code page of its associated font.
    const int32_t font = st_.assoc.runType == AssocState::kDouble && st_.assoc.eastAsian.font >= 0
                             ? st_.assoc.eastAsian.font
                             : st_.chr.font;
    if (font != cachedFont_) {
      cachedFont_ = font;
      auto it = fonts_.find(font);
      cachedFontCodePage_ = it == fonts_.end() ? 0 : it->second.codePage;
    }
    return ResolveCodePage(cachedFontCodePage_);
  }
  int ResolveCodePage(int cp) const { return cp != 0 ? cp : docCodePage_; }
  static int FontCodePage(int charset, int cpg) {
    if (cpg != 0 && KnownCodePage(cpg)) return cpg;
    return charset >= 0 ? CodePageOfCharset(charset) : 0;
  }

  void Unicode(int32_t value) {
    int64_t v = value;
    if (v < 0) v += 65536;
    if (v < 0 || v > 0x10FFFF) {
      Put(0xFFFD);
      return;
    }
    if (v > 0xFFFF) {  // not what the format says, but some writers do it
      FlushSurrogate();
      v -= 0x10000;
      Put(static_cast<char16_t>(0xD800 + (v >> 10)));
      Put(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
      return;
    }
    const char16_t u = static_cast<char16_t>(v);
    if (u >= 0xD800 && u <= 0xDBFF) {
      FlushSurrogate();
      pendingHigh_ = u;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      if (pendingHigh_ != 0) {
        const char16_t high = pendingHigh_;
        pendingHigh_ = 0;
        Put(high);
        Put(u);
      } else {
        Put(0xFFFD);
      }
    } else {
      FlushSurrogate();
      Put(u);
    }
  }

  void FlushSurrogate() {
    if (pendingHigh_ == 0) return;
    pendingHigh_ = 0;
    Put(0xFFFD);
  }

  void FlushBytes() {
    pendingLead_ = false;
    if (pendingBytes_.empty()) return;
    std::string bytes;
    bytes.swap(pendingBytes_);
    std::unique_ptr<MultiByteDecoder>& decoder = decoders_[pendingCodePage_];
    if (!decoder) decoder = std::make_unique<MultiByteDecoder>(pendingCodePage_);
    decoded_.clear();
    decoder->Decode(bytes, &decoded_);
    for (char16_t u : decoded_) Put(u);
    bytes.clear();
    if (pendingBytes_.empty()) pendingBytes_.swap(bytes);  // keep the capacity
  }

  void FlushPending() {
    if (!pendingBytes_.empty() || pendingLead_) FlushBytes();
    if (pendingHigh_ != 0) FlushSurrogate();
  }

  // A decoded character, to wherever the current destination collects text.
  void Put(char16_t u) {
    switch (st_.dest) {
      case Dest::kNormal: PutText(u); break;
      case Dest::kFontTable:
        if (fontOpen_ && u >= 0x20) fontName_.push_back(u);  // a tab or line end in a name is debris
        break;
      case Dest::kFieldInst:
        if (st_.fieldInst >= 0 && static_cast<size_t>(st_.fieldInst) < fields_.size())
          fields_[static_cast<size_t>(st_.fieldInst)].instr.push_back(u);
        break;
      case Dest::kObjClass:
        if (!objects_.empty()) objects_.back().className.push_back(u);
        break;
      case Dest::kShapeName:
        // Property names are short; only "pib" matters.
        if (!shapes_.empty() && shapes_.back().propName.size() < 64) shapes_.back().propName.push_back(u);
        break;
      default: break;
    }
  }

  void PutText(char16_t u) {
    if (st_.chr.Has(kHidden)) return;
    if (u == u'\r' || u == u'\n') {
      LineBreak();
      return;
    }
    if (u < 0x20 && u != u'\t') return;
    if (pendingPar_) EmitPendingPar();
    const bool low = u >= 0xDC00 && u <= 0xDFFF;
    const CharClass cls = low ? lastClass_ : ClassOf(u);
    lastClass_ = cls;
    const CharState chr = StateOf(cls);
    if (text_.empty()) {
      textState_ = chr;
    } else if (!(textState_ == chr)) {
      FlushText();
      textState_ = chr;
    }
    text_.push_back(u);
    Content();
  }

  // The slot \afs, \ab and \ai set now.
  AssocSlot& AssocSlotNow() {
    return st_.assoc.runType == AssocState::kDouble ? st_.assoc.eastAsian : st_.assoc.complex;
  }

  // The formatting a character of class `cls` takes in the current state.
  CharState StateOf(CharClass cls) const {
    CharState chr = st_.chr;
    const AssocState& a = st_.assoc;
    if (cls == CharClass::kHighAnsi) {
      if (a.highFont >= 0) chr.font = a.highFont;
    } else if (cls == CharClass::kEastAsian || cls == CharClass::kComplex) {
      const AssocSlot& slot = cls == CharClass::kEastAsian ? a.eastAsian : a.complex;
      if (slot.font >= 0) chr.font = slot.font;
      if (slot.halfPoints) chr.halfPoints = slot.halfPoints;
      if (slot.bold >= 0) chr.Set(kBold, slot.bold != 0);
      if (slot.italic >= 0) chr.Set(kItalic, slot.italic != 0);
    }
    return chr;
  }

  void AppendAscii(const char* s, size_t n) {
    if (st_.chr.Has(kHidden)) return;
    if (pendingPar_) EmitPendingPar();
    if (text_.empty()) {
      textState_ = st_.chr;
    } else if (!(textState_ == st_.chr)) {
      FlushText();
      textState_ = st_.chr;
    }
    const size_t at = text_.size();
    text_.resize(at + n);
    char16_t* d = text_.data() + at;
    for (size_t i = 0; i < n; ++i) d[i] = static_cast<uint8_t>(s[i]);
    Content();
  }

  void Content() {
    contentSeen_ = true;
    contentPara_ = st_.para;
  }

  // ---- paragraphs, breaks, objects

  // A paragraph ends. Its format is set at once; its mark waits until more
  // content follows, so that a final \par becomes the story's own final mark.
  void EndParagraph() {
    if (st_.dest != Dest::kNormal) return;
    if (pendingPar_) EmitPendingPar();
    FlushText();
    b_.SetParaFormat(ToPara(st_.para));
    pendingPar_ = true;
    pendingParState_ = st_.chr;
  }

  void EmitPendingPar() {
    pendingPar_ = false;
    if (!text_.empty() && !(textState_ == pendingParState_)) FlushText();
    if (text_.empty()) textState_ = pendingParState_;
    text_.push_back(kParagraphMark);
  }

  void LineBreak() {
    if (pendingPar_) EmitPendingPar();
    FlushText();
    b_.AppendLineBreak(Format(st_.chr));
    Content();
  }

  void FlushText() {
    if (text_.empty()) return;
    b_.AppendText(text_, Format(textState_));
    text_.clear();
  }

  void AppendObject(std::shared_ptr<IOleObject> object, SIZEL extent, const CharState& chr) {
    if (pendingPar_) EmitPendingPar();
    FlushText();
    b_.AppendObject(std::move(object), extent, Format(chr));
    Content();
  }

  static ParaFormat ToPara(const ParaState& p) {
    ParaFormat f;
    f.alignment = p.alignment;
    f.bullets = p.bullets;
    return f;
  }

  // The CharFormat of a state. Documents switch back and forth between a few
  // formats, so the last ones used are looked at before the hash table.
  const CharFormat& Format(const CharState& s) {
    for (const auto& [state, format] : recentFormats_)
      if (format && state == s) return *format;
    auto it = formatCache_.find(s);
    if (it == formatCache_.end()) it = formatCache_.emplace(s, MakeFormat(s)).first;
    recentFormats_[nextRecent_++ % recentFormats_.size()] = {s, &it->second};
    return it->second;
  }

  void ClearFormats() {
    formatCache_.clear();
    recentFormats_.fill({CharState(), nullptr});
  }

  CharFormat MakeFormat(const CharState& s) {
    // Hostile input can make every run a new format; the cache stays small.
    if (formatCache_.size() >= 4096) ClearFormats();
    CharFormat f;
    if (auto font = fonts_.find(s.font); font != fonts_.end()) f.fontName = font->second.name;
    f.size = static_cast<float>(s.halfPoints) / 2.0f;
    f.foreColor = Color(s.fore);
    f.backColor = s.back == 0 ? tomAutoColor : Color(s.back);
    f.bold = s.Has(kBold);
    f.italic = s.Has(kItalic);
    f.underline = s.underline;
    f.strikeout = s.Has(kStrike);
    f.superscript = s.Has(kSuper);
    f.subscript = s.Has(kSub);
    if (s.link >= 0) f.link = links_[static_cast<size_t>(s.link)];
    return f;
  }

  int32_t Color(int32_t index) const {
    if (index < 0 || static_cast<size_t>(index) >= colors_.size()) return tomAutoColor;
    return colors_[static_cast<size_t>(index)];
  }

  int32_t Link(std::u16string target) {
    if (links_.empty() || links_.back() != target) {
      links_.push_back(std::move(target));
    }
    return static_cast<int32_t>(links_.size() - 1);
  }

  // ---- font and colour tables

  void StartFont(int32_t number) {
    if (fontOpen_) CommitFont();
    fontOpen_ = true;
    fontNumber_ = number;
    fontName_.clear();
    fontCharset_ = -1;
    fontCpg_ = 0;
    fontDepth_ = stack_.size();
  }

  void CommitFont() {
    fontOpen_ = false;
    fonts_[fontNumber_] = FontEntry{Trim(std::move(fontName_)), FontCodePage(fontCharset_, fontCpg_)};
    fontName_.clear();
    ClearFormats();
    cachedFont_ = INT32_MIN;
  }

  void SetComponent(int shift, int32_t value) {
    if (st_.dest != Dest::kColorTable) return;
    color_ = (color_ & ~(0xFF << shift)) | (std::clamp(value, 0, 255) << shift);
    colorHas_ = true;
  }

  void CommitColor() {
    // Entries are few in real documents; a hostile table of millions of ";"
    // costs four bytes each, less than the input itself.
    colors_.push_back(colorHas_ ? color_ : tomAutoColor);
    colorHas_ = false;
    color_ = 0;
    ClearFormats();
  }

  // ---- pictures and objects

  // Real pictures and objects take kilobytes of RTF each; a document of
  // nothing but empty ones ("{\pict}" again and again) must not cost
  // hundreds of bytes of memory per byte read, so their number is limited by
  // the size of the input.
  bool ObjectBudgetLeft() { return objectsLeft_ > 0 ? (--objectsLeft_, true) : false; }

  void StartPicture() {
    PictContext::Target target;
    if ((st_.dest == Dest::kNormal || st_.dest == Dest::kShapePib) && !ObjectBudgetLeft()) {
      SkipGroup();
      return;
    }
    if (st_.dest == Dest::kNormal) {
      target = PictContext::kDocument;
    } else if (st_.dest == Dest::kResult && !objects_.empty() && !objects_.back().result) {
      target = PictContext::kObjectResult;
    } else if (st_.dest == Dest::kShapePib && !shapes_.empty()) {
      target = PictContext::kShape;
    } else {
      SkipGroup();
      return;
    }
    picts_.push_back(PictContext{stack_.size(), target, st_.chr, PictureData()});
    st_.dest = Dest::kPict;
  }

  void FinishPicture() {
    PictContext pc = std::move(picts_.back());
    picts_.pop_back();
    pc.data.format = Sniff(pc.data.format, pc.data.bytes);
    if (!HasMappingMode(pc.data.format)) pc.data.mappingMode = 0;  // the N of \pngblip and the like means nothing
    switch (pc.target) {
      case PictContext::kObjectResult:
        if (!objects_.empty()) objects_.back().result = std::move(pc.data);
        break;
      case PictContext::kShape:
        if (!shapes_.empty()) shapes_.back().replaced = true;
        [[fallthrough]];
      case PictContext::kDocument: {
        const SIZEL extent = pc.data.Extent();
        AppendObject(std::make_shared<PictureObject>(std::move(pc.data)), extent, pc.chr);
        break;
      }
    }
  }

  void FinishObject() {
    ObjectContext oc = std::move(objects_.back());
    objects_.pop_back();
    std::u16string name = Trim(std::move(oc.className));
    oc.ole.className = Utf16ToUtf8(name);
    auto object = std::make_shared<EmbeddedOleObject>(std::move(oc.ole), std::move(oc.result));
    const SIZEL extent = object->data().Extent();
    AppendObject(std::move(object), extent, oc.chr);
  }

  const char* p_;
  const char* const end_;
  IDocumentBuilder& b_;
  const KeywordTable& kw_;
  const CharClasses& cc_;

  State st_;
  std::vector<State> stack_;
  int skip_ = 0;           // fallback characters still to skip after \uN
  bool ignorable_ = false;  // \* was seen

  // Document text not yet handed to the builder, all in textState_.
  std::u16string text_;
  CharState textState_;
  CharClass lastClass_ = CharClass::kLatin;  // of the last character, for the low half of a surrogate pair
  bool pendingPar_ = false;
  CharState pendingParState_;
  bool contentSeen_ = false;
  ParaState contentPara_;

  // Multi-byte text waiting for its decoding; a high surrogate waiting for its pair.
  std::string pendingBytes_;
  int pendingCodePage_ = 0;
  bool pendingLead_ = false;
  char16_t pendingHigh_ = 0;
  std::map<int, std::unique_ptr<MultiByteDecoder>> decoders_;
  std::u16string decoded_;

  int docCodePage_ = 1252;
  int32_t deff_ = -1;
  std::unordered_map<int32_t, FontEntry> fonts_;
  int32_t cachedFont_ = INT32_MIN;
  int cachedFontCodePage_ = 0;
  bool fontOpen_ = false;
  int32_t fontNumber_ = 0;
  std::u16string fontName_;
  int32_t fontCharset_ = -1;
  int32_t fontCpg_ = 0;
  size_t fontDepth_ = 0;

  std::vector<int32_t> colors_;
  int32_t color_ = 0;
  bool colorHas_ = false;
  size_t colorDepth_ = 0;

  std::vector<std::u16string> links_;
  std::unordered_map<CharState, CharFormat, CharStateHash> formatCache_;
  std::array<std::pair<CharState, const CharFormat*>, 8> recentFormats_{};
  size_t nextRecent_ = 0;

  size_t objectsLeft_;
  std::vector<PictContext> picts_;
  std::vector<ObjectContext> objects_;
  std::vector<FieldContext> fields_;
  std::vector<ShapeContext> shapes_;
};

}  // namespace

void ReadRtf(std::string_view rtf, IDocumentBuilder& builder) {
  if (rtf.size() > static_cast<size_t>(INT32_MAX) - 16) throw ERtfReader("RTF document too large");
  size_t start = 0;
  if (rtf.substr(0, 3) == "\xEF\xBB\xBF") start = 3;
  while (start < rtf.size() && (rtf[start] == ' ' || rtf[start] == '\t' || rtf[start] == '\r' || rtf[start] == '\n'))
    ++start;
  if (rtf.substr(start, 5) != "{\\rtf") throw ERtfReader("Not an RTF document: it does not begin with {\\rtf");
  // The text of a document never takes more code units than its RTF has bytes.
  builder.ReserveText(rtf.size() - start);
  Reader(rtf.substr(start), builder).Run();
}

}  // namespace tagsmith
