#pragma once

// The Paste As dialog: lists the formats the clipboard holds now, in the
// order a paste tries them, and returns the one the user chose. The window
// shows it through ModalUi().Exec. Main thread only.

#include <QDialog>

#include <optional>
#include <vector>

#include "app/ui/document_io.h"

class QDialogButtonBox;
class QLabel;
class QListWidget;

namespace tagsmith {

class TPasteSpecialDialog : public QDialog {
  Q_OBJECT

 public:
  // `formats` as AvailablePasteFormats gives them; the first is selected.
  // With no formats the list is empty and OK is disabled.
  explicit TPasteSpecialDialog(const std::vector<PasteFormat>& formats, QWidget* parent = nullptr);

  // The selected format, or nothing when the list is empty.
  std::optional<PasteFormat> ChosenFormat() const;
  // Selects `format`; false when the list does not hold it.
  bool SelectFormat(PasteFormat format);

  // What pasting as `format` inserts, in one sentence.
  static QString FormatDescription(PasteFormat format);

 private:
  void ShowDescription();

  std::vector<PasteFormat> formats_;
  QListWidget* list_;
  QLabel* description_;
  QDialogButtonBox* buttons_;
};

}  // namespace tagsmith
