// The editor window on the offscreen platform: its actions, menus and tool
// bars as named, the formatting commands, documents, the hooks other parts
// use, the translator's property targets.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QTimer>
#include <QFileDialog>
#include <QFontComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextList>
#include <QToolBar>
#include <QToolButton>

#include <filesystem>
#include <string>
#include <vector>

#include "app/data_module.h"
#include "app/global_share.h"
#include "app/ui/about_box.h"
#include "app/ui/color_button.h"
#include "app/ui/document_io.h"
#include "app/ui/editor_window.h"
#include "app/ui/paste_special_dialog.h"
#include "app/ui/scripted_modal_ui.h"
#include "app/ui/text_editor.h"
#include "conversion/tags_array.h"
#include "platform/shell.h"
#include "richtext/rich_document.h"
#include "richtext/rtf_reader.h"
#include "richtext/tom.h"
#include "support/picture_bytes.h"
#include "support/program_home.h"
#include "support/recording_shell.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

namespace fs = std::filesystem;
using testing::ScriptedModalUi;

// A scripted answer to a file dialog: records its title, folder and filters,
// chooses `files`.
struct FileDialogSeen {
  QString title;
  QString folder;
  QStringList filters;
  QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
  QFileDialog::FileMode fileMode = QFileDialog::AnyFile;
  QString suffix;
};

std::function<int(QDialog&)> Choose(QStringList files, FileDialogSeen* seen = nullptr) {
  return [files, seen](QDialog& d) {
    auto* dialog = dynamic_cast<QFileDialog*>(&d);
    EXPECT_NE(dialog, nullptr) << d.windowTitle().toStdString();
    if (!dialog) return int(QDialog::Rejected);
    if (seen) {
      seen->title = dialog->windowTitle();
      seen->folder = dialog->directory().absolutePath();
      seen->filters = dialog->nameFilters();
      seen->mode = dialog->acceptMode();
      seen->fileMode = dialog->fileMode();
      seen->suffix = dialog->defaultSuffix();
    }
    if (files.isEmpty()) return int(QDialog::Rejected);
    if (files.size() == 1) {
      dialog->selectFile(files.front());
    } else {
      dialog->setDirectory(QFileInfo(files.front()).absolutePath());
      QStringList names;
      for (const QString& f : files) names << QStringLiteral("\"%1\"").arg(QFileInfo(f).fileName());
      dialog->selectFile(names.join(QLatin1Char(' ')));
    }
    return int(QDialog::Accepted);
  };
}

std::function<int(QDialog&)> Cancel(FileDialogSeen* seen = nullptr) { return Choose({}, seen); }

class EditorWindowTest : public ::testing::Test {
 protected:
  EditorWindowTest() {
    fs::create_directories(home / "prog/Lang");
    for (const char* name : {"en.xml", "ru.xml"})
      fs::copy_file(fs::path(TAGSMITH_SOURCE_DIR) / "Lang" / name, home / "prog/Lang" / name);
    InitGlobalShare((home / "prog/tagsmith").string());
    testing::PrepareProgramData(home / "prog");
    window = std::make_unique<TfrmPopupWordEditor>();
    previousShell = SetShell(&shell);
  }
  ~EditorWindowTest() override {
    window.reset();
    SetShell(previousShell);
    CutOffAllUpdateChecks();
    DoneGlobalShare();
  }

  QAction* Action(const char* name) {
    auto* a = window->findChild<QAction*>(QString::fromUtf8(name));
    EXPECT_NE(a, nullptr) << name;
    return a;
  }
  template <typename T>
  T* Widget(const char* name) {
    auto* w = window->findChild<T*>(QString::fromUtf8(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QTextEdit& Edit() { return *window->TextEditor(); }
  void SetText(const QString& text) {
    Edit().setCurrentCharFormat(QTextCharFormat());
    Edit().setPlainText(text);
    Edit().document()->clearUndoRedoStacks();
  }
  void Select(int start, int end) {
    QTextCursor c(Edit().document());
    c.setPosition(start);
    c.setPosition(end, QTextCursor::KeepAnchor);
    Edit().setTextCursor(c);
  }
  std::u16string Text() {
    std::shared_ptr<ITextRange> r;
    OleCheck(window->Document().Range(0, INT32_MAX, &r));
    std::u16string t;
    OleCheck(r->GetText(&t));
    return t;
  }
  std::shared_ptr<ITextFont> Font(int first, int limit) {
    std::shared_ptr<ITextRange> r;
    OleCheck(window->Document().Range(first, limit, &r));
    std::shared_ptr<ITextFont> f;
    OleCheck(r->GetFont(&f));
    return f;
  }
  int32_t Bold(int first, int limit) {
    int32_t v = 0;
    OleCheck(Font(first, limit)->GetBold(&v));
    return v;
  }
  float Size(int first, int limit) {
    float v = 0;
    OleCheck(Font(first, limit)->GetSize(&v));
    return v;
  }
  int32_t Fore(int first, int limit) {
    int32_t v = 0;
    OleCheck(Font(first, limit)->GetForeColor(&v));
    return v;
  }
  std::string WriteRtf(const std::string& name, const std::string& body) {
    const fs::path p = home / name;
    testing::WriteFile(p, "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 " + body + "\\par}");
    return p.string();
  }

  testing::TempHome home;
  testing::RecordingShell shell;
  IShell* previousShell = nullptr;
  ScriptedModalUi ui;
  std::unique_ptr<TfrmPopupWordEditor> window;
};

// ---------------------------------------------------------------------------
// What the window holds

TEST_F(EditorWindowTest, EveryActionHasItsNameCaptionAndHint) {
  struct Row {
    const char* name;
    const char* caption;
    const char* hint;  // the tool tip; an action without a hint shows its caption
  };
  const Row rows[] = {
      {"Action_NewDoc", "New", "Create new document"},
      {"Action_OpenFile", "Open", "Open file"},
      {"Action_Save", "Save", "Save document"},
      {"Action_SaveAs", "Save As", "Save document as"},
      {"Action_ShowSettingsDlg", "Settings", "Show settings dialog"},
      {"Action_Exit", "Exit", "Exit from program"},
      {"Action_OpenEditor", "Open editor", "Open editor window"},
      {"Action_ConvertTo", "Convert", "Convert formatted text into specified format (BBCODE or HTML)"},
      {"Action_VisitSite", "Visit home Site", "Visit home Site"},
      {"Action_AboutProgram", "About", "About"},
      {"Action_CutToClipboard", "Cut", "Cut to clipboard"},
      {"Action_CopyToClipboard", "Copy", "Copy to clipboard"},
      {"Action_PasteFromClipboard", "Paste", "Paste from clipboard"},
      {"Action_PasteAsFromClipboard", "Paste As", "Paste from clipboard\nin specified format"},
      {"Action_Undo", "Undo", "Undo"},
      {"Action_Redo", "Redo", "Redo"},
      {"Action_FontBold", "Bold", "Set bold style"},
      {"Action_FontItalic", "Italic", "Set italic style"},
      {"Action_FontUnderline", "Underline", "Set underline style"},
      {"Action_FontStrikeout", "Strikeout", "Set strikeout stile"},
      {"Action_Bullets", "Bullets", "Bullets"},
      {"Action_TextColorize", "Colorize text", "Format text in blondy style"},
      {"Action_InsertObj", "Insert Object", "Insert Object"},
      {"Action_InsertPictureFromFile", "Insert Picture", "Insert Picture from file"},
      {"Action_InsertPaintPicture", "Paint Picture", "Paint Picture"},
      {"Action_InsertEquation", "Insert Equation", "Insert Equation"},
      {"Action_InsertWordDoc", "Insert Word document", "Insert Word document"},
      {"Action_InsertExcelDoc", "Insert Excel table", "Insert Excel table"},
  };
  for (const Row& row : rows) {
    QAction* a = Action(row.name);
    if (!a) continue;
    EXPECT_EQ(a->text().toStdString(), row.caption) << row.name;
    EXPECT_EQ(a->toolTip().toStdString(), row.hint) << row.name;
    EXPECT_FALSE(a->icon().isNull()) << row.name;
  }
  EXPECT_EQ(window->windowTitle(), "Tagsmith v1.1");
}

TEST_F(EditorWindowTest, TheMenusHoldTheirCommandsInOrder) {
  const auto items = [&](QMenu* menu) {
    std::vector<std::string> out;
    for (QAction* a : menu->actions()) out.push_back(a->isSeparator() ? "-" : a->objectName().toStdString());
    return out;
  };
  auto* bar = Widget<QMenuBar>("MenuBarMain");
  ASSERT_NE(bar, nullptr);
  const QList<QAction*> top = bar->actions();
  ASSERT_EQ(top.size(), 3);
  EXPECT_EQ(top[0]->text(), "&File");
  EXPECT_EQ(top[1]->text(), "&Edit");
  EXPECT_EQ(top[2]->text(), "&Help");
  EXPECT_EQ(items(top[0]->menu()), (std::vector<std::string>{"Action_NewDoc", "Action_OpenFile", "Action_Save",
                                                              "Action_SaveAs", "Action_ShowSettingsDlg", "-",
                                                              "Action_Exit"}));
  EXPECT_EQ(items(top[1]->menu()),
            (std::vector<std::string>{"Action_CutToClipboard", "Action_CopyToClipboard", "Action_PasteFromClipboard",
                                      "Action_PasteAsFromClipboard", "-", "Action_InsertObj",
                                      "Action_InsertPictureFromFile", "Action_InsertPaintPicture",
                                      "Action_InsertEquation", "Action_InsertWordDoc", "Action_InsertExcelDoc"}));
  EXPECT_EQ(items(top[2]->menu()), (std::vector<std::string>{"Action_VisitSite", "Action_AboutProgram"}));
  // The editing area's own menu.
  QTimer::singleShot(0, [&] {
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(items(popup), (std::vector<std::string>{"Action_CutToClipboard", "Action_CopyToClipboard",
                                                      "Action_PasteFromClipboard", "Action_PasteAsFromClipboard"}));
    popup->close();
  });
  window->show();
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 20), Edit().viewport()->mapToGlobal(QPoint(20, 20)));
  QApplication::sendEvent(Edit().viewport(), &event);
}

TEST_F(EditorWindowTest, TheToolBarsHoldTheControlsWithTheirHints) {
  auto* file = Widget<QToolBar>("ToolBarFile");
  ASSERT_NE(file, nullptr);
  std::vector<std::string> names;
  for (QAction* a : file->actions()) names.push_back(a->isSeparator() ? "-" : a->objectName().toStdString());
  EXPECT_EQ(names, (std::vector<std::string>{
                       "Action_NewDoc", "Action_OpenFile", "Action_Save", "Action_SaveAs", "-",
                       "Action_CutToClipboard", "Action_CopyToClipboard", "Action_PasteFromClipboard",
                       "Action_PasteAsFromClipboard", "-", "Action_Undo", "Action_Redo", "-", "Action_InsertObj",
                       "Action_InsertPictureFromFile", "Action_InsertPaintPicture", "Action_InsertEquation",
                       "Action_InsertWordDoc", "Action_InsertExcelDoc", "-", "Action_ShowSettingsDlg",
                       "Action_AboutProgram"}));

  struct Row {
    const char* name;
    const char* hint;
  };
  for (const Row& row : {Row{"cmboxFontName", "Select font name"}, Row{"cboxFontSize", "Select font size"},
                         Row{"cbConvertTypes", "Select type converted to"}, Row{"tbtnAlignLeft", "Align text left"},
                         Row{"tbtnAlignCenter", "Align text center"}, Row{"tbtnAlignRight", "Align text right"},
                         Row{"tbtnSuperscript", "Superscript text"}, Row{"tbtnSubscript", "Subscript text"},
                         Row{"tbtnFontBold", "Set bold style"}, Row{"tbtnFontStrikeout", "Set strikeout stile"},
                         Row{"tbtnBullets", "Bullets"}}) {
    auto* w = Widget<QWidget>(row.name);
    if (w) {
      EXPECT_EQ(w->toolTip().toStdString(), row.hint) << row.name;
    }
  }
  auto* font = Widget<QFontComboBox>("cmboxFontName");
  ASSERT_NE(font, nullptr);
  EXPECT_GE(font->minimumWidth(), 250);
  EXPECT_LE(font->maximumWidth(), 300);
  auto* size = Widget<QComboBox>("cboxFontSize");
  ASSERT_NE(size, nullptr);
  EXPECT_TRUE(size->isEditable());
  QStringList sizes;
  for (int i = 0; i < size->count(); ++i) sizes << size->itemText(i);
  EXPECT_EQ(sizes.join(","), "8,10,12,14,16,18,20,22,24,28,30,36,44,52");
  auto* types = Widget<QComboBox>("cbConvertTypes");
  ASSERT_NE(types, nullptr);
  EXPECT_FALSE(types->isEditable());
  ASSERT_EQ(types->count(), 2);
  EXPECT_EQ(types->itemText(0), "bbCode");
  EXPECT_EQ(types->itemText(1), "HTML");
  EXPECT_EQ(types->currentIndex(), 0);
  EXPECT_EQ(window->ConvertTypes(), types);
  // The alignment buttons' tags.
  EXPECT_EQ(Widget<QToolButton>("tbtnAlignLeft")->property("tag").toInt(), 0);
  EXPECT_EQ(Widget<QToolButton>("tbtnAlignRight")->property("tag").toInt(), 1);
  EXPECT_EQ(Widget<QToolButton>("tbtnAlignCenter")->property("tag").toInt(), 2);
  // The banner strip: empty, 100 pixels high, at least 500 wide, hand cursor.
  auto* banner = Widget<QLabel>("imgBanner");
  ASSERT_NE(banner, nullptr);
  EXPECT_EQ(window->Banner(), banner);
  EXPECT_EQ(banner->height(), 100);
  EXPECT_GE(banner->minimumWidth(), 500);
  EXPECT_EQ(banner->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_TRUE(banner->pixmap().isNull());
}

TEST_F(EditorWindowTest, TheStandardShortcutsReachTheirCommands) {
  struct Row {
    const char* action;
    const char* keys;
  };
  for (const Row& row : {Row{"Action_NewDoc", "Ctrl+N"}, Row{"Action_OpenFile", "Ctrl+O"},
                         Row{"Action_Save", "Ctrl+S"}, Row{"Action_Undo", "Ctrl+Z"}, Row{"Action_Redo", "Ctrl+Y"},
                         Row{"Action_CutToClipboard", "Ctrl+X"}, Row{"Action_CopyToClipboard", "Ctrl+C"},
                         Row{"Action_PasteFromClipboard", "Ctrl+V"}, Row{"Action_PasteAsFromClipboard", "Ctrl+Shift+V"},
                         Row{"Action_FontBold", "Ctrl+B"}, Row{"Action_FontItalic", "Ctrl+I"},
                         Row{"Action_FontUnderline", "Ctrl+U"}}) {
    QAction* a = Action(row.action);
    if (a) {
      EXPECT_TRUE(a->shortcuts().contains(QKeySequence(QString::fromUtf8(row.keys)))) << row.action;
    }
  }

  // Typed into the focused editor, the keys do what they say.
  window->show();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  SetText("one two");
  Select(0, 3);
  Edit().setFocus();
  QTest::keyClick(&Edit(), Qt::Key_B, Qt::ControlModifier);
  EXPECT_EQ(Bold(0, 3), tomTrue);
  EXPECT_EQ(Bold(4, 7), tomFalse);
  QTest::keyClick(&Edit(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Bold(0, 3), tomFalse);
  QTest::keyClick(&Edit(), Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(Bold(0, 3), tomTrue);
  Select(0, 3);
  QTest::keyClick(&Edit(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "one");
  Select(4, 7);
  QTest::keyClick(&Edit(), Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(Text(), u"one \r");
  Select(0, 0);
  QTest::keyClick(&Edit(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Text(), u"twoone \r");
  ui.dialogs.push_back([](QDialog& d) {
    EXPECT_TRUE(static_cast<TPasteSpecialDialog&>(d).SelectFormat(PasteFormat::UnformattedText));
    return int(QDialog::Accepted);
  });
  QTest::keyClick(&Edit(), Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(ui.Count("exec"), 1u);
  EXPECT_EQ(Text(), u"twotwoone \r");
  QTest::keyClick(&Edit(), Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(Text(), u"\r");
  QGuiApplication::clipboard()->clear();
}

TEST_F(EditorWindowTest, EveryControlAndMenuItemHasAnAccessibleName) {
  window->show();
  const auto nameOf = [](QObject* o) {
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(o);
    return i ? i->text(QAccessible::Name) : QString();
  };
  int checked = 0;
  for (QToolBar* bar : window->findChildren<QToolBar*>()) {
    for (QAction* a : bar->actions()) {
      if (a->isSeparator()) continue;
      QWidget* w = bar->widgetForAction(a);
      ASSERT_NE(w, nullptr);
      EXPECT_FALSE(nameOf(w).isEmpty()) << a->objectName().toStdString() << " " << w->objectName().toStdString();
      ++checked;
    }
  }
  EXPECT_GT(checked, 30);
  for (QAction* top : Widget<QMenuBar>("MenuBarMain")->actions()) {
    QMenu* menu = top->menu();
    EXPECT_FALSE(nameOf(menu).isEmpty());
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(menu);
    ASSERT_NE(i, nullptr);
    for (int k = 0; k < i->childCount(); ++k) {
      QAccessibleInterface* item = i->child(k);
      if (item->role() == QAccessible::Separator) continue;
      EXPECT_FALSE(item->text(QAccessible::Name).isEmpty()) << menu->objectName().toStdString() << " item " << k;
    }
  }
  for (const char* name : {"TextEditor", "imgBanner", "cmboxFontName", "cboxFontSize", "cbConvertTypes"})
    EXPECT_FALSE(nameOf(Widget<QWidget>(name)).isEmpty()) << name;
}

// ---------------------------------------------------------------------------
// The controls follow the selection; formatting

TEST_F(EditorWindowTest, WithNothingSelectedBoldChangesTheWholeWordAtTheCaret) {
  SetText("alpha beta gamma");
  Select(8, 8);  // inside "beta"
  Action("Action_FontBold")->trigger();
  EXPECT_EQ(Bold(6, 10), tomTrue);
  EXPECT_EQ(Bold(0, 6), tomFalse);
  EXPECT_EQ(Bold(10, 16), tomFalse);
  EXPECT_TRUE(Action("Action_FontBold")->isChecked());
  // Again: the word loses it.
  Action("Action_FontBold")->trigger();
  EXPECT_EQ(Bold(6, 10), tomFalse);
  // A selection: exactly its characters, in one undo step.
  Select(1, 3);
  Action("Action_FontItalic")->trigger();
  int32_t v = 0;
  OleCheck(Font(1, 3)->GetItalic(&v));
  EXPECT_EQ(v, tomTrue);
  OleCheck(Font(0, 1)->GetItalic(&v));
  EXPECT_EQ(v, tomFalse);
  Edit().undo();
  OleCheck(Font(1, 3)->GetItalic(&v));
  EXPECT_EQ(v, tomFalse);
}

TEST_F(EditorWindowTest, StyleButtonsFollowTheSelection) {
  ASSERT_NO_FATAL_FAILURE(SetText("plain"));
  const std::string rtf = WriteRtf("styles.rtf", "p {\\b b}{\\i i}{\\ul u}{\\strike s}{\\super x}{\\sub y}{\\fs20 ten}");
  ui.dialogs.push_back(Choose({QString::fromStdString(rtf)}));
  Action("Action_OpenFile")->trigger();
  ASSERT_EQ(Text(), u"p biusxyten\r");
  struct Row {
    int position;
    const char* checked;  // the buttons down
  };
  const Row rows[] = {{2, "tbtnFontBold"}, {3, "tbtnFontItalic"}, {4, "tbtnFontUnderline"},
                      {5, "tbtnFontStrikeout"}, {6, "tbtnSuperscript"}, {7, "tbtnSubscript"}};
  for (const Row& row : rows) {
    Select(row.position, row.position + 1);
    for (const char* name : {"tbtnFontBold", "tbtnFontItalic", "tbtnFontUnderline", "tbtnFontStrikeout",
                             "tbtnSuperscript", "tbtnSubscript"})
      EXPECT_EQ(Widget<QToolButton>(name)->isChecked(), std::string(name) == row.checked)
          << "at " << row.position << ": " << name;
  }
  auto* size = Widget<QComboBox>("cboxFontSize");
  Select(8, 11);
  EXPECT_EQ(size->currentText(), "10");
  Select(0, 1);
  EXPECT_EQ(size->currentText(), "12");
  EXPECT_EQ(Widget<QFontComboBox>("cmboxFontName")->currentText(), "Arial");
  // A selection over two sizes shows none.
  Select(7, 9);
  EXPECT_EQ(size->currentText(), "");
}

TEST_F(EditorWindowTest, TheSizeBoxSetsPositiveWholeSizesAndIgnoresAnythingElse) {
  SetText("some text here");
  Select(5, 9);
  auto* size = Widget<QComboBox>("cboxFontSize");
  ASSERT_NE(size, nullptr);
  EXPECT_EQ(size->currentText(), "12");
  for (const char* bad : {"0", "x", "-4", "", "1.5", "99999"}) {
    size->setEditText(QString::fromUtf8(bad));
    emit size->lineEdit()->editingFinished();
    EXPECT_EQ(Size(5, 9), 12.0f) << bad;
    EXPECT_FALSE(Edit().document()->isUndoAvailable()) << bad;
  }
  size->setEditText("20");
  emit size->lineEdit()->editingFinished();
  EXPECT_EQ(Size(5, 9), 20.0f);
  EXPECT_EQ(Size(0, 4), 12.0f);
  // A size picked from the list.
  size->setCurrentIndex(size->findText("36"));
  emit size->textActivated("36");
  EXPECT_EQ(Size(5, 9), 36.0f);
  // Bringing the box in line does not format anything.
  Select(0, 3);
  EXPECT_EQ(size->currentText(), "12");
  EXPECT_EQ(Size(5, 9), 36.0f);
}

TEST_F(EditorWindowTest, TheFontListSetsTheFaceOfActiveAttributes) {
  SetText("face test");
  Select(0, 4);
  auto* fonts = Widget<QFontComboBox>("cmboxFontName");
  ASSERT_NE(fonts, nullptr);
  ASSERT_GT(fonts->count(), 1);
  const QString other = fonts->itemText(fonts->count() - 1);
  fonts->setCurrentIndex(fonts->count() - 1);
  std::u16string name;
  OleCheck(Font(0, 4)->GetName(&name));
  EXPECT_EQ(QString::fromStdU16String(name), other);
  OleCheck(Font(5, 9)->GetName(&name));
  EXPECT_NE(QString::fromStdU16String(name), other);
}

TEST_F(EditorWindowTest, ColorizeRecoloursOneCharacterBeyondTheSelection) {
  SetText("abcdefgh");
  struct Row {
    int start, end;
    int recoloured;  // characters from start
  };
  for (const Row& row : {Row{1, 4, 4}, Row{2, 2, 1}, Row{0, 8, 9}}) {
    SetText("abcdefgh");
    Select(row.start, row.end);
    window->SeedColorize(7);
    Action("Action_TextColorize")->trigger();
    for (int i = 0; i <= 8; ++i) {
      const int32_t c = Fore(i, i + 1);
      const bool inside = i >= row.start && i < row.start + row.recoloured;
      if (!inside) {
        EXPECT_EQ(c, tomAutoColor) << "start " << row.start << " at " << i;
        EXPECT_EQ(Size(i, i + 1), 12.0f);
        continue;
      }
      const int r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
      EXPECT_TRUE(r >= 150 && r < 250 && g >= 100 && g < 180 && b >= 150 && b < 250)
          << "start " << row.start << " at " << i << ": " << std::hex << c;
      const float s = Size(i, i + 1);
      EXPECT_TRUE(s >= 11 && s <= 16 && s == std::floor(s)) << s;  // 90% to 130% of 12, whole
    }
    // One undo step takes it all back.
    Edit().undo();
    for (int i = 0; i <= 8; ++i) EXPECT_EQ(Fore(i, i + 1), tomAutoColor);
  }
}

TEST_F(EditorWindowTest, TheColourButtonsColourActiveAttributesAndAutomaticTakesTheColourAway) {
  SetText("red words");
  auto* fore = Widget<TColorButton>("jvbtnFontColor");
  auto* back = Widget<TColorButton>("jvbtnFontBkColor");
  ASSERT_TRUE(fore && back);
  // Automatic is the editor's own text colour and background.
  EXPECT_TRUE(fore->IsAutomatic());
  EXPECT_EQ(fore->AutomaticColor(), Edit().palette().color(QPalette::Text));
  EXPECT_TRUE(back->IsAutomatic());
  EXPECT_EQ(back->AutomaticColor(), Edit().palette().color(QPalette::Base));
  const auto backColour = [&](int first, int limit) {
    int32_t v = 0;
    OleCheck(Font(first, limit)->GetBackColor(&v));
    return v;
  };

  Select(0, 3);
  emit fore->colorChosen(QColor(255, 0, 0), false);
  EXPECT_EQ(Fore(0, 3), 0x0000FF);
  EXPECT_EQ(Fore(3, 9), tomAutoColor);
  emit back->colorChosen(QColor(0, 0, 255), false);
  EXPECT_EQ(backColour(0, 3), 0xFF0000);
  EXPECT_EQ(backColour(3, 9), tomAutoColor);
  // The colour the range has already is no change, not even an undo step.
  Edit().document()->clearUndoRedoStacks();
  emit fore->colorChosen(QColor(255, 0, 0), false);
  EXPECT_FALSE(Edit().document()->isUndoAvailable());
  // Automatic and No Color take the colours away again.
  emit fore->colorChosen(fore->AutomaticColor(), true);
  EXPECT_EQ(Fore(0, 3), tomAutoColor);
  emit back->colorChosen(std::nullopt, false);
  EXPECT_EQ(backColour(0, 3), tomAutoColor);
  // No selection: the word at the caret; a cell of the palette.
  Select(6, 6);
  auto* cell = fore->Palette()->findChild<QAbstractButton*>("cellColor3");
  ASSERT_NE(cell, nullptr);
  cell->click();
  int count = 0;
  const TColorButton::NamedColor* colours = TColorButton::PaletteColors(&count);
  ASSERT_GT(count, 3);
  const QColor chosen = QColor::fromRgb(colours[3].rgb);
  EXPECT_EQ(Fore(4, 9), (chosen.blue() << 16) | (chosen.green() << 8) | chosen.red());
  EXPECT_EQ(Fore(0, 4), tomAutoColor);
  EXPECT_TRUE(ui.Errors().empty());
}

TEST_F(EditorWindowTest, WithBothScriptButtonsUpTheSelectionLosesItsOffset) {
  const std::string rtf = WriteRtf("scripts.rtf", "a{\\super bc}{\\sub de}f");
  ui.dialogs.push_back(Choose({QString::fromStdString(rtf)}));
  Action("Action_OpenFile")->trigger();
  ASSERT_EQ(Text(), u"abcdef\r");
  auto* super = Widget<QToolButton>("tbtnSuperscript");
  auto* sub = Widget<QToolButton>("tbtnSubscript");
  Select(1, 3);
  ASSERT_TRUE(super->isChecked());
  super->click();  // up: both up now
  EXPECT_FALSE(super->isChecked());
  EXPECT_FALSE(sub->isChecked());
  int32_t v = 0;
  OleCheck(Font(1, 3)->GetSuperscript(&v));
  EXPECT_EQ(v, tomFalse);
  // Subscript down over a superscript selection takes the other button up.
  Select(0, 2);
  super->click();
  EXPECT_TRUE(super->isChecked());
  sub->click();
  EXPECT_TRUE(sub->isChecked());
  EXPECT_FALSE(super->isChecked());
  OleCheck(Font(0, 2)->GetSubscript(&v));
  EXPECT_EQ(v, tomTrue);
  OleCheck(Font(0, 2)->GetSuperscript(&v));
  EXPECT_EQ(v, tomFalse);
  OleCheck(Font(3, 5)->GetSubscript(&v));
  EXPECT_EQ(v, tomTrue);
}

TEST_F(EditorWindowTest, AlignmentAndBulletsChangeTheSelectedParagraphs) {
  SetText("one\ntwo\nthree");
  auto alignment = [&](int pos) {
    std::shared_ptr<ITextRange> r;
    OleCheck(window->Document().Range(pos, pos, &r));
    std::shared_ptr<ITextPara> p;
    OleCheck(r->GetPara(&p));
    int32_t a = 0, list = 0;
    OleCheck(p->GetAlignment(&a));
    OleCheck(p->GetListType(&list));
    return std::pair(a, list);
  };
  Select(1, 5);  // "one" and "two"
  Widget<QToolButton>("tbtnAlignCenter")->click();
  EXPECT_EQ(alignment(0).first, tomAlignCenter);
  EXPECT_EQ(alignment(5).first, tomAlignCenter);
  EXPECT_EQ(alignment(9).first, tomAlignLeft);
  Widget<QToolButton>("tbtnAlignRight")->click();
  EXPECT_EQ(alignment(0).first, tomAlignRight);
  Select(9, 9);
  EXPECT_TRUE(Widget<QToolButton>("tbtnAlignLeft")->isChecked());
  Select(0, 0);
  EXPECT_TRUE(Widget<QToolButton>("tbtnAlignRight")->isChecked());
  EXPECT_FALSE(Widget<QToolButton>("tbtnAlignLeft")->isChecked());

  Select(1, 5);
  Action("Action_Bullets")->trigger();
  EXPECT_EQ(alignment(0).second, tomListBullet);
  EXPECT_EQ(alignment(5).second, tomListBullet);
  EXPECT_EQ(alignment(9).second, tomListNone);
  Select(9, 9);
  EXPECT_FALSE(Action("Action_Bullets")->isChecked());
  Select(5, 5);
  EXPECT_TRUE(Action("Action_Bullets")->isChecked());
  Action("Action_Bullets")->trigger();
  EXPECT_EQ(alignment(5).second, tomListNone);
  EXPECT_EQ(alignment(0).second, tomListBullet);
}

TEST_F(EditorWindowTest, UndoRedoCopyAndCutAreEnabledByTheDocument) {
  SetText("text");
  Select(0, 0);
  EXPECT_FALSE(Action("Action_Undo")->isEnabled());
  EXPECT_FALSE(Action("Action_Redo")->isEnabled());
  EXPECT_FALSE(Action("Action_CopyToClipboard")->isEnabled());
  EXPECT_FALSE(Action("Action_CutToClipboard")->isEnabled());
  Select(0, 2);
  EXPECT_TRUE(Action("Action_CopyToClipboard")->isEnabled());
  EXPECT_TRUE(Action("Action_CutToClipboard")->isEnabled());
  Action("Action_CutToClipboard")->trigger();
  EXPECT_EQ(Text(), u"xt\r");
  EXPECT_TRUE(Action("Action_Undo")->isEnabled());
  Action("Action_Undo")->trigger();
  EXPECT_EQ(Text(), u"text\r");
  EXPECT_TRUE(Action("Action_Redo")->isEnabled());
  Action("Action_Redo")->trigger();
  EXPECT_EQ(Text(), u"xt\r");
}

TEST_F(EditorWindowTest, PasteIsEnabledExactlyWhenTheClipboardHoldsSomethingToPaste) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  EXPECT_FALSE(Action("Action_PasteFromClipboard")->isEnabled());
  EXPECT_FALSE(Action("Action_PasteAsFromClipboard")->isEnabled());
  clipboard->setText("words");
  EXPECT_TRUE(Action("Action_PasteFromClipboard")->isEnabled());
  EXPECT_TRUE(Action("Action_PasteAsFromClipboard")->isEnabled());
  auto* odd = new QMimeData;
  odd->setData("application/x-nothing-we-read", "123");
  clipboard->setMimeData(odd);
  EXPECT_FALSE(Action("Action_PasteFromClipboard")->isEnabled());
  clipboard->clear();
}

TEST_F(EditorWindowTest, PasteTakesRtfFirstAndFallsBackWhenItCannotBeRead) {
  SetText("[]");
  const std::string damaged = "{\\rtf1 " + std::string(kRtfMaxGroupDepth + 5, '{') + "x";
  struct Case {
    std::string rtf;
    std::u16string expected;
    int32_t bold;
  };
  for (const Case& c : {Case{"{\\rtf1 {\\b Rich}}", u"[Rich]\r", tomTrue}, Case{damaged, u"[plain]\r", tomFalse},
                        Case{"", u"[plain]\r", tomFalse}}) {
    SetText("[]");
    auto* mime = new QMimeData;
    if (!c.rtf.empty()) mime->setData("text/rtf", QByteArray::fromStdString(c.rtf));
    mime->setText("plain");
    QGuiApplication::clipboard()->setMimeData(mime);
    ASSERT_TRUE(Action("Action_PasteFromClipboard")->isEnabled());
    Select(1, 1);
    Action("Action_PasteFromClipboard")->trigger();
    EXPECT_EQ(Text(), c.expected) << c.rtf.substr(0, 20);
    EXPECT_EQ(Bold(1, 2), c.bold) << c.rtf.substr(0, 20);
  }
  EXPECT_TRUE(ui.Errors().empty());
  QGuiApplication::clipboard()->clear();
}

TEST_F(EditorWindowTest, PasteAsPastesTheFormatChosenInTheDialog) {
  auto* mime = new QMimeData;
  mime->setData("text/rtf", "{\\rtf1 {\\b Rich}}");
  mime->setText("plain");
  QGuiApplication::clipboard()->setMimeData(mime);
  SetText("");
  ui.dialogs.push_back([](QDialog& d) {
    auto* list = d.findChild<QListWidget*>("lstFormats");
    EXPECT_NE(list, nullptr);
    EXPECT_TRUE(static_cast<TPasteSpecialDialog&>(d).SelectFormat(PasteFormat::UnformattedText));
    return int(QDialog::Accepted);
  });
  Action("Action_PasteAsFromClipboard")->trigger();
  EXPECT_EQ(ui.calls.at(0).title, "Paste Special");
  EXPECT_EQ(Text(), u"plain\r");
  // Cancelled: nothing.
  ui.dialogs.push_back([](QDialog&) { return int(QDialog::Rejected); });
  Action("Action_PasteAsFromClipboard")->trigger();
  EXPECT_EQ(Text(), u"plain\r");
  QGuiApplication::clipboard()->clear();
}

TEST_F(EditorWindowTest, AClickFarRightOfALinePutsTheCaretAtItsEnd) {
  window->show();
  SetText("first line\nsecond");
  Edit().document()->adjustSize();
  QTextCursor c(Edit().document());
  const QRect line = Edit().cursorRect(c);
  const QPointF at(Edit().viewport()->width() - 3, line.center().y());
  const QPointF global = Edit().viewport()->mapToGlobal(at);
  QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Edit().viewport(), &press);
  QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(Edit().viewport(), &release);
  EXPECT_EQ(Edit().textCursor().position(), 10);
  EXPECT_FALSE(Edit().textCursor().hasSelection());
}

// ---------------------------------------------------------------------------
// Documents

TEST_F(EditorWindowTest, SaveAsksForANameAfterStartNewAndOpen) {
  const QString a = QString::fromStdString((home / "a.rtf").string());
  const QString b = QString::fromStdString((home / "b.rtf").string());
  SetText("first");
  // Right after start Save asks, then keeps the name.
  FileDialogSeen seen;
  ui.dialogs.push_back(Choose({a}, &seen));
  Action("Action_Save")->trigger();
  EXPECT_EQ(seen.title, "Save document dialog");
  EXPECT_EQ(seen.mode, QFileDialog::AcceptSave);
  EXPECT_EQ(seen.suffix, "rtf");
  EXPECT_EQ(seen.filters, (QStringList{"RTF Document (*.rtf)", "Any File (*)"}));
  EXPECT_EQ(window->DocFileName(), a);
  EXPECT_NE(testing::ReadFile(a.toStdString()).find("first"), std::string::npos);
  EXPECT_EQ(GetSettingsStore().Read(settings::kSaveRtfInitDir), home.path().string());
  SetText("second");
  Action("Action_Save")->trigger();  // no dialog
  EXPECT_EQ(ui.Count("exec"), 1u);
  EXPECT_NE(testing::ReadFile(a.toStdString()).find("second"), std::string::npos);

  // Save As writes elsewhere and leaves the name; Save still writes to a.
  ui.dialogs.push_back(Choose({b}, &seen));
  Action("Action_SaveAs")->trigger();
  EXPECT_EQ(seen.folder, home.path().string().c_str());
  EXPECT_EQ(window->DocFileName(), a);
  EXPECT_NE(testing::ReadFile(b.toStdString()).find("second"), std::string::npos);

  // New forgets it.
  Action("Action_NewDoc")->trigger();
  EXPECT_EQ(Text(), u"\r");
  EXPECT_TRUE(window->DocFileName().isEmpty());
  ui.dialogs.push_back(Cancel());
  Action("Action_Save")->trigger();
  EXPECT_EQ(ui.Count("exec"), 3u);

  // Open forgets it too, so the opened document never lands in a.
  ui.dialogs.push_back(Choose({a}));
  Action("Action_Save")->trigger();
  ASSERT_EQ(window->DocFileName(), a);
  ui.dialogs.push_back(Choose({b}, &seen));
  Action("Action_OpenFile")->trigger();
  EXPECT_EQ(seen.title, "Open new document dialog");
  EXPECT_EQ(seen.fileMode, QFileDialog::ExistingFile);
  EXPECT_TRUE(window->DocFileName().isEmpty());
  EXPECT_EQ(GetSettingsStore().Read(settings::kOpenRtfInitDir), home.path().string());
  ui.dialogs.push_back(Cancel());
  Action("Action_Save")->trigger();
  EXPECT_EQ(ui.Count("exec"), 6u);
  EXPECT_TRUE(ui.Errors().empty());
}

TEST_F(EditorWindowTest, SaveAfterSaveAsAsksUnlessSaveHadSetAName) {
  const QString b = QString::fromStdString((home / "b.rtf").string());
  SetText("text");
  ui.dialogs.push_back(Choose({b}));
  Action("Action_SaveAs")->trigger();
  EXPECT_TRUE(window->DocFileName().isEmpty());
  FileDialogSeen seen;
  ui.dialogs.push_back(Cancel(&seen));
  Action("Action_Save")->trigger();
  EXPECT_EQ(ui.Count("exec"), 2u);
  // Save's dialog starts where Save As saved.
  EXPECT_EQ(seen.folder, home.path().string().c_str());
}

TEST_F(EditorWindowTest, ADocumentOpenedInTheWindowConvertsAsTheConverterReadsIt) {
  const fs::path sample = fs::path(TAGSMITH_SOURCE_DIR) / "samples" / "sample.rtf";
  ui.dialogs.push_back(Choose({QString::fromStdString(sample.string())}));
  Action("Action_OpenFile")->trigger();
  ASSERT_TRUE(ui.Errors().empty());
  auto rich = RichDocument::Create();
  ReadRtf(testing::ReadFile(sample), *rich);
  const auto code = [](const std::shared_ptr<ITextDocument>& doc, const std::shared_ptr<IRichEditOle>& objects,
                       uint8_t kind) {
    THTMLTagSetHolder html;
    TBBCODETagSetHolder bbcode;
    TTagsArray tags;
    tags.Document = doc;
    tags.RichEditOle = objects;
    tags.DataModule = {&html, &bbcode};
    tags.OutputKind = kind;
    tags.Analyze();
    return tags.GetCode(false);
  };
  const std::shared_ptr<QtDocument> doc = window->TextEditor()->SharedDocument();
  for (uint8_t kind : {uint8_t(0), uint8_t(1)}) {
    const std::u16string mine = code(doc, doc, kind);
    EXPECT_FALSE(mine.empty());
    EXPECT_TRUE(mine == code(rich, rich, kind)) << (kind == 0 ? "HTML" : "BBCode");
  }
}

TEST_F(EditorWindowTest, DialogsStartInTheStoredFolders) {
  const fs::path docs = home / "docs", pics = home / "pics", saved = home / "saved";
  for (const fs::path& p : {docs, pics, saved}) fs::create_directories(p);
  GetSettingsStore().Write(settings::kOpenRtfInitDir, docs.string());
  GetSettingsStore().Write(settings::kOpenPictureInitDir, pics.string());
  GetSettingsStore().Write(settings::kSaveRtfInitDir, saved.string());
  FileDialogSeen open, picture, save, saveAs;
  ui.dialogs.push_back(Cancel(&open));
  Action("Action_OpenFile")->trigger();
  ui.dialogs.push_back(Cancel(&picture));
  Action("Action_InsertPictureFromFile")->trigger();
  ui.dialogs.push_back(Cancel(&save));
  Action("Action_Save")->trigger();
  ui.dialogs.push_back(Cancel(&saveAs));
  Action("Action_SaveAs")->trigger();
  EXPECT_EQ(open.folder.toStdString(), docs.string());
  EXPECT_EQ(picture.folder.toStdString(), pics.string());
  EXPECT_EQ(picture.title, "Select image");
  EXPECT_EQ(picture.fileMode, QFileDialog::ExistingFiles);
  EXPECT_TRUE(picture.filters.front().contains("*.png"));
  EXPECT_TRUE(picture.filters.front().contains("*.jpg"));
  EXPECT_EQ(save.folder.toStdString(), saved.string());
  EXPECT_EQ(saveAs.folder.toStdString(), saved.string());
  // A cancelled dialog stores nothing and changes nothing.
  EXPECT_EQ(GetSettingsStore().Read(settings::kOpenRtfInitDir), docs.string());
  EXPECT_EQ(Text(), u"\r");
}

TEST_F(EditorWindowTest, ADamagedFileOrAnUnwritableTargetIsAnErrorAndTheDocumentStays) {
  SetText("keep me");
  const fs::path damaged = home / "damaged.rtf";
  testing::WriteFile(damaged, "{\\rtf1 " + std::string(kRtfMaxGroupDepth + 5, '{') + "deep");
  const fs::path binary = home / "binary.bin";
  testing::WriteFile(binary, std::string("\x00\x01\x02\x03", 4));
  for (const fs::path& p : {damaged, binary, home / "missing.rtf"}) {
    ui.dialogs.push_back(Choose({QString::fromStdString(p.string())}));
    Action("Action_OpenFile")->trigger();
    EXPECT_EQ(Text(), u"keep me\r") << p;
  }
  EXPECT_EQ(ui.Errors().size(), 3u);
  EXPECT_FALSE(GetSettingsStore().ValueExists(settings::kOpenRtfInitDir.name));

  // A target that cannot be written, also for root: its folder is a file.
  const fs::path notAFolder = home / "plain.txt";
  testing::WriteFile(notAFolder, "a file");
  const QString target = QString::fromStdString((notAFolder / "out.rtf").string());
  ui.dialogs.push_back(Choose({target}));
  Action("Action_Save")->trigger();
  ASSERT_EQ(ui.Errors().size(), 4u);
  EXPECT_FALSE(ui.Errors().back().isEmpty());
  EXPECT_TRUE(window->DocFileName().isEmpty());
  EXPECT_EQ(testing::ReadFile(notAFolder), "a file");
  EXPECT_FALSE(GetSettingsStore().ValueExists(settings::kSaveRtfInitDir.name));
  EXPECT_EQ(Text(), u"keep me\r");
}

TEST_F(EditorWindowTest, InsertPictureInsertsEveryFileOrNothingAndLeavesTheClipboard) {
  const fs::path one = home / "one.png", two = home / "two.png", bad = home / "bad.png";
  testing::WriteFile(one, testing::MakePng(testing::Pattern(4, 3)));
  testing::WriteFile(two, testing::MakePng(testing::Pattern(2, 2)));
  testing::WriteFile(bad, "\x89PNG\r\n\x1a\n broken");
  QGuiApplication::clipboard()->setText("the user's text");
  SetText("ab");
  Select(1, 1);
  ui.dialogs.push_back(Choose({QString::fromStdString(one.string()), QString::fromStdString(two.string())}));
  Action("Action_InsertPictureFromFile")->trigger();
  EXPECT_EQ(Text(), u"a\uFFFC\uFFFCb\r");
  int32_t count = 0;
  OleCheck(window->Document().GetObjectCount(&count));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "the user's text");
  EXPECT_EQ(GetSettingsStore().Read(settings::kOpenPictureInitDir), home.path().string());
  Edit().undo();
  EXPECT_EQ(Text(), u"ab\r");

  ui.dialogs.push_back(Choose({QString::fromStdString(one.string()), QString::fromStdString(bad.string())}));
  Action("Action_InsertPictureFromFile")->trigger();
  EXPECT_EQ(Text(), u"ab\r");
  ASSERT_EQ(ui.Errors().size(), 1u);
  EXPECT_TRUE(ui.Errors().front().contains("bad.png")) << ui.Errors().front().toStdString();
}

// ---------------------------------------------------------------------------
// Hooks and the window's life

TEST_F(EditorWindowTest, ConvertSettingsAndInsertObjectRunTheirHooksAndAreDisabledWithout) {
  for (const char* name : {"Action_ConvertTo", "Action_ShowSettingsDlg", "Action_InsertObj",
                           "Action_InsertPaintPicture", "Action_InsertEquation", "Action_InsertWordDoc",
                           "Action_InsertExcelDoc"})
    EXPECT_FALSE(Action(name)->isEnabled()) << name;
  int converts = 0, settingsRuns = 0;
  std::vector<std::string> classes;
  window->SetConvertHook([&] { ++converts; });
  window->SetSettingsHook([&] { ++settingsRuns; });
  window->SetInsertObjectHook([&](const std::string& c) { classes.push_back(c); });
  Action("Action_ConvertTo")->trigger();
  Action("Action_ShowSettingsDlg")->trigger();
  for (const char* name : {"Action_InsertObj", "Action_InsertPaintPicture", "Action_InsertEquation",
                           "Action_InsertWordDoc", "Action_InsertExcelDoc"})
    Action(name)->trigger();
  EXPECT_EQ(converts, 1);
  EXPECT_EQ(settingsRuns, 1);
  EXPECT_EQ(classes, (std::vector<std::string>{"", "Paint.Picture", "Equation", "Word.Document", "Excel.Sheet"}));
  // A hook that throws is an error box, and the window stays usable.
  window->SetConvertHook([] { throw EDocumentIO("Cannot convert"); });
  Action("Action_ConvertTo")->trigger();
  EXPECT_EQ(ui.Errors(), (std::vector<QString>{"Cannot convert"}));
  window->SetConvertHook(nullptr);
  EXPECT_FALSE(Action("Action_ConvertTo")->isEnabled());
}

TEST_F(EditorWindowTest, ExitAsksAndOnlyYesEnds) {
  TTranslatedStrings strings;
  strings.ExitConfirmMsg = "Really leave?";
  window->SetStrings(&strings);
  int terminated = 0;
  window->SetTerminateHook([&] { ++terminated; });
  ui.asks = {false, true};
  Action("Action_Exit")->trigger();
  EXPECT_EQ(terminated, 0);
  Action("Action_Exit")->trigger();
  EXPECT_EQ(terminated, 1);
  ASSERT_EQ(ui.Count("ask"), 2u);
  EXPECT_EQ(ui.calls[0].title, "Confirm");
  EXPECT_EQ(ui.calls[0].text, "Really leave?");
  EXPECT_TRUE(ui.calls[0].flag);  // No is the default

  // Without a translated question the box still asks one.
  strings.ExitConfirmMsg.clear();
  ui.asks = {false};
  Action("Action_Exit")->trigger();
  EXPECT_EQ(ui.calls.back().text, "Do you really want to exit Tagsmith?");
  // The control's window does not ask.
  window->SetExitAsks(false);
  Action("Action_Exit")->trigger();
  EXPECT_EQ(terminated, 2);
  EXPECT_EQ(ui.Count("ask"), 3u);
}

TEST_F(EditorWindowTest, ClosingHidesWhenAskedAndExitStillCloses) {
  window->show();
  ASSERT_TRUE(window->isVisible());
  window->SetCloseHides(true);
  EXPECT_TRUE(window->close() == false || !window->isVisible());
  EXPECT_FALSE(window->isVisible());
  window->ShowEditor();
  EXPECT_TRUE(window->isVisible());
  Action("Action_OpenEditor")->trigger();
  EXPECT_TRUE(window->isVisible());
  // Exit without a terminate hook closes for good, hiding or not.
  ui.asks = {true};
  QSignalSpy destroyed(window.get(), &QObject::destroyed);
  window->setAttribute(Qt::WA_DeleteOnClose, false);
  Action("Action_Exit")->trigger();
  EXPECT_FALSE(window->isVisible());
  // Closing without hiding closes.
  window->SetCloseHides(false);
  window->show();
  EXPECT_TRUE(window->close());
}

TEST_F(EditorWindowTest, VisitSiteOpensTheHomeSiteAndAboutShowsTheAboutBox) {
  Action("Action_VisitSite")->trigger();
  ASSERT_EQ(shell.Calls().size(), 1u);
  EXPECT_EQ(shell.Calls()[0].target, kHomeSiteUrl);
  bool about = false;
  ui.dialogs.push_back([&](QDialog& d) {
    about = dynamic_cast<TAboutBox*>(&d) != nullptr;
    return int(QDialog::Accepted);
  });
  Action("Action_AboutProgram")->trigger();
  EXPECT_TRUE(about);
  EXPECT_EQ(ui.Count("exec"), 1u);
}

TEST_F(EditorWindowTest, ABalloonGoesToItsHookOrShowsABoxThatClosesItself) {
  std::vector<std::string> seen;
  window->SetBalloonHook([&](const std::string& title, const std::string& text, bool error, int timeout) {
    seen.push_back(title + "|" + text + "|" + (error ? "error" : "info") + "|" + std::to_string(timeout));
  });
  window->ShowBalloon("Title", "Text", true, 500);
  EXPECT_EQ(seen, (std::vector<std::string>{"Title|Text|error|500"}));
  window->SetBalloonHook(nullptr);
  window->ShowBalloon("Update", "A new version", false, 50);
  auto* box = window->findChild<QWidget*>("BalloonBox");
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->isVisible());
  QTRY_VERIFY_WITH_TIMEOUT(window->findChild<QWidget*>("BalloonBox") == nullptr, 5000);
}

TEST_F(EditorWindowTest, TheLayoutMarginsLeaveSixteenPixelsBesideTheText) {
  window->show();
  window->resize(700, 500);
  const QTextFrameFormat f = Edit().document()->rootFrame()->frameFormat();
  EXPECT_EQ(f.leftMargin(), 16);
  EXPECT_EQ(f.rightMargin(), 16);
  EXPECT_EQ(f.topMargin(), 0);
  EXPECT_EQ(f.bottomMargin(), 0);
  // Setting them is no edit of the user's.
  EXPECT_FALSE(Edit().document()->isUndoAvailable());
}

// ---------------------------------------------------------------------------
// Translation

TEST_F(EditorWindowTest, TheDataModuleTranslatesTheWindowThroughItsPropertyTargets) {
  GetSettingsStore().Write(settings::kUILang, "ru");
  TDataModuleMain dm(dlProgram, window.get());
  dm.DataModuleCreate();
  window->SetStrings(&dm.Strings());
  ASSERT_EQ(dm.TranMain().CurrLang(), "ru");
  EXPECT_EQ(Action("Action_FontBold")->text(), QString::fromUtf8("Полужирный"));
  EXPECT_EQ(Action("Action_FontBold")->toolTip(), QString::fromUtf8("Полужирный"));
  EXPECT_EQ(Action("Action_NewDoc")->text(), QString::fromUtf8("Создать"));
  EXPECT_EQ(Action("Action_NewDoc")->toolTip(), QString::fromUtf8("Создать новый документ"));
  EXPECT_EQ(Action("Action_OpenEditor")->text(), QString::fromUtf8("Открыть редактор"));
  auto* bar = Widget<QMenuBar>("MenuBarMain");
  EXPECT_EQ(bar->actions()[0]->text(), QString::fromUtf8("&Файл"));
  auto* size = Widget<QComboBox>("cboxFontSize");
  EXPECT_EQ(size->toolTip(), QString::fromUtf8("Выбрать размер шрифта"));
  EXPECT_EQ(size->accessibleName(), QString::fromUtf8("Выбрать размер шрифта"));
  EXPECT_EQ(Widget<QToolButton>("tbtnAlignLeft")->accessibleName(),
            QString::fromUtf8("Выровнять текст по левому краю"));
  // A two-line hint keeps its line break.
  EXPECT_TRUE(Action("Action_PasteAsFromClipboard")->toolTip().contains('\n'));
  EXPECT_FALSE(Action("Action_PasteAsFromClipboard")->toolTip().contains('\r'));
  // The Exit question comes from the language too.
  ui.asks = {false};
  Action("Action_Exit")->trigger();
  EXPECT_EQ(ui.calls.back().text, QString::fromUtf8("Вы действительно хотите выйти из Tagsmith?"));

  // Back to English.
  GetSettingsStore().Write(settings::kUILang, "en");
  dm.ReloadLanguage();
  EXPECT_EQ(Action("Action_FontBold")->text(), "Bold");
  EXPECT_EQ(bar->actions()[0]->text(), "&File");
}

TEST_F(EditorWindowTest, EveryPropertyKeyOfTheProgramFindsItsTarget) {
  for (const TTranslationKey& key : kTranslationKeys) {
    if (key.Kind != tkProperty) continue;
    const std::string component = key.Component;
    const bool mine = component != "TrayIconMain";
    EXPECT_EQ(window->FindPropertyTarget(key.Component, key.MenuItem) != nullptr, mine) << key.Name;
  }
  EXPECT_EQ(window->FindPropertyTarget("MenuBarMain", 3), nullptr);
  EXPECT_EQ(window->FindPropertyTarget("NoSuchThing", -1), nullptr);
  // A target the program adds: its tray icon, here any object with a tool tip.
  QAction trayStandIn;
  window->AddPropertyTarget("TrayIconMain", &trayStandIn);
  IPropertyTarget* t = window->FindPropertyTarget("TrayIconMain", -1);
  ASSERT_NE(t, nullptr);
  EXPECT_TRUE(t->SetStringProperty("Hint", "Tagsmith is running..."));
  EXPECT_EQ(trayStandIn.toolTip(), "Tagsmith is running...");
  EXPECT_FALSE(t->SetStringProperty("Colour", "red"));
}

}  // namespace
}  // namespace tagsmith
