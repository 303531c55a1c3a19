#include "platform/shell.h"

#include <gtest/gtest.h>

#include <chrono>
#include <dirent.h>
#include <fstream>
#include <thread>
#include <unistd.h>

#include "support/recording_shell.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

using namespace std::chrono_literals;
using testing::ReadFile;
using testing::ScopedEnv;
using testing::TempDir;

// A script that writes each of its arguments on a line of its own into the
// file named by the environment variable TAGSMITH_ARGS_FILE, then renames it
// into place so a reader never sees half of it.
void WriteArgsScript(const std::filesystem::path& path) {
  testing::WriteFile(path,
                     "#!/bin/sh\n"
                     "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$TAGSMITH_ARGS_FILE.part\"\n"
                     "/bin/mv \"$TAGSMITH_ARGS_FILE.part\" \"$TAGSMITH_ARGS_FILE\"\n");
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

std::string WaitForFile(const std::filesystem::path& path) {
  for (auto deadline = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < deadline;) {
    if (std::filesystem::exists(path)) return ReadFile(path);
    std::this_thread::sleep_for(5ms);
  }
  return "(never written)";
}

int ZombieChildren() {
  int zombies = 0;
  DIR* proc = opendir("/proc");
  while (dirent* entry = readdir(proc)) {
    std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // pid (comm) state ppid ...: the command may hold blanks, so read after ")".
    const size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int ppid = 0;
    if (sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == getpid() && state == 'Z')
      ++zombies;
  }
  closedir(proc);
  return zombies;
}

TEST(SystemShell, StartProgramHandsEveryArgumentOverUnchangedAndLeavesNoZombie) {
  TempDir dir;
  WriteArgsScript(dir / "installer");
  ScopedEnv out("TAGSMITH_ARGS_FILE", (dir / "args").string());
  SystemShell shell;
  shell.StartProgram((dir / "installer").string(), {"/SP-", "/dir=/opt/my tools/\"q\"", "$HOME", ""});
  EXPECT_EQ(WaitForFile(dir / "args"), "/SP-\n/dir=/opt/my tools/\"q\"\n$HOME\n\n");
  auto deadline = std::chrono::steady_clock::now() + 20s;
  while (ZombieChildren() > 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(ZombieChildren(), 0);
}

TEST(SystemShell, OpenDocumentRunsXdgOpenFromThePath) {
  TempDir dir;
  WriteArgsScript(dir / "xdg-open");
  ScopedEnv path("PATH", dir.str());
  ScopedEnv out("TAGSMITH_ARGS_FILE", (dir / "args").string());
  SystemShell().OpenDocument("/tmp/page one.html");
  EXPECT_EQ(WaitForFile(dir / "args"), "/tmp/page one.html\n");
}

TEST(SystemShell, WhatCannotBeStartedFailsWithTheReason) {
  TempDir dir;
  SystemShell shell;
  const std::string missing = (dir / "missing").string();
  try {
    shell.StartProgram(missing, {});
    ADD_FAILURE() << "no exception";
  } catch (const EShellError& e) {
    EXPECT_STREQ(e.what(), ("Cannot start " + missing + ": No such file or directory").c_str());
  }
  ScopedEnv path("PATH", dir.str());
  try {
    shell.OpenDocument("https://example.org/");
    ADD_FAILURE() << "no exception";
  } catch (const EShellError& e) {
    EXPECT_STREQ(e.what(), "Cannot open https://example.org/: xdg-open: No such file or directory");
  }
}

TEST(Shell, SetShellInstallsARecordingShellAndPutsTheRealOneBack) {
  IShell& real = GetShell();
  {
    testing::RecordingShell recorder;
    testing::ScopedShell scoped(recorder);
    GetShell().OpenDocument("https://example.org/");
    GetShell().StartProgram("/bin/true", {"a", "b"});
    const auto calls = recorder.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].kind, testing::RecordingShell::Call::Kind::Open);
    EXPECT_EQ(calls[0].target, "https://example.org/");
    EXPECT_EQ(calls[1].kind, testing::RecordingShell::Call::Kind::Start);
    EXPECT_EQ(calls[1].arguments, (std::vector<std::string>{"a", "b"}));
  }
  EXPECT_EQ(&GetShell(), &real);
}

}  // namespace
}  // namespace tagsmith
