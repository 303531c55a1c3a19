// The running program over the real editor window, settings store, language
// files and temporary files, on the offscreen platform in a temporary home.

#include "program/program.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTextEdit>

#include <filesystem>
#include <fstream>

#include "app/global_share.h"
#include "app/ui/editor_window.h"
#include "app/ui/scripted_modal_ui.h"
#include "app/ui/text_editor.h"
#include "program/form_placement.h"
#include "program/tray_icon.h"
#include "support/recording_shell.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

namespace fs = std::filesystem;
using testing::WriteFile;

class Tasks : public IDataModuleTasks {
 public:
  void StartUpdateCheck() override { ++checks; }
  void ShowNextBanner() override { ++banners; }
  void RestartBannerRotation() override {}
  int checks = 0, banners = 0;
};

class ProgramTest : public ::testing::Test {
 protected:
  ProgramTest() {
    fs::create_directories(prog / "Lang");
    for (const char* f : {"en.xml", "ru.xml"})
      fs::copy_file(fs::path(TAGSMITH_SOURCE_DIR) / "Lang" / f, prog / "Lang" / f);
    fs::create_directories(prog / "Data");
    for (const char* f : {"storage_en_1.bin", "storage_ru_1.bin"})
      fs::copy_file(fs::path(TAGSMITH_SOURCE_DIR) / "Data" / f, prog / "Data" / f);
    ProgramTickCounters() = {};
    InitGlobalShare((prog / "tagsmith").string());
    // The start's update check asks a port where nothing listens.
    GetSettingsStore().Write(settings::kUpdateHost, "127.0.0.1:9");
  }
  ~ProgramTest() override {
    program.reset();
    CutOffAllUpdateChecks();
    DoneGlobalShare();
    ProgramTickCounters() = {};
  }

  TProgram& Start(std::vector<std::string> arguments, bool tray, std::vector<std::string> problems = {}) {
    program.reset();
    TProgramOptions options;
    options.arguments = std::move(arguments);
    options.trayAvailable = tray;
    options.startupProblems = std::move(problems);
    program = std::make_unique<TProgram>(std::move(options));
    terminated = 0;
    QObject::connect(program.get(), &TProgram::terminated, [this] { ++terminated; });
    Settle();
    return *program;
  }
  static void Settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  }
  QAction* Action(const char* name) { return program->MainForm().findChild<QAction*>(name); }

  testing::TempHome home;
  const fs::path prog = home / "prog";
  testing::ScriptedModalUi ui;
  std::unique_ptr<TProgram> program;
  int terminated = 0;
};

TEST_F(ProgramTest, OnlyTheExactShowArgumentOpensTheEditorAtStart) {
  struct Case {
    std::vector<std::string> arguments;
    bool shown;
  };
  const Case cases[] = {{{"/show"}, true}, {{"x", "/show"}, true}, {{"/SHOW"}, false},
                        {{"-show"}, false}, {{}, false}};
  for (const Case& c : cases) {
    TProgram& p = Start(c.arguments, true);
    EXPECT_EQ(p.MainForm().isVisible(), c.shown) << (c.arguments.empty() ? "" : c.arguments.back());
  }
  EXPECT_TRUE(ui.calls.empty());
}

TEST_F(ProgramTest, WithANotificationAreaTheIconOpensTheWindowAndClosingHidesIt) {
  TProgram& p = Start({}, true);
  EXPECT_TRUE(p.TrayIcon().IsVisible());
  EXPECT_EQ(p.TrayIcon().Hint(), "Tagsmith is running...");
  const QList<QAction*> menu = p.TrayIcon().Menu().actions();
  ASSERT_EQ(menu.size(), 4);
  EXPECT_EQ(menu[0], Action("Action_OpenEditor"));
  EXPECT_EQ(menu[1], Action("Action_VisitSite"));
  EXPECT_TRUE(menu[2]->isSeparator());
  EXPECT_EQ(menu[3], Action("Action_Exit"));

  p.TrayIcon().Activate(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(p.MainForm().isVisible());
  p.MainForm().close();
  EXPECT_FALSE(p.MainForm().isVisible()) << "closing hides";
  EXPECT_EQ(terminated, 0);
  menu[0]->trigger();
  EXPECT_TRUE(p.MainForm().isVisible()) << "Open editor";
  p.TrayIcon().Activate(QSystemTrayIcon::Trigger);
  EXPECT_FALSE(p.MainForm().isVisible()) << "a click hides a shown window";
  EXPECT_TRUE(ui.calls.empty()) << "no question on the way";
}

TEST_F(ProgramTest, WithoutNotificationAreaTheWindowStartsShownAndClosingAsksExit) {
  TProgram& p = Start({}, false);
  EXPECT_TRUE(p.MainForm().isVisible());
  EXPECT_FALSE(p.TrayIcon().IsVisible());
  ui.asks = {false};
  p.MainForm().close();
  EXPECT_TRUE(p.MainForm().isVisible()) << "No keeps it";
  ASSERT_EQ(ui.Count("ask"), 1u);
  EXPECT_EQ(ui.calls[0].text, "Do you really want to exit Tagsmith?");
  EXPECT_EQ(ui.calls[0].title, "Confirm");
  EXPECT_TRUE(ui.calls[0].flag) << "No is the default";
  EXPECT_EQ(terminated, 0);
  ui.asks = {true};
  p.MainForm().close();
  EXPECT_EQ(terminated, 1);
  EXPECT_TRUE(p.Terminating());
}

TEST_F(ProgramTest, ExitAfterYesEndsTheProgramAndItsTemporaryFilesGo) {
  TProgram& p = Start({"/show"}, true);
  const std::string file = p.DataModule().TempFilesMain().CreateTempFileName(".png");
  WriteFile(file, "picture");
  const fs::path folder = fs::path(file).parent_path();
  ui.asks = {false, true};
  Action("Action_Exit")->trigger();
  EXPECT_EQ(terminated, 0) << "No";
  Action("Action_Exit")->trigger();
  EXPECT_EQ(terminated, 1) << "Yes";
  EXPECT_FALSE(p.TimerMain().isActive());
  program.reset();
  EXPECT_FALSE(fs::exists(file));
  EXPECT_FALSE(fs::exists(folder));
}

TEST_F(ProgramTest, TheOneSecondTimerStartsACheckOnTheTickAfter18000) {
  TProgram& p = Start({}, true);
  EXPECT_EQ(p.TimerMain().objectName(), "TimerMain");
  EXPECT_EQ(p.TimerMain().interval(), 1000);
  EXPECT_TRUE(p.TimerMain().isActive());
  Tasks tasks;
  p.DataModule().SetTasks(&tasks);
  for (int i = 0; i < 18000; ++i) p.OnTimerMainTimer();
  EXPECT_EQ(tasks.checks, 0);
  p.OnTimerMainTimer();
  EXPECT_EQ(tasks.checks, 1);
  EXPECT_EQ(tasks.banners, 18001 / 61);
  p.DataModule().SetTasks(nullptr);
}

QImage StripImage(const QLabel& strip) { return strip.pixmap().toImage(); }

void Click(QWidget& widget) {
  const QPointF at(widget.width() / 2.0, widget.height() / 2.0);
  const QPointF global = widget.mapToGlobal(at);
  QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&widget, &press);
  QCoreApplication::sendEvent(&widget, &release);
}

TEST_F(ProgramTest, TheBannerStripShowsTheShippedBannersRotatesAndOpensTheirLinks) {
  testing::RecordingShell shell;
  testing::ScopedShell scoped(shell);
  TProgram& p = Start({"/show"}, true);
  QLabel& strip = *p.MainForm().Banner();
  const QImage first = StripImage(strip);
  ASSERT_FALSE(first.isNull());
  EXPECT_LE(first.height(), strip.height());
  // The banner folder was made from the shipped storages.
  EXPECT_TRUE(fs::exists(fs::path(BannerDir()) / "storage_en_1.bin"));

  // Every 61 ticks the next picture, the first again after the last.
  std::vector<QImage> seen{first};
  for (size_t n = 1; n <= p.DataModule().BannStor().Storages().front().Contents.Pictures.size(); ++n) {
    for (int i = 0; i < 60; ++i) p.OnTimerMainTimer();
    EXPECT_EQ(StripImage(strip), seen.back());
    p.OnTimerMainTimer();
    seen.push_back(StripImage(strip));
    EXPECT_NE(seen[n], seen[n - 1]);
  }
  EXPECT_EQ(seen.back(), first);

  // A click opens the picture's link, a page of the maker's site.
  Click(strip);
  const auto calls = shell.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].target.rfind("https://", 0), 0u) << calls[0].target;
  EXPECT_TRUE(ui.Errors().empty());
}

TEST_F(ProgramTest, StartUpErrorsAreShownOnceAndTheProgramStaysUsable) {
  struct Case {
    const char* what;
    std::function<void()> prepare;
    std::vector<std::string> problems;
    const char* errorPart;  // nullptr: no error at all
    QString openEditorText;
  };
  const Case cases[] = {
      {"a language file that is not XML",
       [&] {
         GetSettingsStore().WriteString("UILang", "ru");
         WriteFile(prog / "Lang/zz.xml", "<TranslateData Lang=\"zz\"><Text Name=");
       },
       {}, "zz.xml", "Open editor"},
      {"no Lang folder", [&] { fs::remove_all(prog / "Lang"); }, {}, nullptr, "Open editor"},
      {"a store that cannot be used", [] {}, {"Cannot open registry file x"}, "Cannot open registry file x",
       "Open editor"},
      {"a language file that translates", [&] { GetSettingsStore().WriteString("UILang", "ru"); }, {}, nullptr,
       QString::fromUtf8("Открыть редактор")},
  };
  for (const Case& c : cases) {
    program.reset();
    ui.calls.clear();
    c.prepare();
    TProgram& p = Start({}, true, c.problems);
    Settle();
    const auto errors = ui.Errors();
    if (c.errorPart) {
      ASSERT_EQ(errors.size(), 1u) << c.what;
      EXPECT_TRUE(errors[0].contains(c.errorPart)) << c.what << ": " << errors[0].toStdString();
    } else {
      EXPECT_TRUE(errors.empty()) << c.what << ": " << (errors.empty() ? "" : errors[0].toStdString());
    }
    EXPECT_EQ(Action("Action_OpenEditor")->text(), c.openEditorText) << c.what;
    // Usable: it opens, edits and hides, and the tag sets are there.
    p.OpenEditor();
    EXPECT_TRUE(p.MainForm().isVisible()) << c.what;
    p.MainForm().TextEditor()->insertPlainText("text");
    EXPECT_EQ(p.MainForm().TextEditor()->toPlainText(), "text") << c.what;
    EXPECT_NE(p.DataModule().BBCodeTagSet(), nullptr) << c.what;
    p.MainForm().close();
    Settle();
    EXPECT_EQ(ui.Errors().size(), errors.size()) << c.what << ": nothing shown twice";
    fs::create_directories(prog / "Lang");
    fs::remove(prog / "Lang/zz.xml");
    for (const char* f : {"en.xml", "ru.xml"})
      fs::copy_file(fs::path(TAGSMITH_SOURCE_DIR) / "Lang" / f, prog / "Lang" / f,
                    fs::copy_options::overwrite_existing);
    GetSettingsStore().DeleteValue("UILang");
  }
}

TEST_F(ProgramTest, ConvertAndSettingsOpenTheirDialogsOnTheProgramsDataModule) {
  TProgram& p = Start({"/show"}, true);
  p.MainForm().TextEditor()->insertPlainText("Hello");
  ASSERT_TRUE(Action("Action_ConvertTo")->isEnabled());
  ASSERT_TRUE(Action("Action_ShowSettingsDlg")->isEnabled());
  std::vector<std::string> opened;
  ui.dialogs.push_back([&](QDialog& dialog) {
    opened.push_back(dialog.objectName().toStdString());
    return int(QDialog::Accepted);
  });
  ui.dialogs.push_back([&](QDialog& dialog) {
    opened.push_back(dialog.objectName().toStdString());
    return int(QDialog::Rejected);
  });
  Action("Action_ConvertTo")->trigger();
  Action("Action_ShowSettingsDlg")->trigger();
  EXPECT_EQ(opened, (std::vector<std::string>{"frmConvertData", "frmSettings"}));
  EXPECT_TRUE(ui.dialogs.empty());
}

TEST_F(ProgramTest, TheIconsHintFollowsTheLanguage) {
  GetSettingsStore().WriteString("UILang", "ru");
  TProgram& p = Start({}, true);
  EXPECT_EQ(p.TrayIcon().Hint(), QString::fromUtf8("Tagsmith запущен..."));
}

bool OnAScreen(const QRect& r) {
  for (const QRect& s : AvailableScreenAreas())
    if (s.contains(r)) return true;
  return false;
}

TEST_F(ProgramTest, ThePlacementIsSavedOnClosingAndRestoredOnTheNextFirstShow) {
  QRect placed;
  {
    TProgram& p = Start({"/show"}, true);
    p.MainForm().setGeometry(QRect(20, 30, 100, 100));
    placed = p.MainForm().geometry();  // no smaller than the window allows
    ASSERT_TRUE(OnAScreen(placed));
    p.MainForm().close();
  }
  SettingsStore& store = GetSettingsStore();
  EXPECT_EQ(store.ReadString("MainFormData\\NormPos", ""),
            FormatFourIntegers(20, 30, 20 + placed.width(), 30 + placed.height()));
  EXPECT_EQ(store.ReadInteger("MainFormData\\ShowCmd", 0), 1);
  EXPECT_TRUE(store.ValueExists("MainFormData\\PixelsPerInch"));
  EXPECT_EQ(store.ReadString("MainFormData\\MinMaxPos", ""), "-1,-1,-1,-1");
  {
    TProgram& p = Start({}, true);
    p.OpenEditor();
    EXPECT_EQ(p.MainForm().geometry(), placed);
  }
  // Saved on a screen that is gone: it comes back onto one that is there.
  store.WriteString("MainFormData\\NormPos",
                    FormatFourIntegers(50000, 50000, 50000 + placed.width(), 50000 + placed.height()));
  TProgram& p = Start({"/show"}, true);
  const QRect g = p.MainForm().geometry();
  EXPECT_EQ(g.size(), placed.size());
  EXPECT_TRUE(OnAScreen(g)) << g.x() << "," << g.y();
}

TEST_F(ProgramTest, BalloonsGoToTheIconNotToABox) {
  TProgram& p = Start({}, true);
  p.MainForm().ShowBalloon("Title", "Text", true, 3000);
  Settle();
  EXPECT_TRUE(ui.calls.empty());
  EXPECT_EQ(p.MainForm().findChild<QMessageBox*>("BalloonBox"), nullptr);
}

}  // namespace
}  // namespace tagsmith
