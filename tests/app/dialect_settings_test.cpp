// The dialect settings: how they read and write, what tagsmith-config
// accepts for them.

#include <gtest/gtest.h>

#include "app/global_share.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

using testing::ProcessResult;

ProcessResult Config(const std::vector<std::string>& args) { return testing::RunProcess(TAGSMITH_CONFIG, args); }

class DialectSettingsTest : public ::testing::Test {
 protected:
  testing::TempHome home;
};

TEST_F(DialectSettingsTest, StoredNamesReadInAnyLetterCaseAndAnythingElseAsClassic) {
  struct Row {
    const char* html;    // nullptr: not stored
    const char* bbcode;
    TDialectId wantHtml, wantBBCode;
  };
  const Row rows[] = {
      {nullptr, nullptr, mdClassic, mdClassic},
      {"HTML5", "phpBB", mdHtml5, mdPhpBB},
      {"html5", "SMF", mdHtml5, mdSMF},
      {"Classic", "xenforo", mdClassic, mdXenForo},
      {"phpBB", "HTML5", mdClassic, mdClassic},  // a dialect of the other output
      {"", "vBulletin 5", mdClassic, mdClassic},
      {"nonsense", "MYBB", mdClassic, mdMyBB},
      {"HTML5", "vbulletin", mdHtml5, mdVBulletin},
  };
  Registry registry(Registry::DefaultFileName());
  SettingsStore store(registry);
  for (const Row& row : rows) {
    store.DeleteValue(settings::kHTMLDialect.name);
    store.DeleteValue(settings::kBBCodeDialect.name);
    if (row.html) store.Write(settings::kHTMLDialect, row.html);
    if (row.bbcode) store.Write(settings::kBBCodeDialect, row.bbcode);
    const TDialectChoice choice = ReadDialects(store);
    EXPECT_EQ(choice.Html, row.wantHtml) << (row.html ? row.html : "(absent)");
    EXPECT_EQ(choice.BBCode, row.wantBBCode) << (row.bbcode ? row.bbcode : "(absent)");
  }
}

TEST_F(DialectSettingsTest, WritingStoresTheSettingValuesOfBothDialects) {
  Registry registry(Registry::DefaultFileName());
  SettingsStore store(registry);
  WriteDialects(store, {mdHtml5, mdXenForo});
  EXPECT_EQ(store.ReadString("HTMLDialect", ""), "HTML5");
  EXPECT_EQ(store.ReadString("BBCodeDialect", ""), "XenForo");
  const TDialectChoice back = ReadDialects(store);
  EXPECT_EQ(back.Html, mdHtml5);
  EXPECT_EQ(back.BBCode, mdXenForo);
}

TEST_F(DialectSettingsTest, OnlyADialectOfTheSettingsOutputIsAValue) {
  struct Row {
    const char* setting;
    const char* value;
    const char* problem;  // empty: accepted
  };
  const Row rows[] = {
      {"BBCodeDialect", "smf", ""},
      {"bbcodedialect", "Classic", ""},
      {"BBCodeDialect", "html5", "BBCodeDialect is Classic, phpBB, MyBB, SMF, XenForo or vBulletin, not \"html5\""},
      {"HTMLDialect", "HTML5", ""},
      {"HTMLDialect", "phpbb", "HTMLDialect is Classic or HTML5, not \"phpbb\""},
      {"HTMLDialect", "", "HTMLDialect is Classic or HTML5, not \"\""},
  };
  for (const Row& row : rows) {
    const SettingInfo* info = FindSetting(row.setting);
    ASSERT_NE(info, nullptr) << row.setting;
    EXPECT_EQ(info->kind, SettingKind::String);
    EXPECT_EQ(info->defaultText, "Classic");
    EXPECT_EQ(SettingValueProblem(*info, row.value), row.problem) << row.setting << "=" << row.value;
  }
}

TEST_F(DialectSettingsTest, TagsmithConfigSetsAndRefusesDialects) {
  EXPECT_EQ(Config({"get", "BBCodeDialect"}).exitCode, 1);  // not set
  ProcessResult r = Config({"set", "bbcodedialect", "SMF"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Config({"get", "BBCodeDialect"}).out, "SMF\n");
  r = Config({"set", "HTMLDialect", "mybb"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("HTMLDialect is Classic or HTML5, not \"mybb\""), std::string::npos) << r.err;
  EXPECT_EQ(Config({"get", "HTMLDialect"}).exitCode, 1) << "nothing was stored";
  Registry registry(Registry::DefaultFileName());
  SettingsStore store(registry);
  EXPECT_EQ(ReadDialects(store).BBCode, mdSMF);
}

}  // namespace
}  // namespace tagsmith
