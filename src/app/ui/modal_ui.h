#pragma once

// The modal boxes of the program (error box, Yes/No question, file dialogs,
// any modal dialog) behind one interface, so that widget tests can answer
// them without a person in front of the screen. Main thread only.

#include <QString>
#include <QStringList>

class QDialog;
class QWidget;

namespace tagsmith {

class IModalUi {
 public:
  virtual ~IModalUi() = default;
  // The application's error box: `text` with an OK button.
  virtual void ShowError(QWidget* parent, const QString& text) = 0;
  // A Yes/No question; true when the answer is Yes. `defaultNo` makes No the
  // button that Enter presses.
  virtual bool Ask(QWidget* parent, const QString& title, const QString& text, bool defaultNo) = 0;
  // The files the user chose to open (one at most unless `multiple`); empty
  // when the dialog was cancelled. `filter` is in QFileDialog's form.
  virtual QStringList OpenFileNames(QWidget* parent, const QString& title, const QString& filter,
                                    bool multiple) = 0;
  // The file to save to, with `defaultSuffix` added when the user typed none;
  // empty when cancelled.
  virtual QString SaveFileName(QWidget* parent, const QString& title, const QString& filter,
                               const QString& defaultSuffix) = 0;
  // Runs `dialog` modally and returns its result (QDialog::Accepted or
  // QDialog::Rejected); the dialog's state is read by the caller afterwards.
  virtual int Exec(QDialog& dialog) = 0;
};

// The boxes in use: Qt's own (QMessageBox, QFileDialog, QDialog::exec) unless
// a test installed its own.
IModalUi& ModalUi();
// Installs `ui` (not owned; it must outlive its use); null restores Qt's.
void SetModalUi(IModalUi* ui);

}  // namespace tagsmith
