#include <gtest/gtest.h>

#include "app/global_share.h"
#include "conversion/tag_sets.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

using testing::ProcessResult;
using testing::TempHome;

ProcessResult Config(const std::vector<std::string>& args) { return testing::RunProcess(TAGSMITH_CONFIG, args); }

class TagsmithConfigTest : public ::testing::Test {
 protected:
  TempHome home;
};

TEST_F(TagsmithConfigTest, SetGetListAndUnsetWorkOnTheSettingsStore) {
  for (const auto& args : std::vector<std::vector<std::string>>{{"set", "UILang", "de"},
                                                                {"set", "upscaleimages", "no"},
                                                                {"set", "bbcode/Data/bttBold", "0"},
                                                                {"set", "--int", "ProgVer1", "-1"},
                                                                {"set", "MainFormData\\NormPos", "1,2,3,4"},
                                                                {"set", "--", "ImageFormat", "--PNG"}}) {
    const ProcessResult r = Config(args);
    EXPECT_EQ(r.exitCode, 0) << args[1] << r.err;
    EXPECT_EQ(r.out + r.err, "") << args[1];
  }
  const ProcessResult list = Config({"list"});
  EXPECT_EQ(list.exitCode, 0);
  // The tag set is stored and listed whole, bttBold off and the rest as before.
  EXPECT_EQ(list.out,
            "ImageFormat=--PNG\nProgVer1=-1\nUILang=de\nUpscaleImages=FALSE\n"
            "bbcode/Data/bttImage=TRUE\nbbcode/Data/bttFontName=FALSE\nbbcode/Data/bttFontSize=FALSE\n"
            "bbcode/Data/bttFontColor=TRUE\nbbcode/Data/bttBold=FALSE\nbbcode/Data/bttItalic=TRUE\n"
            "bbcode/Data/bttUnderline=TRUE\nbbcode/Data/bttStrikeout=TRUE\nbbcode/Data/bttAlign=FALSE\n"
            "bbcode/Data/bttBullets=FALSE\n"
            "MainFormData/NormPos=1,2,3,4\n");

  EXPECT_EQ(Config({"get", "uilang"}).out, "de\n");
  EXPECT_EQ(Config({"get", "bbcode\\data\\bttbold"}).out, "FALSE\n");

  // The program reads what the tool wrote.
  {
    Registry registry(Registry::DefaultFileName());
    SettingsStore store(registry);
    EXPECT_FALSE(store.Read(settings::kUpscaleImages));
    EXPECT_EQ(store.Read(settings::kProgVer1), -1);
    EXPECT_EQ(*registry.ReadValue(RegistryHive::CurrentUser, std::string(settings::kRoot), "ProgVer1"),
              RegistryValue::DWord(0xFFFFFFFFu));
    TBBCODETagSetHolder bbcode;
    store.ReadPersistent(settings::kBBCodeTagSet, bbcode);
    TBBCODETagSet expected(TBBCODETagSetHolder::kDefault);
    expected.Exclude(bttBold);
    EXPECT_EQ(bbcode.Data, expected);
  }

  EXPECT_EQ(Config({"unset", "UILang"}).exitCode, 0);
  EXPECT_EQ(Config({"unset", "UILang"}).exitCode, 0);  // already gone: fine
  EXPECT_EQ(Config({"unset", "bbcode"}).exitCode, 0);
  EXPECT_EQ(Config({"list"}).out, "ImageFormat=--PNG\nProgVer1=-1\nUpscaleImages=FALSE\nMainFormData/NormPos=1,2,3,4\n");
}

TEST_F(TagsmithConfigTest, UnknownNamesAndBadValuesFailWithStatusOne) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"get", "NoSuch"}, "tagsmith-config: unknown setting \"NoSuch\"\n"},
      {{"set", "NoSuch", "1"}, "tagsmith-config: unknown setting \"NoSuch\"\n"},
      {{"unset", "bbcode/Data/bttNothing"}, "tagsmith-config: unknown setting \"bbcode/Data/bttNothing\"\n"},
      {{"get", "UILang"}, "tagsmith-config: UILang is not set (the program uses en)\n"},
      {{"get", "FileName"}, "tagsmith-config: FileName is not set\n"},
      {{"get", "bbcode"}, "tagsmith-config: bbcode is a group of settings; name one of its values\n"},
      {{"set", "UpscaleImages", "maybe"},
       "tagsmith-config: UpscaleImages is a flag; \"maybe\" is not TRUE, FALSE, YES, NO, Y, N or a number\n"},
      {{"set", "html/Data/httBold", "perhaps"},
       "tagsmith-config: html/Data/httBold is a flag; \"perhaps\" is not TRUE, FALSE, YES, NO, Y, N or a number\n"},
      {{"set", "ProgVer2", "1.5"}, "tagsmith-config: ProgVer2 is an integer; \"1.5\" is not a 32-bit number\n"},
      {{"set", "--int", "UILang", "3"}, "tagsmith-config: UILang is a string, not an integer\n"},
      {{"set", "--string", "UpscaleImages", "TRUE"}, "tagsmith-config: UpscaleImages is a flag, not a string\n"},
      {{"set", "ImageShackHost", "load%s.x"},
       "tagsmith-config: ImageShackHost must hold exactly one %d and no other %: \"load%s.x\"\n"},
  };
  for (const Case& c : cases) {
    const ProcessResult r = Config(c.args);
    EXPECT_EQ(r.exitCode, 1) << c.args[1];
    EXPECT_EQ(r.err, c.err) << c.args[1];
    EXPECT_EQ(r.out, "") << c.args[1];
  }
  EXPECT_EQ(Config({"list"}).out, "");  // nothing was written
}

TEST_F(TagsmithConfigTest, CommandLinesItCannotUnderstandFailWithStatusTwo) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {}, {"frobnicate"}, {"get"}, {"set", "UILang"}, {"list", "extra"}, {"set", "--bool", "UILang", "x"}}) {
    const ProcessResult r = Config(args);
    EXPECT_EQ(r.exitCode, 2) << (args.empty() ? "(none)" : args[0]);
    EXPECT_NE(r.err.find("\n\nusage: tagsmith-config list\n"), std::string::npos) << r.err;
  }
  const ProcessResult help = Config({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out.rfind("usage: tagsmith-config list\n", 0), 0u);
}

TEST_F(TagsmithConfigTest, ADamagedRegistryFileIsReportedAndLeftAlone) {
  const auto file = home / ".config/Quorindo/registry.sqlite3";
  testing::WriteFile(file, "not a database at all, but the user's own bytes");
  const ProcessResult r = Config({"set", "UILang", "de"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "tagsmith-config: Registry file " + file.string() + " is damaged: file is not a database\n");
  EXPECT_EQ(testing::ReadFile(file), "not a database at all, but the user's own bytes");
}

// Every value of the update hand-off can be seen, and a waiting update
// cleared, from the shell.
TEST_F(TagsmithConfigTest, TheUpdateHandOffCanBeSeenAndCleared) {
  const ProcessResult fresh = Config({"handoff"});
  EXPECT_EQ(fresh.exitCode, 0) << fresh.err;
  for (const char* line : {"HasUpdate=FALSE (not set)\t", "FileName= (not set)\t", "FileSig= (not set)\t",
                           "Runn=FALSE (not set)\t", "NoErr=TRUE (not set)\t", "ProgVer1=-1 (not set)\t",
                           "ProgVer4=-1 (not set)\t"})
    EXPECT_NE(fresh.out.find(line), std::string::npos) << line;

  {
    Registry registry(Registry::DefaultFileName());
    SettingsStore store(registry);
    store.Write(settings::kFileName, "/cache/setup.exe");
    store.Write(settings::kFileSig, "c2ln");
    store.Write(settings::kHasUpdate, true);
  }
  const ProcessResult waiting = Config({"handoff"});
  EXPECT_NE(waiting.out.find("HasUpdate=TRUE\t"), std::string::npos) << waiting.out;
  EXPECT_NE(waiting.out.find("FileName=/cache/setup.exe\t"), std::string::npos);
  EXPECT_NE(waiting.out.find("FileSig=c2ln\t"), std::string::npos);
  EXPECT_EQ(Config({"get", "HasUpdate"}).out, "TRUE\n");

  for (const std::vector<std::string>& clear :
       {std::vector<std::string>{"set", "HasUpdate", "no"}, std::vector<std::string>{"unset", "hasupdate"}}) {
    EXPECT_EQ(Config(clear).exitCode, 0);
    Registry registry(Registry::DefaultFileName());
    SettingsStore store(registry);
    EXPECT_FALSE(store.Read(settings::kHasUpdate)) << clear[0];
    store.Write(settings::kHasUpdate, true);
  }
  EXPECT_EQ(Config({"handoff", "extra"}).exitCode, 2);
}

}  // namespace
}  // namespace tagsmith
