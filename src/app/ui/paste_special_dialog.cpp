#include "app/ui/paste_special_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tagsmith {

TPasteSpecialDialog::TPasteSpecialDialog(const std::vector<PasteFormat>& formats, QWidget* parent)
    : QDialog(parent), formats_(formats) {
  setObjectName("dlgPasteSpecial");
  setWindowTitle(tr("Paste Special"));
  setAccessibleName(windowTitle());

  auto* caption = new QLabel(tr("&As:"), this);
  caption->setObjectName("lblFormats");

  list_ = new QListWidget(this);
  list_->setObjectName("lstFormats");
  list_->setAccessibleName(tr("Paste as"));
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  for (PasteFormat format : formats_) {
    auto* item = new QListWidgetItem(QString::fromStdString(PasteFormatName(format)), list_);
    item->setData(Qt::AccessibleTextRole, item->text());
    item->setData(Qt::AccessibleDescriptionRole, FormatDescription(format));
  }
  caption->setBuddy(list_);

  description_ = new QLabel(this);
  description_->setObjectName("lblResult");
  description_->setWordWrap(true);
  description_->setMinimumHeight(description_->fontMetrics().lineSpacing() * 2);

  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons_->setObjectName("btnsPasteSpecial");
  buttons_->button(QDialogButtonBox::Ok)->setObjectName("btnOk");
  buttons_->button(QDialogButtonBox::Cancel)->setObjectName("btnCancel");
  for (QAbstractButton* b : buttons_->buttons()) b->setAccessibleName(b->text().remove(QLatin1Char('&')));

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(caption);
  layout->addWidget(list_, 1);
  layout->addWidget(description_);
  layout->addWidget(buttons_);

  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(list_, &QListWidget::currentRowChanged, this, [this] { ShowDescription(); });
  connect(list_, &QListWidget::itemActivated, this, [this] { accept(); });

  if (!formats_.empty()) list_->setCurrentRow(0);
  ShowDescription();
  resize(360, 260);
}

std::optional<PasteFormat> TPasteSpecialDialog::ChosenFormat() const {
  const int row = list_->currentRow();
  if (row < 0 || static_cast<size_t>(row) >= formats_.size()) return std::nullopt;
  return formats_[static_cast<size_t>(row)];
}

bool TPasteSpecialDialog::SelectFormat(PasteFormat format) {
  for (size_t i = 0; i < formats_.size(); ++i)
    if (formats_[i] == format) {
      list_->setCurrentRow(static_cast<int>(i));
      return true;
    }
  return false;
}

QString TPasteSpecialDialog::FormatDescription(PasteFormat format) {
  switch (format) {
    case PasteFormat::RichText: return tr("Inserts the text with its formatting and its pictures and objects.");
    case PasteFormat::RichTextWithoutObjects: return tr("Inserts the text with its formatting, without pictures or objects.");
    case PasteFormat::Html: return tr("Inserts the web page content with its formatting and its embedded pictures.");
    case PasteFormat::UnformattedText: return tr("Inserts the text without any formatting.");
    case PasteFormat::Picture: return tr("Inserts the picture as a picture object.");
  }
  return QString();
}

void TPasteSpecialDialog::ShowDescription() {
  const std::optional<PasteFormat> chosen = ChosenFormat();
  description_->setText(chosen ? FormatDescription(*chosen) : tr("The clipboard holds nothing that can be pasted."));
  description_->setAccessibleName(description_->text());
  buttons_->button(QDialogButtonBox::Ok)->setEnabled(chosen.has_value());
}

}  // namespace tagsmith
