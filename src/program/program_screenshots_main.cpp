// tagsmith-program-screenshots OUTDIR: the editor window exactly as a newly
// started program shows it ("tagsmith /show" with no settings yet), in
// English and in Russian, as OUTDIR/program-start-en.png and -ru.png. Runs
// in a temporary home on the offscreen platform unless one is set.

#include <QApplication>
#include <QDir>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <system_error>

#include <unistd.h>

#include "app/global_share.h"
#include "app/ui/editor_window.h"
#include "program/program.h"
#include "program/tray_icon.h"

namespace {

namespace fs = std::filesystem;

// A fresh home for one language, removed afterwards.
class ScratchHome {
 public:
  ScratchHome() {
    std::string pattern = (fs::temp_directory_path() / "tagsmith-program-shots-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
      std::perror("tagsmith-program-screenshots: cannot make a temporary folder");
      std::exit(1);
    }
    path_ = pattern;
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
      fs::create_directories(path_ / name);
      setenv(name, (path_ / name).c_str(), 1);
    }
    setenv("HOME", path_.c_str(), 1);
  }
  ~ScratchHome() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }

 private:
  fs::path path_;
};

bool Shoot(const QString& out, const char* lang) {
  ScratchHome home;
  // The language files beside this program, as the program finds its own.
  tagsmith::InitGlobalShare((fs::path(tagsmith::CurrentModulePath()).parent_path() / tagsmith::kProgramFileName).string(),
                            tagsmith::Registry::DefaultFileName());
  bool ok = false;
  {
    tagsmith::GetSettingsStore().WriteString("UILang", lang);
    tagsmith::TProgramOptions options;
    options.arguments = {"/show"};
    tagsmith::TProgram program(std::move(options));
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
    const QString file = out + "/program-start-" + lang + ".png";
    ok = program.MainForm().grab().save(file);
    std::fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "wrote" : "cannot write", file.toLocal8Bit().constData());
  }
  tagsmith::DoneGlobalShare();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tagsmith-program-screenshots OUTDIR\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tagsmith");
  QApplication::setWindowIcon(tagsmith::ProgramIcon());
  if (!QDir().mkpath(out)) {
    std::fprintf(stderr, "tagsmith-program-screenshots: cannot make %s\n", argv[1]);
    return 1;
  }
  try {
    bool ok = Shoot(out, "en");
    ok = Shoot(out, "ru") && ok;
    return ok ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tagsmith-program-screenshots: %s\n", e.what());
    return 1;
  }
}
