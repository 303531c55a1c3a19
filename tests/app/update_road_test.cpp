// The whole road of an update: the check downloads the installer, the
// completion records it, and the next start runs it, only while its bytes
// are the ones the maker signed.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <unistd.h>

#include "app/global_share.h"
#include "images/temp_files.h"
#include "platform/shell.h"
#include "platform/sync_queue.h"
#include "support/http_server.h"
#include "support/recording_shell.h"
#include "support/signing_key.h"
#include "support/temp_dir.h"
#include "updates/web_updater.h"

namespace tagsmith {
namespace {

using namespace std::chrono_literals;

class UpdateRoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitGlobalShare((home / "opt/tagsmith/tagsmith").string());
    SettingsStore& store = GetSettingsStore();
    store.Write(settings::kProgVer1, 1);
    store.Write(settings::kProgVer2, 1);
    store.Write(settings::kProgVer3, 0);
    store.Write(settings::kProgVer4, 0);
    args = home / "installer-args";
    installer = "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" + args.string() +
                ".part\"\n/bin/mv \"" + args.string() + ".part\" \"" + args.string() + "\"\n";
  }
  void TearDown() override {
    CutOffAllUpdateChecks();
    DoneGlobalShare();
  }

  // One program run up to its end: the data module's check and its
  // completion handler, then the temporary files are cleaned up.
  void RunProgramWithCheck(const std::string& served) {
    const std::string signature = key.SignBytes(*Digest(installer));
    testing::HttpTestServer server([&](const testing::HttpTestServer::Request& r, auto& c) {
      if (r.target == "/download/xml/tagsmith_update.xml")
        c.Send(testing::HttpReply("<UpdateData UpdateServer=\"" + host + "\"><ProgramData Ver1=\"1\" Ver2=\"1\" "
                                  "Ver3=\"0\" Ver4=\"1\" URI=\"/setup.exe\" Sig=\"" + signature +
                                  "\"/><BannersData/></UpdateData>"));
      else if (r.target == "/setup.exe")
        c.Send(testing::HttpReply(served));
      else
        c.Send(testing::HttpReply("", "404 Not Found"));
    });
    host = server.Authority();
    TTempFiles temp;
    TWebUpdater updater;
    updater.HostName = host;
    updater.UpdateFileURI = "/download/xml/tagsmith_update.xml";
    updater.TempFilesComp = &temp;
    updater.PublicKey = key.PublicKey();
    updater.Transfer.ReadTimeout = 2s;
    updater.Transfer.IdleSlice = 10ms;
    updater.OnGetProgVer = [] { return ReadProgVer(); };
    updater.OnBannerCheck = [](const std::string&, int32_t) { return false; };
    updater.OnCheckComplete = [&](const TCheckRec& prog, const TCheckRecArr&) {
      completed = true;
      if (!prog.Downloaded) return;
      StoreDownloadedUpdate(prog.FileName, prog.Signature);
      temp.ForgetFile(prog.FileName);
    };
    updater.CheckForUpdates();
    SyncQueue::Main().ServeUntil([&] { return updater.RunningChecks() == 0; });
  }

  std::optional<std::string> Digest(const std::string& bytes) {
    testing::WriteFile(scratch / "bytes", bytes);
    return FileDigest((scratch / "bytes").string());
  }

  std::string RecordedArguments(std::chrono::milliseconds limit) {
    for (auto deadline = std::chrono::steady_clock::now() + limit;
         !std::filesystem::exists(args) && std::chrono::steady_clock::now() < deadline;)
      std::this_thread::sleep_for(5ms);
    return std::filesystem::exists(args) ? testing::ReadFile(args) : std::string();
  }

  testing::TempHome home;
  testing::TempDir scratch;
  testing::SigningKey key;
  SystemShell shell;
  testing::ScopedShell scopedShell{shell};
  std::filesystem::path args;
  std::string installer;
  std::string host;
  bool completed = false;
};

TEST_F(UpdateRoadTest, TheSignedInstallerIsRecordedKeptAndStartedAtTheNextStart) {
  RunProgramWithCheck(installer);
  ASSERT_TRUE(completed);
  ASSERT_TRUE(ReadHasUpdate());
  const std::string file = GetSettingsStore().Read(settings::kFileName);
  EXPECT_TRUE(std::filesystem::exists(file));  // survived the program's end

  const StartupHandOffResult next = RunStartupHandOff(key.PublicKey());
  EXPECT_EQ(next.next, StartupNext::End);
  EXPECT_EQ(next.problem, "");
  EXPECT_EQ(RecordedArguments(20s), "/SP-\n/VERYSILENT\n/SUPPRESSMSGBOXES\n/dir=\"" +
                                        (home / "opt/tagsmith").string() + "\"\n/pid=" + std::to_string(getpid()) +
                                        "\n");
}

TEST_F(UpdateRoadTest, AnInstallerChangedAfterItWasRecordedIsNeverStarted) {
  RunProgramWithCheck(installer);
  ASSERT_TRUE(ReadHasUpdate());
  const std::string file = GetSettingsStore().Read(settings::kFileName);
  std::string bytes = testing::ReadFile(file);
  bytes[bytes.size() / 2] ^= 0x01;  // one byte changed, on disk, between the runs
  testing::WriteFile(file, bytes);

  const StartupHandOffResult next = RunStartupHandOff(key.PublicKey());
  EXPECT_EQ(next.next, StartupNext::NormalStart);
  EXPECT_EQ(next.problem, "The installer " + file + " was not started: its signature does not match the maker's key");
  EXPECT_EQ(RecordedArguments(500ms), "");
  EXPECT_FALSE(ReadHasUpdate());
  // The start after it is a normal one, and still starts nothing.
  EXPECT_EQ(RunStartupHandOff(key.PublicKey()).next, StartupNext::NormalStart);
  EXPECT_EQ(RecordedArguments(200ms), "");
}

TEST_F(UpdateRoadTest, AnInstallerTamperedWithOnTheWayIsNeitherRecordedNorStarted) {
  std::string tampered = installer;
  tampered[tampered.size() / 2] ^= 0x01;
  RunProgramWithCheck(tampered);
  ASSERT_TRUE(completed);
  EXPECT_FALSE(ReadHasUpdate());
  EXPECT_EQ(GetSettingsStore().Read(settings::kFileName), "");
  EXPECT_EQ(RunStartupHandOff(key.PublicKey()).next, StartupNext::NormalStart);
  EXPECT_EQ(RecordedArguments(500ms), "");
}

}  // namespace
}  // namespace tagsmith
