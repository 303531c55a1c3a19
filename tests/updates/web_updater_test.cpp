#include "updates/web_updater.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "images/temp_files.h"
#include "localization/simple_translator.h"
#include "platform/strings.h"
#include "platform/sync_queue.h"
#include "support/http_server.h"
#include "support/signing_key.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

using namespace std::chrono_literals;
using testing::HttpReply;
using testing::HttpTestServer;
using Connection = HttpTestServer::Connection;

const std::string kUpdatePath = "/download/xml/tagsmith_update.xml";

// The maker's servers on 127.0.0.1: one server plays both the web host and
// the download host, each path answered by its own script.
class Site {
 public:
  using Reply = std::function<void(Connection&)>;
  Site() : server_([this](const HttpTestServer::Request& r, Connection& c) { Serve(r, c); }) {}

  std::string Host() const { return server_.Authority(); }
  void Route(const std::string& path, Reply reply) {
    std::lock_guard lock(mutex_);
    routes_[path] = std::move(reply);
  }
  void Body(const std::string& path, const std::string& body) {
    Route(path, [body](Connection& c) { c.Send(HttpReply(body)); });
  }
  std::vector<std::string> Targets() const {
    std::vector<std::string> out;
    for (const auto& r : server_.Requests()) out.push_back(r.target);
    return out;
  }

 private:
  void Serve(const HttpTestServer::Request& request, Connection& c) {
    Reply reply;
    {
      std::lock_guard lock(mutex_);
      auto it = routes_.find(request.target);
      if (it != routes_.end()) reply = it->second;
    }
    if (reply) reply(c);
    else c.Send(HttpReply("not here", "404 Not Found"));
  }

  std::mutex mutex_;
  std::map<std::string, Reply> routes_;
  HttpTestServer server_;  // last: its threads end before the routes go
};

Site::Reply Status(const std::string& status) {
  return [status](Connection& c) { c.Send(HttpReply("error page", status)); };
}
// Headers and the first half of the body, then the connection closes.
Site::Reply Truncated(const std::string& body) {
  return [body](Connection& c) {
    const std::string reply = HttpReply(body);
    c.Send(reply.substr(0, reply.size() - body.size() / 2));
  };
}
// Nothing at all until the client gives up.
Site::Reply Stall() {
  return [](Connection& c) { c.HoldUntilPeerCloses(30s); };
}

struct Stor {
  int ver;
  std::string uri;
};
struct List {
  std::string lang;
  int verOldFrom;
  std::vector<Stor> stors;
};

std::string UpdateXml(const std::string& server, const std::string& progVer, const std::string& progUri,
                      const std::optional<std::string>& sig, const std::vector<List>& lists) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<UpdateData UpdateServer=\"" + server + "\">\n";
  if (!progVer.empty()) {
    int v[4] = {-1, -1, -1, -1};
    std::sscanf(progVer.c_str(), "%d.%d.%d.%d", &v[0], &v[1], &v[2], &v[3]);
    xml += FormatString("  <ProgramData Ver1=\"%d\" Ver2=\"%d\" Ver3=\"%d\" Ver4=\"%d\" URI=\"%s\"", v[0], v[1], v[2],
                        v[3], progUri.c_str());
    if (sig) xml += " Sig=\"" + *sig + "\"";
    xml += "/>\n";
  }
  xml += "  <BannersData>\n";
  for (const List& l : lists) {
    xml += FormatString("    <StorList Lang=\"%s\" VerOldFrom=\"%d\">\n", l.lang.c_str(), l.verOldFrom);
    for (const Stor& s : l.stors) xml += FormatString("      <Stor Ver=\"%d\" URI=\"%s\"/>\n", s.ver, s.uri.c_str());
    xml += "    </StorList>\n";
  }
  xml += "  </BannersData>\n</UpdateData>\n";
  return xml;
}

TVer Version(const std::string& text) {
  TVer v;
  std::sscanf(text.c_str(), "%d.%d.%d.%d", &v.Ver1, &v.Ver2, &v.Ver3, &v.Ver4);
  return v;
}

class WebUpdaterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    installer = "#!/bin/sh\necho installing\n" + std::string(5000, '#') + "\n";
    site.Body("/setup/tagsmith.exe", installer);
    site.Body("/bann/en4.bin", "storage en 4");
    site.Body("/bann/en5.bin", "storage en 5");
    site.Body("/bann/ru2.bin", "storage ru 2");
    Configure(updater);
  }
  void TearDown() override { CutOffAllUpdateChecks(); }

  void Configure(TWebUpdater& u) {
    u.HostName = site.Host();
    u.UpdateFileURI = kUpdatePath;
    u.TempFilesComp = &temp;
    u.PublicKey = key.PublicKey();
    u.Transfer.ConnectTimeout = 2s;
    u.Transfer.ReadTimeout = 1s;
    u.Transfer.IdleSlice = 10ms;
    u.OnGetProgVer = [this] {
      mainThreadOnly = mainThreadOnly && SyncQueue::Main().IsMainThread();
      return installed;
    };
    u.OnBannerCheck = [this](const std::string& lang, int32_t ver) {
      mainThreadOnly = mainThreadOnly && SyncQueue::Main().IsMainThread();
      bannerChecks.push_back(lang + ":" + std::to_string(ver));
      return present.count(lang + ":" + std::to_string(ver)) > 0;
    };
    u.OnOldBannProcessEvent = [this](int32_t oldVer, const std::string& lang) {
      mainThreadOnly = mainThreadOnly && SyncQueue::Main().IsMainThread();
      oldBanners.push_back(lang + "<=" + std::to_string(oldVer));
    };
    u.OnCheckComplete = [this](const TCheckRec& prog, const TCheckRecArr& banner) {
      mainThreadOnly = mainThreadOnly && SyncQueue::Main().IsMainThread();
      completions.push_back({prog, banner});
    };
  }

  // The usual update file: installer 1.1.0.1 (signed unless told), en
  // storages 4 and 5 above 3, ru storage 2 above -1.
  void ServeUpdate(const std::string& progVer = "1.1.0.1", std::optional<std::string> sig = {}) {
    if (!sig) sig = key.SignBytes(*FileDigestOf(installer));
    site.Body(kUpdatePath, UpdateXml(site.Host(), progVer, "/setup/tagsmith.exe", sig,
                                     {{"en", 3, {{4, "/bann/en4.bin"}, {5, "/bann/en5.bin"}}},
                                      {"ru", -1, {{2, "/bann/ru2.bin"}}}}));
  }
  std::optional<std::string> FileDigestOf(const std::string& bytes) {
    const auto file = scratch / "digest.bin";
    testing::WriteFile(file, bytes);
    return FileDigest(file.string());
  }

  // Starts a check and serves the main thread until it has ended.
  void RunCheck(TWebUpdater& u) {
    u.CheckForUpdates();
    SyncQueue::Main().ServeUntil([&] { return u.RunningChecks() == 0; });
  }
  void RunCheck() { RunCheck(updater); }

  struct Completion {
    TCheckRec prog;
    TCheckRecArr banner;
  };
  // The one completion of the check; its downloads as "-" or the file's bytes.
  std::vector<std::string> Downloads() {
    EXPECT_EQ(completions.size(), 1u);
    std::vector<std::string> out;
    if (completions.empty()) return out;
    const Completion& c = completions.back();
    const auto show = [](const TCheckRec& r) {
      if (!r.Downloaded) return r.FileName.empty() ? std::string("-") : "(named " + r.FileName + ")";
      return testing::ReadFile(r.FileName);
    };
    out.push_back(c.prog.Downloaded ? (testing::ReadFile(c.prog.FileName) == installer ? "installer" : "other bytes")
                                    : show(c.prog));
    for (const TCheckRec& r : c.banner) out.push_back(show(r));
    return out;
  }
  // Files left in the temporary folder with that extension.
  int FilesLeft(const std::string& extension) {
    int n = 0;
    std::error_code ec;
    for (const auto& e : std::filesystem::recursive_directory_iterator(home / ".cache", ec))
      if (e.is_regular_file() && e.path().extension() == extension) ++n;
    return n;
  }

  testing::TempHome home;
  testing::TempDir scratch;
  testing::SigningKey key;
  Site site;
  TTempFiles temp;
  std::string installer;
  TVer installed = Version("1.1.0.0");
  std::set<std::string> present;
  std::vector<std::string> bannerChecks, oldBanners;
  std::vector<Completion> completions;
  bool mainThreadOnly = true;
  TWebUpdater updater;  // last: destroyed first, cutting its checks off
};

TEST_F(WebUpdaterTest, ACheckDownloadsTheNewerSignedInstallerAndTheMissingStorages) {
  ServeUpdate();
  RunCheck();
  EXPECT_EQ(Downloads(), (std::vector<std::string>{"installer", "storage en 4", "storage en 5", "storage ru 2"}));
  const TCheckRec& prog = completions[0].prog;
  EXPECT_EQ(prog.Signature, key.SignBytes(*FileDigestOf(installer)));
  EXPECT_EQ(std::filesystem::path(prog.FileName).extension(), ".exe");
  EXPECT_EQ(std::filesystem::path(completions[0].banner[0].FileName).extension(), ".tmp");
  // Every file came from the temporary-files component.
  for (const std::string& f : {prog.FileName, completions[0].banner[2].FileName})
    EXPECT_NE(std::find(temp.RegisteredFiles().begin(), temp.RegisteredFiles().end(), f), temp.RegisteredFiles().end());
  EXPECT_EQ(bannerChecks, (std::vector<std::string>{"en:4", "en:5", "ru:2"}));
  EXPECT_EQ(oldBanners, (std::vector<std::string>{"en<=3", "ru<=-1"}));
  EXPECT_EQ(site.Targets(), (std::vector<std::string>{kUpdatePath, "/setup/tagsmith.exe", "/bann/en4.bin",
                                                      "/bann/en5.bin", "/bann/ru2.bin"}));
  EXPECT_TRUE(mainThreadOnly);
}

TEST_F(WebUpdaterTest, TheVersionOrderDecidesWhetherTheInstallerIsDownloaded) {
  struct Case {
    const char* installed;
    const char* offered;
    bool download;
  };
  const Case cases[] = {
      {"1.1.0.0", "1.0.9.9", false}, {"1.1.0.0", "1.1.0.1", true},  {"1.1.0.0", "1.1.0.0", false},
      {"1.1.0.0", "1.2.0.0", true},  {"2.0.0.0", "10.0.0.0", true}, {"1.1.0.0", "0.99.99.99", false},
      {"-1.-1.-1.-1", "9.9.9.9", false}, {"1.1.0.-1", "9.9.9.9", false}, {"1.1.0.0", "9.9.9.-1", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.installed) + " vs " + c.offered);
    completions.clear();
    installed = Version(c.installed);
    ServeUpdate(c.offered);
    RunCheck();
    ASSERT_EQ(completions.size(), 1u);
    EXPECT_EQ(completions[0].prog.Downloaded, c.download);
    // Storages do not depend on the program version.
    EXPECT_EQ(completions[0].banner.size(), 3u);
    EXPECT_TRUE(completions[0].banner[0].Downloaded);
  }
}

TEST_F(WebUpdaterTest, AnInstallerWithoutTheMakersSignatureIsDeletedAndNotReported) {
  testing::SigningKey stranger;
  struct Case {
    const char* what;
    std::optional<std::string> sig;  // nullopt: no Sig attribute
    std::string served;              // the installer bytes the server sends
  };
  const std::string good = key.SignBytes(*FileDigestOf(installer));
  std::string tampered = installer;
  tampered[tampered.size() / 2] ^= 0x01;
  const Case cases[] = {
      {"unsigned", std::nullopt, installer},
      {"empty signature", std::string(), installer},
      {"garbage signature", std::string("%%%"), installer},
      {"signed by another key", stranger.SignBytes(*FileDigestOf(installer)), installer},
      {"one byte changed after signing", good, tampered},
      {"cut short after signing", good, installer.substr(0, installer.size() - 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    completions.clear();
    site.Body("/setup/tagsmith.exe", c.served);
    site.Body(kUpdatePath, UpdateXml(site.Host(), "1.1.0.1", "/setup/tagsmith.exe", c.sig,
                                     {{"en", 3, {{4, "/bann/en4.bin"}}}}));
    RunCheck();
    EXPECT_EQ(Downloads(), (std::vector<std::string>{"-", "storage en 4"}));
    EXPECT_EQ(FilesLeft(".exe"), 0);
  }
}

TEST_F(WebUpdaterTest, StorageRulesFollowLanguageVersionsAndWhatIsPresent) {
  TSimpleTranslator translator;
  translator.SetLangDir(std::string(TAGSMITH_SOURCE_DIR) + "/Lang");
  struct Case {
    const char* what;
    const char* lang;  // nullptr: no translator
    std::vector<List> lists;
    std::set<std::string> present;
    std::vector<std::string> downloads;  // installer first
  };
  const std::vector<Case> cases = {
      {"the current language only", "en",
       {{"en", 3, {{4, "/bann/en4.bin"}}}, {"ru", -1, {{2, "/bann/ru2.bin"}}}},
       {},
       {"-", "storage en 4", "-"}},
      {"another language downloads none of its list", "ru",
       {{"en", 3, {{4, "/bann/en4.bin"}, {5, "/bann/en5.bin"}}}},
       {},
       {"-", "-", "-"}},
      {"without a translator every language", nullptr,
       {{"en", 3, {{4, "/bann/en4.bin"}}}, {"ru", -1, {{2, "/bann/ru2.bin"}}}},
       {},
       {"-", "storage en 4", "storage ru 2"}},
      {"a version equal to VerOldFrom, or below it, or missing", "en",
       {{"en", 4, {{4, "/bann/en4.bin"}, {3, "/bann/en5.bin"}, {-1, "/bann/en5.bin"}, {5, "/bann/en5.bin"}}}},
       {},
       {"-", "-", "-", "-", "storage en 5"}},
      {"a storage already present", "en",
       {{"en", 3, {{4, "/bann/en4.bin"}, {5, "/bann/en5.bin"}}}},
       {"en:4"},
       {"-", "-", "storage en 5"}},
      {"the language compares exactly", "en", {{"EN", 3, {{4, "/bann/en4.bin"}}}}, {}, {"-", "-"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    completions.clear();
    bannerChecks.clear();
    oldBanners.clear();
    present = c.present;
    installed = Version("-1.-1.-1.-1");  // no installer: only storages
    if (c.lang) translator.SetCurrLang(c.lang);
    updater.Translator = c.lang ? &translator : nullptr;
    site.Body(kUpdatePath, UpdateXml(site.Host(), "1.1.0.1", "/setup/tagsmith.exe", std::nullopt, c.lists));
    RunCheck();
    EXPECT_EQ(Downloads(), c.downloads);
    // Every storage is asked about, and every list told of its obsolete ones.
    size_t stors = 0;
    for (const List& l : c.lists) stors += l.stors.size();
    EXPECT_EQ(bannerChecks.size(), stors);
    EXPECT_EQ(oldBanners.size(), c.lists.size());
  }
}

TEST_F(WebUpdaterTest, FailuresEndTheCheckWithTheResultsSoFar) {
  const std::string update = UpdateXml("SERVER", "1.1.0.1", "/setup/tagsmith.exe", "SIG",
                                       {{"en", 3, {{4, "/bann/en4.bin"}, {5, "/bann/en5.bin"}}},
                                        {"ru", -1, {{2, "/bann/ru2.bin"}}}});
  const auto file = [&](const std::string& server) {
    std::string xml = update;
    xml.replace(xml.find("SERVER"), 6, server);
    xml.replace(xml.find("SIG"), 3, key.SignBytes(*FileDigestOf(installer)));
    return xml;
  };
  struct Case {
    const char* what;
    std::function<void()> arrange;
    std::optional<std::vector<std::string>> downloads;  // nullopt: no completion at all
    std::vector<std::string> oldBanners;
  };
  const std::vector<Case> cases = {
      {"an HTTP error on the update file",
       [&] { site.Route(kUpdatePath, Status("500 Internal Server Error")); }, std::vector<std::string>{"-"}, {}},
      {"a redirect is not followed",
       [&] {
         site.Route(kUpdatePath, [](Connection& c) { c.Send(HttpReply("", "302 Found", "Location: /x\r\n")); });
       },
       std::vector<std::string>{"-"}, {}},
      {"an update file cut short", [&] { site.Route(kUpdatePath, Truncated(file(site.Host()))); },
       std::vector<std::string>{"-"}, {}},
      {"an update file past its limit",
       [&] { site.Body(kUpdatePath, file(site.Host()) + "<!--" + std::string(5000, 'x') + "-->"); },
       std::vector<std::string>{"-"}, {}},
      {"a root differing in letter case",
       [&] {
         std::string xml = file(site.Host());
         for (size_t at; (at = xml.find("UpdateData")) != std::string::npos;) xml.replace(at, 10, "updateData");
         site.Body(kUpdatePath, xml);
       },
       std::vector<std::string>{"-"}, {}},
      {"garbage instead of XML", [&] { site.Body(kUpdatePath, "\x01\x02<<<>>> not xml"); },
       std::vector<std::string>{"-"}, {}},
      {"an empty UpdateServer", [&] { site.Body(kUpdatePath, file("")); }, std::vector<std::string>{"-"}, {}},
      {"an HTTP error on the installer keeps the check from the storages",
       [&] {
         site.Body(kUpdatePath, file(site.Host()));
         site.Route("/setup/tagsmith.exe", Status("404 Not Found"));
       },
       std::vector<std::string>{"-"}, {}},  // the storage results were not sized yet
      {"an HTTP error on the second of three storages",
       [&] {
         site.Body(kUpdatePath, file(site.Host()));
         site.Route("/bann/en5.bin", Status("403 Forbidden"));
       },
       std::vector<std::string>{"installer", "storage en 4", "-", "-"}, {}},
      {"a storage cut short",
       [&] {
         site.Body(kUpdatePath, file(site.Host()));
         site.Route("/bann/en4.bin", Truncated("storage en 4, and a long tail"));
       },
       std::vector<std::string>{"installer", "-", "-", "-"}, {}},
      {"a storage past its limit",
       [&] {
         site.Body(kUpdatePath, file(site.Host()));
         site.Body("/bann/en5.bin", std::string(3000, 's'));
       },
       std::vector<std::string>{"installer", "storage en 4", "-", "-"}, {}},
      {"an installer past its limit",
       [&] {
         site.Body(kUpdatePath, file(site.Host()));
         site.Body("/setup/tagsmith.exe", installer + std::string(20000, 'x'));
       },
       std::vector<std::string>{"-"}, {}},
      {"a stalled update file ends the check without its event",
       [&] { site.Route(kUpdatePath, Stall()); }, std::nullopt, {}},
      {"a stalled storage ends the check without its event",
       [&] {
         site.Body(kUpdatePath, file(site.Host()));
         site.Route("/bann/en5.bin", Stall());
       },
       std::nullopt, {}},
      {"a closed connection without a reply", [&] { site.Route(kUpdatePath, [](Connection&) {}); }, std::nullopt, {}},
      {"a refused connection",
       [&] { updater.HostName = "127.0.0.1:" + std::to_string(testing::UnusedPort()); }, std::nullopt, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    completions.clear();
    oldBanners.clear();
    Configure(updater);
    updater.Transfer.MaxUpdateFileBytes = 4096;
    updater.Transfer.MaxStorageBytes = 2048;
    updater.Transfer.MaxInstallerBytes = 16384;
    updater.Translator = nullptr;
    site.Body("/setup/tagsmith.exe", installer);
    site.Body("/bann/en4.bin", "storage en 4");
    site.Body("/bann/en5.bin", "storage en 5");
    ASSERT_LT(file(site.Host()).size(), 4096u);
    c.arrange();
    const auto start = std::chrono::steady_clock::now();
    RunCheck();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    if (c.downloads) {
      EXPECT_EQ(Downloads(), *c.downloads);
    } else {
      EXPECT_TRUE(completions.empty());
    }
    // What failed left no partial file behind.
    if (!completions.empty()) {
      int downloaded = completions[0].prog.Downloaded ? 1 : 0;
      for (const TCheckRec& b : completions[0].banner) downloaded += b.Downloaded ? 1 : 0;
      EXPECT_EQ(FilesLeft(".exe") + FilesLeft(".tmp"), downloaded);
    }
    // Downloaded files are the component's; drop them for the next case.
    for (const std::string& f : std::vector<std::string>(temp.RegisteredFiles())) std::filesystem::remove(f);
  }
}

TEST_F(WebUpdaterTest, MissingEventsAndTemporaryFilesEndTheCheckAsTheyShould) {
  ServeUpdate();
  updater.OnGetProgVer = nullptr;
  RunCheck();
  EXPECT_EQ(Downloads(), (std::vector<std::string>{"-"}));
  EXPECT_TRUE(bannerChecks.empty());

  completions.clear();
  Configure(updater);
  updater.OnBannerCheck = nullptr;
  RunCheck();
  EXPECT_EQ(Downloads(), (std::vector<std::string>{"installer", "-", "-", "-"}));
  EXPECT_TRUE(oldBanners.empty());

  // Without the temporary-files component nothing can be downloaded, and the
  // check ends without its event.
  completions.clear();
  Configure(updater);
  updater.TempFilesComp = nullptr;
  RunCheck();
  EXPECT_TRUE(completions.empty());
  installed = Version("-1.-1.-1.-1");
  RunCheck();
  EXPECT_TRUE(completions.empty());
  EXPECT_EQ(bannerChecks, (std::vector<std::string>{"en:4"}));

  // A handler's own failure ends the check too.
  completions.clear();
  Configure(updater);
  updater.OnGetProgVer = []() -> TVer { throw std::runtime_error("the handler failed"); };
  RunCheck();
  EXPECT_TRUE(completions.empty());

  // Without a completion handler the check still runs to its end.
  Configure(updater);
  updater.OnCheckComplete = nullptr;
  bannerChecks.clear();
  RunCheck();
  EXPECT_EQ(bannerChecks.size(), 3u);
}

TEST_F(WebUpdaterTest, EachCheckKeepsTheSettingsItStartedWith) {
  ServeUpdate();
  updater.CheckForUpdates();
  // Changed at once: the check already holds its copies.
  updater.HostName = "127.0.0.1:" + std::to_string(testing::UnusedPort());
  updater.OnCheckComplete = nullptr;
  SyncQueue::Main().ServeUntil([&] { return updater.RunningChecks() == 0; });
  EXPECT_EQ(Downloads().size(), 4u);

  // Two checks at once are independent.
  completions.clear();
  Configure(updater);
  updater.CheckForUpdates();
  updater.CheckForUpdates();
  SyncQueue::Main().ServeUntil([&] { return updater.RunningChecks() == 0; });
  ASSERT_EQ(completions.size(), 2u);
  EXPECT_NE(completions[0].prog.FileName, completions[1].prog.FileName);
}

TEST_F(WebUpdaterTest, ACheckCutOffByItsOwnersEndReachesNothingAndDoesNotWaitForTheServer) {
  // The server stalls far longer than the test may take.
  site.Route(kUpdatePath, Stall());
  {
    TWebUpdater owner;
    Configure(owner);
    owner.Transfer.ReadTimeout = 60s;
    owner.CheckForUpdates();
    while (site.Targets().empty()) std::this_thread::sleep_for(1ms);
  }
  const auto start = std::chrono::steady_clock::now();
  SyncQueue::Main().ServeUntil([] { return RunningUpdateChecks() == 0; });
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);

  // A step already waiting for the main thread when the owner goes is dropped.
  ServeUpdate();
  int asked = 0;
  {
    TWebUpdater owner;
    Configure(owner);
    owner.OnGetProgVer = [&] {
      ++asked;
      return installed;
    };
    owner.CheckForUpdates();
    // Let the worker fetch the file and queue its first step, unserved.
    while (site.Targets().size() < 2) std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(100ms);
  }
  SyncQueue::Main().ServeUntil([] { return RunningUpdateChecks() == 0; });
  EXPECT_EQ(asked, 0);
  EXPECT_TRUE(completions.empty());
  EXPECT_TRUE(bannerChecks.empty());
}

}  // namespace
}  // namespace tagsmith
