#include <gtest/gtest.h>

#include "conversion/dialects.h"

namespace tagsmith {
namespace {

std::vector<std::string> Names(const std::vector<const TDialect*>& dialects) {
  std::vector<std::string> out;
  for (const TDialect* d : dialects) out.push_back(d->Name);
  return out;
}

TEST(Dialects, EachOutputListsClassicFirstThenItsOwn) {
  EXPECT_EQ(Names(DialectsOf(0)), (std::vector<std::string>{"classic", "html5"}));
  EXPECT_EQ(Names(DialectsOf(1)), (std::vector<std::string>{"classic", "phpbb", "mybb", "smf", "xenforo", "vbulletin"}));
  for (uint8_t kind : {0, 1})
    for (const TDialect* d : DialectsOf(kind)) {
      EXPECT_EQ(&DialectProfile(d->Id), d);
      EXPECT_TRUE(d->Id == mdClassic || d->OutputKind == kind) << d->Name;
    }
}

TEST(Dialects, NamesAndSettingValuesFindTheirDialectInAnyLetterCase) {
  const std::pair<const char*, TDialectId> rows[] = {
      {"classic", mdClassic}, {"CLASSIC", mdClassic}, {"html5", mdHtml5},       {"HTML5", mdHtml5},
      {"phpBB", mdPhpBB},     {"MyBB", mdMyBB},       {"smf", mdSMF},           {"XenForo", mdXenForo},
      {"VBULLETIN", mdVBulletin}};
  for (const auto& [name, id] : rows) {
    const TDialect* d = FindDialect(name);
    ASSERT_NE(d, nullptr) << name;
    EXPECT_EQ(d->Id, id) << name;
  }
  for (const char* name : {"", "html", "bbcode", "phpbb3", " smf", "vBulletin 5"}) EXPECT_EQ(FindDialect(name), nullptr) << name;
  EXPECT_EQ(DialectProfile(static_cast<TDialectId>(200)).Id, mdClassic);
}

}  // namespace
}  // namespace tagsmith
