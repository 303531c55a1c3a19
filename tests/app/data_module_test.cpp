// The data module over a real settings store and language folder in a
// temporary home, with an editor window that records what is asked of it.

#include "app/data_module.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/global_share.h"
#include "platform/xml.h"
#include "support/banner_storage.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

namespace fs = std::filesystem;
using testing::WriteFile;

// A component of the editor window: its Caption and Hint, in the order set.
class Component : public IPropertyTarget {
 public:
  bool SetStringProperty(const std::string& name, const std::string& value) override {
    if (name != "Caption" && name != "Hint") return false;
    props[name] = value;
    order.push_back(name);
    return true;
  }
  std::map<std::string, std::string> props;
  std::vector<std::string> order;
};

// An editor window that has every component but `missing`.
class Window : public IDataModuleHost {
 public:
  IPropertyTarget* FindPropertyTarget(const char* component, int menuItem) override {
    asked.push_back(std::string(component) + (menuItem >= 0 ? "#" + std::to_string(menuItem) : ""));
    if (onFind) onFind();
    if (asked.back() == missing) return nullptr;
    return &components[asked.back()];
  }
  void ShowBalloon(const std::string& title, const std::string& text, bool error, int timeoutMs) override {
    balloons.push_back(title + ": " + text);
  }

  std::vector<std::string> asked;
  std::map<std::string, Component> components;
  std::vector<std::string> balloons;
  std::string missing;
  std::function<void()> onFind;
};

class Tasks : public IDataModuleTasks {
 public:
  void StartUpdateCheck() override { ++checks; }
  void ShowNextBanner() override { ++banners; }
  void RestartBannerRotation() override { ++restarts; }
  int checks = 0, banners = 0, restarts = 0;
};

// A language file that gives every key of the table its own name as text,
// prefixed by `prefix`.
std::string EveryKeyFile(const std::string& code, const std::string& prefix) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<TranslateData Lang=\"" + code + "\" ViewLang=\"" +
                    code + "\">\n";
  for (const TTranslationKey& key : kTranslationKeys)
    xml += std::string("<Text Name=\"") + key.Name + "\"><Line Index=\"0\">" + prefix + key.Name + "</Line></Text>\n";
  return xml + "</TranslateData>\n";
}

class DataModuleTest : public ::testing::Test {
 protected:
  DataModuleTest() {
    fs::create_directories(lang);
    WriteFile(lang / "en.xml", EveryKeyFile("en", "en:"));
    WriteFile(lang / "xx.xml", EveryKeyFile("xx", "xx:"));
    WriteFile(home / "prog/Data/storage_en_1.bin", testing::BannerStorageBytes("en", 1, {100}));
    ProgramTickCounters() = {};
  }
  ~DataModuleTest() override {
    CutOffAllUpdateChecks();
    ProgramTickCounters() = {};
    DoneGlobalShare();
  }
  void Open() {
    InitGlobalShare((home / "prog/tagsmith").string());
    // The start's update check asks a port where nothing listens.
    GetSettingsStore().Write(settings::kUpdateHost, "127.0.0.1:9");
  }
  // The property keys of the table in its order, as the window is asked for
  // them, leaving out those of `other`.
  static std::vector<std::string> PropertyComponents(TKeyScope other) {
    std::vector<std::string> out;
    for (const TTranslationKey& key : kTranslationKeys)
      if (key.Kind == tkProperty && key.Scope != other)
        out.push_back(std::string(key.Component) + (key.MenuItem >= 0 ? "#" + std::to_string(key.MenuItem) : ""));
    return out;
  }

  testing::TempHome home;
  const fs::path lang = home / "prog/Lang";
  Window window;
};

TEST_F(DataModuleTest, CreationRegistersTheWholeKeyTableInOrderAndTranslates) {
  Open();
  for (TDeliverable deliverable : {dlProgram, dlControl}) {
    Window w;
    TDataModuleMain dm(deliverable, &w);
    dm.DataModuleCreate();
    const bool program = deliverable == dlProgram;
    EXPECT_EQ(w.asked, PropertyComponents(program ? ksControlOnly : ksProgramOnly));

    // Every variable key's text in its member; the other deliverable's key untouched.
    for (const TTranslationKey& key : kTranslationKeys) {
      if (key.Kind != tkVariable) continue;
      const std::string* text = dm.Strings().Find(key.Name);
      ASSERT_NE(text, nullptr) << key.Name;
      const bool registered = key.Scope != (program ? ksControlOnly : ksProgramOnly);
      EXPECT_EQ(*text, registered ? std::string("en:") + key.Name : "") << key.Name;
    }
    // Property keys: Caption before Hint, each only where the key names it.
    EXPECT_EQ(w.components["Action_FontBold"].order, (std::vector<std::string>{"Caption", "Hint"}));
    EXPECT_EQ(w.components["Action_FontBold"].props["Caption"], "en:FontBold");
    EXPECT_EQ(w.components["jvbtnFontColor"].props, (std::map<std::string, std::string>{{"Hint", "en:FontColor"}}));
    EXPECT_EQ(w.components["MenuBarMain#2"].props["Caption"], "en:HelpMenu_Caption");
    EXPECT_EQ(w.components["Action_NewDoc"].props,
              (std::map<std::string, std::string>{{"Caption", "en:NewDoc_Caption"}, {"Hint", "en:NewDoc_Hint"}}));
    EXPECT_EQ(w.components.count("TrayIconMain"), program ? 1u : 0u);
    EXPECT_EQ(dm.TranMain().CurrLang(), "en");
  }
}

TEST_F(DataModuleTest, AComponentTheWindowLacksIsLeftOutAndTheRestTranslated) {
  Open();
  window.missing = "Action_Save";
  TDataModuleMain dm(dlProgram, &window);
  dm.DataModuleCreate();
  EXPECT_EQ(window.components.count("Action_Save"), 0u);
  EXPECT_EQ(window.components["Action_SaveAs"].props["Caption"], "en:SaveAsFile_Caption");

  // No window at all: the variables are still translated.
  TDataModuleMain alone(dlControl, nullptr);
  alone.DataModuleCreate();
  EXPECT_EQ(alone.Strings().PasteAndExit, "en:PasteAndExit");
}

TEST_F(DataModuleTest, TheTagSetsAreReadFromTheStoreAndReachedThroughTheDataModule) {
  Open();
  TBBCODETagSetHolder stored;
  stored.Data.Exclude(bttBold);
  GetSettingsStore().WritePersistent(settings::kBBCodeTagSet, stored);
  TDataModuleMain dm(dlProgram, &window);
  EXPECT_EQ(dm.BBCodeTagSet(), nullptr);
  dm.DataModuleCreate();
  ASSERT_NE(dm.BBCodeTagSet(), nullptr);
  EXPECT_FALSE(dm.BBCodeTagSet()->Data.Contains(bttBold));
  EXPECT_EQ(dm.HTMLTagSet()->Data.Bits(), THTMLTagSetHolder::kDefault);
  const TConvertEnvironment env = dm.ConvertEnvironment();
  EXPECT_EQ(env.TagSets.BBCode, dm.BBCodeTagSet());
  EXPECT_EQ(env.TagSets.Html, dm.HTMLTagSet());
  EXPECT_EQ(env.TempFiles, &dm.TempFilesMain());
  EXPECT_EQ(env.Strings, &dm.Strings());
  dm.DataModuleDestroy();
  EXPECT_EQ(dm.TagSets().BBCode, nullptr);
}

TEST_F(DataModuleTest, TheDialectsAreReadWithTheTagSetsAndReachTheWriters) {
  Open();
  WriteDialects(GetSettingsStore(), {mdHtml5, mdVBulletin});
  TDataModuleMain dm(dlProgram, &window);
  EXPECT_EQ(dm.Dialects().BBCode, mdClassic);
  dm.DataModuleCreate();
  EXPECT_EQ(dm.Dialects().Html, mdHtml5);
  EXPECT_EQ(dm.Dialects().BBCode, mdVBulletin);
  ASSERT_EQ(dm.ConvertEnvironment().TagSets.Dialects, &dm.Dialects());
  dm.DataModuleDestroy();
  EXPECT_EQ(dm.Dialects().Html, mdClassic);
  EXPECT_EQ(dm.Dialects().BBCode, mdClassic);
}

TEST_F(DataModuleTest, TheControlReadsTheTagSetsBeforeTheTranslatorAndTheProgramAfter) {
  Open();
  for (TDeliverable deliverable : {dlProgram, dlControl}) {
    Window w;
    TDataModuleMain dm(deliverable, &w);
    bool tagSetsFirst = false;
    w.onFind = [&] { tagSetsFirst = tagSetsFirst || dm.BBCodeTagSet() != nullptr; };
    dm.DataModuleCreate();
    EXPECT_EQ(tagSetsFirst, deliverable == dlControl);
  }
}

TEST_F(DataModuleTest, ALanguageFileThatIsNotWellFormedIsReportedOnceAndTheDataModuleStaysUsable) {
  WriteFile(lang / "broken.xml", "<TranslateData Lang=\"br\"><Text Name=\"x\">");
  Open();
  TBBCODETagSetHolder stored;
  stored.Data.Exclude(bttItalic);
  GetSettingsStore().WritePersistent(settings::kBBCodeTagSet, stored);
  Tasks tasks;
  TDataModuleMain dm(dlProgram, &window);
  dm.SetTasks(&tasks);
  int errors = 0;
  try {
    dm.DataModuleCreate();
  } catch (const EXmlError& e) {
    ++errors;
    EXPECT_NE(std::string(e.what()).find("broken.xml"), std::string::npos) << e.what();
  }
  EXPECT_EQ(errors, 1);
  // The later steps ran all the same.
  ASSERT_NE(dm.BBCodeTagSet(), nullptr);
  EXPECT_FALSE(dm.BBCodeTagSet()->Data.Contains(bttItalic)) << "the stored tag sets are in force";
  EXPECT_EQ(window.asked, PropertyComponents(ksControlOnly)) << "the keys are registered";
  // Nothing more is thrown, and the rest works.
  EXPECT_NO_THROW(dm.ReloadLanguage());
  EXPECT_EQ(tasks.restarts, 1);
  EXPECT_NO_THROW(dm.TimerMainTimer());
  EXPECT_NE(dm.TempFilesMain().CreateTempFileName(".html"), "");
}

TEST_F(DataModuleTest, AMissingLanguageFolderLeavesTheTextsEmptyWithoutAnError) {
  fs::remove_all(lang);
  Open();
  TDataModuleMain dm(dlProgram, &window);
  EXPECT_NO_THROW(dm.DataModuleCreate());
  EXPECT_EQ(dm.TranMain().CurrLang(), "");
  EXPECT_EQ(dm.Strings().ConvertDlg_Caption, "");
  EXPECT_TRUE(window.components["Action_FontBold"].props.empty());
  EXPECT_NE(dm.BBCodeTagSet(), nullptr);
}

TEST_F(DataModuleTest, ReloadLanguageTranslatesInTheNewLanguageAndRestartsTheBanners) {
  Open();
  Tasks tasks;
  TDataModuleMain dm(dlProgram, &window);
  dm.SetTasks(&tasks);
  dm.DataModuleCreate();
  EXPECT_EQ(dm.Strings().UploadImages, "en:UploadImages");
  GetSettingsStore().Write(settings::kUILang, "XX");
  dm.ReloadLanguage();
  EXPECT_EQ(dm.TranMain().CurrLang(), "xx");
  EXPECT_EQ(dm.Strings().UploadImages, "xx:UploadImages");
  EXPECT_EQ(window.components["Action_ConvertTo"].props["Hint"], "xx:ConvertTo");
  EXPECT_EQ(tasks.restarts, 1);
  // A language that is not installed keeps the current one.
  GetSettingsStore().Write(settings::kUILang, "de");
  dm.ReloadLanguage();
  EXPECT_EQ(dm.Strings().UploadImages, "xx:UploadImages");
}

TEST_F(DataModuleTest, TheShippedLanguagesReachTheStrings) {
  const fs::path shipped = fs::path(TAGSMITH_SOURCE_DIR) / "Lang";
  for (const char* name : {"en.xml", "ru.xml"}) fs::copy_file(shipped / name, lang / name, fs::copy_options::overwrite_existing);
  fs::remove(lang / "xx.xml");
  Open();
  GetSettingsStore().Write(settings::kUILang, "ru");
  TDataModuleMain dm(dlProgram, &window);
  dm.DataModuleCreate();
  EXPECT_EQ(dm.TranMain().CurrLang(), "ru");
  EXPECT_FALSE(dm.Strings().ImagesProgressMsg.empty());
  EXPECT_EQ(TConvertWorkflow::CountText(dm.Strings().ImagesProgressMsg, 1, 3).find("%"), std::string::npos);
}

TEST_F(DataModuleTest, ACheckStartsOnThe18001stTickAndABannerChangesEvery61) {
  Open();
  Tasks tasks;
  TDataModuleMain dm(dlControl, &window);
  dm.SetTasks(&tasks);
  for (int i = 0; i < 18000; ++i) dm.TimerMainTimer();
  EXPECT_EQ(tasks.checks, 0);
  EXPECT_EQ(dm.UpdateTicks(), 18000);
  EXPECT_EQ(tasks.banners, 18000 / 61);
  dm.TimerMainTimer();
  EXPECT_EQ(tasks.checks, 1);
  EXPECT_EQ(dm.UpdateTicks(), 0);
  // Without periodic updates the counter still runs but nothing starts.
  dm.SetPeriodicUpdatesEnabled(false);
  for (int i = 0; i < 18001; ++i) dm.TimerMainTimer();
  EXPECT_EQ(tasks.checks, 1);
  EXPECT_EQ(dm.UpdateTicks(), 0);
  EXPECT_EQ(tasks.banners, 36002 / 61);

  // Before creation its own components have nothing to do: the counters run
  // and reset all the same, and nothing fails.
  TDataModuleMain bare(dlControl, &window);
  for (int i = 0; i < 61; ++i) bare.TimerMainTimer();
  EXPECT_EQ(bare.BannerTicks(), 0);
  EXPECT_EQ(bare.UpdateTicks(), 61);
}

TEST_F(DataModuleTest, TheProgramsCountersAreGlobalAndEachControlKeepsItsOwn) {
  Open();
  {
    TDataModuleMain first(dlProgram, &window);
    for (int i = 0; i < 5; ++i) first.TimerMainTimer();
    first.SetPeriodicUpdatesEnabled(false);
  }
  TDataModuleMain second(dlProgram, &window);
  EXPECT_EQ(second.UpdateTicks(), 5);
  EXPECT_FALSE(second.PeriodicUpdatesEnabled());

  TDataModuleMain a(dlControl, &window), b(dlControl, &window);
  a.TimerMainTimer();
  a.SetPeriodicUpdatesEnabled(false);
  EXPECT_EQ(a.UpdateTicks(), 1);
  EXPECT_EQ(b.UpdateTicks(), 0);
  EXPECT_TRUE(b.PeriodicUpdatesEnabled());
}

TEST_F(DataModuleTest, ALocalInstallUsesTheProgramsTempFilesFolder) {
  {
    Registry registry(Registry::DefaultFileName());
    SettingsStore(registry).Write(settings::kLocalInstall, true);
  }
  fs::create_directories(home / "prog/TempFiles");
  Open();
  std::string name;
  {
    TDataModuleMain dm(dlProgram, &window);
    dm.DataModuleCreate();
    name = dm.TempFilesMain().CreateTempFileName(".png");
    EXPECT_EQ(fs::path(name).parent_path(), home / "prog/TempFiles");
    WriteFile(name, "x");
  }
  EXPECT_FALSE(fs::exists(name)) << "the data module's files go with it";
  EXPECT_TRUE(fs::exists(home / "prog/TempFiles"));
}

}  // namespace
}  // namespace tagsmith
