// tagsmith-config and tagsmith-convert together: a tag set changed from the
// command line is the tag set the converter then uses, kind by kind.

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>
#include <vector>

#include "app/global_share.h"
#include "conversion/tag_sets.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

using testing::ProcessResult;

// One paragraph that every tag kind applies to: centred, a font, a size, a
// colour, a background, bold, italic, underline, strikeout and a picture.
constexpr const char* kEveryKind =
    "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"
    "\\qc\\f0\\fs28\\cf1\\highlight2\\b\\i\\ul\\strike Kinds "
    "{\\pict\\pngblip\\picwgoal100\\pichgoal100 89504e47}\\par}";

// What shows that a kind was used in the code.
const std::map<std::string, std::string> kBBCodeMarks = {
    {"bttImage", "[img]"}, {"bttFontName", "[font=\"Arial\"]"}, {"bttFontSize", "[size="},
    {"bttFontColor", "[color=#FF0000]"}, {"bttBold", "[b]"}, {"bttItalic", "[i]"}, {"bttUnderline", "[u]"},
    {"bttStrikeout", "[s]"}, {"bttAlign", "[center]"}};
const std::map<std::string, std::string> kHTMLMarks = {
    {"httImage", "<img"}, {"httFontName", "font-family: Arial; "}, {"httFontSize", "font-size: 14pt; "},
    {"httFontColor", " color: #FF0000; "}, {"httFontBkColor", "background-color: #0000FF; "}, {"httBold", "<b>"},
    {"httItalic", "<i>"}, {"httUnderline", "<u>"}, {"httStrikeout", "<s>"}, {"httAlign", "<span align=center>"}};

template <size_t N>
std::vector<std::string> Kinds(const std::array<const char*, N>& names) {
  return std::vector<std::string>(names.begin(), names.end());
}

// The kinds of a set given as its bits.
std::map<std::string, bool> Expected(const std::vector<std::string>& kinds, uint16_t bits) {
  std::map<std::string, bool> out;
  for (size_t i = 0; i < kinds.size(); ++i) out[kinds[i]] = (bits >> i) & 1u;
  return out;
}

uint16_t Without(uint16_t bits, int kind) { return static_cast<uint16_t>(bits & ~(1u << kind)); }
uint16_t With(uint16_t bits, int kind) { return static_cast<uint16_t>(bits | (1u << kind)); }

class ConfigTagSets : public ::testing::Test {
 protected:
  ProcessResult Config(const std::vector<std::string>& args) { return testing::RunProcess(TAGSMITH_CONFIG, args); }
  ProcessResult Convert(const std::string& to) {
    return testing::RunProcess(TAGSMITH_CONVERT, {"--to", to, document.string()});
  }

  // Converts the document both ways and checks, for every kind of both
  // sets, that its tag is there exactly when the kind is on, and that list
  // (and get, with `gets`) report each kind as the program uses it.
  void ExpectSets(uint16_t bbcode, uint16_t html, bool bbcodeStored, bool htmlStored, bool gets = false) {
    const struct {
      const char* to;
      std::string key;
      std::vector<std::string> kinds;
      const std::map<std::string, std::string>& marks;
      uint16_t bits;
      bool stored;
    } sets[] = {{"bbcode", "bbcode/Data/", Kinds(kBBCODETagTypeNames), kBBCodeMarks, bbcode, bbcodeStored},
                {"html", "html/Data/", Kinds(kHTMLTagTypeNames), kHTMLMarks, html, htmlStored}};
    const ProcessResult list = Config({"list"});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    for (const auto& set : sets) {
      const ProcessResult code = Convert(set.to);
      ASSERT_EQ(code.exitCode, 0) << code.err;
      std::string listed;
      for (const auto& [kind, on] : Expected(set.kinds, set.bits)) {
        const auto mark = set.marks.find(kind);
        if (mark != set.marks.end()) {  // the bullets kind has no tag of its own
          EXPECT_EQ(code.out.find(mark->second) != std::string::npos, on) << kind << " in " << code.out;
        }
        if (!gets) continue;
        const ProcessResult get = Config({"get", set.key + kind});
        if (set.stored && get.exitCode == 0) {
          EXPECT_EQ(get.out, on ? "TRUE\n" : "FALSE\n") << kind;
        } else if (set.stored) {
          EXPECT_FALSE(on) << kind << " has no value in the stored set, so it is off";
          EXPECT_EQ(get.err, "tagsmith-config: " + set.key + kind +
                                 " is not set (the program uses FALSE, as the stored tag set has no value for it)\n");
        } else {
          EXPECT_EQ(get.exitCode, 1) << kind;
          EXPECT_EQ(get.err, "tagsmith-config: " + set.key + kind + " is not set (the program uses " +
                                 (on ? "TRUE" : "FALSE") + ")\n");
        }
      }
      for (size_t i = 0; i < set.kinds.size(); ++i)
        listed += set.key + set.kinds[i] + "=" + (((set.bits >> i) & 1u) ? "TRUE" : "FALSE") + "\n";
      if (set.stored) EXPECT_NE(list.out.find(listed), std::string::npos) << list.out;
      else EXPECT_EQ(list.out.find(set.key), std::string::npos) << list.out;
    }
  }

  // Every kind of a stored set has its value, as the program writes it.
  void ExpectWhole(const char* key, size_t kinds) {
    Registry registry(Registry::DefaultFileName());
    const auto values =
        registry.ReadKey(RegistryHive::CurrentUser, std::string(settings::kRoot) + "\\" + key + "\\Data");
    ASSERT_TRUE(values.has_value()) << key;
    EXPECT_EQ(values->size(), kinds) << key;
    for (const RegistryEntry& e : *values)
      EXPECT_TRUE(e.value.text == "TRUE" || e.value.text == "FALSE") << key << " " << e.name << "=" << e.value.text;
  }

  testing::TempHome home;
  std::filesystem::path document = home / "kinds.rtf";
};

TEST_F(ConfigTagSets, SettingOrUnsettingOneKindKeepsTheRestOfTheSet) {
  testing::WriteFile(document, kEveryKind);
  constexpr uint16_t kBB = TBBCODETagSetHolder::kDefault;
  constexpr uint16_t kHT = THTMLTagSetHolder::kDefault;
  const uint16_t kHTChanged = With(Without(kHT, httFontBkColor), httBullets);
  const struct {
    std::vector<std::string> command;
    uint16_t bbcode, html;
    bool bbcodeStored, htmlStored;
    bool gets;  // also ask get for every kind, not only list
  } steps[] = {
      {{}, kBB, kHT, false, false, true},
      {{"set", "bbcode/Data/bttBold", "0"}, Without(kBB, bttBold), kHT, true, false, true},
      {{"set", "BBCODE\\data\\bttalign", "yes"}, With(Without(kBB, bttBold), bttAlign), kHT, true, false, false},
      {{"set", "bbcode/Data/bttImage", "TRUE"}, With(Without(kBB, bttBold), bttAlign), kHT, true, false, false},
      {{"unset", "bbcode/Data/bttBold"}, With(kBB, bttAlign), kHT, true, false, false},
      {{"unset", "bbcode/Data/bttAlign"}, kBB, kHT, true, false, false},
      {{"set", "html/Data/httFontBkColor", "N"}, kBB, Without(kHT, httFontBkColor), true, true, false},
      {{"set", "html/Data/httBullets", "1"}, kBB, kHTChanged, true, true, false},
      {{"unset", "bbcode"}, kBB, kHTChanged, false, true, false},
      {{"unset", "html/Data/httItalic"}, kBB, kHTChanged, false, true, false},
      {{"unset", "bbcode/Data/bttBold"}, kBB, kHTChanged, false, true, false},
      {{"unset", "html/Data"}, kBB, kHT, false, false, false},
  };
  for (const auto& step : steps) {
    const std::string name = step.command.empty() ? "(fresh)" : step.command[0] + " " + step.command[1];
    SCOPED_TRACE(name);
    if (!step.command.empty()) {
      const ProcessResult r = Config(step.command);
      ASSERT_EQ(r.exitCode, 0) << r.err;
      EXPECT_EQ(r.out + r.err, "");
    }
    if (step.bbcodeStored) ExpectWhole("bbcode", kBBCODETagTypeNames.size());
    if (step.htmlStored) ExpectWhole("html", kHTMLTagTypeNames.size());
    ExpectSets(step.bbcode, step.html, step.bbcodeStored, step.htmlStored, step.gets);
    if (HasFatalFailure()) return;
  }
}

TEST_F(ConfigTagSets, ASetStoredWithKindsMissingReportsThemAsTheProgramReadsThem) {
  testing::WriteFile(document, kEveryKind);
  {
    // As an older tool or a hand edit left it: one value, one unreadable.
    Registry registry(Registry::DefaultFileName());
    SettingsStore store(registry);
    store.WriteString("bbcode\\Data\\bttBold", "TRUE");
    store.WriteString("bbcode\\Data\\bttItalic", "perhaps");
  }
  const uint16_t bold = With(0, bttBold);
  ExpectSets(bold, THTMLTagSetHolder::kDefault, true, false, true);
  EXPECT_EQ(Config({"get", "bbcode/Data/bttItalic"}).out, "FALSE\n") << "unreadable text reads as off";
  const ProcessResult missing = Config({"get", "bbcode/Data/bttImage"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.err,
            "tagsmith-config: bbcode/Data/bttImage is not set (the program uses FALSE, as the stored tag set has "
            "no value for it)\n");
  // The list shows the whole set as used, then a change keeps it so.
  EXPECT_EQ(Config({"list"}).out,
            "bbcode/Data/bttImage=FALSE\nbbcode/Data/bttFontName=FALSE\nbbcode/Data/bttFontSize=FALSE\n"
            "bbcode/Data/bttFontColor=FALSE\nbbcode/Data/bttBold=TRUE\nbbcode/Data/bttItalic=FALSE\n"
            "bbcode/Data/bttUnderline=FALSE\nbbcode/Data/bttStrikeout=FALSE\nbbcode/Data/bttAlign=FALSE\n"
            "bbcode/Data/bttBullets=FALSE\n");
  ASSERT_EQ(Config({"set", "bbcode/Data/bttUnderline", "y"}).exitCode, 0);
  ExpectWhole("bbcode", kBBCODETagTypeNames.size());
  ExpectSets(With(bold, bttUnderline), THTMLTagSetHolder::kDefault, true, false);
  ASSERT_EQ(Config({"unset", "bbcode/Data/bttImage"}).exitCode, 0);
  ExpectSets(With(With(bold, bttUnderline), bttImage), THTMLTagSetHolder::kDefault, true, false);
}

TEST_F(ConfigTagSets, AnEmptyStoredSetIsListedWithEveryKindOff) {
  testing::WriteFile(document, kEveryKind);
  {
    Registry registry(Registry::DefaultFileName());
    registry.CreateKey(RegistryHive::CurrentUser, std::string(settings::kRoot) + "\\html\\Data");
  }
  ExpectSets(TBBCODETagSetHolder::kDefault, 0, false, true, true);
}

}  // namespace
}  // namespace tagsmith
