// tagsmith-screenshots: renders the editor window holding a document, each of
// its menus open, the About box, the convert dialog and the settings pages
// into PNG files, in English and Russian,
// on Qt's offscreen platform, so anyone can look at the windows without a
// desktop. Runs in a temporary home of its own: the user's settings are
// neither read nor written.
//
//   tagsmith-screenshots DOCUMENT OUTDIR

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QTextEdit>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <stdlib.h>
#include <unistd.h>

#include "app/data_module.h"
#include "app/global_share.h"
#include "app/ui/about_box.h"
#include "app/ui/color_button.h"
#include "app/ui/dialog_screenshots.h"
#include "app/ui/document_io.h"
#include "app/ui/editor_window.h"
#include "app/ui/text_editor.h"

namespace {

namespace fs = std::filesystem;
using namespace tagsmith;

// A temporary home for the run, removed at the end (only the folder made here).
class ScratchHome {
 public:
  ScratchHome() {
    std::string pattern = (fs::temp_directory_path() / "tagsmith-screenshots-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
      std::perror("tagsmith-screenshots: cannot make a temporary folder");
      std::exit(1);
    }
    path_ = pattern;
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
      const fs::path p = std::string(name) == "HOME" ? path_ : path_ / name;
      fs::create_directories(p);
      setenv(name, p.c_str(), 1);
    }
    const fs::path runtime = path_ / "runtime";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  }
  ~ScratchHome() {
    std::error_code ec;
    if (!path_.empty() && path_.filename().string().rfind("tagsmith-screenshots-", 0) == 0) fs::remove_all(path_, ec);
  }

 private:
  fs::path path_;
};

bool Save(const QPixmap& pixmap, const QString& file) {
  if (pixmap.save(file, "PNG")) {
    std::printf("%s\n", file.toUtf8().constData());
    return true;
  }
  std::fprintf(stderr, "tagsmith-screenshots: cannot write %s\n", file.toUtf8().constData());
  return false;
}

// The window with one of its menus dropped down from the menu bar.
QPixmap WithMenuOpen(TfrmPopupWordEditor& window, QAction* item) {
  QMenuBar* bar = window.menuBar();
  bar->setActiveAction(item);
  QApplication::processEvents();
  QMenu* menu = item->menu();
  const QPoint at = bar->mapTo(&window, bar->actionGeometry(item).bottomLeft());
  menu->popup(window.mapToGlobal(at));
  QApplication::processEvents();
  QPixmap shot = window.grab();
  QPainter painter(&shot);
  painter.drawPixmap(at, menu->grab());
  painter.end();
  menu->hide();
  bar->setActiveAction(nullptr);
  QApplication::processEvents();
  return shot;
}

bool Render(const std::string& document, const QString& out, const std::string& lang) {
  GetSettingsStore().Write(settings::kUILang, lang);
  // The start's update check asks a port where nothing listens: pictures
  // are made without the network. The banners are the shipped ones.
  GetSettingsStore().Write(settings::kUpdateHost, "127.0.0.1:9");
  TfrmPopupWordEditor window;
  TDataModuleMain dataModule(dlProgram, &window);
  dataModule.DataModuleCreate();
  window.SetStrings(&dataModule.Strings());
  // The hooks the program sets, so the window shows what a user sees.
  window.SetConvertHook([] {});
  window.SetSettingsHook([] {});
  window.SetInsertObjectHook([](const std::string&) {});
  LoadDocumentFile(window.Document(), document);
  window.show();
  window.activateWindow();
  QTextCursor c = window.TextEditor()->textCursor();
  c.setPosition(0);
  c.movePosition(QTextCursor::EndOfWord, QTextCursor::KeepAnchor);
  window.TextEditor()->setTextCursor(c);
  QApplication::processEvents();

  const QString suffix = QString::fromStdString("-" + lang + ".png");
  bool ok = Save(window.grab(), out + "/editor" + suffix);
  const char* names[] = {"file", "edit", "help"};
  const QList<QAction*> items = window.menuBar()->actions();
  for (int i = 0; i < items.size() && i < 3; ++i)
    ok = Save(WithMenuOpen(window, items[i]), out + "/menu-" + names[i] + suffix) && ok;

  // The format drop-downs: the colour palette of the text colour button.
  if (auto* colour = window.findChild<TColorButton*>(QStringLiteral("jvbtnFontColor"))) {
    QWidget* palette = colour->Palette();
    palette->adjustSize();
    QPixmap shot = window.grab();
    QPainter painter(&shot);
    const QPoint at = colour->mapTo(&window, QPoint(0, colour->height()));
    painter.drawPixmap(at, palette->grab());
    painter.end();
    ok = Save(shot, out + "/palette" + suffix) && ok;
  }

  TAboutBox about(QString::fromUtf8(kHomeSiteUrl), &window);
  about.show();
  QApplication::processEvents();
  ok = Save(about.grab(), out + "/about" + suffix) && ok;
  about.hide();
  // The convert dialog ready to upload the document's images, and both
  // settings pages.
  try {
    for (const QString& file : SaveDialogScreenshots(&window, dataModule, window.Document(), out, QString::fromStdString(lang)))
      std::printf("%s\n", file.toUtf8().constData());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tagsmith-screenshots: %s\n", e.what());
    ok = false;
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: tagsmith-screenshots DOCUMENT OUTDIR\n");
    return 2;
  }
  const std::string document = fs::absolute(argv[1]).string();
  const QString out = QString::fromLocal8Bit(argv[2]);
  ScratchHome home;
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  if (!QDir().mkpath(out)) {
    std::fprintf(stderr, "tagsmith-screenshots: cannot make %s\n", argv[2]);
    return 1;
  }
  try {
    // The language files beside this program, as the program finds its own.
    InitGlobalShare((fs::path(CurrentModulePath()).parent_path() / kProgramFileName).string());
    bool ok = Render(document, out, "en");
    ok = Render(document, out, "ru") && ok;
    DoneGlobalShare();
    return ok ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tagsmith-screenshots: %s\n", e.what());
    return 1;
  }
}
