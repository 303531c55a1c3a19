#include "app/ui/modal_ui.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace tagsmith {
namespace {

class TQtModalUi final : public IModalUi {
 public:
  void ShowError(QWidget* parent, const QString& text) override {
    QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), text, QMessageBox::Ok,
                    parent);
    box.setAccessibleName(QApplication::applicationDisplayName());
    box.setAccessibleDescription(text);
    box.exec();
  }

  bool Ask(QWidget* parent, const QString& title, const QString& text, bool defaultNo) override {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(defaultNo ? QMessageBox::No : QMessageBox::Yes);
    box.setAccessibleName(title);
    box.setAccessibleDescription(text);
    return box.exec() == QMessageBox::Yes;
  }

  QStringList OpenFileNames(QWidget* parent, const QString& title, const QString& filter,
                            bool multiple) override {
    if (multiple) return QFileDialog::getOpenFileNames(parent, title, QString(), filter);
    const QString file = QFileDialog::getOpenFileName(parent, title, QString(), filter);
    return file.isEmpty() ? QStringList() : QStringList{file};
  }

  QString SaveFileName(QWidget* parent, const QString& title, const QString& filter,
                       const QString& defaultSuffix) override {
    // Through a dialog object, since the static helper cannot add a suffix.
    QFileDialog dialog(parent, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted) return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.front();
  }

  int Exec(QDialog& dialog) override { return dialog.exec(); }
};

TQtModalUi& QtModalUi() {
  static TQtModalUi ui;
  return ui;
}

IModalUi* installed = nullptr;

}  // namespace

IModalUi& ModalUi() { return installed ? *installed : static_cast<IModalUi&>(QtModalUi()); }

void SetModalUi(IModalUi* ui) { installed = ui; }

}  // namespace tagsmith
