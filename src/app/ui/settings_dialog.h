#pragma once

// Unit_frmSettings: TfrmSettings, the settings dialog. Two pages chosen in a
// tree (Usage: language, autostart, automatic update; Processing: the image
// options, the image host and the tag kinds each output may use). The
// constructor loads every option from the settings store; closing with OK
// stores them all, and a changed language is applied at once
// (TDataModuleMain::ReloadLanguage), so the editor is re-translated and the
// next convert dialog opens in the new language. Any other close stores
// nothing.
//
//   TfrmSettings dlg(editorWindow, dataModule);
//   ModalUi().Exec(dlg);
//
// When the settings cannot be stored, the error is shown and the dialog stays
// open with the user's choices; the data module's tag sets change only once
// everything is stored.

#include <QDialog>

#include <string>
#include <vector>

#include "conversion/tag_sets.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QTreeWidget;

namespace tagsmith {

class TDataModuleMain;

// The check items of the two tag lists, item i standing for tag kind i.
extern const std::vector<const char*> kBBCodeTagItems;
extern const std::vector<const char*> kHTMLTagItems;
// The image format items, as stored in "ImageFormat".
extern const std::vector<const char*> kImageFormatItems;

class TfrmSettings : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kClientWidth = 595;
  static constexpr int kClientHeight = 364;

  // FormCreate. Errors of the settings store propagate (no dialog then). The
  // data module must outlive the dialog.
  TfrmSettings(QWidget* parent, TDataModuleMain& dataModule);
  ~TfrmSettings() override;

  // LanguageList: "code=display name", one line per installed language.
  const std::vector<std::string>& LanguageList() const { return languageList_; }

  // FormClose on OK (QDialog::Accepted); any other result stores nothing.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void Build();
  void ApplyCaptions();
  void LoadTagChecks();
  // The FormClose steps; throws when the store cannot be written.
  void StoreSettings();
  void FormActivate();

  TDataModuleMain& dataModule_;
  std::vector<std::string> languageList_;
  // The holders the dialog edits when the data module has none.
  TBBCODETagSetHolder ownBBCode_;
  THTMLTagSetHolder ownHTML_;

  QTreeWidget* tree_ = nullptr;
  QStackedWidget* pages_ = nullptr;
  QLabel* lbLang_ = nullptr;
  QComboBox* cboxLang_ = nullptr;
  QCheckBox* cboxStartWithWindows_ = nullptr;
  QCheckBox* cboxAutoUpdate_ = nullptr;
  QCheckBox* cboxUpscaleImages_ = nullptr;
  QCheckBox* cboxEnableAntiHotlinking_ = nullptr;
  QLabel* lbImageFormat_ = nullptr;
  QComboBox* cboxImageFormat_ = nullptr;
  QLabel* lbImageHosting_ = nullptr;
  QComboBox* cboxImageHosting_ = nullptr;
  QLabel* label4_ = nullptr;
  QTabWidget* tagPages_ = nullptr;
  QListWidget* listBBCode_ = nullptr;
  QListWidget* listHTML_ = nullptr;
  QPushButton* btnOK_ = nullptr;
  QPushButton* btnCancel_ = nullptr;
};

}  // namespace tagsmith
