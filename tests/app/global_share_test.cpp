#include "app/global_share.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include "conversion/tag_sets.h"
#include "platform/shell.h"
#include "platform/strings.h"
#include "support/recording_shell.h"
#include "support/signing_key.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

using namespace std::chrono_literals;
using testing::ReadFile;
using testing::ScopedEnv;
using testing::TempHome;
using testing::WriteFile;

constexpr RegistryHive kCU = RegistryHive::CurrentUser;
const std::string kRoot = settings::kRoot;

template <typename E = Exception>
std::string Message(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const E& e) {
    return e.what();
  }
  return "(no exception)";
}

class SettingsStoreTest : public ::testing::Test {
 protected:
  TempHome home;
  Registry registry{Registry::DefaultFileName()};
  SettingsStore store{registry};
};

TEST_F(SettingsStoreTest, FlagsReadAsTheirWordsOrAsNumbers) {
  struct Case {
    std::string stored;
    bool expected;
  };
  const std::vector<Case> cases = {
      {"TRUE", true},  {"true", true},   {"yes", true},  {"YES", true}, {"Y", true},   {"y", true},
      {"FALSE", false}, {"False", false}, {"no", false},  {"N", false},  {"0", false},  {"7", true},
      {"-1", true},    {"0x10", true},   {"maybe", false}, {"", false}, {" yes", false},
  };
  for (const Case& c : cases) {
    store.WriteString("Flag", c.stored);
    EXPECT_EQ(store.ReadFlag("Flag", true), c.expected) << '"' << c.stored << '"';
    EXPECT_EQ(store.ReadFlag("Flag", false), c.expected) << '"' << c.stored << '"';
  }
  registry.WriteDWord(kCU, kRoot, "Flag", 0);
  EXPECT_FALSE(store.ReadFlag("Flag", true));
  registry.WriteDWord(kCU, kRoot, "Flag", 5);
  EXPECT_TRUE(store.ReadFlag("Flag", false));
  EXPECT_TRUE(store.ReadFlag("Absent", true));
  EXPECT_FALSE(store.ReadFlag("Absent", false));
}

TEST_F(SettingsStoreTest, ValuesAreStoredInTheirRegistryKindsAndReadBackWithDefaults) {
  store.WriteFlag("UpscaleImages", false);
  store.WriteInteger("ProgVer1", -1);
  store.WriteString("UILang", "de");
  EXPECT_EQ(*registry.ReadValue(kCU, kRoot, "UpscaleImages"), RegistryValue::String("FALSE"));
  EXPECT_EQ(*registry.ReadValue(kCU, kRoot, "ProgVer1"), RegistryValue::DWord(0xFFFFFFFFu));
  EXPECT_EQ(*registry.ReadValue(kCU, kRoot, "UILang"), RegistryValue::String("de"));

  EXPECT_EQ(store.ReadInteger("ProgVer1", 3), -1);
  EXPECT_EQ(store.ReadString("ProgVer1", ""), "-1");
  EXPECT_EQ(store.ReadString("Absent", "en"), "en");
  EXPECT_EQ(store.ReadInteger("Absent", 42), 42);
  store.WriteString("Number", "12");
  EXPECT_EQ(store.ReadInteger("Number", 0), 12);
  store.WriteString("Number", "twelve");
  EXPECT_EQ(store.ReadInteger("Number", 9), 9);
}

TEST_F(SettingsStoreTest, APathReachesAValueInASubKey) {
  store.WriteString("MainFormData\\NormPos", "10,20,810,620");
  EXPECT_EQ(registry.ReadValue(kCU, kRoot + "\\MainFormData", "NormPos")->text, "10,20,810,620");
  EXPECT_TRUE(store.ValueExists("mainformdata\\normpos"));
  EXPECT_TRUE(store.KeyExists("MainFormData"));
  EXPECT_FALSE(store.ValueExists("MainFormData\\MinMaxPos"));
  EXPECT_TRUE(store.DeleteValue("MainFormData\\NormPos"));
  EXPECT_FALSE(store.ValueExists("MainFormData\\NormPos"));
  EXPECT_TRUE(store.DeleteKey("MainFormData"));
  EXPECT_FALSE(store.KeyExists("MainFormData"));
}

TEST_F(SettingsStoreTest, AFreshStoreYieldsTheTagSetDefaults) {
  THTMLTagSetHolder html;
  TBBCODETagSetHolder bbcode;
  store.ReadPersistent(settings::kHTMLTagSet, html);
  store.ReadPersistent(settings::kBBCodeTagSet, bbcode);
  EXPECT_EQ(html.Data.Bits(), 0x03FF);
  EXPECT_EQ(bbcode.Data.Bits(), 0x00F9);
  EXPECT_TRUE(registry.ListValues(kCU, "").empty());  // reading writes nothing
}

TEST_F(SettingsStoreTest, TagSetsSurviveARoundTrip) {
  for (uint16_t bits : {0x0000, 0x0001, 0x0155, 0x02AA, 0x07FF}) {
    THTMLTagSetHolder written, read;
    written.Data = THTMLTagSet(bits);
    read.Data = THTMLTagSet(static_cast<uint16_t>(~bits));
    store.WritePersistent(settings::kHTMLTagSet, written);
    store.ReadPersistent(settings::kHTMLTagSet, read);
    EXPECT_EQ(read.Data, written.Data) << bits;

    TBBCODETagSetHolder bbWritten, bbRead;
    bbWritten.Data = TBBCODETagSet(bits);
    bbRead.Data = TBBCODETagSet(static_cast<uint16_t>(~bits));
    store.WritePersistent(settings::kBBCodeTagSet, bbWritten);
    store.ReadPersistent(settings::kBBCodeTagSet, bbRead);
    EXPECT_EQ(bbRead.Data, bbWritten.Data) << bits;
  }
}

std::string DataKeyText(Registry& registry, const std::string& set) {
  std::string text;
  const auto entries = registry.ReadKey(kCU, kRoot + "\\" + set + "\\Data");
  if (!entries) return "(no Data key)";
  for (const RegistryEntry& e : *entries)
    text += e.name + "=" + e.value.text + "\n";
  return text;
}

TEST_F(SettingsStoreTest, UncheckingOneKindRewritesEveryElement) {
  TBBCODETagSetHolder bbcode;
  bbcode.Data.Exclude(bttBold);
  store.WritePersistent("bbcode", bbcode);
  EXPECT_EQ(DataKeyText(registry, "bbcode"),
            "bttAlign=FALSE\nbttBold=FALSE\nbttBullets=FALSE\nbttFontColor=TRUE\nbttFontName=FALSE\n"
            "bttFontSize=FALSE\nbttImage=TRUE\nbttItalic=TRUE\nbttStrikeout=TRUE\nbttUnderline=TRUE\n");

  THTMLTagSetHolder html;
  html.Data.Exclude(httItalic);
  store.WritePersistent("html", html);
  EXPECT_EQ(DataKeyText(registry, "html"),
            "httAlign=TRUE\nhttBold=TRUE\nhttBullets=FALSE\nhttFontBkColor=TRUE\nhttFontColor=TRUE\n"
            "httFontName=TRUE\nhttFontSize=TRUE\nhttImage=TRUE\nhttItalic=FALSE\nhttStrikeout=TRUE\n"
            "httUnderline=TRUE\n");
}

TEST_F(SettingsStoreTest, AStoredTagSetIsRebuiltFromItsElementValues) {
  const std::string data = kRoot + "\\bbcode\\Data";
  registry.WriteString(kCU, data, "bttimage", "yes");  // names ignore case
  registry.WriteString(kCU, data, "bttBold", "0");
  registry.WriteString(kCU, data, "bttItalic", "7");
  registry.WriteString(kCU, data, "bttUnderline", "maybe");
  registry.WriteDWord(kCU, data, "bttAlign", 1);
  TBBCODETagSetHolder bbcode;  // bttFontColor and bttStrikeout are on by default but absent here
  store.ReadPersistent("bbcode", bbcode);
  TBBCODETagSet expected;
  expected.Include(bttImage);
  expected.Include(bttItalic);
  expected.Include(bttAlign);
  EXPECT_EQ(bbcode.Data, expected);

  registry.DeleteKey(kCU, data);
  registry.CreateKey(kCU, kRoot + "\\html\\Data");
  THTMLTagSetHolder html;
  store.ReadPersistent("html", html);
  EXPECT_EQ(html.Data.Bits(), 0);  // the key exists: nothing in it means nothing enabled
}

// An object with one property of every simple kind.
class Sample : public IPersistent {
 public:
  std::string text = "initial";
  int64_t number = 5;
  bool flag = true;

  std::vector<PublishedProperty> GetPublishedProperties() override {
    PublishedProperty t;
    t.name = "Text";
    t.kind = PublishedProperty::Kind::String;
    t.getString = [this] { return text; };
    t.setString = [this](const std::string& v) { text = v; };
    PublishedProperty n;
    n.name = "Number";
    n.kind = PublishedProperty::Kind::Integer;
    n.getInteger = [this] { return number; };
    n.setInteger = [this](int64_t v) { number = v; };
    PublishedProperty f;
    f.name = "Flag";
    f.kind = PublishedProperty::Kind::Boolean;
    f.getInteger = [this] { return flag ? 1 : 0; };
    f.setInteger = [this](int64_t v) { flag = v != 0; };
    return {t, n, f};
  }
};

TEST_F(SettingsStoreTest, SimplePropertiesAreValuesAndAbsentOnesKeepTheirCurrentValue) {
  Sample written;
  written.text = "hello";
  written.number = -3;
  written.flag = false;
  store.WritePersistent("Sample", written);
  EXPECT_EQ(*registry.ReadValue(kCU, kRoot + "\\Sample", "Text"), RegistryValue::String("hello"));
  EXPECT_EQ(*registry.ReadValue(kCU, kRoot + "\\Sample", "Number"), RegistryValue::DWord(0xFFFFFFFDu));
  EXPECT_EQ(*registry.ReadValue(kCU, kRoot + "\\Sample", "Flag"), RegistryValue::String("FALSE"));

  registry.DeleteValue(kCU, kRoot + "\\Sample", "Number");
  Sample read;
  store.ReadPersistent("Sample", read);
  EXPECT_EQ(read.text, "hello");
  EXPECT_EQ(read.number, 5);
  EXPECT_FALSE(read.flag);

  Sample untouched;
  store.ReadPersistent("Nowhere", untouched);
  EXPECT_EQ(untouched.text, "initial");
}

TEST_F(SettingsStoreTest, ListValuesGivesPathsBelowTheRoot) {
  store.WriteString("UILang", "en");
  store.WriteFlag("bbcode\\Data\\bttBold", true);
  registry.WriteString(kCU, "Software\\Other", "x", "y");
  const auto listed = store.ListValues();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].path + "|" + listed[0].name, "|UILang");
  EXPECT_EQ(listed[1].path + "|" + listed[1].name, "bbcode\\Data|bttBold");
}

TEST(SettingsTable, NamesAreUniqueAndFoundWithSlashesInAnyCase) {
  std::vector<std::string> seen;
  for (const SettingInfo& s : KnownSettings()) {
    for (const std::string& other : seen) EXPECT_FALSE(EqualsIgnoreCase(other, s.name)) << s.name;
    seen.push_back(s.name);
  }
  ASSERT_NE(FindSetting("bbcode/data/BTTBOLD"), nullptr);
  EXPECT_EQ(FindSetting("bbcode/data/BTTBOLD")->name, "bbcode\\Data\\bttBold");
  EXPECT_EQ(FindSetting("bbcode/data/BTTBOLD")->defaultText, "TRUE");
  EXPECT_EQ(FindSetting("html\\Data\\httBullets")->defaultText, "FALSE");
  EXPECT_EQ(FindSetting("UILang")->defaultText, "en");
  EXPECT_EQ(FindSetting("ProgVer4")->kind, SettingKind::Integer);
  EXPECT_EQ(FindSetting("bbcode")->kind, SettingKind::Group);
  EXPECT_EQ(FindSetting("NoSuchThing"), nullptr);
}

TEST(SettingsTable, HostValuesAreCheckedBeforeUse) {
  struct Case {
    const char* setting;
    std::string value;
    std::string problem;
  };
  const std::vector<Case> cases = {
      {"ImageShackHost", "load%d.imageshack.us", ""},
      {"ImageShackHost", "127.0.0.1:8080", "ImageShackHost must hold exactly one %d and no other %: \"127.0.0.1:8080\""},
      {"ImageShackHost", "load%s.x", "ImageShackHost must hold exactly one %d and no other %: \"load%s.x\""},
      {"ImageShackHost", "load%d%d.x", "ImageShackHost must hold exactly one %d and no other %: \"load%d%d.x\""},
      {"ImageShackHost", "a b%d", "ImageShackHost is not a host name pattern: \"a b%d\""},
      {"FastPicHost", "fastpic.ru", ""},
      {"FastPicHost", "127.0.0.1:8080", ""},
      {"FastPicHost", "", "FastPicHost is empty"},
      {"UpdateHost", "www.quorindo.com/x", "UpdateHost is not a host name: \"www.quorindo.com/x\""},
      {"UpdateHost", "a b", "UpdateHost is not a host name: \"a b\""},
      {"UpscaleImages", "maybe", "UpscaleImages is a flag; \"maybe\" is not TRUE, FALSE, YES, NO, Y, N or a number"},
      {"UpscaleImages", "yes", ""},
      {"ProgVer1", "1.0", "ProgVer1 is an integer; \"1.0\" is not a 32-bit number"},
      {"UILang", "anything at all", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(SettingValueProblem(*FindSetting(c.setting), c.value), c.problem) << c.value;
}

class GlobalShareTest : public ::testing::Test {
 protected:
  void TearDown() override {
    while (true) {
      try {
        GetSettingsStore();
      } catch (const EGlobalShare&) {
        break;
      }
      DoneGlobalShare();
    }
  }
  // Writes settings before the module opens the store, as the installer would.
  void Preset(const std::string& name, const std::string& value) {
    Registry registry(Registry::DefaultFileName());
    SettingsStore(registry).WriteString(name, value);
  }

  TempHome home;
};

TEST_F(GlobalShareTest, TheFolderSetFollowsTheModuleNameInstallDirAndLocalInstall) {
  const std::string h = home.path().string();
  const std::string appData = h + "/.local/share";
  struct Case {
    const char* label;
    std::string module;
    std::optional<std::string> installDir, localInstall;
    bool isLocal;
    std::string exe, dir, banner, tempFiles;
  };
  const std::vector<Case> cases = {
      {"program", h + "/opt/tagsmith/tagsmith", std::nullopt, std::nullopt, false,
       h + "/opt/tagsmith/tagsmith", h + "/opt/tagsmith", appData + "/Quorindo/Tagsmith/BannData", ""},
      {"name differs in case", h + "/opt/tagsmith/Tagsmith", h + "/srv/prog/", std::nullopt, false,
       h + "/srv/prog/tagsmith", h + "/srv/prog", appData + "/Quorindo/Tagsmith/BannData", ""},
      {"two trailing separators keep one", h + "/host/browser", h + "/srv/prog//", std::nullopt, false,
       h + "/srv/prog//tagsmith", h + "/srv/prog/", appData + "/Quorindo/Tagsmith/BannData", ""},
      {"no InstallDir", h + "/host/browser", std::nullopt, std::nullopt, false, "/tagsmith", "",
       appData + "/Quorindo/Tagsmith/BannData", ""},
      {"local install", h + "/opt/t/tagsmith", std::nullopt, "TRUE", true, h + "/opt/t/tagsmith", h + "/opt/t",
       h + "/opt/t/Data", h + "/opt/t/TempFiles"},
      {"local install elsewhere", h + "/host/browser", h + "/usb/tool", "1", true, h + "/usb/tool/tagsmith",
       h + "/usb/tool", h + "/usb/tool/Data", h + "/usb/tool/TempFiles"},
      {"local install off", h + "/opt/t/tagsmith", std::nullopt, "no", false, h + "/opt/t/tagsmith", h + "/opt/t",
       appData + "/Quorindo/Tagsmith/BannData", ""},
  };
  for (const Case& c : cases) {
    {
      Registry registry(Registry::DefaultFileName());
      SettingsStore store(registry);
      store.DeleteValue("InstallDir");
      store.DeleteValue("LocalInstall");
      if (c.installDir) store.WriteString("InstallDir", *c.installDir);
      if (c.localInstall) store.WriteString("LocalInstall", *c.localInstall);
    }
    WriteFile(c.module, "#!/bin/sh\n");
    InitGlobalShare(c.module);
    EXPECT_EQ(IsLocalInstall(), c.isLocal) << c.label;
    EXPECT_EQ(ProgramExePath(), c.exe) << c.label;
    EXPECT_EQ(ProgramDir(), c.dir) << c.label;
    EXPECT_EQ(LanguageDir(), c.dir + "/Lang") << c.label;
    EXPECT_EQ(DataDir(), c.dir + "/Data") << c.label;
    EXPECT_EQ(AppDataDir(), appData) << c.label;
    EXPECT_EQ(BannerDir(), c.banner) << c.label;
    EXPECT_EQ(TempFilesDir(), c.tempFiles) << c.label;
    DoneGlobalShare();
    EXPECT_EQ(ProgramDir(), "") << c.label;
  }
  EXPECT_FALSE(std::filesystem::exists(appData));  // no folder is created here
}

TEST_F(GlobalShareTest, AppDataDirIsTheRoamingFolderWithoutItsTrailingSeparator) {
  ScopedEnv data("XDG_DATA_HOME", (home / "roaming/").string());
  InitGlobalShare((home / "bin/tagsmith").string());
  EXPECT_EQ(AppDataDir(), (home / "roaming").string());
  EXPECT_EQ(BannerDir(), (home / "roaming/Quorindo/Tagsmith/BannData").string());
}

TEST_F(GlobalShareTest, ASecondInitDoesNothingAndTheLastDoneCloses) {
  InitGlobalShare((home / "first/tagsmith").string());
  InitGlobalShare((home / "second/tagsmith").string());
  EXPECT_EQ(ProgramDir(), (home / "first").string());
  DoneGlobalShare();
  EXPECT_NO_THROW(GetSettingsStore());
  DoneGlobalShare();
  EXPECT_EQ(Message<EGlobalShare>([] { GetSettingsStore(); }), "The settings store is not open");
  EXPECT_EQ(Message<EGlobalShare>([] { GetPlainRegistry(); }), "The settings store is not open");
  DoneGlobalShare();  // one too many: harmless
}

TEST_F(GlobalShareTest, EachInitOpensTheStoreOfTheCurrentHome) {
  InitGlobalShare((home / "tagsmith").string());
  GetSettingsStore().Write(settings::kUILang, "de");
  DoneGlobalShare();
  TempHome other;
  InitGlobalShare((other / "tagsmith").string());
  EXPECT_EQ(GetSettingsStore().Read(settings::kUILang), "en");
  EXPECT_EQ(GetSettingsStore().GetRegistry().FileName(), (other / ".config/Quorindo/registry.sqlite3").string());
  DoneGlobalShare();
}

TEST_F(GlobalShareTest, ADamagedRegistryFailsTheInitAndLeavesNothingOpen) {
  const auto file = home / ".config/Quorindo/registry.sqlite3";
  WriteFile(file, std::string(4096, 'x'));
  EXPECT_EQ(Message<ERegistryError>([&] { InitGlobalShare((home / "tagsmith").string()); }),
            "Registry file " + file.string() + " is damaged: file is not a database");
  EXPECT_EQ(Message<EGlobalShare>([] { GetSettingsStore(); }), "The settings store is not open");
  EXPECT_EQ(ProgramDir(), "");
}

TEST_F(GlobalShareTest, TheRunningExecutableIsTheDefaultModule) {
  EXPECT_EQ(std::filesystem::path(CurrentModulePath()).filename(), "app_tests");
  Preset("InstallDir", (home / "installed").string());
  InitGlobalShare();
  EXPECT_EQ(ProgramDir(), (home / "installed").string());  // "app_tests" is not "tagsmith"
}

TEST_F(GlobalShareTest, HostReadersGiveTheDefaultsAndRefuseUnusableValues) {
  InitGlobalShare((home / "tagsmith").string());
  EXPECT_EQ(ReadImageShackHost(), "load%d.imageshack.us");
  EXPECT_EQ(ReadFastPicHost(), "fastpic.ru");
  EXPECT_EQ(ReadUpdateHost(), "www.quorindo.com");
  GetSettingsStore().Write(settings::kImageShackHost, "127.0.0.1:%d");
  EXPECT_EQ(ReadImageShackHost(), "127.0.0.1:%d");
  GetSettingsStore().Write(settings::kImageShackHost, "load%s.x");
  EXPECT_EQ(Message<EGlobalShare>([] { ReadImageShackHost(); }),
            "The setting ImageShackHost must hold exactly one %d and no other %: \"load%s.x\"");
  GetSettingsStore().Write(settings::kUpdateHost, "");
  EXPECT_EQ(Message<EGlobalShare>([] { ReadUpdateHost(); }), "The setting UpdateHost is empty");
}

TEST_F(GlobalShareTest, HandOffValuesReadTheirDefaultsAndTheRecordedUpdate) {
  InitGlobalShare((home / "opt/tagsmith").string());
  EXPECT_EQ(ReadProgVer(), (TVer{-1, -1, -1, -1}));
  EXPECT_TRUE(ReadProgVer().IsMissing());
  EXPECT_FALSE(ReadHasUpdate());
  EXPECT_FALSE(ReadRunn());
  EXPECT_TRUE(ReadNoErr());

  SettingsStore& store = GetSettingsStore();
  store.Write(settings::kProgVer1, 1);
  store.Write(settings::kProgVer2, 1);
  store.Write(settings::kProgVer3, 0);
  store.Write(settings::kProgVer4, 0);
  EXPECT_EQ(ReadProgVer(), (TVer{1, 1, 0, 0}));
  EXPECT_LT(ReadProgVer(), (TVer{1, 1, 0, 1}));
  EXPECT_GT(ReadProgVer(), (TVer{1, 0, 9, 9}));
  store.WriteString("Runn", "Y");
  store.WriteString("NoErr", "0");
  EXPECT_TRUE(ReadRunn());
  EXPECT_FALSE(ReadNoErr());

  StoreDownloadedUpdate("/cache/0000ABCD.exe", "c2ln");
  EXPECT_EQ(*store.GetRegistry().ReadValue(kCU, kRoot, "FileName"), RegistryValue::String("/cache/0000ABCD.exe"));
  EXPECT_EQ(*store.GetRegistry().ReadValue(kCU, kRoot, "FileSig"), RegistryValue::String("c2ln"));
  EXPECT_EQ(*store.GetRegistry().ReadValue(kCU, kRoot, "HasUpdate"), RegistryValue::String("TRUE"));
  EXPECT_TRUE(ReadHasUpdate());
}

class UpdateInstallerTest : public GlobalShareTest {
 protected:
  void SetUp() override {
    InitGlobalShare((home / "opt/tagsmith/tagsmith").string());
    installer = (home / ".cache/0000ABCD.exe").string();
    args = home / "args";
  }
  // An installer that writes its arguments, one a line, to `args`.
  void WriteRecordingInstaller() {
    WriteFile(installer, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" + args.string() +
                             ".part\"\n/bin/mv \"" + args.string() + ".part\" \"" + args.string() + "\"\n");
  }
  void RecordSigned() { StoreDownloadedUpdate(installer, key.SignFile(installer)); }
  // What the installer recorded, waiting for it; empty when it never ran.
  std::string RecordedArguments(std::chrono::milliseconds limit = 20s) {
    for (auto deadline = std::chrono::steady_clock::now() + limit;
         !std::filesystem::exists(args) && std::chrono::steady_clock::now() < deadline;)
      std::this_thread::sleep_for(5ms);
    return std::filesystem::exists(args) ? ReadFile(args) : std::string();
  }
  std::string ExpectedArguments() const {
    return "/SP-\n/VERYSILENT\n/SUPPRESSMSGBOXES\n/dir=\"" + (home / "opt/tagsmith").string() + "\"\n/pid=" +
           std::to_string(getpid()) + "\n";
  }

  testing::SigningKey key;
  testing::RecordingShell shell;
  testing::ScopedShell scoped{shell};
  std::string installer;
  std::filesystem::path args;
};

TEST_F(UpdateInstallerTest, TheSignedInstallerStartsExecutableWithTheSilentSwitches) {
  WriteFile(installer, "#!/bin/sh\n");
  std::filesystem::permissions(installer, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  RecordSigned();
  EXPECT_TRUE(RunUpdateInstaller(key.PublicKey()));
  const auto calls = shell.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].kind, testing::RecordingShell::Call::Kind::Start);
  EXPECT_EQ(calls[0].target, installer);
  EXPECT_EQ(calls[0].arguments,
            (std::vector<std::string>{"/SP-", "/VERYSILENT", "/SUPPRESSMSGBOXES",
                                      "/dir=\"" + (home / "opt/tagsmith").string() + "\"",
                                      "/pid=" + std::to_string(getpid())}));
  struct stat st{};
  ASSERT_EQ(stat(installer.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_TRUE(ReadHasUpdate());  // the installer clears it, not the program
}

TEST_F(UpdateInstallerTest, NothingToRunStartsNothingAndClearsTheWaitingUpdate) {
  std::filesystem::create_directories(home / "a-folder");
  for (const std::string& recorded : {std::string(), installer, (home / "a-folder").string()}) {
    StoreDownloadedUpdate(recorded, "c2ln");
    EXPECT_FALSE(RunUpdateInstaller(key.PublicKey())) << recorded;
    EXPECT_FALSE(ReadHasUpdate()) << recorded;
  }
  EXPECT_TRUE(shell.Calls().empty());
}

TEST_F(UpdateInstallerTest, AnInstallerWithoutTheMakersSignatureIsNeverStarted) {
  testing::SigningKey stranger;
  struct Case {
    const char* what;
    std::function<std::string(const std::string& file)> signature;  // recorded in FileSig
    std::function<void(const std::string& file)> afterSigning;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"unsigned", [](const std::string&) { return std::string(); }, nullptr, "it carries no signature"},
      {"not base64", [](const std::string&) { return std::string("not*base64"); }, nullptr,
       "its signature is not base64 of 64 bytes"},
      {"too short", [](const std::string&) { return EncodeBase64(std::string(63, 'x')); }, nullptr,
       "its signature is not base64 of 64 bytes"},
      {"another key", [&](const std::string& f) { return stranger.SignFile(f); }, nullptr,
       "its signature does not match the maker's key"},
      {"one byte changed after signing", [&](const std::string& f) { return key.SignFile(f); },
       [](const std::string& f) {
         std::string bytes = ReadFile(f);
         bytes[bytes.size() / 2] ^= 0x01;
         WriteFile(f, bytes);
       },
       "its signature does not match the maker's key"},
      {"a byte appended after signing", [&](const std::string& f) { return key.SignFile(f); },
       [](const std::string& f) { WriteFile(f, ReadFile(f) + "\n"); }, "its signature does not match the maker's key"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(installer, "#!/bin/sh\necho installed\n");
    std::filesystem::permissions(installer, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const std::string signature = c.signature(installer);
    if (c.afterSigning) c.afterSigning(installer);
    StoreDownloadedUpdate(installer, signature);
    EXPECT_EQ(Message<EGlobalShare>([&] { RunUpdateInstaller(key.PublicKey()); }),
              "The installer " + installer + " was not started: " + c.reason);
    EXPECT_FALSE(ReadHasUpdate());
    struct stat st{};
    ASSERT_EQ(stat(installer.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0100, 0u);  // not even made executable
  }
  EXPECT_TRUE(shell.Calls().empty());
}

TEST_F(UpdateInstallerTest, TheShippedKeyIsAUsableKeyThatRefusesTestSignatures) {
  EXPECT_NE(MakerPublicKey(), key.PublicKey());
  WriteFile(installer, "#!/bin/sh\n");
  RecordSigned();
  EXPECT_THROW(RunUpdateInstaller(), EGlobalShare);  // the default is the maker's key
  EXPECT_TRUE(shell.Calls().empty());
}

class FailingShell : public IShell {
 public:
  void OpenDocument(const std::string&) override {}
  void StartProgram(const std::string& program, const std::vector<std::string>&) override {
    throw EShellError("Cannot start " + program + ": Exec format error");
  }
};

TEST_F(UpdateInstallerTest, AnInstallerThatCannotStartIsReportedAndNotRetriedForever) {
  FailingShell failing;
  testing::ScopedShell scopedFailing(failing);
  WriteFile(installer, "not a program");
  RecordSigned();
  EXPECT_EQ(Message<EShellError>([&] { RunUpdateInstaller(key.PublicKey()); }),
            "Cannot start " + installer + ": Exec format error");
  EXPECT_FALSE(ReadHasUpdate());
}

TEST_F(UpdateInstallerTest, TheRealShellRunsTheInstallerWithItsArguments) {
  SystemShell real;
  testing::ScopedShell scopedReal(real);
  WriteRecordingInstaller();
  RecordSigned();
  EXPECT_TRUE(RunUpdateInstaller(key.PublicKey()));
  EXPECT_EQ(RecordedArguments(), ExpectedArguments());
}

// The program's first start-up steps, with a real installer script.
TEST_F(UpdateInstallerTest, TheStartUpHandOffEndsStartsOrFallsThroughToANormalStart) {
  SystemShell real;
  testing::ScopedShell scopedReal(real);
  struct Case {
    const char* what;
    const char* runn;       // nullptr: absent
    const char* hasUpdate;  // nullptr: absent
    enum { Signed, Missing, Tampered } file;
    StartupNext next;
    bool started;
    bool problem;
    bool hasUpdateAfter;
  };
  const Case cases[] = {
      {"nothing waiting", nullptr, nullptr, Case::Signed, StartupNext::NormalStart, false, false, false},
      {"HasUpdate false", nullptr, "FALSE", Case::Signed, StartupNext::NormalStart, false, false, false},
      {"Runn ends even with an update waiting", "TRUE", "TRUE", Case::Signed, StartupNext::End, false, false, true},
      {"Runn alone ends", "Y", nullptr, Case::Signed, StartupNext::End, false, false, false},
      {"Runn false lets the update run", "FALSE", "TRUE", Case::Signed, StartupNext::End, true, false, true},
      {"the waiting installer starts and the program ends", nullptr, "TRUE", Case::Signed, StartupNext::End, true,
       false, true},
      {"a missing installer gives a normal start", nullptr, "TRUE", Case::Missing, StartupNext::NormalStart, false,
       false, false},
      {"a tampered installer gives a normal start and a reason", nullptr, "TRUE", Case::Tampered,
       StartupNext::NormalStart, false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(args);
    std::filesystem::remove(installer);
    SettingsStore& store = GetSettingsStore();
    store.DeleteValue("Runn");
    store.DeleteValue("HasUpdate");
    WriteRecordingInstaller();
    StoreDownloadedUpdate(installer, key.SignFile(installer));
    if (c.file == Case::Missing) std::filesystem::remove(installer);
    if (c.file == Case::Tampered) WriteFile(installer, ReadFile(installer) + "echo extra\n");
    if (c.runn) store.WriteString("Runn", c.runn);
    if (c.hasUpdate) store.WriteString("HasUpdate", c.hasUpdate);
    else store.DeleteValue("HasUpdate");

    const StartupHandOffResult result = RunStartupHandOff(key.PublicKey());
    EXPECT_EQ(result.next, c.next);
    EXPECT_EQ(!result.problem.empty(), c.problem) << result.problem;
    if (c.started) EXPECT_EQ(RecordedArguments(), ExpectedArguments());
    else EXPECT_EQ(RecordedArguments(300ms), "");
    EXPECT_EQ(ReadHasUpdate(), c.hasUpdateAfter);
  }
}

class AutostartTest : public GlobalShareTest {
 protected:
  void SetUp() override {
    InitGlobalShare((home / "opt/tagsmith/tagsmith").string());
    ASSERT_TRUE(GetPlainRegistry().OpenKey(settings::kRunKey, true));
  }
  std::filesystem::path file() const { return home / ".config/autostart/Tagsmith.desktop"; }
};

TEST_F(AutostartTest, TheValueIsADesktopEntryThatStartsTheProgram) {
  PlainRegistry& reg = GetPlainRegistry();
  EXPECT_FALSE(reg.ValueExists(settings::kRunValue));
  EXPECT_EQ(reg.ReadString(settings::kRunValue), "");
  const std::string value = "\"" + ProgramExePath() + "\"";
  reg.WriteString(settings::kRunValue, value);
  EXPECT_EQ(ReadFile(file()),
            "[Desktop Entry]\nType=Application\nName=Tagsmith\nExec=\"" + ProgramExePath() +
                "\"\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
  EXPECT_TRUE(reg.ValueExists("tagsmith"));
  EXPECT_EQ(reg.ReadString(settings::kRunValue), value);
  reg.CloseKey();
  EXPECT_EQ(Message<EGlobalShare>([&] { reg.ValueExists(settings::kRunValue); }), "No registry key is open");
  ASSERT_TRUE(reg.OpenKey("software\\microsoft\\windows\\currentversion\\run", false));
  EXPECT_TRUE(reg.DeleteValue(settings::kRunValue));
  EXPECT_FALSE(std::filesystem::exists(file()));
  EXPECT_FALSE(reg.ValueExists(settings::kRunValue));
  EXPECT_FALSE(reg.DeleteValue(settings::kRunValue));
  // The stand-in never reaches the registry file.
  EXPECT_FALSE(GetSettingsStore().GetRegistry().KeyExists(kCU, settings::kRunKey));
}

TEST_F(AutostartTest, PathsWithReservedCharactersAreQuotedAndReadBack) {
  PlainRegistry& reg = GetPlainRegistry();
  const std::string path = "/opt/my tools/$HOME/`x`/50%/back\\slash/tagsmith";
  reg.WriteString(settings::kRunValue, "\"" + path + "\" /show");
  const std::string text = ReadFile(file());
  EXPECT_NE(text.find("\nExec=\"/opt/my tools/\\\\$HOME/\\\\`x\\\\`/50%%/back\\\\\\\\slash/tagsmith\" "
                      "\"/show\"\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(reg.ReadString(settings::kRunValue), "\"" + path + "\" \"/show\"");
}

TEST_F(AutostartTest, AnExistingEntryIsFoundWhateverItsLetterCase) {
  WriteFile(home / ".config/autostart/tagsmith.desktop",
            "[Desktop Entry]\nType=Application\nName=tagsmith\nExec=/usr/bin/tagsmith\n");
  PlainRegistry& reg = GetPlainRegistry();
  EXPECT_TRUE(reg.ValueExists(settings::kRunValue));
  EXPECT_EQ(reg.ReadString(settings::kRunValue), "\"/usr/bin/tagsmith\"");
  reg.WriteString(settings::kRunValue, "\"/opt/tagsmith/tagsmith\"");
  EXPECT_FALSE(std::filesystem::exists(file()));  // the existing file was rewritten
  EXPECT_EQ(reg.ReadString(settings::kRunValue), "\"/opt/tagsmith/tagsmith\"");
}

TEST_F(AutostartTest, UnusableNamesAndCommandsAreRefused) {
  PlainRegistry& reg = GetPlainRegistry();
  EXPECT_EQ(Message<EGlobalShare>([&] { reg.WriteString("../evil", "\"/x\""); }),
            "The autostart entry name \"../evil\" cannot name a file");
  EXPECT_EQ(Message<EGlobalShare>([&] { reg.WriteString(settings::kRunValue, "  "); }),
            "The autostart command is empty");
  EXPECT_FALSE(std::filesystem::exists(home / ".config/autostart"));
}

TEST_F(AutostartTest, OtherKeysLieInTheRegistry) {
  PlainRegistry& reg = GetPlainRegistry();
  EXPECT_FALSE(reg.OpenKey("Software\\Elsewhere", false));
  ASSERT_TRUE(reg.OpenKey("Software\\Elsewhere", true));
  reg.WriteString("v", "x");
  EXPECT_EQ(reg.ReadString("V"), "x");
  EXPECT_EQ(GetSettingsStore().GetRegistry().ReadValue(kCU, "Software\\Elsewhere", "v")->text, "x");
  EXPECT_TRUE(reg.DeleteValue("v"));
  EXPECT_FALSE(reg.ValueExists("v"));
}

}  // namespace
}  // namespace tagsmith
