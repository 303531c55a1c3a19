#include "platform/folders.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "support/temp_dir.h"

namespace tagsmith {
namespace {

using testing::ScopedEnv;
using testing::TempHome;

TEST(Folders, XdgVariablesWinWhenAbsoluteElseTheHomeDefaultsApply) {
  TempHome home;
  const std::string h = home.path().string();
  struct Case {
    const char* value;  // nullptr: unset
    std::string roaming, local, config;
  };
  const std::vector<Case> cases = {
      {"/x/y", "/x/y", "/x/y", "/x/y"},
      {nullptr, h + "/.local/share", h + "/.cache", h + "/.config"},
      {"", h + "/.local/share", h + "/.cache", h + "/.config"},
      {"relative", h + "/.local/share", h + "/.cache", h + "/.config"},
  };
  for (const Case& c : cases) {
    for (const char* var : {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"}) {
      if (c.value) setenv(var, c.value, 1);
      else unsetenv(var);
    }
    const std::string label = c.value ? c.value : "(unset)";
    EXPECT_EQ(RoamingAppDataDir(), c.roaming) << label;
    EXPECT_EQ(LocalAppDataDir(), c.local) << label;
    EXPECT_EQ(ConfigDir(), c.config) << label;
  }
}

TEST(Folders, HomeWithATrailingSeparatorGivesCleanDefaults) {
  TempHome home;
  ScopedEnv slash("HOME", home.path().string() + "/");
  unsetenv("XDG_CACHE_HOME");
  EXPECT_EQ(LocalAppDataDir(), home.path().string() + "/.cache");
}

TEST(Folders, StripTrailingBackslashDropsOneSeparator) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/opt/tool/", "/opt/tool"}, {"/opt/tool//", "/opt/tool/"}, {"/opt/tool", "/opt/tool"}, {"/", ""}, {"", ""}};
  for (const auto& [in, out] : cases) EXPECT_EQ(StripTrailingBackslash(in), out) << in;
}

TEST(Folders, CreatePrivateFoldersMakesEveryMissingLevelPrivate) {
  testing::TempDir dir;
  const std::string deep = (dir / "a/b/c").string();
  EXPECT_EQ(CreatePrivateFolders(deep), 0);
  for (const char* level : {"a", "a/b", "a/b/c"}) {
    struct stat st{};
    ASSERT_EQ(stat((dir / level).c_str(), &st), 0) << level;
    EXPECT_EQ(st.st_mode & 0777, 0700u) << level;
  }
  EXPECT_EQ(CreatePrivateFolders(deep), 0);  // existing: fine
  testing::WriteFile(dir / "file", "x");
  EXPECT_EQ(CreatePrivateFolders((dir / "file").string()), ENOTDIR);
  EXPECT_EQ(CreatePrivateFolders((dir / "file/below").string()), ENOTDIR);
}

}  // namespace
}  // namespace tagsmith
