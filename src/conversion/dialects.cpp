#include "conversion/dialects.h"

#include "platform/strings.h"

namespace tagsmith {

namespace {

// Each row as the engine ships, without add-ons. The normal sizes are those
// of the engines' default styles (13 px text on MyBB is about 10 pt; SMF's
// posts about 10 pt; XenForo 15 px; vBulletin 14 px).
constexpr TDialect kDialects[kDialectCount] = {
    // Id, Name, SettingValue, Label, OutputKind,
    // FontChars, Size, SizeMin, SizeMax, NormalSize, Strikeout, Align, Justify, LiteralTag
    {mdClassic, "classic", "Classic", "Classic", 0, "", TSizeForm::Points, 0, 0, 0, true, TAlignForm::WordTags,
     false, nullptr},
    {mdHtml5, "html5", "HTML5", "HTML5 for browsers", 0, "", TSizeForm::PtSuffix, 0, 0, 0, true,
     TAlignForm::WordTags, true, nullptr},
    // phpBB 3.3: [size] is a percentage up to max_post_font_size (200); no
    // [font], [s] or alignment; no literal tag.
    {mdPhpBB, "phpbb", "phpBB", "phpBB 3.3", 1, nullptr, TSizeForm::Percent, 1, 200, 100, false, TAlignForm::None,
     false, nullptr},
    // MyBB 1.8: [size=N] is N pt, 1 to 50; [font] takes letters, digits,
    // spaces, "-" and "_"; [align=left|center|right|justify]; no literal tag.
    {mdMyBB, "mybb", "MyBB", "MyBB 1.8", 1, " -_", TSizeForm::Points, 1, 50, 10, true, TAlignForm::AlignEquals, true,
     nullptr},
    // SMF 2.1: [size=Npt] with N from 1 to 99; [font] rejects quotes;
    // [left] [center] [right] [justify] are block tags; [nobbc].
    {mdSMF, "smf", "SMF", "SMF 2.1", 1, " -_", TSizeForm::PtSuffix, 1, 99, 10, true, TAlignForm::WordTags, true,
     u"nobbc"},
    // XenForo 2: [size=Npx] clamped to 8-36; [font] takes letters, digits,
    // spaces and "-"; [left] [center] [right]; [plain].
    {mdXenForo, "xenforo", "XenForo", "XenForo 2", 1, " -", TSizeForm::PxSuffix, 8, 36, 15, true,
     TAlignForm::WordTags, false, u"plain"},
    // vBulletin 5: [size=Npx] from 8 to 72; no [s]; [left] [center]
    // [right]; [noparse].
    {mdVBulletin, "vbulletin", "vBulletin", "vBulletin 5", 1, " -_", TSizeForm::PxSuffix, 8, 72, 14, false,
     TAlignForm::WordTags, false, u"noparse"},
};

}  // namespace

const TDialect& DialectProfile(TDialectId id) {
  return static_cast<int>(id) < kDialectCount ? kDialects[id] : kDialects[mdClassic];
}

std::vector<const TDialect*> DialectsOf(uint8_t outputKind) {
  std::vector<const TDialect*> out = {&kDialects[mdClassic]};
  for (const TDialect& d : kDialects)
    if (d.Id != mdClassic && d.OutputKind == outputKind) out.push_back(&d);
  return out;
}

const TDialect* FindDialect(std::string_view name) {
  for (const TDialect& d : kDialects)
    if (EqualsIgnoreCase(name, d.Name) || EqualsIgnoreCase(name, d.SettingValue)) return &d;
  return nullptr;
}

TDialectId DialectOfSetting(std::string_view value, uint8_t outputKind) {
  const TDialect* d = FindDialect(value);
  if (!d || (d->Id != mdClassic && d->OutputKind != outputKind)) return mdClassic;
  return d->Id;
}

}  // namespace tagsmith
