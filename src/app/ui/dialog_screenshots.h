#pragma once

// Pictures of the convert and settings dialogs as the user meets them, for
// the screenshots of the program: the convert dialog over a document with
// its images rendered (ready to upload), and both pages of the settings
// dialog.

#include <QString>
#include <QStringList>

class QWidget;

namespace tagsmith {

class QtDocument;
class TDataModuleMain;

// Saves into `folder` (which must exist) "convert-dialog-<tag>.png",
// "settings-usage-<tag>.png" and "settings-processing-<tag>.png", in the
// data module's current language, with `editor` as the dialogs' parent.
// Returns the files written; throws (tagsmith::Exception) when the images
// cannot be rendered within a minute or a file cannot be written. Main
// thread, with a QApplication.
QStringList SaveDialogScreenshots(QWidget* editor, TDataModuleMain& dataModule, QtDocument& document,
                                  const QString& folder, const QString& tag);

}  // namespace tagsmith
