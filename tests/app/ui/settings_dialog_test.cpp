// The settings dialog on the offscreen platform, over a real settings store,
// the shipped language files and the XDG autostart folder of a temporary
// home.

#include "app/ui/settings_dialog.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTreeWidget>

#include <filesystem>
#include <string>
#include <vector>

#include "app/ui/convert_data_dialog.h"
#include "app/ui/dialog_test_support.h"
#include "app/ui/scripted_modal_ui.h"
#include "richtext/rich_document.h"

namespace tagsmith {
namespace {

using testing::DialogFixture;

class SettingsDialogTest : public DialogFixture {
 protected:
  template <typename T>
  static T* Find(QWidget& dlg, const char* name) {
    T* w = dlg.findChild<T*>(QString::fromUtf8(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  static QCheckBox* Box(QWidget& d, const char* name) { return Find<QCheckBox>(d, name); }
  static QComboBox* Combo(QWidget& d, const char* name) { return Find<QComboBox>(d, name); }
  static std::vector<bool> Checks(QWidget& d, const char* list) {
    std::vector<bool> out;
    QListWidget* l = Find<QListWidget>(d, list);
    for (int i = 0; i < l->count(); ++i) out.push_back(l->item(i)->checkState() == Qt::Checked);
    return out;
  }
  static void SetCheck(QWidget& d, const char* list, int item, bool on) {
    Find<QListWidget>(d, list)->item(item)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  }

  std::filesystem::path AutostartFile() const { return home / ".config/autostart/Tagsmith.desktop"; }

  // Every value of the store, as "path\name=data".
  static std::vector<std::string> StoreContents() {
    std::vector<std::string> out;
    for (const RegistryEntry& e : GetSettingsStore().ListValues())
      out.push_back(e.path + "\\" + e.name + "=" + (e.value.type == RegistryType::String ? e.value.text : std::to_string(e.value.dword)));
    return out;
  }

  testing::ScriptedModalUi modal;
};

TEST_F(SettingsDialogTest, EveryControlBearsItsDesignNameTextAndAccessibleName) {
  TfrmSettings dlg(&editor.window, DataModule());
  EXPECT_EQ(dlg.windowTitle(), "Settings");
  EXPECT_EQ(dlg.size(), QSize(595, 364));
  EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());

  QTreeWidget* tree = Find<QTreeWidget>(dlg, "JvSettingsTreeViewMain");
  QStackedWidget* pages = Find<QStackedWidget>(dlg, "JvPageListMain");
  ASSERT_EQ(tree->topLevelItemCount(), 2);
  EXPECT_EQ(tree->topLevelItem(0)->text(0), "Usage");
  EXPECT_EQ(tree->topLevelItem(1)->text(0), "Processing");
  ASSERT_EQ(pages->count(), 2);
  // The tree selects the page.
  EXPECT_EQ(pages->currentIndex(), 0);
  tree->setCurrentItem(tree->topLevelItem(1));
  EXPECT_EQ(pages->currentIndex(), 1);
  EXPECT_TRUE(pages->widget(1)->isAncestorOf(Box(dlg, "cboxUpscaleImages")));
  EXPECT_TRUE(pages->widget(0)->isAncestorOf(Combo(dlg, "cboxLang")));

  struct Caption {
    const char* name;
    const char* text;
  };
  for (const Caption& c : {Caption{"lbLang", "Language:"}, {"lbImageFormat", "Image format:"},
                           {"lbImageHosting", "Imagehosting:"}, {"Label4", "Used tags:"}})
    EXPECT_EQ(Find<QLabel>(dlg, c.name)->text(), c.text) << c.name;
  for (const Caption& c : {Caption{"cboxStartWithWindows", "Start Tagsmith when I log in"},
                           {"cboxAutoUpdate", "Automatical update"},
                           {"cboxUpscaleImages", "Upscale images rendered from embedded objects"},
                           {"cboxEnableAntiHotlinking", "Enable anti-hotlinking"}})
    EXPECT_EQ(Box(dlg, c.name)->text(), c.text) << c.name;
  EXPECT_EQ(Box(dlg, "cboxEnableAntiHotlinking")->toolTip(),
            "This option prevents firing of anti-hotlinking system of imagehostings.\n"
            "Instead of inserting direct link to big image (more then 35KB) used preview with hyperlink to big image.");
  EXPECT_EQ(Box(dlg, "cboxUpscaleImages")->toolTip(),
            "Upscale images rendered from embedded objects (it reguies a lot of memory)");
  EXPECT_EQ(Find<QPushButton>(dlg, "btnOK")->text(), "OK");
  EXPECT_EQ(Find<QPushButton>(dlg, "btnCancel")->text(), "Cancel");

  QStringList formats, hosts, bbcode, html;
  for (int i = 0; i < Combo(dlg, "cboxImageFormat")->count(); ++i) formats << Combo(dlg, "cboxImageFormat")->itemText(i);
  for (int i = 0; i < Combo(dlg, "cboxImageHosting")->count(); ++i) hosts << Combo(dlg, "cboxImageHosting")->itemText(i);
  EXPECT_EQ(formats, (QStringList{"Auto", "PNG", "JPEG"}));
  EXPECT_EQ(hosts, (QStringList{"ImageShack", "FastPic"}));
  QListWidget* bbList = Find<QListWidget>(dlg, "JvxCheckListBoxBBCODE");
  QListWidget* htmlList = Find<QListWidget>(dlg, "JvxCheckListBoxHTML");
  for (int i = 0; i < bbList->count(); ++i) bbcode << bbList->item(i)->text();
  for (int i = 0; i < htmlList->count(); ++i) html << htmlList->item(i)->text();
  EXPECT_EQ(bbcode, (QStringList{"Image: [img] [/img]", "FontName: [font='Name\"] [/font]",
                                 "FontSize: [size=Size] [/size]", "FontColor: [color=Color] [/color]",
                                 "Bold: [b] [/b]", "Italic: [i] [/i]", "Underline: [u] [/u]",
                                 "Strikeout: [s] [/s]", "Align: [left] [/left], [right] [/right], [center] [/center]",
                                 "Bullets [list] [/list]"}));
  EXPECT_EQ(html, (QStringList{"Image", "FontName", "FontSize", "FontColor", "FontBackColor", "Bold", "Italic",
                               "Underline", "Strikeout", "Align", "Bullets"}));
  QTabWidget* tabs = Find<QTabWidget>(dlg, "PageControlTags");
  EXPECT_EQ(tabs->tabText(0), "BBCODE");
  EXPECT_EQ(tabs->tabText(1), "HTML");

  for (QWidget* w : dlg.findChildren<QWidget*>()) {
    const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                         qobject_cast<QListWidget*>(w) || qobject_cast<QTreeWidget*>(w);
    if (!control || w->objectName().startsWith("qt_")) continue;
    EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
  }
}

TEST_F(SettingsDialogTest, OpeningShowsTheStoredOptions) {
  struct Case {
    const char* imageFormat;
    const char* shownFormat;
    const char* imageHosting;
    const char* shownHost;
  };
  const Case cases[] = {
      {"", "Auto", "", "ImageShack"},
      {"png", "PNG", "fastpic", "FastPic"},
      {"JPEG", "JPEG", "FastPic", "FastPic"},
      {"Bitmap", "Auto", "Flickr", "ImageShack"},
      {"PNG ", "Auto", " FastPic", "ImageShack"},  // the whole text, nothing more
  };
  TDataModuleMain& dm = DataModule("ru");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.imageFormat);
    GetSettingsStore().Write(settings::kImageFormat, c.imageFormat);
    GetSettingsStore().Write(settings::kImageHosting, c.imageHosting);
    TfrmSettings dlg(&editor.window, dm);
    EXPECT_EQ(Combo(dlg, "cboxImageFormat")->currentText(), c.shownFormat);
    EXPECT_EQ(Combo(dlg, "cboxImageHosting")->currentText(), c.shownHost);
  }

  // The languages of the language folder, the current one selected.
  TfrmSettings dlg(&editor.window, dm);
  EXPECT_EQ(dlg.LanguageList(), (std::vector<std::string>{"en=English", "ru=Русский"}));
  EXPECT_EQ(Combo(dlg, "cboxLang")->count(), 2);
  EXPECT_EQ(Combo(dlg, "cboxLang")->currentText(), QString::fromUtf8("Русский"));
  EXPECT_EQ(dlg.windowTitle(), QString::fromStdString(dm.Strings().SettingsDlg_Caption));
  EXPECT_EQ(Box(dlg, "cboxStartWithWindows")->text(), QString::fromUtf8("Запускать Tagsmith при входе в систему"));

  // Flags default to true; stored ones are shown.
  EXPECT_TRUE(Box(dlg, "cboxAutoUpdate")->isChecked());
  EXPECT_TRUE(Box(dlg, "cboxUpscaleImages")->isChecked());
  EXPECT_TRUE(Box(dlg, "cboxEnableAntiHotlinking")->isChecked());
  EXPECT_FALSE(Box(dlg, "cboxStartWithWindows")->isChecked());
  GetSettingsStore().Write(settings::kUpscaleImages, false);
  GetSettingsStore().WriteString("AutoUpdate", "no");
  testing::WriteFile(AutostartFile(), "[Desktop Entry]\nType=Application\nExec=/elsewhere/tagsmith\n");
  TfrmSettings again(&editor.window, dm);
  EXPECT_FALSE(Box(again, "cboxUpscaleImages")->isChecked());
  EXPECT_FALSE(Box(again, "cboxAutoUpdate")->isChecked());
  EXPECT_TRUE(Box(again, "cboxEnableAntiHotlinking")->isChecked());
  EXPECT_TRUE(Box(again, "cboxStartWithWindows")->isChecked());
}

TEST_F(SettingsDialogTest, TheTagChecksAreReadFromTheStoreIntoTheDataModule) {
  TDataModuleMain& dm = DataModule();
  // Changed behind the data module's back (another instance, tagsmith-config).
  TBBCODETagSetHolder stored;
  stored.Data = TBBCODETagSet(0x0003);
  GetSettingsStore().WritePersistent(settings::kBBCodeTagSet, stored);
  TfrmSettings dlg(&editor.window, dm);
  EXPECT_EQ(dm.BBCodeTagSet()->Data.Bits(), 0x0003);
  EXPECT_EQ(Checks(dlg, "JvxCheckListBoxBBCODE"),
            (std::vector<bool>{true, true, false, false, false, false, false, false, false, false}));
  std::vector<bool> html(11, true);
  html[10] = false;  // the default set leaves out bullets
  EXPECT_EQ(Checks(dlg, "JvxCheckListBoxHTML"), html);
}

TEST_F(SettingsDialogTest, OkWithoutChangesRewritesEveryValueAndKeepsTheLanguage) {
  TDataModuleMain& dm = DataModule();
  GetSettingsStore().Write(settings::kImageFormat, "png");
  GetSettingsStore().Write(settings::kImageHosting, "bogus");
  const int translations = editor.convertTo.sets;
  TfrmSettings dlg(&editor.window, dm);
  dlg.done(QDialog::Accepted);
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_TRUE(modal.calls.empty());
  SettingsStore& store = GetSettingsStore();
  EXPECT_EQ(store.Read(settings::kImageFormat), "PNG");
  EXPECT_EQ(store.Read(settings::kImageHosting), "ImageShack");
  EXPECT_EQ(store.ReadString("AutoUpdate", ""), "TRUE");
  EXPECT_EQ(store.ReadString("UpscaleImages", ""), "TRUE");
  EXPECT_EQ(store.ReadString("EnableAntiHotlinking", ""), "TRUE");
  EXPECT_EQ(store.Read(settings::kUILang), "en");
  EXPECT_EQ(store.ReadString("bbcode\\Data\\bttImage", ""), "TRUE");
  EXPECT_EQ(store.ReadString("bbcode\\Data\\bttFontName", ""), "FALSE");
  EXPECT_EQ(store.ReadString("html\\Data\\httBullets", ""), "FALSE");
  EXPECT_FALSE(std::filesystem::exists(AutostartFile()));
  EXPECT_EQ(editor.convertTo.sets, translations) << "no re-translation";
}

TEST_F(SettingsDialogTest, OkStoresTheChoicesAndTheNewTagSetsReachTheWriters) {
  TDataModuleMain& dm = DataModule();
  TfrmSettings dlg(&editor.window, dm);
  Combo(dlg, "cboxImageFormat")->setCurrentText("JPEG");
  Combo(dlg, "cboxImageHosting")->setCurrentText("FastPic");
  Box(dlg, "cboxAutoUpdate")->setChecked(false);
  Box(dlg, "cboxUpscaleImages")->setChecked(false);
  Box(dlg, "cboxEnableAntiHotlinking")->setChecked(false);
  SetCheck(dlg, "JvxCheckListBoxBBCODE", bttBold, false);
  SetCheck(dlg, "JvxCheckListBoxBBCODE", bttBullets, true);
  SetCheck(dlg, "JvxCheckListBoxHTML", httImage, false);
  Find<QPushButton>(dlg, "btnOK")->click();
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  SettingsStore& store = GetSettingsStore();
  EXPECT_EQ(store.Read(settings::kImageFormat), "JPEG");
  EXPECT_EQ(store.Read(settings::kImageHosting), "FastPic");
  EXPECT_FALSE(store.Read(settings::kAutoUpdate));
  EXPECT_FALSE(store.Read(settings::kUpscaleImages));
  EXPECT_FALSE(store.Read(settings::kEnableAntiHotlinking));
  EXPECT_FALSE(dm.BBCodeTagSet()->Data.Contains(bttBold));
  EXPECT_TRUE(dm.BBCodeTagSet()->Data.Contains(bttBullets));
  EXPECT_FALSE(dm.HTMLTagSet()->Data.Contains(httImage));
  TBBCODETagSetHolder reread;
  store.ReadPersistent(settings::kBBCodeTagSet, reread);
  EXPECT_EQ(reread.Data, dm.BBCodeTagSet()->Data);

  // The next convert dialog writes with the new set: no bold tags.
  CharFormat bold;
  bold.bold = true;
  bold.size = 0;
  auto doc = RichDocument::Create(bold);
  doc->AppendText(u"Hi", bold);
  editor.selector->setCurrentText("bbCode");
  TfrmConvertData convert(&editor.window, dm, doc, doc);
  EXPECT_EQ(convert.Workflow().GetOutputCode(), u"Hi\r\n");
  convert.btnExitClick();
}

TEST_F(SettingsDialogTest, TheAutostartBoxWritesAndRemovesTheDesktopEntry) {
  TDataModuleMain& dm = DataModule();
  {
    TfrmSettings dlg(&editor.window, dm);
    Box(dlg, "cboxStartWithWindows")->setChecked(true);
    dlg.done(QDialog::Accepted);
  }
  ASSERT_TRUE(std::filesystem::exists(AutostartFile()));
  const std::string entry = testing::ReadFile(AutostartFile());
  EXPECT_NE(entry.find("Exec=\"" + ProgramPath() + "\"\n"), std::string::npos) << entry;
  PlainRegistry& run = GetPlainRegistry();
  ASSERT_TRUE(run.OpenKey(settings::kRunKey, false));
  EXPECT_EQ(run.ReadString("Tagsmith"), "\"" + ProgramPath() + "\"");
  run.CloseKey();
  {
    TfrmSettings dlg(&editor.window, dm);
    EXPECT_TRUE(Box(dlg, "cboxStartWithWindows")->isChecked());
    Box(dlg, "cboxStartWithWindows")->setChecked(false);
    dlg.done(QDialog::Accepted);
  }
  EXPECT_FALSE(std::filesystem::exists(AutostartFile()));
}

TEST_F(SettingsDialogTest, CancelStoresNothingAndLeavesTheTagSets) {
  TDataModuleMain& dm = DataModule();
  GetSettingsStore().Write(settings::kImageFormat, "png");
  const std::vector<std::string> before = StoreContents();
  const auto bbcode = dm.BBCodeTagSet()->Data;
  const auto html = dm.HTMLTagSet()->Data;
  for (int result : {int(QDialog::Rejected), 7}) {
    TfrmSettings dlg(&editor.window, dm);
    Combo(dlg, "cboxImageFormat")->setCurrentText("JPEG");
    Combo(dlg, "cboxLang")->setCurrentIndex(1);
    Box(dlg, "cboxStartWithWindows")->setChecked(true);
    Box(dlg, "cboxUpscaleImages")->setChecked(false);
    SetCheck(dlg, "JvxCheckListBoxBBCODE", bttImage, false);
    SetCheck(dlg, "JvxCheckListBoxHTML", httBold, false);
    if (result == QDialog::Rejected) Find<QPushButton>(dlg, "btnCancel")->click();
    else dlg.done(result);
    EXPECT_EQ(dlg.result(), result);
  }
  EXPECT_EQ(StoreContents(), before);
  EXPECT_EQ(dm.BBCodeTagSet()->Data, bbcode);
  EXPECT_EQ(dm.HTMLTagSet()->Data, html);
  EXPECT_FALSE(std::filesystem::exists(AutostartFile()));
  EXPECT_EQ(dm.TranMain().CurrLang(), "en");
}

TEST_F(SettingsDialogTest, ChangingTheLanguageTranslatesTheEditorAtOnceAndTheNextConvertDialog) {
  TDataModuleMain& dm = DataModule();
  EXPECT_EQ(editor.convertTo.values["Caption"], "Convert");
  {
    TfrmSettings dlg(&editor.window, dm);
    Combo(dlg, "cboxLang")->setCurrentText(QString::fromUtf8("Русский"));
    dlg.done(QDialog::Accepted);
  }
  EXPECT_EQ(GetSettingsStore().Read(settings::kUILang), "ru");
  EXPECT_EQ(dm.TranMain().CurrLang(), "ru");
  EXPECT_EQ(editor.convertTo.values["Caption"], "Преобразовать") << "the editor is re-translated";
  auto doc = RichDocument::Create(CharFormat());
  TfrmConvertData convert(&editor.window, dm, doc, doc);
  EXPECT_EQ(convert.windowTitle(), QString::fromUtf8("Преобразовать текст в..."));
  convert.btnExitClick();
  TfrmSettings reopened(&editor.window, dm);
  EXPECT_EQ(reopened.windowTitle(), QString::fromUtf8("Настройки"));
  EXPECT_EQ(Find<QTreeWidget>(reopened, "JvSettingsTreeViewMain")->topLevelItem(0)->text(0),
            QString::fromUtf8("Использование"));
}

TEST_F(SettingsDialogTest, NoSelectedLanguageStoresAnEmptyCodeAndKeepsTheTexts) {
  TDataModuleMain& dm = DataModule();
  const std::string caption = dm.Strings().ConvertDlg_Caption;
  TfrmSettings dlg(&editor.window, dm);
  Combo(dlg, "cboxLang")->setCurrentIndex(-1);
  dlg.done(QDialog::Accepted);
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(GetSettingsStore().Read(settings::kUILang), "");
  EXPECT_EQ(dm.Strings().ConvertDlg_Caption, caption);
  EXPECT_TRUE(modal.Errors().empty());
}

// A store whose every write fails: SQLite aborts each change of a value.
void RefuseWrites(const std::string& file) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  const int rc = sqlite3_exec(db,
                              "CREATE TRIGGER refuse_insert BEFORE INSERT ON vals BEGIN SELECT RAISE(ABORT, 'the disk is full'); END;"
                              "CREATE TRIGGER refuse_update BEFORE UPDATE ON vals BEGIN SELECT RAISE(ABORT, 'the disk is full'); END;",
                              nullptr, nullptr, &error);
  EXPECT_EQ(rc, SQLITE_OK) << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

TEST_F(SettingsDialogTest, AStoreThatCannotBeWrittenShowsTheErrorAndTheDialogStaysOpen) {
  TDataModuleMain& dm = DataModule();
  const auto bbcode = dm.BBCodeTagSet()->Data;
  TfrmSettings dlg(&editor.window, dm);
  dlg.show();
  SetCheck(dlg, "JvxCheckListBoxBBCODE", bttImage, false);
  Combo(dlg, "cboxLang")->setCurrentIndex(1);
  RefuseWrites(GetSettingsStore().GetRegistry().FileName());
  Find<QPushButton>(dlg, "btnOK")->click();
  ASSERT_EQ(modal.Errors().size(), 1u);
  EXPECT_TRUE(modal.Errors()[0].contains("the disk is full")) << modal.Errors()[0].toStdString();
  EXPECT_TRUE(dlg.isVisible()) << "the dialog stays open";
  EXPECT_FALSE(Checks(dlg, "JvxCheckListBoxBBCODE")[0]) << "with the user's choices";
  EXPECT_EQ(dm.BBCodeTagSet()->Data, bbcode) << "the tag sets change only once stored";
  EXPECT_EQ(dm.TranMain().CurrLang(), "en");
  dlg.done(QDialog::Rejected);
  EXPECT_FALSE(dlg.isVisible());
}

}  // namespace
}  // namespace tagsmith
