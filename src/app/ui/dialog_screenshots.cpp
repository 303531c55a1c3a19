#include "app/ui/dialog_screenshots.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QStackedWidget>
#include <QTreeWidget>

#include "app/data_module.h"
#include "app/ui/convert_data_dialog.h"
#include "app/ui/settings_dialog.h"
#include "platform/errors.h"
#include "platform/sync_queue.h"

namespace tagsmith {

namespace {

void Save(QWidget& widget, const QString& file, QStringList& written) {
  QCoreApplication::processEvents();
  if (!widget.grab().save(file, "PNG")) throw Exception("Cannot write the screenshot " + file.toStdString());
  written << file;
}

}  // namespace

QStringList SaveDialogScreenshots(QWidget* editor, TDataModuleMain& dataModule, QtDocument& document,
                                  const QString& folder, const QString& tag) {
  QStringList written;
  const QDir dir(folder);
  {
    TfrmConvertData convert(editor, dataModule, document);
    convert.show();
    QElapsedTimer waited;
    waited.start();
    while (!convert.Workflow().ImagesReady()) {
      if (waited.elapsed() > 60000) throw Exception("The images of the document took more than a minute to render");
      SyncQueue::Main().CheckSynchronize(std::chrono::milliseconds(5));
      QCoreApplication::processEvents();
    }
    Save(convert, dir.filePath("convert-dialog-" + tag + ".png"), written);
    convert.btnExitClick();
  }
  TfrmSettings settings(editor, dataModule);
  settings.show();
  auto* tree = settings.findChild<QTreeWidget*>(QStringLiteral("JvSettingsTreeViewMain"));
  const char* pages[] = {"settings-usage-", "settings-processing-"};
  for (int page = 0; page < 2; ++page) {
    if (tree) tree->setCurrentItem(tree->topLevelItem(page));
    Save(settings, dir.filePath(QString::fromUtf8(pages[page]) + tag + ".png"), written);
  }
  settings.done(QDialog::Rejected);
  return written;
}

}  // namespace tagsmith
