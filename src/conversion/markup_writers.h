#pragma once

// The two writers: the markup text of one tag event, appended to the code.
// Internal to the conversion engine; TTagsArray chooses the writer.

#include <string>
#include <string_view>

#include "conversion/dialects.h"
#include "conversion/tag_sets.h"
#include "conversion/tags_array.h"

namespace tagsmith {

void AppendHtmlTagText(const TTagRec& tag, bool local, bool antiHotlinking, THTMLTagSet tags,
                       std::u16string& out);
void AppendBBCodeTagText(const TTagRec& tag, bool antiHotlinking, TBBCODETagSet tags, std::u16string& out);

// What the writer of the dialects other than Classic reads: the snapshot, the
// story's text from position 0, the output's enabled tag kinds (the bits of
// its THTMLTagSet or TBBCODETagSet) and the image options.
struct TDialectInput {
  const std::vector<TSymFormat>* Runs = nullptr;
  const std::vector<TParaFormat>* Paras = nullptr;
  const TEmbObjFormatArr* Objects = nullptr;
  std::u16string_view Text;
  uint16_t Tags = 0;
  bool Local = false;
  bool AntiHotlinking = false;
};
// The whole code in `dialect` (not Classic), with CR LF line ends.
std::u16string WriteDialectCode(const TDialect& dialect, const TDialectInput& input);

// What both writers share.
namespace markup {

// A font size as the code writes it: rounded to the nearest integer, halves
// to the even neighbour (10.5 gives 10, 11.5 gives 12).
int RoundedFontSize(long double size);
bool IsAutoColor(int32_t colour);
// An uploaded image is big when its file is larger than 35 KiB.
bool IsBigImage(const TEmbObjRec& obj);
// u"left", u"right", u"center", or nullptr for justify.
const char16_t* AlignmentWord(uint8_t alignment);

void AppendDecimal(std::u16string& out, int value);
// Upper-case hexadecimal, zero-padded to six digits ("%.6X").
void AppendHex6(std::u16string& out, uint32_t value);
// Where a value embedded in a tag stands, and so which of its characters
// could end the tag early: inside an HTML attribute ", < and > are written as
// character references; inside a BBCode tag or between [img] and [/img],
// [, ] and " are percent-encoded. Ordinary font names, paths and addresses
// hold none of them and are written unchanged; the rule keeps a name or an
// address from a document or an image host from breaking the code or
// slipping markup into it.
enum class ValueContext { HtmlAttribute, BBCode };

// A value embedded in a tag (font name, path, address) passes through the
// platform's 8-bit code page, UTF-8: every character survives except an
// unpaired surrogate, which becomes U+FFFD. Then the characters of the
// context are escaped.
void AppendValue(std::u16string& out, std::u16string_view value, ValueContext context);

}  // namespace markup
}  // namespace tagsmith
