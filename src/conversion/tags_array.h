#pragma once

// The conversion engine: a snapshot of a formatted document (its runs,
// paragraphs and embedded objects), the tag events built from it, and the
// HTML and BBCode code produced from those events and the document's text.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "conversion/dialects.h"
#include "conversion/tag_sets.h"
#include "richtext/embedded_object.h"
#include "richtext/rich_edit_ole.h"
#include "richtext/tom.h"

namespace tagsmith {

// Style bits of TSymRec::Style.
inline constexpr uint8_t fsBold = 1 << 0;
inline constexpr uint8_t fsItalic = 1 << 1;
inline constexpr uint8_t fsUnderline = 1 << 2;
inline constexpr uint8_t fsStrikeOut = 1 << 3;

// The marker of automatic colour; a colour whose top byte is non-zero counts
// as automatic.
inline constexpr int32_t kAutoColor = 0x20000000;

// The character formatting of one run.
struct TSymRec {
  std::u16string FontName;
  long double FontSize = 0;  // points, fractions kept
  int32_t ForeColor = 0;     // 0x00BBGGRR or kAutoColor
  int32_t BackColor = 0;
  uint8_t Style = 0;         // fsBold | fsItalic | fsUnderline | fsStrikeOut
};

struct TSymFormat {
  int32_t StartPos = 0;
  int32_t EndPos = 0;
  TSymRec Sym;
};

// A paragraph [StartPos, EndPos), its mark included. Alignment: 0 left,
// 1 right, 2 center, 3 justify. Bullets: the paragraph is an item of a
// bulleted or numbered list (only the dialects write lists).
struct TParaFormat {
  int32_t StartPos = 0;
  int32_t EndPos = 0;
  uint8_t Alignment = 0;
  bool Bullets = false;
};

// One embedded object: the snapshot sets the object and its extent, the image
// renderer the files and the chosen kind, the upload step the addresses.
struct TEmbObjRec {
  std::shared_ptr<IOleObject> OleObject;
  int32_t ObjWidth = 0;   // HIMETRIC
  int32_t ObjHeight = 0;  // HIMETRIC
  uint8_t ImageKind = 0;  // 0 JPEG, 1 PNG
  int64_t FileSize = 0;   // bytes of the chosen file
  std::u16string JpegFile;
  std::u16string PngFile;
  std::u16string ImageURL;
  std::u16string ImagePreviewURL;
  std::u16string LinkToPage;
};

struct TEmbObjFormat {
  int32_t StartPos = 0;
  int32_t EndPos = 0;  // StartPos + 1
  TEmbObjRec Obj;
};
using TEmbObjFormatArr = std::vector<TEmbObjFormat>;

enum TTagKind : uint8_t { tgSym = 0, tgPara = 1, tgObj = 2 };
enum TTagPhase : uint8_t { tpOpen = 0, tpClose = 1, tpBreak = 2 };

// One tag event. The pointers point into the snapshot arrays of the
// TTagsArray that built it.
struct TTagRec {
  TTagKind Kind = tgSym;
  TTagPhase Phase = tpOpen;
  uint8_t BreakFlag = 0;  // 1 on line breaks
  int32_t Position = 0;
  const TSymRec* Sym = nullptr;
  const uint8_t* Para = nullptr;  // the paragraph's Alignment
  const TEmbObjRec* Obj = nullptr;
};

class EConversionError : public Exception {
 public:
  using Exception::Exception;
};

// Where the writers find the enabled tag kinds: the owner's two holders, read
// at every event. A holder left unset counts as holding the default set.
// The dialect of each output is read there too; unset means Classic.
struct TTagSetSource {
  const THTMLTagSetHolder* Html = nullptr;
  const TBBCODETagSetHolder* BBCode = nullptr;
  const TDialectChoice* Dialects = nullptr;
};

// The rank of an event at one position: closes before the line break before
// opens, objects innermost. Raises EConversionError "Error in adder block!"
// for a kind or phase outside the table.
int32_t TagRank(TTagKind kind, TTagPhase phase);
// Negative when A goes first, positive when B goes first, 0 when equal:
// by position, then by rank.
int32_t CompareTags(const TTagRec& a, const TTagRec& b);

// 0x00BBGGRR -> 0x00RRGGBB.
uint32_t SwapRB(uint32_t colour);
// Inserts a line feed after every carriage return.
std::u16string CRToCRLF(std::u16string_view text);

// The conversion engine of one convert dialog. Main thread only.
//
// The owner sets Document, RichEditOle, AntiHotlinking and DataModule, runs
// Analyze once, and sets OutputKind before each GetCode. Document failures
// raise EOleError with the document's message and leave the arrays as far as
// they were filled. Nothing may resize the snapshot arrays after Analyze:
// the events point into them.
class TTagsArray {
 public:
  TTagsArray() = default;
  TTagsArray(const TTagsArray&) = delete;
  TTagsArray& operator=(const TTagsArray&) = delete;

  bool AntiHotlinking = false;
  std::shared_ptr<ITextDocument> Document;
  std::shared_ptr<IRichEditOle> RichEditOle;
  uint8_t OutputKind = 0;  // 0 HTML, 1 BBCode, anything else: tags of no text
  std::vector<TSymFormat> SymFormats;
  std::vector<TParaFormat> ParaFormats;
  TEmbObjFormatArr EmbObjFormats;
  std::vector<TTagRec> Tags;
  std::vector<const TTagRec*> SortedTags;
  TTagSetSource DataModule;

  // ReadSymFormats, ReadParaFormats, ReadEmbObjects, FillTags,
  // AddLineBreakTags, SortTags, in this order.
  void Analyze();

  void ReadSymFormats();
  void ReadParaFormats();
  void ReadEmbObjects();
  // The story length without the final paragraph mark; -1 when the document
  // reports no run.
  int32_t GetTextLength();
  void FillTags();
  void AddLineBreakTags();
  void SortTags();

  // The whole code. Local writes images as links to the local files (the
  // browser preview); otherwise the uploaded addresses are written. The
  // dialect of the output (DataModule.Dialects) chooses the spelling: Classic
  // walks the events with GetTagText; the others write the document as
  // nested blocks and runs (dialect_writer.cpp).
  std::u16string GetCode(bool local);
  // The dialect GetCode uses for the current OutputKind.
  TDialectId CurrentDialect() const;
  // The markup text of one event for the current OutputKind.
  std::u16string GetTagText(const TTagRec& tag, bool local) const;

 private:
  void AppendTagText(const TTagRec& tag, bool local, std::u16string& out) const;
  std::u16string GetDialectCode(const TDialect& dialect, bool local);
  THTMLTagSet HtmlTags() const;
  TBBCODETagSet BBCodeTags() const;
};

}  // namespace tagsmith
