// The data module's update check and banner storages against a real HTTP
// server on 127.0.0.1, a real settings store, banner folder and temporary
// files in a temporary home.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/data_module.h"
#include "app/global_share.h"
#include "platform/sync_queue.h"
#include "support/banner_storage.h"
#include "support/http_server.h"
#include "support/signing_key.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::WriteFile;

// The editor window as the data module sees it: the balloons it was asked
// for and a strip that records the widths of the pictures it shows.
class Window : public IDataModuleHost, public IBanner {
 public:
  IPropertyTarget* FindPropertyTarget(const char*, int) override { return nullptr; }
  void ShowBalloon(const std::string& title, const std::string& text, bool error, int timeoutMs) override {
    balloons.push_back(title + "|" + text + "|" + (error ? "error" : "info") + "|" + std::to_string(timeoutMs));
  }
  IBanner* BannerStrip() override { return this; }
  void ShowPicture(const DecodedPicture& picture) override { shown.push_back(picture.width); }
  void ClearPicture() override { shown.push_back(0); }
  void SetClickHandler(std::function<void()> handler) override { click = std::move(handler); }

  std::vector<std::string> balloons;
  std::vector<int> shown;
  std::function<void()> click;
};

class DataModuleUpdateTest : public ::testing::Test {
 protected:
  DataModuleUpdateTest() {
    fs::create_directories(prog / "Lang");
    // Every key's text is its own name.
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<TranslateData Lang=\"en\" ViewLang=\"en\">\n";
    for (const TTranslationKey& key : kTranslationKeys)
      xml += std::string("<Text Name=\"") + key.Name + "\"><Line Index=\"0\">" + key.Name + "</Line></Text>\n";
    WriteFile(prog / "Lang/en.xml", xml + "</TranslateData>\n");
    WriteFile(prog / "Data/storage_en_1.bin", testing::BannerStorageBytes("en", 1, {101, 102}));
    ProgramTickCounters() = {};
    InitGlobalShare((prog / "tagsmith").string());
    SettingsStore& store = GetSettingsStore();
    store.Write(settings::kProgVer1, 1);
    store.Write(settings::kProgVer2, 0);
    store.Write(settings::kProgVer3, 0);
    store.Write(settings::kProgVer4, 0);
  }
  ~DataModuleUpdateTest() override {
    CutOffAllUpdateChecks();
    DoneGlobalShare();
    ProgramTickCounters() = {};
  }

  // Serves the update file `xml` and the files of `files`, and counts the
  // requests of each path; `stall` paths get no reply until the server ends.
  void Serve(std::function<std::string()> xml, std::map<std::string, std::string> files = {},
             std::vector<std::string> stall = {}) {
    server = std::make_unique<testing::HttpTestServer>(
        [this, xml, files, stall](const testing::HttpTestServer::Request& r, auto& c) {
          {
            std::lock_guard<std::mutex> lock(mutex);
            ++requests[r.target];
          }
          for (const std::string& s : stall)
            if (r.target == s) {
              (void)c.HoldUntilPeerCloses(60s);
              return;
            }
          if (r.target == TDataModuleMain::kUpdateFileURI) {
            c.Send(testing::HttpReply(xml()));
          } else if (auto f = files.find(r.target); f != files.end()) {
            c.Send(testing::HttpReply(f->second));
          } else {
            c.Send(testing::HttpReply("", "404 Not Found"));
          }
        });
    GetSettingsStore().Write(settings::kUpdateHost, server->Authority());
  }
  int Requests(const std::string& target) {
    std::lock_guard<std::mutex> lock(mutex);
    return requests[target];
  }
  std::unique_ptr<TDataModuleMain> Make(TDeliverable deliverable) {
    auto dm = std::make_unique<TDataModuleMain>(deliverable, &window);
    dm->WebUpdaterMain().PublicKey = key.PublicKey();
    dm->WebUpdaterMain().Transfer.ReadTimeout = 5s;
    dm->WebUpdaterMain().Transfer.IdleSlice = 10ms;
    return dm;
  }
  static void WaitForChecks() {
    SyncQueue::Main().ServeUntil([] { return RunningUpdateChecks() == 0; });
  }
  std::string BannerFolder() const { return BannerDir(); }

  testing::TempHome home;
  const fs::path prog = home / "prog";
  testing::SigningKey key;
  Window window;
  std::mutex mutex;
  std::map<std::string, int> requests;
  std::unique_ptr<testing::HttpTestServer> server;
};

const std::string kNoNews = "<UpdateData UpdateServer=\"x\"><BannersData/></UpdateData>";

TEST_F(DataModuleUpdateTest, TheStartCheckFollowsNoErrPerDeliverable) {
  struct Case {
    TDeliverable deliverable;
    bool noErr;
    int checks;
    std::vector<std::string> balloons;
    bool periodic;
  } cases[] = {
      {dlProgram, true, 1, {}, true},
      {dlProgram, false, 0, {"AutomaticalUpdateError|AutoUpdateErrorMsg|error|3000"}, false},
      {dlControl, true, 1, {}, true},
      {dlControl, false, 0, {}, true},
  };
  Serve([] { return kNoNews; });
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.deliverable) + (c.noErr ? " NoErr" : " !NoErr"));
    ProgramTickCounters() = {};
    window.balloons.clear();
    {
      std::lock_guard<std::mutex> lock(mutex);
      requests.clear();
    }
    GetSettingsStore().Write(settings::kNoErr, c.noErr);
    auto dm = Make(c.deliverable);
    dm->DataModuleCreate();
    EXPECT_EQ(dm->WebUpdaterMain().HostName, server->Authority());
    EXPECT_EQ(dm->WebUpdaterMain().UpdateFileURI, "/download/xml/tagsmith_update.xml");
    WaitForChecks();
    EXPECT_EQ(Requests(TDataModuleMain::kUpdateFileURI), c.checks);
    EXPECT_EQ(window.balloons, c.balloons);
    EXPECT_EQ(dm->PeriodicUpdatesEnabled(), c.periodic);

    // The periodic check: none after 18000 ticks, one on the 18001st, and
    // none at all while the periodic checks are off.
    for (int i = 0; i < 18000; ++i) dm->TimerMainTimer();
    WaitForChecks();
    EXPECT_EQ(Requests(TDataModuleMain::kUpdateFileURI), c.checks);
    dm->TimerMainTimer();
    WaitForChecks();
    EXPECT_EQ(Requests(TDataModuleMain::kUpdateFileURI), c.checks + (c.periodic ? 1 : 0));
  }
}

TEST_F(DataModuleUpdateTest, AMissingBannerFolderIsFilledFromDataAndRotatesEvery61Ticks) {
  GetSettingsStore().Write(settings::kNoErr, false);
  ASSERT_FALSE(fs::exists(BannerFolder()));
  auto dm = Make(dlProgram);
  dm->DataModuleCreate();
  EXPECT_TRUE(fs::is_regular_file(fs::path(BannerFolder()) / "storage_en_1.bin"));
  EXPECT_EQ(dm->BannStor().StorageDir(), BannerFolder());
  ASSERT_EQ(window.shown.size(), 1u);
  EXPECT_TRUE(window.click);
  for (int i = 0; i < 60; ++i) dm->TimerMainTimer();
  EXPECT_EQ(window.shown.size(), 1u);
  dm->TimerMainTimer();
  ASSERT_EQ(window.shown.size(), 2u);
  // Two pictures, shown in turn.
  EXPECT_NE(window.shown[0], window.shown[1]);
  for (int i = 0; i < 61; ++i) dm->TimerMainTimer();
  ASSERT_EQ(window.shown.size(), 3u);
  EXPECT_EQ(window.shown[2], window.shown[0]);
  // A language change starts again at the first picture.
  dm->ReloadLanguage();
  ASSERT_EQ(window.shown.size(), 4u);
  EXPECT_EQ(window.shown[3], window.shown[0]);
  // The strip goes before the data module: its handler is taken back.
  dm->DetachBanner();
  EXPECT_FALSE(window.click);
}

TEST_F(DataModuleUpdateTest, AnEmptiedBannerFolderIsFilledAgainFromData) {
  GetSettingsStore().Write(settings::kNoErr, false);
  fs::create_directories(BannerFolder());
  WriteFile(fs::path(BannerFolder()) / "storage_en_1.bin", "not a storage");
  auto dm = Make(dlProgram);
  dm->DataModuleCreate();
  EXPECT_EQ(dm->BannStor().StorageDir(), BannerFolder());
  EXPECT_TRUE(dm->BannStor().HasStorage("en", 1));
  EXPECT_EQ(window.shown.size(), 1u);
}

TEST_F(DataModuleUpdateTest, TheCompletedCheckRecordsTheSignedInstallerAndAddsTheNewStorages) {
  GetSettingsStore().Write(settings::kNoErr, true);
  const std::string installer = "#!/bin/sh\nexit 0\n";
  const fs::path scratch = home / "installer";
  WriteFile(scratch, installer);
  const std::string signature = key.SignFile(scratch.string());
  std::string authority;
  Serve(
      [&] {
        return "<UpdateData UpdateServer=\"" + authority +
               "\"><ProgramData Ver1=\"1\" Ver2=\"2\" Ver3=\"0\" Ver4=\"0\" URI=\"/setup.exe\" Sig=\"" + signature +
               "\"/><BannersData><StorList Lang=\"en\" VerOldFrom=\"1\"><Stor Ver=\"2\" URI=\"/en2.bin\"/>"
               "</StorList></BannersData></UpdateData>";
      },
      {{"/setup.exe", installer}, {"/en2.bin", testing::BannerStorageBytes("en", 2, {201, 202, 203})}});
  authority = server->Authority();
  std::string recorded;
  {
    auto dm = Make(dlProgram);
    dm->DataModuleCreate();
    WaitForChecks();
    EXPECT_EQ(window.balloons, (std::vector<std::string>{"NewUpdatesHintTitle|NewUpdatesHintMsg|info|-1"}));
    EXPECT_TRUE(ReadHasUpdate());
    recorded = GetSettingsStore().Read(settings::kFileName);
    EXPECT_EQ(GetSettingsStore().Read(settings::kFileSig), signature);
    // The new storage is in the folder and the rotation; the old one is gone.
    EXPECT_TRUE(dm->BannStor().HasStorage("en", 2));
    EXPECT_FALSE(dm->BannStor().HasStorage("en", 1));
    EXPECT_TRUE(fs::exists(fs::path(BannerFolder()) / "storage_en_2.bin"));
    EXPECT_FALSE(fs::exists(fs::path(BannerFolder()) / "storage_en_1.bin"));
    EXPECT_GE(window.shown.back(), 201);
  }
  // The installer outlives the data module's temporary files.
  ASSERT_FALSE(recorded.empty());
  EXPECT_EQ(testing::ReadFile(recorded), installer);
  fs::remove(recorded);
}

TEST_F(DataModuleUpdateTest, ACheckStalledAtDestructionNeverReachesTheDataModule) {
  GetSettingsStore().Write(settings::kNoErr, true);
  Serve([] { return kNoNews; }, {}, {TDataModuleMain::kUpdateFileURI});
  {
    auto dm = Make(dlProgram);
    dm->DataModuleCreate();
    for (auto end = std::chrono::steady_clock::now() + 5s;
         Requests(TDataModuleMain::kUpdateFileURI) == 0 && std::chrono::steady_clock::now() < end;)
      SyncQueue::Main().CheckSynchronize(10ms);
    ASSERT_EQ(Requests(TDataModuleMain::kUpdateFileURI), 1);
    const auto start = std::chrono::steady_clock::now();
    dm.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  }
  // The worker ends on its own within its idle slice, without the server.
  const auto start = std::chrono::steady_clock::now();
  WaitForChecks();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_TRUE(window.balloons.empty());
}

}  // namespace
}  // namespace tagsmith
