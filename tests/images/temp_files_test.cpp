#include "images/temp_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/strings.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnv;
using testing::TempDir;
using testing::TempHome;
using testing::WriteFile;

std::string Message(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const ETempFiles& e) {
    return e.what();
  }
  return "(no ETempFiles)";
}

unsigned Mode(const fs::path& p) {
  struct stat st{};
  return stat(p.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

class TempFilesTest : public ::testing::Test {
 protected:
  TempHome home;
  fs::path root = home / ".cache/Quorindo/Tagsmith/TempFiles";
  uint32_t tick = 0x1234ABCD;
  TTempFiles::TickSource ticks = [this] { return tick; };
};

TEST_F(TempFilesTest, TheFirstNameLiesInANewPrivateRunFolderUnderTheDefaultRoot) {
  std::string name, folder;
  {
    TTempFiles files(ticks);
    name = files.CreateTempFileName(".png");
    folder = (root / "tmp1234ABCD").string();
    EXPECT_EQ(name, folder + "/1234ABCD.png");
    EXPECT_EQ(files.GetTempDir(), folder);
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_FALSE(fs::exists(name));  // names only; the caller writes the file
    EXPECT_EQ(Mode(folder), 0700u);
    for (const char* level : {".cache", ".cache/Quorindo", ".cache/Quorindo/Tagsmith", ".cache/Quorindo/Tagsmith/TempFiles"})
      EXPECT_EQ(Mode(home / level), 0700u) << level;
    WriteFile(name, "png");
  }
  EXPECT_FALSE(fs::exists(name));
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_TRUE(fs::is_directory(root));  // the root stays for the next run
}

TEST_F(TempFilesTest, CandidateNamesCountUpFromTheTickPastWhatExists) {
  struct Case {
    const char* label;
    uint32_t tick;
    std::vector<std::string> existingFiles, existingFolders;
    std::string extension, expected;
  };
  const std::vector<Case> cases = {
      {"plain", 0x00000001, {}, {}, ".jpg", "00000001.jpg"},
      {"upper-case hex", 0x00ABCDEF, {}, {}, ".html", "00ABCDEF.html"},
      {"existing candidate", 0x00000010, {"00000010.png"}, {}, ".png", "00000011.png"},
      {"two existing", 0x0000000F, {"0000000F.png", "00000010.png"}, {}, ".png", "00000011.png"},
      {"other extension does not block", 0x00000010, {"00000010.jpg"}, {}, ".png", "00000010.png"},
      {"wrap at FFFFFFFF", 0xFFFFFFFF, {"FFFFFFFF.exe"}, {}, ".exe", "00000000.exe"},
      {"a folder of that name is taken too", 0x00000020, {}, {"00000020.tmp"}, ".tmp", "00000021.tmp"},
      {"extension verbatim", 0x00000030, {}, {}, "", "00000030"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    for (const std::string& f : c.existingFiles) WriteFile(dir / f, "x");
    for (const std::string& f : c.existingFolders) fs::create_directory(dir / f);
    tick = c.tick;
    TTempFiles files(ticks);
    files.SetTempDir(dir.str());
    EXPECT_EQ(files.CreateTempFileName(c.extension), (dir / c.expected).string()) << c.label;
  }
}

TEST_F(TempFilesTest, ATakenRunFolderNameMovesToTheNextNumberAndWraps) {
  fs::create_directories(root / "tmpFFFFFFFF");
  tick = 0xFFFFFFFF;
  TTempFiles files(ticks);
  EXPECT_EQ(files.GetTempDir(), (root / "tmp00000000").string());
}

TEST_F(TempFilesTest, ANameIsNeverHandedOutTwice) {
  tick = 0x10;
  TTempFiles files(ticks);
  const std::string a = files.CreateTempFileName(".png");
  const std::string b = files.CreateTempFileName(".png");
  const std::string c = files.CreateTempFileName(".jpg");
  EXPECT_EQ(fs::path(a).filename(), "00000010.png");
  EXPECT_EQ(fs::path(b).filename(), "00000011.png");
  EXPECT_EQ(fs::path(c).filename(), "00000010.jpg");
  EXPECT_EQ(files.RegisteredFiles(), (std::vector<std::string>{a, b, c}));
  // Forgetting a name does not make it available again.
  files.ForgetFile(a);
  EXPECT_EQ(fs::path(files.CreateTempFileName(".png")).filename(), "00000012.png");
}

TEST_F(TempFilesTest, AForgottenFileSurvivesAndKeepsItsFolder) {
  std::string kept, removed, folder;
  {
    TTempFiles files(ticks);
    kept = files.CreateTempFileName(".exe");
    removed = files.CreateTempFileName(".tmp");
    folder = files.GetTempDir();
    WriteFile(kept, "installer");
    WriteFile(removed, "banner");
    std::string otherCase = kept;
    for (char& ch : otherCase) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    files.ForgetFile(otherCase);
    files.ForgetFile(folder + "/not-registered.exe");
    EXPECT_EQ(files.RegisteredFiles(), std::vector<std::string>{removed});
  }
  EXPECT_EQ(testing::ReadFile(kept), "installer");
  EXPECT_FALSE(fs::exists(removed));
  EXPECT_TRUE(fs::is_directory(folder));
}

TEST_F(TempFilesTest, NamesNeverWrittenLeaveNothingBehind) {
  std::string folder;
  {
    TTempFiles files(ticks);
    files.CreateTempFileName(".jpg");
    files.CreateTempFileName(".png");
    folder = files.GetTempDir();
  }
  EXPECT_FALSE(fs::exists(folder));
}

TEST_F(TempFilesTest, SetTempDirUsesAnExistingFolderAndNeverRemovesIt) {
  TempDir dir;
  std::string name;
  {
    TTempFiles files(ticks);
    files.SetTempDir(dir.str() + "/");
    EXPECT_EQ(files.GetTempDir(), dir.str());
    name = files.CreateTempFileName(".html");
    EXPECT_EQ(name, dir.str() + "/1234ABCD.html");
    WriteFile(name, "<html>");

    files.SetTempDir((dir / "missing").string());
    EXPECT_EQ(files.GetTempDir(), dir.str());
    WriteFile(dir / "a-file", "x");
    files.SetTempDir((dir / "a-file").string());
    EXPECT_EQ(files.GetTempDir(), dir.str());
    files.SetTempDir(dir.str());
    EXPECT_EQ(files.GetTempDir(), dir.str());
    EXPECT_TRUE(files.CreatedFolders().empty());
  }
  EXPECT_FALSE(fs::exists(name));
  EXPECT_TRUE(fs::is_directory(dir.path()));
  EXPECT_FALSE(fs::exists(root));  // the default root was never needed
}

TEST_F(TempFilesTest, AVanishedFolderIsReplacedByAFreshOne) {
  TTempFiles files(ticks);
  const std::string first = files.GetTempDir();
  fs::remove_all(first);
  tick = 0x20;
  const std::string name = files.CreateTempFileName(".png");
  EXPECT_EQ(name, (root / "tmp00000020/00000020.png").string());
  EXPECT_EQ(files.CreatedFolders(), (std::vector<std::string>{first, (root / "tmp00000020").string()}));

  TempDir set;
  files.SetTempDir(set.str());
  fs::remove_all(set.path());
  EXPECT_EQ(files.GetTempDir(), (root / "tmp00000021").string());  // tmp00000020 is still in use
}

TEST_F(TempFilesTest, ARootThatCannotBeMadeFailsAtOnceWithTheReason) {
  WriteFile(home / "plain", "x");
  ScopedEnv cache("XDG_CACHE_HOME", (home / "plain").string());
  TTempFiles files(ticks);
  EXPECT_EQ(Message([&] { files.CreateTempFileName(".png"); }),
            "Cannot create a temporary folder in " + (home / "plain").string() +
                "/Quorindo/Tagsmith/TempFiles: Not a directory");
  EXPECT_TRUE(files.RegisteredFiles().empty());
}

TEST_F(TempFilesTest, TheFolderLoopGivesUpAfterItsBound) {
  fs::create_directories(root);
  for (uint32_t i = 0; i < static_cast<uint32_t>(TTempFiles::kMaxFolderAttempts); ++i)
    fs::create_directory(root / FormatString("tmp%.8X", i));
  tick = 0;
  TTempFiles files(ticks);
  EXPECT_EQ(Message([&] { files.GetTempDir(); }),
            "Cannot create a temporary folder in " + root.string() + ": 4096 names in a row are taken");
  // One more number is free: a later tick finds it.
  tick = static_cast<uint32_t>(TTempFiles::kMaxFolderAttempts) - 1;
  EXPECT_EQ(files.GetTempDir(), (root / "tmp00001000").string());
}

TEST_F(TempFilesTest, AnExtensionCannotLeaveTheFolder) {
  TTempFiles files(ticks);
  EXPECT_EQ(Message([&] { files.CreateTempFileName("/../../x"); }), "Bad temporary file extension \"/../../x\"");
  EXPECT_TRUE(files.CreatedFolders().empty());
}

TEST(TempFilesTicks, TheSystemTickCountIsTheDefaultCounter) {
  TempHome home;
  TTempFiles files;
  const std::string name = fs::path(files.CreateTempFileName(".png")).filename().string();
  ASSERT_EQ(name.size(), 12u);
  EXPECT_EQ(name.find_first_not_of("0123456789ABCDEF"), 8u);
}

}  // namespace
}  // namespace tagsmith
