#include "app/ui/qt_document.h"

#include <QAbstractTextDocumentLayout>
#include <QBrush>
#include <QColor>
#include <QFont>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextFragment>
#include <QTextList>

#include <algorithm>
#include <climits>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/ui/object_painter.h"
#include "platform/strings.h"
#include "richtext/tom_moves.h"

namespace tagsmith {

namespace {

// Ranges longer than this read their formats from the cached runs, which a
// changed document rebuilds once, rather than from Qt's fragments directly.
constexpr int32_t kDirectReadLimit = 4096;

TomStatus Null(const char* what) { return TomStatus::Fail(std::string("Invalid pointer: ") + what); }
TomStatus Gone() { return TomStatus::Fail("The document is gone"); }

QString ToQString(std::u16string_view text) {
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}
std::u16string ToU16(const QString& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
}

// Qt draws these underline styles; the tom kinds it has no style for are
// drawn as the nearest one and kept in kPropUnderlineKind.
QTextCharFormat::UnderlineStyle QtUnderline(int32_t kind) {
  switch (kind) {
    case tomNone: return QTextCharFormat::NoUnderline;
    case tomDotted: return QTextCharFormat::DotLine;
    case tomDash:
    case tomLongDash: return QTextCharFormat::DashUnderline;
    case tomDashDot: return QTextCharFormat::DashDotLine;
    case tomDashDotDot: return QTextCharFormat::DashDotDotLine;
    case tomWave:
    case tomDoubleWave:
    case tomHeavyWave: return QTextCharFormat::WaveUnderline;
    default: return QTextCharFormat::SingleUnderline;  // single, words, double, thick, hair
  }
}

int32_t TomUnderline(QTextCharFormat::UnderlineStyle style) {
  switch (style) {
    case QTextCharFormat::NoUnderline: return tomNone;
    case QTextCharFormat::DotLine: return tomDotted;
    case QTextCharFormat::DashUnderline: return tomDash;
    case QTextCharFormat::DashDotLine: return tomDashDot;
    case QTextCharFormat::DashDotDotLine: return tomDashDotDot;
    case QTextCharFormat::WaveUnderline:
    case QTextCharFormat::SpellCheckUnderline: return tomWave;
    default: return tomSingle;
  }
}

int32_t ColourOf(const QTextFormat& format, int property) {
  if (!format.hasProperty(property)) return tomAutoColor;
  const QBrush brush = format.brushProperty(property);
  if (brush.style() == Qt::NoBrush) return tomAutoColor;
  const QColor c = brush.color();
  return (c.blue() << 16) | (c.green() << 8) | c.red();
}

QColor QtColour(int32_t bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

Qt::Alignment QtAlignment(int32_t alignment) {
  switch (alignment) {
    case tomAlignCenter: return Qt::AlignHCenter;
    case tomAlignRight: return Qt::AlignRight | Qt::AlignAbsolute;
    case tomAlignJustify: return Qt::AlignJustify;
    default: return Qt::AlignLeft | Qt::AlignAbsolute;
  }
}

int32_t TomAlignment(Qt::Alignment alignment) {
  if (alignment & Qt::AlignHCenter) return tomAlignCenter;
  if (alignment & Qt::AlignJustify) return tomAlignJustify;
  if (alignment & Qt::AlignRight) return tomAlignRight;
  return tomAlignLeft;
}

// Writes the attributes of `f` into `q`: every one, or with `before` only
// those that differ from it. Properties of other kinds (objects, Qt's own)
// stay as they are.
void WriteAttributes(QTextCharFormat& q, const CharFormat& f, const CharFormat* before) {
  const bool all = before == nullptr;
  if (all || f.fontName != before->fontName) {
    q.clearProperty(QTextFormat::FontFamily);
    if (f.fontName.empty()) {
      q.clearProperty(QTextFormat::FontFamilies);
      q.setProperty(kPropNoFontName, true);
    } else {
      q.setFontFamilies(QStringList{ToQString(f.fontName)});
      q.clearProperty(kPropNoFontName);
    }
  }
  if (all || f.size != before->size) {
    q.clearProperty(QTextFormat::FontPixelSize);
    q.setFontPointSize(f.size);
  }
  if (all || f.foreColor != before->foreColor) {
    if (f.foreColor == tomAutoColor) q.clearForeground();
    else q.setForeground(QtColour(f.foreColor));
  }
  if (all || f.backColor != before->backColor) {
    if (f.backColor == tomAutoColor) q.clearBackground();
    else q.setBackground(QtColour(f.backColor));
  }
  if (all ? f.bold : f.bold != before->bold) q.setFontWeight(f.bold ? QFont::Bold : QFont::Normal);
  if (all ? f.italic : f.italic != before->italic) q.setFontItalic(f.italic);
  if (all ? f.strikeout : f.strikeout != before->strikeout) q.setFontStrikeOut(f.strikeout);
  if (all ? f.underline != tomNone : f.underline != before->underline) {
    q.clearProperty(QTextFormat::FontUnderline);
    q.setUnderlineStyle(QtUnderline(f.underline));
    if (f.underline == tomNone) q.clearProperty(kPropUnderlineKind);
    else q.setProperty(kPropUnderlineKind, f.underline);
  }
  if (all ? (f.superscript || f.subscript)
          : f.superscript != before->superscript || f.subscript != before->subscript) {
    q.setVerticalAlignment(f.superscript  ? QTextCharFormat::AlignSuperScript
                           : f.subscript ? QTextCharFormat::AlignSubScript
                                         : QTextCharFormat::AlignNormal);
  }
  if (all ? !f.link.empty() : f.link != before->link) {
    if (f.link.empty()) {
      q.clearProperty(QTextFormat::IsAnchor);
      q.clearProperty(QTextFormat::AnchorHref);
    } else {
      q.setAnchor(true);
      q.setAnchorHref(ToQString(f.link));
    }
  }
}

// The character format without what makes a character an object.
QTextCharFormat TextFormat(QTextCharFormat q) {
  q.clearProperty(QTextFormat::ObjectType);
  q.clearProperty(QTextFormat::ObjectIndex);
  q.clearProperty(QTextFormat::ImageName);
  q.clearProperty(QTextFormat::ImageWidth);
  q.clearProperty(QTextFormat::ImageHeight);
  q.clearProperty(kPropObjectId);
  q.clearProperty(kPropExtentX);
  q.clearProperty(kPropExtentY);
  return q;
}

void MakeObjectFormat(QTextCharFormat& q, uint64_t id, SIZEL extent) {
  q.setObjectType(kEmbeddedObjectType);
  q.setProperty(kPropObjectId, QVariant::fromValue<qulonglong>(id));
  q.setProperty(kPropExtentX, extent.cx);
  q.setProperty(kPropExtentY, extent.cy);
}

bool IsObjectFormat(const QTextFormat& q) {
  return q.objectType() == kEmbeddedObjectType && q.hasProperty(kPropObjectId);
}

}  // namespace

// ------------------------------------------------------------------ state

class QtDocument::State {
 public:
  struct Bounds {
    int32_t start = 0;
    int32_t end = 0;
  };
  struct ObjectEntry {
    int32_t pos;
    uint64_t id;
    SIZEL extent;
  };
  // What a Qt character format reads as, known per Qt format index until the
  // next change.
  struct Memo {
    int64_t format = -1;
    bool object = false;
  };

  State(QTextDocument* document, bool draw)
      : doc(document), objects(std::make_shared<ObjectTable>()), watcher(std::make_unique<QObject>()) {
    Intern(defaults);
    if (doc) {
      QObject::connect(doc, &QTextDocument::contentsChange, watcher.get(), [this](int, int, int) { Changed(); });
      if (draw) RegisterPainter();
    }
  }

  void RegisterPainter() {
    if (!doc || !doc->documentLayout()) return;
    if (!painter) painter = std::make_unique<ObjectPainter>(objects);
    doc->documentLayout()->registerHandler(kEmbeddedObjectType, painter.get());
  }

  void Changed() {
    ++version;
    dirty = textDirty = true;
    length = -1;
    memo.clear();
    paraMemo.clear();
  }

  // Qt counts the story by walking its fragment tree: kept until a change.
  int32_t Length() {
    if (length < 0) length = doc ? doc->characterCount() : 1;
    return length;
  }
  int32_t Clamp(int32_t pos) { return std::clamp(pos, 0, Length()); }

  uint32_t Intern(const CharFormat& format) {
    auto it = formatIndex.find(format);
    if (it != formatIndex.end()) return it->second;
    const uint32_t index = static_cast<uint32_t>(formats.size());
    formats.push_back(format);
    formatIndex.emplace(format, index);
    return index;
  }

  CharFormat Read(const QTextCharFormat& q) const {
    CharFormat f;
    if (q.hasProperty(QTextFormat::FontFamilies)) {
      const QStringList families = q.property(QTextFormat::FontFamilies).toStringList();
      f.fontName = families.isEmpty() ? std::u16string() : ToU16(families.front());
    } else if (q.hasProperty(QTextFormat::FontFamily)) {
      f.fontName = ToU16(q.stringProperty(QTextFormat::FontFamily));
    } else if (!q.boolProperty(kPropNoFontName)) {
      f.fontName = defaults.fontName;
    }
    if (q.hasProperty(QTextFormat::FontPointSize)) f.size = static_cast<float>(q.doubleProperty(QTextFormat::FontPointSize));
    else if (q.hasProperty(QTextFormat::FontPixelSize)) f.size = static_cast<float>(q.intProperty(QTextFormat::FontPixelSize) * 0.75);
    else f.size = defaults.size;
    f.foreColor = q.hasProperty(QTextFormat::ForegroundBrush) ? ColourOf(q, QTextFormat::ForegroundBrush) : defaults.foreColor;
    f.backColor = q.hasProperty(QTextFormat::BackgroundBrush) ? ColourOf(q, QTextFormat::BackgroundBrush) : defaults.backColor;
    f.bold = q.hasProperty(QTextFormat::FontWeight) ? q.fontWeight() >= QFont::DemiBold : defaults.bold;
    f.italic = q.hasProperty(QTextFormat::FontItalic) ? q.fontItalic() : defaults.italic;
    f.strikeout = q.hasProperty(QTextFormat::FontStrikeOut) ? q.fontStrikeOut() : defaults.strikeout;
    QTextCharFormat::UnderlineStyle style = QTextCharFormat::NoUnderline;
    if (q.hasProperty(QTextFormat::TextUnderlineStyle)) style = q.underlineStyle();
    else if (q.boolProperty(QTextFormat::FontUnderline)) style = QTextCharFormat::SingleUnderline;
    if (style == QTextCharFormat::NoUnderline) {
      f.underline = q.hasProperty(QTextFormat::TextUnderlineStyle) || q.hasProperty(QTextFormat::FontUnderline)
                        ? tomNone
                        : defaults.underline;
    } else {
      const int32_t kind = q.hasProperty(kPropUnderlineKind) ? q.intProperty(kPropUnderlineKind) : -1;
      // The kind kept beside Qt's style holds while the style is still the
      // one drawn for it; a style set since (by the editor) wins.
      f.underline = kind > tomNone && kind <= tomLongDash && QtUnderline(kind) == style ? kind : TomUnderline(style);
    }
    if (q.hasProperty(QTextFormat::TextVerticalAlignment)) {
      f.superscript = q.verticalAlignment() == QTextCharFormat::AlignSuperScript;
      f.subscript = q.verticalAlignment() == QTextCharFormat::AlignSubScript;
    } else {
      f.superscript = defaults.superscript;
      f.subscript = defaults.subscript;
    }
    if (q.isAnchor() && q.hasProperty(QTextFormat::AnchorHref)) f.link = ToU16(q.anchorHref());
    return f;
  }

  const QTextCharFormat& QtFormat(const CharFormat& f) {
    auto it = qtFormats.find(f);
    if (it != qtFormats.end()) return it->second;
    if (qtFormats.size() > 4096) qtFormats.clear();
    QTextCharFormat q;
    WriteAttributes(q, f, nullptr);
    return qtFormats.emplace(f, q).first->second;
  }

  template <typename Get>
  Memo Lookup(int qtIndex, Get get) {
    if (qtIndex < 0) return Memo{static_cast<int64_t>(Intern(defaults)), false};
    if (static_cast<size_t>(qtIndex) >= memo.size()) memo.resize(static_cast<size_t>(qtIndex) + 1);
    Memo& m = memo[static_cast<size_t>(qtIndex)];
    if (m.format < 0) {
      const QTextCharFormat q = get();
      m.format = Intern(Read(q));
      m.object = IsObjectFormat(q);
    }
    return m;
  }

  ParaFormat ParaOf(const QTextBlock& block) {
    const int index = block.blockFormatIndex();
    if (index >= 0 && static_cast<size_t>(index) < paraMemo.size() && paraMemo[static_cast<size_t>(index)].first)
      return paraMemo[static_cast<size_t>(index)].second;
    const ParaFormat p{TomAlignment(block.blockFormat().alignment()), block.textList() != nullptr};
    if (index >= 0) {
      if (static_cast<size_t>(index) >= paraMemo.size()) paraMemo.resize(static_cast<size_t>(index) + 1);
      paraMemo[static_cast<size_t>(index)] = {true, p};
    }
    return p;
  }

  // Visits the characters of [start, end) in pieces of one Qt format:
  // visit(pieceStart, pieceEnd, memo, fragment or null, next block or null).
  // A block's end is a piece of its own with the next block's character
  // format; the final mark reads as the character before it.
  template <typename Visit>
  void Scan(int32_t start, int32_t end, Visit visit) {
    QTextBlock block = doc->findBlock(start);
    Memo last;
    bool any = false;
    int32_t position = block.isValid() ? block.position() : 0;
    while (block.isValid() && position < end) {
      const int32_t mark = position + block.length() - 1;
      if (mark > start) {
        // Fragment positions follow from their lengths: asking Qt for each
        // one walks its tree.
        int32_t fs = position;
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
          const QTextFragment fragment = it.fragment();
          if (!fragment.isValid()) continue;
          const int32_t fe = fs + fragment.length();
          if (fe > start) {
            if (fs >= end) break;
            last = Lookup(fragment.charFormatIndex(), [&] { return fragment.charFormat(); });
            any = true;
            visit(std::max(fs, start), std::min(fe, end), last, &fragment, static_cast<const QTextBlock*>(nullptr));
          }
          fs = fe;
        }
      }
      const QTextBlock next = block.next();
      if (mark >= start && mark < end) {
        if (next.isValid()) {
          last = Lookup(next.charFormatIndex(), [&] { return next.charFormat(); });
          visit(mark, mark + 1, last, static_cast<const QTextFragment*>(nullptr), &next);
        } else {
          const Memo m = any ? Memo{last.format, false} : Memo{static_cast<int64_t>(FormatBefore(mark)), false};
          visit(mark, mark + 1, m, static_cast<const QTextFragment*>(nullptr), static_cast<const QTextBlock*>(nullptr));
        }
        any = true;
      }
      position = mark + 1;
      block = next;
    }
  }

  // The format the final mark at `mark` reads as: the character before it,
  // or in an empty story the format Qt gives its one block.
  uint32_t FormatBefore(int32_t mark) {
    if (mark <= 0) {
      const QTextBlock first = doc->firstBlock();
      return static_cast<uint32_t>(Lookup(first.charFormatIndex(), [&] { return first.charFormat(); }).format);
    }
    uint32_t format = 0;
    Scan(mark - 1, mark, [&](int32_t, int32_t, Memo m, const QTextFragment*, const QTextBlock*) {
      format = static_cast<uint32_t>(m.format);
    });
    return format;
  }

  void Refresh() {
    if (!dirty || !doc) return;
    runStarts.clear();
    runFormats.clear();
    paraStarts.clear();
    paraFormats.clear();
    objectList.clear();
    runHint = paraHint = 0;
    std::unordered_set<uint64_t> live;
    int64_t current = -1;
    // The text comes along in the same walk: the conversion reads it all.
    text.clear();
    text.reserve(static_cast<size_t>(Length()));
    Scan(0, Length(), [&](int32_t s, int32_t e, Memo m, const QTextFragment* fragment, const QTextBlock*) {
      if (fragment) {
        const QString t = fragment->text();
        text.append(reinterpret_cast<const char16_t*>(t.utf16()), static_cast<size_t>(t.size()));
      } else {
        text.push_back(kParagraphMark);
      }
      if (m.format != current) {
        runStarts.push_back(s);
        runFormats.push_back(static_cast<uint32_t>(m.format));
        current = m.format;
      }
      if (m.object && fragment) {
        const QTextCharFormat q = fragment->charFormat();
        const uint64_t id = q.property(kPropObjectId).toULongLong();
        if (!objects->Find(id)) return;  // a character whose object this document never held
        live.insert(id);
        const SIZEL extent{q.intProperty(kPropExtentX), q.intProperty(kPropExtentY)};
        for (int32_t pos = s; pos < e; ++pos) objectList.push_back(ObjectEntry{pos, id, extent});
      }
    });
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
      paraStarts.push_back(b.position());
      paraFormats.push_back(ParaOf(b));
    }
    // Objects no character names any more can come back only through undo
    // or redo; with neither left, they are let go.
    if (!doc->isUndoAvailable() && !doc->isRedoAvailable() && live.size() < objects->Size()) objects->Prune(live);
    MapMarks();
    dirty = textDirty = false;
  }

  void RefreshText() {
    if (!textDirty || !doc) return;
    text.clear();
    text.reserve(static_cast<size_t>(Length()));
    Scan(0, Length(), [&](int32_t, int32_t, Memo, const QTextFragment* fragment, const QTextBlock*) {
      if (fragment) {
        const QString t = fragment->text();
        text.append(reinterpret_cast<const char16_t*>(t.utf16()), static_cast<size_t>(t.size()));
      } else {
        text.push_back(kParagraphMark);
      }
    });
    MapMarks();
    textDirty = false;
  }

  // Line breaks and Qt's frame markers read as paragraph marks.
  void MapMarks() {
    for (char16_t& c : text)
      if (c == 0x2028 || c == 0x2029 || c == 0xFDD0 || c == 0xFDD1) c = kParagraphMark;
  }

  // As RichDocument's: the index i with starts[i] <= pos < starts[i + 1],
  // trying the hint and its successor before searching.
  static size_t Locate(const std::vector<int32_t>& starts, int32_t pos, size_t& hint) {
    const size_t n = starts.size();
    for (size_t i = hint; i < n && i <= hint + 1; ++i)
      if (starts[i] <= pos && (i + 1 == n || pos < starts[i + 1])) return hint = i;
    auto it = std::upper_bound(starts.begin(), starts.end(), pos);
    hint = it == starts.begin() ? 0 : static_cast<size_t>(it - starts.begin()) - 1;
    return hint;
  }

  int32_t NextBoundary(int32_t unit, int32_t pos) {
    const int32_t length = Length();
    if (pos >= length) return length;
    switch (unit) {
      case tomCharacter: return pos + 1;
      case tomStory: return length;
      case tomCharFormat: {
        Refresh();
        const size_t r = Locate(runStarts, pos, runHint);
        return r + 1 < runStarts.size() ? runStarts[r + 1] : length;
      }
      default: {
        Refresh();
        const size_t p = Locate(paraStarts, pos, paraHint);
        return p + 1 < paraStarts.size() ? paraStarts[p + 1] : length;
      }
    }
  }

  int32_t PrevBoundary(int32_t unit, int32_t pos) {
    const std::vector<int32_t>* starts = nullptr;
    switch (unit) {
      case tomCharacter: return std::max(pos - 1, 0);
      case tomStory: return 0;
      case tomCharFormat: Refresh(); starts = &runStarts; break;
      default: Refresh(); starts = &paraStarts; break;
    }
    auto it = std::lower_bound(starts->begin(), starts->end(), pos);
    return it == starts->begin() ? 0 : *(it - 1);
  }

  static bool IsUnit(int32_t unit) {
    return unit == tomCharacter || unit == tomCharFormat || unit == tomParagraph || unit == tomStory;
  }

  // Format indices of the characters in [start, end); of the character before
  // `start` when the range is empty.
  void FormatsIn(int32_t start, int32_t end, std::vector<uint32_t>* out) {
    out->clear();
    if (start >= end) {
      start = start > 0 ? start - 1 : 0;
      end = start + 1;
    }
    if (dirty && end - start <= kDirectReadLimit) {
      Scan(start, end, [&](int32_t, int32_t, Memo m, const QTextFragment*, const QTextBlock*) {
        if (out->empty() || out->back() != m.format) out->push_back(static_cast<uint32_t>(m.format));
      });
      if (out->empty()) out->push_back(Intern(defaults));
      return;
    }
    Refresh();
    const size_t first = Locate(runStarts, start, runHint), last = Locate(runStarts, end - 1, runHint);
    for (size_t i = first; i <= last; ++i) out->push_back(runFormats[i]);
  }

  // The formats of the paragraphs holding [start, end) (the one at `start`
  // when the range is empty).
  void ParagraphsIn(int32_t start, int32_t end, std::vector<ParaFormat>* out) {
    out->clear();
    const int32_t lastChar = std::max(std::min(end, Length()) - 1, 0);
    start = std::min(start, lastChar);
    const int32_t stop = start >= end ? start : lastChar;
    if (dirty && stop - start <= kDirectReadLimit) {
      for (QTextBlock b = doc->findBlock(start); b.isValid() && b.position() <= stop; b = b.next())
        out->push_back(ParaOf(b));
      if (out->empty()) out->push_back(ParaFormat());
      return;
    }
    Refresh();
    const size_t first = Locate(paraStarts, start, paraHint), last = Locate(paraStarts, stop, paraHint);
    for (size_t i = first; i <= last; ++i) out->push_back(paraFormats[i]);
  }

  std::u16string Text(int32_t start, int32_t end) {
    RefreshText();
    start = std::min(start, static_cast<int32_t>(text.size()));
    end = std::clamp(end, start, static_cast<int32_t>(text.size()));
    return text.substr(static_cast<size_t>(start), static_cast<size_t>(end - start));
  }

  // Changes the format of every character in [start, end) as one edit. The
  // final mark is not Qt's to format; it reads as the character before it.
  void ApplyCharFormat(int32_t start, int32_t end, const std::function<void(CharFormat&)>& change) {
    start = Clamp(start);
    end = std::min(Clamp(end), Length() - 1);
    if (start >= end) return;
    struct Piece {
      int32_t start, end;
      QTextCharFormat format;
    };
    std::vector<Piece> pieces;
    Scan(start, end, [&](int32_t s, int32_t e, Memo, const QTextFragment* fragment, const QTextBlock* next) {
      if (fragment) pieces.push_back(Piece{s, e, fragment->charFormat()});
      else if (next) pieces.push_back(Piece{s, e, next->charFormat()});
    });
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    for (Piece& p : pieces) {
      const CharFormat before = Read(p.format);
      CharFormat after = before;
      change(after);
      if (after == before) continue;
      WriteAttributes(p.format, after, &before);
      cursor.setPosition(p.start);
      cursor.setPosition(p.end, QTextCursor::KeepAnchor);
      cursor.setCharFormat(p.format);
    }
    cursor.endEditBlock();
    Changed();
  }

  Bounds Selection() {
    if (editor && editor->document() == doc) {
      const QTextCursor c = editor->textCursor();
      return Bounds{c.selectionStart(), c.selectionEnd()};
    }
    return ownSelection;
  }

  void SetSelection(Bounds b) {
    if (editor && editor->document() == doc) {
      // The editor's cursor cannot pass the final mark.
      const int32_t last = Length() - 1;
      QTextCursor c = editor->textCursor();
      c.setPosition(std::clamp(b.start, 0, last));
      c.setPosition(std::clamp(b.end, 0, last), QTextCursor::KeepAnchor);
      editor->setTextCursor(c);
      return;
    }
    ownSelection = b;
  }

  QPointer<QTextDocument> doc;
  std::shared_ptr<ObjectTable> objects;
  std::unique_ptr<QObject> watcher;  // the receiver of the document's change notices
  std::unique_ptr<ObjectPainter> painter;
  CharFormat defaults;
  QPointer<QTextEdit> editor;
  Bounds ownSelection;
  std::optional<QTextCursor> appendCursor;

  uint64_t version = 1;
  int32_t length = -1;
  bool dirty = true;
  bool textDirty = true;
  std::vector<Memo> memo;
  std::vector<std::pair<bool, ParaFormat>> paraMemo;

  std::vector<CharFormat> formats;
  std::unordered_map<CharFormat, uint32_t, CharFormatHash> formatIndex;
  std::unordered_map<CharFormat, QTextCharFormat, CharFormatHash> qtFormats;

  std::vector<int32_t> runStarts;
  std::vector<uint32_t> runFormats;
  std::vector<int32_t> paraStarts;
  std::vector<ParaFormat> paraFormats;
  std::vector<ObjectEntry> objectList;
  std::u16string text;
  size_t runHint = 0;
  size_t paraHint = 0;
};

namespace {

using State = QtDocument::State;

// Folds one attribute over several formats: the common value, or `undefined`.
template <typename Get, typename T>
T Common(const State& s, const std::vector<uint32_t>& formats, Get get, T undefined) {
  T first = get(s.formats[formats.front()]);
  for (size_t i = 1; i < formats.size(); ++i)
    if (!(get(s.formats[formats[i]]) == first)) return undefined;
  return first;
}

int32_t TomBool(bool b) { return b ? tomTrue : tomFalse; }

class QtFont : public ITextFont {
 public:
  QtFont(std::shared_ptr<State> state, int32_t start, int32_t end) : s_(std::move(state)), start_(start), end_(end) {}

  TomStatus GetBold(int32_t* v) override { return Flag(v, [](const CharFormat& f) { return f.bold; }); }
  TomStatus GetItalic(int32_t* v) override { return Flag(v, [](const CharFormat& f) { return f.italic; }); }
  TomStatus GetStrikeThrough(int32_t* v) override { return Flag(v, [](const CharFormat& f) { return f.strikeout; }); }
  TomStatus GetSuperscript(int32_t* v) override { return Flag(v, [](const CharFormat& f) { return f.superscript; }); }
  TomStatus GetSubscript(int32_t* v) override { return Flag(v, [](const CharFormat& f) { return f.subscript; }); }
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
    if (!s_->doc) return Gone();
    if (value != tomAutoColor && (value < 0 || value > 0xFFFFFF))
      return TomStatus::Fail(FormatString("Invalid colour value %d", value));
    s_->ApplyCharFormat(start_, end_, [value](CharFormat& f) { f.foreColor = value; });
    return TomStatus::Ok();
  }
  TomStatus SetSize(float value) override {
    if (!s_->doc) return Gone();
    if (!(value > 0.0f) || value > 1638.0f) return TomStatus::Fail("Invalid font size");
    s_->ApplyCharFormat(start_, end_, [value](CharFormat& f) { f.size = value; });
    return TomStatus::Ok();
  }

 private:
  template <typename Get>
  TomStatus Flag(int32_t* out, Get get) {
    if (!out) return Null("value");
    if (!Collect()) return Gone();
    const bool first = get(s_->formats[formats_.front()]);
    for (uint32_t idx : formats_)
      if (get(s_->formats[idx]) != first) {
        *out = tomUndefined;
        return TomStatus::Ok();
      }
    *out = TomBool(first);
    return TomStatus::Ok();
  }
  template <typename T, typename Get>
  TomStatus Value(T* out, Get get, T undefined) {
    if (!out) return Null("value");
    if (!Collect()) return Gone();
    *out = Common(*s_, formats_, get, undefined);
    return TomStatus::Ok();
  }
  bool Collect() {
    if (!s_->doc) return false;
    if (collected_ && version_ == s_->version) return true;
    s_->FormatsIn(s_->Clamp(start_), s_->Clamp(end_), &formats_);
    version_ = s_->version;
    collected_ = true;
    return true;
  }

  std::shared_ptr<State> s_;
  int32_t start_, end_;
  std::vector<uint32_t> formats_;
  uint64_t version_ = 0;
  bool collected_ = false;
};

class QtPara : public ITextPara {
 public:
  QtPara(std::shared_ptr<State> state, int32_t start, int32_t end) : s_(std::move(state)), start_(start), end_(end) {}

  TomStatus GetAlignment(int32_t* v) override { return Value(v, [](const ParaFormat& p) { return p.alignment; }); }
  TomStatus GetListType(int32_t* v) override {
    return Value(v, [](const ParaFormat& p) { return p.bullets ? tomListBullet : tomListNone; });
  }

 private:
  template <typename Get>
  TomStatus Value(int32_t* out, Get get) {
    if (!out) return Null("value");
    if (!s_->doc) return Gone();
    s_->ParagraphsIn(s_->Clamp(start_), s_->Clamp(end_), &paras_);
    int32_t value = get(paras_.front());
    for (const ParaFormat& p : paras_)
      if (get(p) != value) {
        value = tomUndefined;
        break;
      }
    *out = value;
    return TomStatus::Ok();
  }

  std::shared_ptr<State> s_;
  int32_t start_, end_;
  std::vector<ParaFormat> paras_;
};

class QtRange : public ITextRange {
 public:
  // A range of its own bounds, or (with `selection`) the document's selection.
  QtRange(std::shared_ptr<State> state, State::Bounds bounds, bool selection)
      : s_(std::move(state)), own_(bounds), selection_(selection) {}

  TomStatus GetStart(int32_t* v) override {
    if (!v) return Null("value");
    if (!s_->doc) return Gone();
    *v = Get().start;
    return TomStatus::Ok();
  }
  TomStatus GetEnd(int32_t* v) override {
    if (!v) return Null("value");
    if (!s_->doc) return Gone();
    *v = Get().end;
    return TomStatus::Ok();
  }
  TomStatus SetStart(int32_t value) override {
    if (!s_->doc) return Gone();
    State::Bounds b = Get();
    b.start = s_->Clamp(value);
    if (b.end < b.start) b.end = b.start;
    Set(b);
    return TomStatus::Ok();
  }
  TomStatus SetEnd(int32_t value) override {
    if (!s_->doc) return Gone();
    State::Bounds b = Get();
    b.end = s_->Clamp(value);
    if (b.start > b.end) b.start = b.end;
    Set(b);
    return TomStatus::Ok();
  }
  TomStatus GetStoryLength(int32_t* v) override {
    if (!v) return Null("value");
    if (!s_->doc) return Gone();
    *v = s_->Length();
    return TomStatus::Ok();
  }

  TomStatus MoveEnd(int32_t unit, int32_t count, int32_t* delta) override {
    if (!s_->doc) return Gone();
    if (!State::IsUnit(unit)) return TomStatus::Fail(FormatString("Unsupported unit %d", unit));
    State::Bounds b = Get();
    TomBounds t{b.start, b.end};
    const int32_t moved = TomMoveEnd(t, count, s_->Length(), [&](int32_t p) { return s_->NextBoundary(unit, p); },
                                     [&](int32_t p) { return s_->PrevBoundary(unit, p); });
    Set(State::Bounds{t.start, t.end});
    if (delta) *delta = moved;
    return TomStatus::Ok();
  }

  TomStatus Move(int32_t unit, int32_t count, int32_t* delta) override {
    if (!s_->doc) return Gone();
    if (!State::IsUnit(unit)) return TomStatus::Fail(FormatString("Unsupported unit %d", unit));
    State::Bounds b = Get();
    TomBounds t{b.start, b.end};
    const int32_t moved = TomMove(t, count, s_->Length(), [&](int32_t p) { return s_->NextBoundary(unit, p); },
                                  [&](int32_t p) { return s_->PrevBoundary(unit, p); });
    Set(State::Bounds{t.start, t.end});
    if (delta) *delta = moved;
    return TomStatus::Ok();
  }

  TomStatus GetText(std::u16string* v) override {
    if (!v) return Null("value");
    if (!s_->doc) return Gone();
    const State::Bounds b = Get();
    *v = s_->Text(b.start, b.end);
    return TomStatus::Ok();
  }
  TomStatus GetFont(std::shared_ptr<ITextFont>* font) override {
    if (!font) return Null("font");
    if (!s_->doc) return Gone();
    const State::Bounds b = Get();
    *font = std::make_shared<QtFont>(s_, b.start, b.end);
    return TomStatus::Ok();
  }
  TomStatus GetPara(std::shared_ptr<ITextPara>* para) override {
    if (!para) return Null("para");
    if (!s_->doc) return Gone();
    const State::Bounds b = Get();
    *para = std::make_shared<QtPara>(s_, b.start, b.end);
    return TomStatus::Ok();
  }
  TomStatus GetURL(std::u16string* v) override {
    if (!v) return Null("value");
    if (!s_->doc) return Gone();
    const State::Bounds b = Get();
    std::vector<uint32_t> formats;
    s_->FormatsIn(b.start, b.end, &formats);
    *v = Common(*s_, formats, [](const CharFormat& f) { return f.link; }, std::u16string());
    return TomStatus::Ok();
  }

 private:
  // The bounds clamped to the story as it is now: it may have changed since
  // they were set.
  State::Bounds Get() {
    State::Bounds b = selection_ ? s_->Selection() : own_;
    b.start = s_->Clamp(b.start);
    b.end = s_->Clamp(b.end);
    if (b.start > b.end) std::swap(b.start, b.end);
    if (!selection_) own_ = b;
    return b;
  }
  void Set(State::Bounds b) {
    if (selection_) s_->SetSelection(b);
    else own_ = b;
  }

  std::shared_ptr<State> s_;
  State::Bounds own_;
  bool selection_;
};

// Inserts at a cursor what a builder is given. Appending (the document's own
// builder) sets each paragraph's format as it comes; pasting keeps the
// format of the paragraph at the cursor for the text that joins it.
class CursorBuilder : public IDocumentBuilder {
 public:
  CursorBuilder(State& state, QTextCursor& cursor, bool paste) : s_(state), c_(cursor), paste_(paste) {
    if (paste_) {
      destination_ = cursor.blockFormat();
      destinationEmpty_ = cursor.block().length() == 1;
    }
  }

  void AppendText(std::u16string_view text, const CharFormat& format) override {
    if (!text.empty()) InsertText(text, s_.QtFormat(format));
  }
  void AppendLineBreak(const CharFormat& format) override {
    c_.insertText(QString(QChar::LineSeparator), s_.QtFormat(format));
  }
  void AppendObject(std::shared_ptr<IOleObject> object, SIZEL extent, const CharFormat& format) override {
    QTextCharFormat q = s_.QtFormat(format);
    MakeObjectFormat(q, s_.objects->Add(std::move(object)), extent);
    c_.insertText(QString(QChar::ObjectReplacementCharacter), q);
  }
  void SetParaFormat(const ParaFormat& format) override {
    if (paste_) {
      pending_ = format;
      hasPending_ = true;
    } else {
      Apply(format);
    }
  }

  // Text in one Qt format; U+000D and U+2029 end paragraphs, and the other
  // characters Qt would take as block ends become what they stand for.
  void InsertText(std::u16string_view text, const QTextCharFormat& format) {
    size_t from = 0;
    const auto flush = [&](size_t to) {
      if (to > from) c_.insertText(ToQString(text.substr(from, to - from)), format);
    };
    for (size_t i = 0; i < text.size(); ++i) {
      const char16_t ch = text[i];
      if (ch == u'\r' || ch == 0x2029) {
        flush(i);
        EndParagraph(format);
      } else if (ch == u'\n') {
        flush(i);
        c_.insertText(QString(QChar::LineSeparator), format);
      } else if (ch == 0xFDD0 || ch == 0xFDD1) {
        flush(i);
        c_.insertText(QString(QChar::ReplacementCharacter), format);
      } else {
        continue;
      }
      from = i + 1;
    }
    flush(text.size());
  }

  // Pasting: the last paragraph takes its format when it is alone in the
  // paragraph it went into.
  void Finish() {
    if (paste_ && hasPending_ && destinationEmpty_) Apply(pending_);
  }

 private:
  void EndParagraph(const QTextCharFormat& format) {
    if (!paste_) {
      c_.insertBlock(c_.blockFormat(), TextFormat(format));
      return;
    }
    if (hasPending_) Apply(pending_);
    c_.insertBlock(destination_, TextFormat(format));
  }

  // Sets the format of the paragraph at the cursor: its alignment, and its
  // place in a list (the list of the paragraph before when it has one).
  void Apply(const ParaFormat& format) {
    QTextBlock block = c_.block();
    if (s_.ParaOf(block) == format) return;
    QTextBlockFormat bf = block.blockFormat();
    bf.setAlignment(QtAlignment(format.alignment));
    QTextList* list = block.textList();
    if (format.bullets) {
      const QTextBlock previous = block.previous();
      QTextList* before = previous.isValid() ? previous.textList() : nullptr;
      if (before && before != list) {
        bf.setObjectIndex(before->objectIndex());
      } else if (!list) {
        QTextListFormat lf;
        lf.setStyle(QTextListFormat::ListDisc);
        lf.setIndent(1);
        QTextCursor here(c_);
        here.clearSelection();
        QTextList* created = here.createList(lf);
        bf.setObjectIndex(created->objectIndex());
      }
    } else if (list) {
      bf.setObjectIndex(-1);
      bf.setIndent(0);
    }
    QTextCursor here(c_);
    here.clearSelection();
    here.setBlockFormat(bf);
  }

  State& s_;
  QTextCursor& c_;
  bool paste_;
  QTextBlockFormat destination_;
  bool destinationEmpty_ = false;
  ParaFormat pending_;
  bool hasPending_ = false;
};

}  // namespace

// --------------------------------------------------------------- QtDocument

QtDocument::QtDocument(QTextDocument* document, Drawing drawing)
    : state_(std::make_shared<State>(document, drawing == Drawing::kObjects)) {}

// Ranges may outlive this object: they keep the state, and with it the
// drawing of objects, alive.
QtDocument::~QtDocument() = default;

QTextDocument* QtDocument::Document() const { return state_->doc; }

void QtDocument::RegisterObjectType() { state_->RegisterPainter(); }

void QtDocument::SetDefaultFormat(const CharFormat& format) {
  state_->defaults = format;
  if (state_->doc && !format.fontName.empty()) {
    QFont font = state_->doc->defaultFont();
    font.setFamilies(QStringList{ToQString(format.fontName)});
    if (format.size > 0) font.setPointSizeF(format.size);
    state_->doc->setDefaultFont(font);
  }
  state_->Changed();
}

const CharFormat& QtDocument::DefaultFormat() const { return state_->defaults; }

void QtDocument::AttachEditor(QTextEdit* editor) { state_->editor = editor; }

void QtDocument::SetSelection(int32_t start, int32_t end) {
  state_->SetSelection(State::Bounds{state_->Clamp(std::min(start, end)), state_->Clamp(std::max(start, end))});
}

TomStatus QtDocument::Range(int32_t first, int32_t limit, std::shared_ptr<ITextRange>* range) {
  if (!range) return Null("range");
  if (!state_->doc) return Gone();
  State::Bounds b{state_->Clamp(std::min(first, limit)), state_->Clamp(std::max(first, limit))};
  *range = std::make_shared<QtRange>(state_, b, false);
  return TomStatus::Ok();
}

TomStatus QtDocument::GetSelection(std::shared_ptr<ITextRange>* selection) {
  if (!selection) return Null("selection");
  if (!state_->doc) return Gone();
  *selection = std::make_shared<QtRange>(state_, State::Bounds{}, true);
  return TomStatus::Ok();
}

TomStatus QtDocument::GetObjectCount(int32_t* count) {
  if (!count) return Null("count");
  if (!state_->doc) return Gone();
  state_->Refresh();
  *count = static_cast<int32_t>(state_->objectList.size());
  return TomStatus::Ok();
}

TomStatus QtDocument::GetObject(int32_t index, REOBJECT* object, uint32_t flags) {
  if (!object) return Null("object");
  if (!state_->doc) return Gone();
  if (object->cbStruct != sizeof(REOBJECT))
    return TomStatus::Fail("Invalid object descriptor: wrong structure size");
  state_->Refresh();
  if (index < 0 || static_cast<size_t>(index) >= state_->objectList.size())
    return TomStatus::Fail(FormatString("Object index out of range: %d", index));
  const State::ObjectEntry& o = state_->objectList[static_cast<size_t>(index)];
  object->cp = o.pos;
  object->sizel = o.extent;
  object->dvaspect = DVASPECT_CONTENT;
  object->poleobj = (flags & REO_GETOBJ_POLEOBJ) ? state_->objects->Find(o.id) : nullptr;
  return TomStatus::Ok();
}

namespace {

// The document's own builder appends at the end of the story, with a cursor
// kept for it so that a long build makes no cursor per call.
template <typename Build>
void AppendAtEnd(State& s, Build build) {
  if (!s.doc) throw EOleError("The document is gone");
  if (!s.appendCursor) s.appendCursor.emplace(s.doc);
  QTextCursor& c = *s.appendCursor;
  // In an edit block the cursor moves without laying the document out.
  c.beginEditBlock();
  c.setPosition(s.Length() - 1);
  CursorBuilder builder(s, c, false);
  build(builder);
  c.endEditBlock();
  s.Changed();
}

}  // namespace

void QtDocument::AppendText(std::u16string_view text, const CharFormat& format) {
  if (text.empty()) return;
  AppendAtEnd(*state_, [&](CursorBuilder& b) { b.AppendText(text, format); });
}

void QtDocument::AppendLineBreak(const CharFormat& format) {
  AppendAtEnd(*state_, [&](CursorBuilder& b) { b.AppendLineBreak(format); });
}

void QtDocument::AppendObject(std::shared_ptr<IOleObject> object, SIZEL extent, const CharFormat& format) {
  AppendAtEnd(*state_, [&](CursorBuilder& b) { b.AppendObject(std::move(object), extent, format); });
}

void QtDocument::SetParaFormat(const ParaFormat& format) {
  AppendAtEnd(*state_, [&](CursorBuilder& b) { b.SetParaFormat(format); });
}

QtDocument::BuildScope::BuildScope(QtDocument& document) {
  if (QTextDocument* doc = document.Document()) {
    cursor_ = QTextCursor(doc);
    cursor_.beginEditBlock();
  }
}

QtDocument::BuildScope::~BuildScope() {
  if (!cursor_.isNull()) cursor_.endEditBlock();
}

void QtDocument::Rebuild(const std::function<void(IDocumentBuilder&)>& build) {
  QTextDocument* doc = state_->doc;
  if (!doc) throw EOleError("The document is gone");
  const bool undo = doc->isUndoRedoEnabled();
  // A document opened afresh has no history, and a long build keeps none.
  doc->setUndoRedoEnabled(false);
  QTextCursor c(doc);
  c.beginEditBlock();
  const auto clear = [&] {
    c.select(QTextCursor::Document);
    c.removeSelectedText();
    c.setBlockFormat(QTextBlockFormat());
    c.setBlockCharFormat(QTextCharFormat());
  };
  try {
    clear();
    CursorBuilder builder(*state_, c, false);
    build(builder);
  } catch (...) {
    clear();
    c.endEditBlock();
    doc->setUndoRedoEnabled(undo);
    state_->Changed();
    throw;
  }
  c.endEditBlock();
  doc->setUndoRedoEnabled(undo);
  doc->setModified(false);
  state_->Changed();
}

void QtDocument::InsertObject(QTextCursor& cursor, std::shared_ptr<IOleObject> object, SIZEL extent) {
  if (!state_->doc || cursor.document() != state_->doc) throw EOleError("The cursor is not in this document");
  cursor.beginEditBlock();
  cursor.removeSelectedText();
  QTextCharFormat q = TextFormat(cursor.charFormat());
  MakeObjectFormat(q, state_->objects->Add(std::move(object)), extent);
  cursor.insertText(QString(QChar::ObjectReplacementCharacter), q);
  cursor.endEditBlock();
  state_->Changed();
}

std::shared_ptr<IOleObject> QtDocument::ObjectAt(int32_t position) const {
  if (!state_->doc || position < 0 || position >= state_->Length() - 1) return nullptr;
  std::shared_ptr<IOleObject> found;
  state_->Scan(position, position + 1, [&](int32_t, int32_t, State::Memo m, const QTextFragment* f, const QTextBlock*) {
    if (m.object && f) found = state_->objects->Find(f->charFormat().property(kPropObjectId).toULongLong());
  });
  return found;
}

std::optional<SIZEL> QtDocument::ObjectExtentAt(int32_t position) const {
  if (!state_->doc || position < 0 || position >= state_->Length() - 1) return std::nullopt;
  std::optional<SIZEL> extent;
  state_->Scan(position, position + 1, [&](int32_t, int32_t, State::Memo m, const QTextFragment* f, const QTextBlock*) {
    if (!m.object || !f) return;
    const QTextCharFormat q = f->charFormat();
    if (state_->objects->Find(q.property(kPropObjectId).toULongLong()))
      extent = SIZEL{q.intProperty(kPropExtentX), q.intProperty(kPropExtentY)};
  });
  return extent;
}

void QtDocument::InsertContent(QTextCursor& cursor, const DocumentContent& content, bool withObjects) {
  if (!state_->doc || cursor.document() != state_->doc) throw EOleError("The cursor is not in this document");
  cursor.beginEditBlock();
  cursor.removeSelectedText();
  CursorBuilder builder(*state_, cursor, true);
  AppendDocumentContent(content, builder, withObjects);
  builder.Finish();
  cursor.endEditBlock();
  state_->Changed();
}

std::u16string QtDocument::CleanPlainText(std::u16string_view text) {
  std::u16string clean;
  clean.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t ch = text[i];
    if (ch == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;  // CR LF is one line end
    if (ch == u'\n' || ch == 0x2029) clean.push_back(u'\r');
    else if (ch == u'\r' || ch == u'\t' || ch == 0x2028) clean.push_back(ch);
    else if (ch < 0x20 || ch == kObjectChar || ch == 0xFDD0 || ch == 0xFDD1) continue;
    else clean.push_back(ch);
  }
  return clean;
}

void QtDocument::InsertPlainText(QTextCursor& cursor, std::u16string_view text) {
  if (!state_->doc || cursor.document() != state_->doc) throw EOleError("The cursor is not in this document");
  const std::u16string clean = CleanPlainText(text);
  cursor.beginEditBlock();
  cursor.removeSelectedText();
  const QTextCharFormat format = TextFormat(cursor.charFormat());
  CursorBuilder builder(*state_, cursor, true);
  builder.InsertText(clean, format);
  cursor.endEditBlock();
  state_->Changed();
}

CharFormat QtDocument::ReadCharFormat(const QTextCharFormat& format) const { return state_->Read(format); }

QTextCharFormat QtDocument::MakeCharFormat(const CharFormat& format) {
  QTextCharFormat q;
  WriteAttributes(q, format, nullptr);
  return q;
}

}  // namespace tagsmith
