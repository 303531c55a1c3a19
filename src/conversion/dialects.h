#pragma once

// Dialects of the two outputs: which spelling of HTML or BBCode the writers
// produce. "Classic" is the code the writers have always produced and the
// default of both outputs. The other dialects are profiles of the place the
// code is pasted into (a browser, or one forum engine as it ships): the tag
// names and value forms it reads, the kinds it lacks and its nesting rules.
// The writers consult the profile; nothing else about a dialect lives
// elsewhere.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tagsmith {

enum TDialectId : uint8_t {
  mdClassic = 0,
  mdHtml5,
  mdPhpBB,
  mdMyBB,
  mdSMF,
  mdXenForo,
  mdVBulletin,
};
inline constexpr int kDialectCount = 7;

// How a BBCode engine takes a font size.
enum class TSizeForm : uint8_t {
  None,      // no size tag
  Percent,   // [size=150]: percent of the forum's text
  Points,    // [size=14]: points
  PtSuffix,  // [size=14pt]
  PxSuffix,  // [size=18px]
};

// How a BBCode engine aligns a paragraph.
enum class TAlignForm : uint8_t {
  None,         // no alignment tags
  WordTags,     // [center]...[/center]
  AlignEquals,  // [align=center]...[/align]
};

struct TDialect {
  TDialectId Id;
  // The name on the command line, lower case ("phpbb").
  const char* Name;
  // The value stored in the settings ("phpBB"); read in any letter case.
  const char* SettingValue;
  // What a user reads in a list of dialects ("phpBB 3.3").
  const char* Label;
  // The output it spells: 0 HTML, 1 BBCode (as TTagsArray::OutputKind).
  uint8_t OutputKind;

  // BBCode engines. Font names are written bare, and only when every
  // character is one of FontChars (ASCII letters and digits always are);
  // null FontChars: the engine has no font tag.
  const char* FontChars;
  TSizeForm Size;
  int SizeMin, SizeMax;
  // The size of the forum's normal text on the engine's scale: the
  // document's body text is written at this size (that is, untagged) and
  // other sizes by their ratio to it.
  int NormalSize;
  bool Strikeout;
  TAlignForm Align;
  bool Justify;
  // The tag whose content the engine shows as it is ("plain"), or null when
  // it has none: a "[" that would open a tag is then written as it is.
  const char16_t* LiteralTag;
};

// The profile of `id` (a value outside the enumeration gives Classic).
const TDialect& DialectProfile(TDialectId id);
// The dialects of an output (0 HTML, 1 BBCode), Classic first: the choices a
// settings page offers, in the order it lists them.
std::vector<const TDialect*> DialectsOf(uint8_t outputKind);
// The dialect called `name` (its command-line name or its setting value, in
// any letter case), or nullptr.
const TDialect* FindDialect(std::string_view name);
// The dialect a stored setting names for `outputKind`: Classic for an absent,
// unknown or other-output name, so that a hand-edited value never stops the
// conversion.
TDialectId DialectOfSetting(std::string_view value, uint8_t outputKind);

// The dialect the writers use for each output. The owner (the data module,
// tagsmith-convert) keeps one and changes it at will; the writers read it at
// every GetCode.
struct TDialectChoice {
  TDialectId Html = mdClassic;
  TDialectId BBCode = mdClassic;
};

}  // namespace tagsmith
