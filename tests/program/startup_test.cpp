// The start-up's decisions: which arguments open the editor, and how the
// program starts when the user's settings store cannot be used.

#include "program/startup.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/global_share.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;

TEST(ShowArgument, OnlyTheExactWordOpensTheEditor) {
  struct Case {
    std::vector<std::string> arguments;
    bool shows;
  };
  const Case cases[] = {
      {{"/show"}, true},
      {{"--verbose", "/show"}, true},
      {{"/show", "/show"}, true},
      {{}, false},
      {{"/SHOW"}, false},
      {{"/Show"}, false},
      {{"-show"}, false},
      {{"--show"}, false},
      {{"show"}, false},
      {{"/show "}, false},
      {{" /show"}, false},
      {{"/showx"}, false},
      {{""}, false},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& a : c.arguments) joined += "[" + a + "]";
    EXPECT_EQ(HasShowArgument(c.arguments), c.shows) << joined;
  }
}

TEST(ShowArgument, TheProgramsOwnNameIsNotLookedAt) {
  const char* argv[] = {"/show", "-show", nullptr};
  EXPECT_EQ(ProgramArguments(2, argv), std::vector<std::string>{"-show"});
  EXPECT_FALSE(HasShowArgument(ProgramArguments(2, argv)));
  const char* only[] = {"tagsmith"};
  EXPECT_TRUE(ProgramArguments(1, only).empty());
}

class StoreOpening : public ::testing::Test {
 protected:
  ~StoreOpening() override { DoneGlobalShare(); }
  std::string Module() const { return (home / "prog/tagsmith").string(); }
  testing::TempHome home;
};

TEST_F(StoreOpening, TheUsersFileIsUsedWhenItCanBe) {
  const TStoreOpening opened = OpenSettingsStore(Module());
  EXPECT_EQ(opened.problem, "");
  EXPECT_EQ(opened.registryFile, (home / ".config/Quorindo/registry.sqlite3").string());
  GetSettingsStore().WriteString("UILang", "ru");
  DoneGlobalShare();
  OpenSettingsStore(Module());
  EXPECT_EQ(GetSettingsStore().Read(settings::kUILang), "ru") << "kept in the file";
}

TEST_F(StoreOpening, AStoreThatCannotBeUsedIsLeftAsItIsAndOneInMemoryServes) {
  struct Case {
    const char* what;
    std::function<void()> spoil;
    fs::path untouched;
    const char* messagePart;
  };
  const fs::path file = home / ".config/Quorindo/registry.sqlite3";
  const Case cases[] = {
      {"its folder is a file", [&] { WriteFile(home / ".config/Quorindo", "not a folder"); }, home / ".config/Quorindo",
       "Cannot create the folder of registry file"},
      {"it is not a database", [&] { WriteFile(file, std::string(4096, 'x')); }, file, "registry.sqlite3"},
      {"it is a folder", [&] { fs::create_directories(file); }, fs::path(), "registry.sqlite3"},
  };
  for (const Case& c : cases) {
    std::error_code ec;
    fs::remove_all(home / ".config/Quorindo", ec);
    c.spoil();
    const std::string before = c.untouched.empty() ? std::string() : ReadFile(c.untouched);
    const TStoreOpening opened = OpenSettingsStore(Module());
    EXPECT_EQ(opened.registryFile, ":memory:") << c.what;
    EXPECT_NE(opened.problem.find(c.messagePart), std::string::npos) << c.what << ": " << opened.problem;
    EXPECT_NE(opened.problem.find("changes are not kept"), std::string::npos) << c.what;
    // The program goes on with a store of its own.
    GetSettingsStore().WriteString("UILang", "ru");
    EXPECT_EQ(GetSettingsStore().Read(settings::kUILang), "ru") << c.what;
    EXPECT_EQ(LanguageDir(), (home / "prog/Lang").string()) << c.what;
    DoneGlobalShare();
    if (!c.untouched.empty()) {
      EXPECT_EQ(ReadFile(c.untouched), before) << c.what;
    }
  }
}

}  // namespace
}  // namespace tagsmith
