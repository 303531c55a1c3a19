// tagsmith-dialog-screenshots [OUT_DIR [DOCUMENT]]: pictures of the convert
// dialog (DOCUMENT, by default samples/sample.rtf, with its images rendered)
// and of both settings pages, in English and in Russian, written into OUT_DIR
// (default out/screenshots). It runs in a home of its own, so the user's
// settings are neither read nor changed, on the offscreen platform unless
// QT_QPA_PLATFORM says otherwise.

#include <QApplication>
#include <QDir>
#include <QTextEdit>

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/data_module.h"
#include "app/global_share.h"
#include "app/ui/dialog_screenshots.h"
#include "app/ui/document_io.h"
#include "app/ui/qt_document.h"
#include "platform/errors.h"

namespace {

// A private home (and XDG folders) for the run, removed afterwards.
class RunHome {
 public:
  RunHome() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tagsmith-screenshots-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw tagsmith::Exception("Cannot make a temporary home");
    path_ = pattern;
    setenv("HOME", path_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (path_ / ".config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (path_ / ".cache").c_str(), 1);
    setenv("XDG_DATA_HOME", (path_ / ".local/share").c_str(), 1);
  }
  ~RunHome() {
    std::error_code ec;
    if (!path_.empty() && path_.filename().string().rfind("tagsmith-screenshots-", 0) == 0)
      std::filesystem::remove_all(path_, ec);
  }

 private:
  std::filesystem::path path_;
};

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::string out = argc > 1 ? argv[1] : "out/screenshots";
    const std::string document = argc > 2 ? argv[2] : "samples/sample.rtf";
    std::filesystem::create_directories(out);
    const std::string outDir = std::filesystem::absolute(out).string();
    RunHome home;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    // As the program beside this executable, whose Lang/ the build fills.
    const std::string module = tagsmith::CurrentModulePath();
    tagsmith::InitGlobalShare(module.substr(0, module.rfind('/') + 1) + tagsmith::kProgramFileName);
    int status = 0;
    for (const char* language : {"en", "ru"}) {
      tagsmith::GetSettingsStore().Write(tagsmith::settings::kUILang, language);
      tagsmith::TDataModuleMain dataModule(tagsmith::dlProgram, nullptr);
      dataModule.DataModuleCreate();
      QWidget editor;
      editor.resize(800, 700);
      QTextEdit edit(&editor);
      tagsmith::QtDocument doc(edit.document());
      doc.AttachEditor(&edit);
      tagsmith::LoadDocumentFile(doc, document);
      for (const QString& file : tagsmith::SaveDialogScreenshots(&editor, dataModule, doc, QString::fromStdString(outDir),
                                                                 QString::fromUtf8(language)))
        std::printf("%s\n", file.toLocal8Bit().constData());
    }
    tagsmith::DoneGlobalShare();
    return status;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tagsmith-dialog-screenshots: %s\n", e.what());
    return 1;
  }
}
