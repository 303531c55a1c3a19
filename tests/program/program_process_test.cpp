// The real tagsmith executable, started on the offscreen platform in a
// temporary home: how it ends on SIGTERM, with "Runn" set, with a waiting
// installer that carries no signature, without any display, and with an
// update host that never answers.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <signal.h>
#include <sys/wait.h>

#include "app/global_share.h"
#include "support/http_server.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ReadFile;
using testing::WriteFile;

// Whether the process has its own handler for `signal` (its start-up has got
// as far as the quit watch).
bool Catches(pid_t pid, int signal) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("SigCgt:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
  return false;
}

// The exit status within `limit`, or -2 when it is still running (it is then
// killed).
int WaitFor(pid_t pid, std::chrono::milliseconds limit, std::chrono::milliseconds* took = nullptr) {
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      if (took) *took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
      return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    }
    if (std::chrono::steady_clock::now() - start > limit) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -2;
    }
    std::this_thread::sleep_for(5ms);
  }
}

class ProgramProcess : public ::testing::Test {
 protected:
  // The start-up update check goes where nothing listens, so that no test
  // leaves the machine; a test that wants a host sets its own.
  void SetUp() override { Set("UpdateHost", "127.0.0.1:9"); }
  fs::path RegistryFile() const { return home / ".config/Quorindo/registry.sqlite3"; }
  void Set(const char* name, const std::string& text) {
    Registry registry(RegistryFile().string());
    registry.WriteString(RegistryHive::CurrentUser, settings::kRoot, name, text);
  }
  std::string Get(const char* path, const char* name) {
    Registry registry(RegistryFile().string());
    const auto v = registry.ReadValue(RegistryHive::CurrentUser, std::string(settings::kRoot) + path, name);
    return v ? v->text : std::string("(absent)");
  }
  pid_t Start(const std::vector<std::string>& arguments) {
    return testing::StartProcess(TAGSMITH_PROGRAM, arguments, scratch / "out", scratch / "err");
  }
  // Waits until the program watches SIGTERM, i.e. it is about to run its loop.
  bool WaitUntilRunning(pid_t pid) {
    for (int i = 0; i < 2000; ++i) {
      if (Catches(pid, SIGTERM)) return true;
      std::this_thread::sleep_for(5ms);
    }
    return false;
  }
  std::vector<fs::path> Leftovers() const {
    std::vector<fs::path> left;
    std::error_code ec;
    const fs::path temp = home / ".cache/Quorindo/Tagsmith/TempFiles";
    if (fs::is_directory(temp, ec))
      for (const auto& e : fs::directory_iterator(temp)) left.push_back(e.path());
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
      const fs::path lock = RegistryFile().string() + suffix;
      if (fs::exists(lock, ec)) left.push_back(lock);
    }
    return left;
  }

  testing::TempHome home;
  testing::TempDir scratch;
};

TEST_F(ProgramProcess, SigtermEndsItCleanlyWithinASecond) {
  for (const char* argument : {"/show", "-show"}) {
    const pid_t pid = Start({argument});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitUntilRunning(pid)) << ReadFile(scratch / "err");
    std::this_thread::sleep_for(200ms);
    ASSERT_EQ(kill(pid, SIGTERM), 0);
    // The bound only catches a hang; how fast it ends is measured by the
    // benchmark.
    EXPECT_EQ(WaitFor(pid, 10s), 0) << argument << ": " << ReadFile(scratch / "err");
    EXPECT_EQ(Leftovers(), std::vector<fs::path>{}) << argument;
  }
  // The window was shown once ("/show"), so its placement was saved on the
  // way out; with "-show" it stayed hidden and saved nothing over it.
  EXPECT_NE(Get("\\MainFormData", "NormPos"), "(absent)");
}

TEST_F(ProgramProcess, RunnSetEndsAtOnceEvenWithAWaitingUpdate) {
  const fs::path installer = scratch / "installer.sh";
  WriteFile(installer, "#!/bin/sh\necho \"$@\" > \"" + (scratch / "ran").string() + "\"\n");
  fs::permissions(installer, fs::perms::owner_all);
  Set("Runn", "TRUE");
  Set("HasUpdate", "TRUE");
  Set("FileName", installer.string());
  const pid_t pid = Start({"/show"});
  ASSERT_GT(pid, 0);
  EXPECT_EQ(WaitFor(pid, 10s), 0) << ReadFile(scratch / "err");
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(fs::exists(scratch / "ran")) << "nothing started";
  EXPECT_EQ(Get("\\MainFormData", "NormPos"), "(absent)") << "no window was made";
  EXPECT_EQ(Get("", "HasUpdate"), "TRUE") << "the hand-off is left to the installer";
}

TEST_F(ProgramProcess, AWaitingInstallerWithoutSignatureIsNotRunAndTheProgramStarts) {
  const fs::path installer = scratch / "installer.sh";
  WriteFile(installer, "#!/bin/sh\necho \"$@\" > \"" + (scratch / "ran").string() + "\"\n");
  fs::permissions(installer, fs::perms::owner_all);
  Set("HasUpdate", "TRUE");
  Set("FileName", installer.string());
  const pid_t pid = Start({});
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(WaitUntilRunning(pid)) << ReadFile(scratch / "err");
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(fs::exists(scratch / "ran"));
  ASSERT_EQ(kill(pid, SIGTERM), 0);
  EXPECT_EQ(WaitFor(pid, 10s), 0) << ReadFile(scratch / "err");
  EXPECT_NE(Get("", "HasUpdate"), "TRUE") << "cleared, so the next start is a normal one";
  EXPECT_EQ(Leftovers(), std::vector<fs::path>{});
}

TEST_F(ProgramProcess, ItAsksTheUpdateHostAtStartAndAStalledServerDoesNotHoldItsExit) {
  std::atomic<int> asked{0};
  testing::HttpTestServer server([&](const testing::HttpTestServer::Request& r, auto& c) {
    if (r.target == "/download/xml/tagsmith_update.xml") ++asked;
    // No reply until the program goes away or the server ends.
    (void)c.HoldUntilPeerCloses(60s);
  });
  Set("UpdateHost", server.Authority());
  const pid_t pid = Start({});
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(WaitUntilRunning(pid)) << ReadFile(scratch / "err");
  for (int i = 0; i < 2000 && asked.load() == 0; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(asked.load(), 1);
  ASSERT_EQ(kill(pid, SIGTERM), 0);
  // Far below the server's hold: the exit does not wait for the check.
  EXPECT_EQ(WaitFor(pid, 10s), 0) << ReadFile(scratch / "err");
  EXPECT_EQ(Leftovers(), std::vector<fs::path>{});
}

TEST_F(ProgramProcess, WithoutAnyDisplayItSaysSoAndEnds) {
  testing::ScopedEnv platform("QT_QPA_PLATFORM", "");
  testing::ScopedEnv display("DISPLAY", "");
  testing::ScopedEnv wayland("WAYLAND_DISPLAY", "");
  const pid_t pid = Start({"/show"});
  ASSERT_GT(pid, 0);
  EXPECT_EQ(WaitFor(pid, 10s), 1);
  EXPECT_NE(ReadFile(scratch / "err").find("no desktop to show the editor on"), std::string::npos)
      << ReadFile(scratch / "err");
  EXPECT_EQ(Leftovers(), std::vector<fs::path>{});
}

}  // namespace
}  // namespace tagsmith
