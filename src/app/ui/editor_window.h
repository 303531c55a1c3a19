#pragma once

// Unit_frmPopupWordEditor: TfrmPopupWordEditor, the editor window. A
// rich-text editing area (TextEditor, over the Qt document) with the menu bar
// MenuBarMain, four tool bars, the banner strip imgBanner at the bottom, and
// the commands that format, open, save and convert the document. Every
// action and control carries its design name as objectName; the actions'
// captions and hints are the design-time English texts until the translator
// replaces them through the property targets this window offers.
//
// The window reaches what other parts own through hooks: the convert and
// settings dialogs, the creation of embedded objects, what Exit ends and what
// a balloon shows. An action whose hook is unset is disabled.
//
// Main thread only. Errors of a command are shown by the application's error
// box (RunGuarded); the document is then as it was before the command.

#include <QColor>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <random>
#include <string>

#include "app/data_module.h"
#include "app/global_share.h"
#include "app/ui/banner_strip.h"
#include "app/ui/editor_icons.h"
#include "app/ui/property_targets.h"
#include "app/ui/qt_document.h"
#include "app/translated_strings.h"
#include "richtext/document_builder.h"

class QAction;
class QButtonGroup;
class QComboBox;
class QFontComboBox;
class QMenu;
class QTextEdit;
class QToolBar;
class QToolButton;

namespace tagsmith {

class TColorButton;
class TTextEditor;

// The embedded-object classes the Insert commands create; the empty name is
// the Insert Object command, which lets the user choose.
inline constexpr const char* kPaintPictureClass = "Paint.Picture";
inline constexpr const char* kEquationClass = "Equation";
inline constexpr const char* kWordDocumentClass = "Word.Document";
inline constexpr const char* kExcelSheetClass = "Excel.Sheet";

// The maker's web site, opened by Visit home Site and the About box.
inline constexpr const char* kHomeSiteUrl = "https://www.quorindo.com/";

class TfrmPopupWordEditor : public QMainWindow, public IDataModuleHost {
  Q_OBJECT

 public:
  explicit TfrmPopupWordEditor(QWidget* parent = nullptr);
  ~TfrmPopupWordEditor() override;

  // The editing area and its document.
  TTextEditor* TextEditor() const { return textEditor_; }
  QtDocument& Document() const;
  // The target list of the Convert command: 0 "bbCode", 1 "HTML".
  QComboBox* ConvertTypes() const { return cbConvertTypes_; }
  // The banner strip at the bottom, for the banner component.
  QLabel* Banner() const { return imgBanner_; }

  // The file the document was last saved to through Save (or Save after a
  // save dialog); empty at start, after New and after Open.
  const QString& DocFileName() const { return docFileName_; }
  // Set while the controls are brought in line with the selection.
  bool Updating() const { return updating_; }

  // The attributes the formatting commands read and change: the selection
  // when it holds a character, else the word at the caret, else (no word
  // there) the format typing continues in.
  CharFormat ActiveAttributes() const;

  // Convert and Settings run these; their actions are disabled while unset.
  void SetConvertHook(std::function<void()> hook);
  void SetSettingsHook(std::function<void()> hook);
  // The Insert commands create an embedded object of a class (one of the
  // k...Class names, or empty for the Insert Object choice) at the
  // selection; disabled while unset.
  void SetInsertObjectHook(std::function<void(const std::string& className)> hook);
  // Closing the window (title-bar button) hides it instead (the program,
  // which lives on in the notification area).
  void SetCloseHides(bool hides);
  bool CloseHides() const { return closeHides_; }
  // What Exit ends after the user said Yes; unset, Exit closes the window
  // for good (also when closing would only hide it).
  void SetTerminateHook(std::function<void()> hook);
  // Whether Exit asks first (the control's window does not).
  void SetExitAsks(bool asks) { exitAsks_ = asks; }
  // The data module's translated texts (the Exit question); may be null.
  void SetStrings(const TTranslatedStrings* strings) { strings_ = strings; }
  // What ShowBalloon shows; unset, a balloon is a small box that closes
  // itself after its time.
  void SetBalloonHook(std::function<void(const std::string& title, const std::string& text, bool error, int timeoutMs)> hook);
  // Offers `object` (a tray icon, a dialog's control) as the property target
  // of the design name `component`, beside the window's own.
  void AddPropertyTarget(const std::string& component, QObject* object);

  // Brings the controls in line with the selection (TextEditorSelectionChange).
  void TextEditorSelectionChange();
  // Action_OpenEditor: shows the window in front, restored, the editor focused.
  void ShowEditor();
  // Sets the layout margins of the editing area.
  void ApplyMargins();

  // IDataModuleHost
  IPropertyTarget* FindPropertyTarget(const char* component, int menuItem) override;
  void ShowBalloon(const std::string& title, const std::string& text, bool error, int timeoutMs) override;
  IBanner* BannerStrip() override { return bannerStrip_; }

  // The seed of the colouring's random numbers (tests make it repeatable).
  void SeedColorize(uint32_t seed) { random_.seed(seed); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void CreateActions();
  void CreateMenus();
  void CreateToolBars();
  void CreateEditor();
  QAction* MakeAction(const char* name, const char* caption, const QString& hint, TEditorIcon icon);

  // The commands.
  void NewDoc();
  void OpenFile();
  void Save();
  void SaveAs();
  void Exit();
  void VisitSite();
  void AboutProgram();
  void InsertPicture();
  void ColorizeText();
  void FontStyleChanged();
  void FontSizeChanged(const QString& text);
  void FontNameChanged(const QFont& font);
  void ColorChosen(bool background, std::optional<QColor> color, bool automatic);
  void AlignmentClicked(int tag);
  void BulletsClicked();
  void ScriptBtnsClick(QToolButton* clicked);
  void UpdatePasteActions(bool canPaste);

  // Saves to `path`; true on success. Errors go to the error box.
  bool SaveTo(const QString& path);
  // Runs the save dialog starting in `folder` (may be empty); the chosen file
  // or empty.
  QString AskSaveFile(const QString& folder);
  // The cursor over ActiveAttributes: the selection or the word at the caret;
  // no selection when neither holds a character.
  QTextCursor ActiveCursor() const;
  // Changes the character format of ActiveAttributes: every format run of the
  // range keeps its other attributes; with no range the format typing
  // continues in. One undo step.
  void ChangeCharFormat(const std::function<void(QTextCharFormat&)>& change);
  // The folder stored under `setting`, or empty when none is stored.
  static QString StoredFolder(const StringSetting& setting);
  static void StoreFolder(const StringSetting& setting, const QString& file);

  TTextEditor* textEditor_ = nullptr;
  QLabel* imgBanner_ = nullptr;
  TBannerStrip* bannerStrip_ = nullptr;  // a child of imgBanner_
  QComboBox* cbConvertTypes_ = nullptr;
  QFontComboBox* cmboxFontName_ = nullptr;
  QComboBox* cboxFontSize_ = nullptr;
  TColorButton* jvbtnFontColor_ = nullptr;
  TColorButton* jvbtnFontBkColor_ = nullptr;
  QToolButton* tbtnAlignLeft_ = nullptr;
  QToolButton* tbtnAlignCenter_ = nullptr;
  QToolButton* tbtnAlignRight_ = nullptr;
  QToolButton* tbtnSuperscript_ = nullptr;
  QToolButton* tbtnSubscript_ = nullptr;
  QButtonGroup* alignGroup_ = nullptr;
  QMenu* menuFile_ = nullptr;
  QMenu* menuEdit_ = nullptr;
  QMenu* menuHelp_ = nullptr;
  std::map<std::string, QAction*> actions_;

  QString docFileName_;
  bool updating_ = false;
  bool closeHides_ = false;
  bool exitAsks_ = true;
  bool terminating_ = false;
  const TTranslatedStrings* strings_ = nullptr;
  std::function<void()> convertHook_;
  std::function<void()> settingsHook_;
  std::function<void(const std::string&)> insertObjectHook_;
  std::function<void()> terminateHook_;
  std::function<void(const std::string&, const std::string&, bool, int)> balloonHook_;
  std::map<std::string, std::unique_ptr<TQtPropertyTarget>> targets_;
  std::mt19937 random_;
};

}  // namespace tagsmith
