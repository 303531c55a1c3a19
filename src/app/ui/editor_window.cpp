#include "app/ui/editor_window.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QHideEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontComboBox>
#include <QImageReader>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextFrame>
#include <QTextList>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <chrono>
#include <cmath>

#include "app/global_share.h"
#include "app/ui/about_box.h"
#include "app/ui/application_errors.h"
#include "app/ui/color_button.h"
#include "app/ui/document_io.h"
#include "app/ui/modal_ui.h"
#include "app/ui/text_editor.h"
#include "platform/shell.h"
#include "richtext/tom.h"

namespace tagsmith {
namespace {

constexpr const char* kOpenDialogTitle = "Open new document dialog";
constexpr const char* kSaveDialogTitle = "Save document dialog";
constexpr const char* kPictureDialogTitle = "Select image";
// The design's "RTF Document (*.rtf)|*.rtf|Any File (*.*)|*" in Qt's form;
// Qt reads the patterns from the parentheses, so "Any File" shows "(*)".
constexpr const char* kDocumentFilter = "RTF Document (*.rtf);;Any File (*)";
constexpr const char* kExitQuestionTitle = "Confirm";
// The question when no language file gave "ExitConfirmMsg": a Yes/No box
// without a question would leave the user guessing.
constexpr const char* kDefaultExitQuestion = "Do you really want to exit Tagsmith?";
constexpr int kTextMargin = 16;
// The largest size the text-object operations accept.
constexpr int kMaxFontSize = 1638;

QString Q(const char* text) { return QString::fromUtf8(text); }
QString Q(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The picture types Qt reads here, as one filter entry.
QString PictureFilter() {
  QStringList patterns;
  for (const QByteArray& format : QImageReader::supportedImageFormats())
    patterns << QStringLiteral("*.") + QString::fromLatin1(format);
  patterns.removeDuplicates();
  return QStringLiteral("Pictures (%1);;Any File (*)").arg(patterns.join(QLatin1Char(' ')));
}

}  // namespace

TfrmPopupWordEditor::TfrmPopupWordEditor(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("frmPopupWordEditor"));
  setWindowTitle(QStringLiteral("Tagsmith v1.1"));
  setWindowIcon(EditorIcon(TEditorIcon::AppIcon));
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(13);
  setFont(font);
  random_.seed(static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()));

  CreateEditor();
  CreateActions();
  CreateMenus();
  CreateToolBars();

  resize(585, 626);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }

  // The clipboard decides Paste and Paste As from now on.
  connect(textEditor_, &TTextEditor::pasteAvailableChanged, this, &TfrmPopupWordEditor::UpdatePasteActions);
  UpdatePasteActions(textEditor_->CanPasteNow());

  updating_ = false;
  TextEditorSelectionChange();
}

TfrmPopupWordEditor::~TfrmPopupWordEditor() = default;

QtDocument& TfrmPopupWordEditor::Document() const { return textEditor_->Document(); }

void TfrmPopupWordEditor::CreateEditor() {
  auto* central = new QWidget(this);
  central->setObjectName(QStringLiteral("pnlClient"));
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  textEditor_ = new TTextEditor(central);
  // Text typed into a fresh document is 12 points in the editor's face.
  QFont base = textEditor_->document()->defaultFont();
  base.setPointSize(12);
  textEditor_->document()->setDefaultFont(base);
  ApplyMargins();
  textEditor_->document()->clearUndoRedoStacks();
  layout->addWidget(textEditor_, 1);

  imgBanner_ = new QLabel(central);
  imgBanner_->setObjectName(QStringLiteral("imgBanner"));
  imgBanner_->setAccessibleName(QStringLiteral("Banner"));
  imgBanner_->setFixedHeight(100);
  imgBanner_->setMinimumWidth(500);
  imgBanner_->setAlignment(Qt::AlignCenter);
  imgBanner_->setCursor(Qt::PointingHandCursor);
  layout->addWidget(imgBanner_);
  bannerStrip_ = new TBannerStrip(*imgBanner_);
  setCentralWidget(central);

  QTextEdit* edit = textEditor_;
  connect(edit, &QTextEdit::selectionChanged, this, &TfrmPopupWordEditor::TextEditorSelectionChange);
  connect(edit, &QTextEdit::cursorPositionChanged, this, &TfrmPopupWordEditor::TextEditorSelectionChange);
  connect(edit, &QTextEdit::currentCharFormatChanged, this, [this] { TextEditorSelectionChange(); });
  connect(edit->document(), &QTextDocument::undoAvailable, this, [this] { TextEditorSelectionChange(); });
  connect(edit->document(), &QTextDocument::redoAvailable, this, [this] { TextEditorSelectionChange(); });
}

QAction* TfrmPopupWordEditor::MakeAction(const char* name, const char* caption, const QString& hint, TEditorIcon icon) {
  auto* action = new QAction(EditorIcon(icon), Q(caption), this);
  action->setObjectName(Q(name));
  action->setToolTip(hint.isEmpty() ? Q(caption) : hint);
  action->setStatusTip(hint);
  actions_[name] = action;
  addAction(action);
  return action;
}

void TfrmPopupWordEditor::CreateActions() {
  using I = TEditorIcon;
  const auto run = [this](void (TfrmPopupWordEditor::*command)()) {
    return [this, command] { RunGuarded(this, [this, command] { (this->*command)(); }); };
  };
  QAction* a = nullptr;

  a = MakeAction("Action_NewDoc", "New", Q("Create new document"), I::NewDoc);
  a->setShortcut(QKeySequence::New);
  connect(a, &QAction::triggered, this, run(&TfrmPopupWordEditor::NewDoc));
  a = MakeAction("Action_OpenFile", "Open", Q("Open file"), I::OpenFile);
  a->setShortcut(QKeySequence::Open);
  connect(a, &QAction::triggered, this, run(&TfrmPopupWordEditor::OpenFile));
  a = MakeAction("Action_Save", "Save", Q("Save document"), I::Save);
  a->setShortcut(QKeySequence::Save);
  connect(a, &QAction::triggered, this, run(&TfrmPopupWordEditor::Save));
  a = MakeAction("Action_SaveAs", "Save As", Q("Save document as"), I::SaveAs);
  a->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+S")));
  connect(a, &QAction::triggered, this, run(&TfrmPopupWordEditor::SaveAs));
  a = MakeAction("Action_ShowSettingsDlg", "Settings", Q("Show settings dialog"), I::Settings);
  a->setEnabled(false);
  connect(a, &QAction::triggered, this, [this] {
    if (settingsHook_) RunGuarded(this, settingsHook_);
  });
  a = MakeAction("Action_Exit", "Exit", Q("Exit from program"), I::Exit);
  a->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
  connect(a, &QAction::triggered, this, run(&TfrmPopupWordEditor::Exit));
  a = MakeAction("Action_OpenEditor", "Open editor", Q("Open editor window"), I::AppIcon);
  connect(a, &QAction::triggered, this, &TfrmPopupWordEditor::ShowEditor);
  a = MakeAction("Action_ConvertTo", "Convert", Q("Convert formatted text into specified format (BBCODE or HTML)"),
                 I::Convert);
  a->setEnabled(false);
  connect(a, &QAction::triggered, this, [this] {
    if (convertHook_) RunGuarded(this, convertHook_);
  });
  a = MakeAction("Action_VisitSite", "Visit home Site", QString(), I::VisitSite);
  connect(a, &QAction::triggered, this, run(&TfrmPopupWordEditor::VisitSite));
  a = MakeAction("Action_AboutProgram", "About", QString(), I::About);
  connect(a, &QAction::triggered, this, run(&TfrmPopupWordEditor::AboutProgram));

  a = MakeAction("Action_CutToClipboard", "Cut", Q("Cut to clipboard"), I::Cut);
  a->setShortcut(QKeySequence::Cut);
  connect(a, &QAction::triggered, this, [this] { textEditor_->Cut(); });
  a = MakeAction("Action_CopyToClipboard", "Copy", Q("Copy to clipboard"), I::Copy);
  a->setShortcut(QKeySequence::Copy);
  connect(a, &QAction::triggered, this, [this] { textEditor_->Copy(); });
  a = MakeAction("Action_PasteFromClipboard", "Paste", Q("Paste from clipboard"), I::Paste);
  a->setShortcut(QKeySequence::Paste);
  connect(a, &QAction::triggered, this, [this] { textEditor_->Paste(); });
  a = MakeAction("Action_PasteAsFromClipboard", "Paste As", Q("Paste from clipboard\nin specified format"), I::PasteAs);
  a->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+V")));
  connect(a, &QAction::triggered, this, [this] {
    textEditor_->PasteAs();
    textEditor_->setFocus();
  });
  a = MakeAction("Action_Undo", "Undo", QString(), I::Undo);
  a->setShortcut(QKeySequence::Undo);
  connect(a, &QAction::triggered, this, [this] { textEditor_->undo(); });
  a = MakeAction("Action_Redo", "Redo", QString(), I::Redo);
  a->setShortcuts({QKeySequence(QStringLiteral("Ctrl+Y")), QKeySequence(QStringLiteral("Ctrl+Shift+Z"))});
  connect(a, &QAction::triggered, this, [this] { textEditor_->redo(); });

  struct Style {
    const char* name;
    const char* caption;
    const char* hint;
    I icon;
    const char* key;
    const char* button;
  };
  for (const Style& s : {Style{"Action_FontBold", "Bold", "Set bold style", I::Bold, "Ctrl+B", "tbtnFontBold"},
                         Style{"Action_FontItalic", "Italic", "Set italic style", I::Italic, "Ctrl+I", "tbtnFontItalic"},
                         Style{"Action_FontUnderline", "Underline", "Set underline style", I::Underline, "Ctrl+U",
                               "tbtnFontUnderline"},
                         Style{"Action_FontStrikeout", "Strikeout", "Set strikeout stile", I::Strikeout, nullptr,
                               "tbtnFontStrikeout"}}) {
    a = MakeAction(s.name, s.caption, Q(s.hint), s.icon);
    a->setCheckable(true);
    if (s.key) a->setShortcut(QKeySequence(Q(s.key)));
    connect(a, &QAction::triggered, this, [this] { RunGuarded(this, [this] { FontStyleChanged(); }); });
  }
  a = MakeAction("Action_Bullets", "Bullets", Q("Bullets"), I::Bullets);
  a->setCheckable(true);
  connect(a, &QAction::triggered, this, run(&TfrmPopupWordEditor::BulletsClicked));
  a = MakeAction("Action_TextColorize", "Colorize text", Q("Format text in blondy style"), I::Colorize);
  connect(a, &QAction::triggered, this, run(&TfrmPopupWordEditor::ColorizeText));

  struct Insert {
    const char* name;
    const char* caption;
    I icon;
    const char* className;
  };
  for (const Insert& s : {Insert{"Action_InsertObj", "Insert Object", I::InsertObject, ""},
                          Insert{"Action_InsertPaintPicture", "Paint Picture", I::PaintPicture, kPaintPictureClass},
                          Insert{"Action_InsertEquation", "Insert Equation", I::Equation, kEquationClass},
                          Insert{"Action_InsertWordDoc", "Insert Word document", I::WordDoc, kWordDocumentClass},
                          Insert{"Action_InsertExcelDoc", "Insert Excel table", I::ExcelTable, kExcelSheetClass}}) {
    a = MakeAction(s.name, s.caption, Q(s.caption), s.icon);
    a->setEnabled(false);
    const std::string className = s.className;
    connect(a, &QAction::triggered, this, [this, className] {
      if (!insertObjectHook_) return;
      RunGuarded(this, [this, &className] { insertObjectHook_(className); });
      textEditor_->setFocus();
    });
  }
  a = MakeAction("Action_InsertPictureFromFile", "Insert Picture", Q("Insert Picture from file"), I::InsertPicture);
  connect(a, &QAction::triggered, this, run(&TfrmPopupWordEditor::InsertPicture));

  // The editing area's own menu.
  textEditor_->SetContextMenuActions({actions_["Action_CutToClipboard"], actions_["Action_CopyToClipboard"],
                                      actions_["Action_PasteFromClipboard"],
                                      actions_["Action_PasteAsFromClipboard"]});
}

void TfrmPopupWordEditor::CreateMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MenuBarMain"));
  bar->setAccessibleName(QStringLiteral("Menu bar"));
  const auto add = [this](QMenu* menu, std::initializer_list<const char*> names) {
    for (const char* name : names) {
      if (!*name) menu->addSeparator();
      else menu->addAction(actions_.at(name));
    }
  };
  menuFile_ = bar->addMenu(QStringLiteral("&File"));
  menuFile_->setObjectName(QStringLiteral("MenuFile"));
  add(menuFile_, {"Action_NewDoc", "Action_OpenFile", "Action_Save", "Action_SaveAs", "Action_ShowSettingsDlg", "",
                  "Action_Exit"});
  menuEdit_ = bar->addMenu(QStringLiteral("&Edit"));
  menuEdit_->setObjectName(QStringLiteral("MenuEdit"));
  add(menuEdit_, {"Action_CutToClipboard", "Action_CopyToClipboard", "Action_PasteFromClipboard",
                  "Action_PasteAsFromClipboard", "", "Action_InsertObj", "Action_InsertPictureFromFile",
                  "Action_InsertPaintPicture", "Action_InsertEquation", "Action_InsertWordDoc",
                  "Action_InsertExcelDoc"});
  menuHelp_ = bar->addMenu(QStringLiteral("&Help"));
  menuHelp_->setObjectName(QStringLiteral("MenuHelp"));
  for (QMenu* menu : {menuFile_, menuEdit_, menuHelp_}) {
    // A screen reader names a menu by its window title; a drop-down is a
    // window of its own, which takes no font from this one.
    menu->setWindowTitle(menu->title().remove(QLatin1Char('&')));
    menu->setFont(font());
  }
  add(menuHelp_, {"Action_VisitSite", "Action_AboutProgram"});
}

void TfrmPopupWordEditor::CreateToolBars() {
  const auto bar = [this](const char* name, const char* title) {
    QToolBar* tb = addToolBar(Q(title));
    tb->setObjectName(Q(name));
    tb->setAccessibleName(Q(title));
    tb->setMovable(false);
    tb->setIconSize(QSize(16, 16));
    return tb;
  };
  const auto named = [](QToolBar* tb, QAction* action, const char* buttonName) {
    tb->addAction(action);
    if (QWidget* w = tb->widgetForAction(action)) w->setObjectName(Q(buttonName));
  };

  QToolBar* file = bar("ToolBarFile", "File and edit");
  for (const char* name : {"Action_NewDoc", "Action_OpenFile", "Action_Save", "Action_SaveAs", "",
                           "Action_CutToClipboard", "Action_CopyToClipboard", "Action_PasteFromClipboard",
                           "Action_PasteAsFromClipboard", "", "Action_Undo", "Action_Redo", "", "Action_InsertObj",
                           "Action_InsertPictureFromFile", "Action_InsertPaintPicture", "Action_InsertEquation",
                           "Action_InsertWordDoc", "Action_InsertExcelDoc", "", "Action_ShowSettingsDlg",
                           "Action_AboutProgram"}) {
    if (!*name) file->addSeparator();
    else file->addAction(actions_.at(name));
  }

  addToolBarBreak();
  QToolBar* fontBar = bar("ToolBarFont", "Font");
  cmboxFontName_ = new QFontComboBox(fontBar);
  cmboxFontName_->setObjectName(QStringLiteral("cmboxFontName"));
  cmboxFontName_->setMinimumWidth(250);
  cmboxFontName_->setMaximumWidth(300);
  cmboxFontName_->setToolTip(QStringLiteral("Select font name"));
  cmboxFontName_->setAccessibleName(QStringLiteral("Select font name"));
  fontBar->addWidget(cmboxFontName_);
  connect(cmboxFontName_, &QFontComboBox::currentFontChanged, this,
          [this](const QFont& f) { RunGuarded(this, [this, &f] { FontNameChanged(f); }); });

  cboxFontSize_ = new QComboBox(fontBar);
  cboxFontSize_->setObjectName(QStringLiteral("cboxFontSize"));
  cboxFontSize_->setEditable(true);
  cboxFontSize_->setInsertPolicy(QComboBox::NoInsert);
  cboxFontSize_->setToolTip(QStringLiteral("Select font size"));
  cboxFontSize_->setAccessibleName(QStringLiteral("Select font size"));
  cboxFontSize_->addItems({"8", "10", "12", "14", "16", "18", "20", "22", "24", "28", "30", "36", "44", "52"});
  cboxFontSize_->setMinimumContentsLength(3);
  fontBar->addWidget(cboxFontSize_);
  connect(cboxFontSize_, &QComboBox::textActivated, this,
          [this](const QString& text) { RunGuarded(this, [this, &text] { FontSizeChanged(text); }); });
  connect(cboxFontSize_->lineEdit(), &QLineEdit::editingFinished, this, [this] {
    RunGuarded(this, [this] { FontSizeChanged(cboxFontSize_->currentText()); });
  });

  QToolBar* convert = bar("ToolBarConvert", "Convert");
  QAction* convertAction = actions_.at("Action_ConvertTo");
  convert->addAction(convertAction);
  if (auto* b = qobject_cast<QToolButton*>(convert->widgetForAction(convertAction))) {
    b->setObjectName(QStringLiteral("tbtnConvert"));
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  }
  cbConvertTypes_ = new QComboBox(convert);
  cbConvertTypes_->setObjectName(QStringLiteral("cbConvertTypes"));
  cbConvertTypes_->addItems({QStringLiteral("bbCode"), QStringLiteral("HTML")});
  cbConvertTypes_->setCurrentIndex(0);
  cbConvertTypes_->setToolTip(QStringLiteral("Select type converted to"));
  cbConvertTypes_->setAccessibleName(QStringLiteral("Select type converted to"));
  convert->addWidget(cbConvertTypes_);

  addToolBarBreak();
  QToolBar* format = bar("ToolBarFormat", "Format");
  named(format, actions_.at("Action_FontBold"), "tbtnFontBold");
  named(format, actions_.at("Action_FontItalic"), "tbtnFontItalic");
  named(format, actions_.at("Action_FontUnderline"), "tbtnFontUnderline");
  named(format, actions_.at("Action_FontStrikeout"), "tbtnFontStrikeout");
  format->addSeparator();
  const auto colorButton = [this, format](TColorButton::Kind kind, const char* name, const char* hint) {
    auto* b = new TColorButton(kind, format);
    b->setObjectName(Q(name));
    b->setToolTip(Q(hint));
    b->setStatusTip(Q(hint));
    b->setAccessibleName(Q(hint));
    format->addWidget(b);
    const bool background = kind == TColorButton::Kind::kBackground;
    connect(b, &TColorButton::colorChosen, this, [this, background](std::optional<QColor> color, bool automatic) {
      RunGuarded(this, [&] { ColorChosen(background, color, automatic); });
    });
    return b;
  };
  jvbtnFontColor_ = colorButton(TColorButton::Kind::kText, "jvbtnFontColor", "Select text color");
  jvbtnFontBkColor_ = colorButton(TColorButton::Kind::kBackground, "jvbtnFontBkColor", "Select background text color");
  // "Automatic" is the editor's own text colour and background.
  const QPalette colours = textEditor_->palette();
  jvbtnFontColor_->SetAutomaticColor(colours.color(QPalette::Text));
  jvbtnFontColor_->SetAutomatic();
  jvbtnFontBkColor_->SetAutomaticColor(colours.color(QPalette::Base));
  jvbtnFontBkColor_->SetAutomatic();
  format->addSeparator();

  const auto toolButton = [this, format](const char* name, const char* hint, TEditorIcon icon) {
    auto* b = new QToolButton(format);
    b->setObjectName(Q(name));
    b->setIcon(EditorIcon(icon));
    b->setCheckable(true);
    b->setAutoRaise(true);
    b->setToolTip(Q(hint));
    b->setStatusTip(Q(hint));
    b->setAccessibleName(Q(hint));
    format->addWidget(b);
    return b;
  };
  tbtnAlignLeft_ = toolButton("tbtnAlignLeft", "Align text left", TEditorIcon::AlignLeft);
  tbtnAlignCenter_ = toolButton("tbtnAlignCenter", "Align text center", TEditorIcon::AlignCenter);
  tbtnAlignRight_ = toolButton("tbtnAlignRight", "Align text right", TEditorIcon::AlignRight);
  alignGroup_ = new QButtonGroup(this);
  alignGroup_->setExclusive(true);
  // The buttons' tags: the alignment each sets (0 left, 1 right, 2 centre).
  alignGroup_->addButton(tbtnAlignLeft_, 0);
  alignGroup_->addButton(tbtnAlignRight_, 1);
  alignGroup_->addButton(tbtnAlignCenter_, 2);
  tbtnAlignLeft_->setProperty("tag", 0);
  tbtnAlignRight_->setProperty("tag", 1);
  tbtnAlignCenter_->setProperty("tag", 2);
  connect(alignGroup_, &QButtonGroup::idClicked, this,
          [this](int tag) { RunGuarded(this, [this, tag] { AlignmentClicked(tag); }); });
  format->addSeparator();
  named(format, actions_.at("Action_Bullets"), "tbtnBullets");
  format->addSeparator();
  tbtnSuperscript_ = toolButton("tbtnSuperscript", "Superscript text", TEditorIcon::Superscript);
  tbtnSubscript_ = toolButton("tbtnSubscript", "Subscript text", TEditorIcon::Subscript);
  for (QToolButton* b : {tbtnSuperscript_, tbtnSubscript_})
    connect(b, &QToolButton::clicked, this, [this, b] { RunGuarded(this, [this, b] { ScriptBtnsClick(b); }); });
  format->addSeparator();
  named(format, actions_.at("Action_TextColorize"), "tbtnTextColorize");
}


// ---------------------------------------------------------------------------
// Hooks

void TfrmPopupWordEditor::SetConvertHook(std::function<void()> hook) {
  convertHook_ = std::move(hook);
  actions_.at("Action_ConvertTo")->setEnabled(static_cast<bool>(convertHook_));
}

void TfrmPopupWordEditor::SetSettingsHook(std::function<void()> hook) {
  settingsHook_ = std::move(hook);
  actions_.at("Action_ShowSettingsDlg")->setEnabled(static_cast<bool>(settingsHook_));
}

void TfrmPopupWordEditor::SetInsertObjectHook(std::function<void(const std::string&)> hook) {
  insertObjectHook_ = std::move(hook);
  for (const char* name : {"Action_InsertObj", "Action_InsertPaintPicture", "Action_InsertEquation",
                           "Action_InsertWordDoc", "Action_InsertExcelDoc"})
    actions_.at(name)->setEnabled(static_cast<bool>(insertObjectHook_));
}

void TfrmPopupWordEditor::SetCloseHides(bool hides) { closeHides_ = hides; }

void TfrmPopupWordEditor::SetTerminateHook(std::function<void()> hook) { terminateHook_ = std::move(hook); }

void TfrmPopupWordEditor::SetBalloonHook(
    std::function<void(const std::string&, const std::string&, bool, int)> hook) {
  balloonHook_ = std::move(hook);
}

void TfrmPopupWordEditor::AddPropertyTarget(const std::string& component, QObject* object) {
  targets_[component] = std::make_unique<TQtPropertyTarget>(object);
}

IPropertyTarget* TfrmPopupWordEditor::FindPropertyTarget(const char* component, int menuItem) {
  if (!component) return nullptr;
  std::string key = component;
  QObject* object = nullptr;
  if (key == "MenuBarMain") {
    QMenu* menus[] = {menuFile_, menuEdit_, menuHelp_};
    if (menuItem < 0 || menuItem > 2) return nullptr;
    object = menus[menuItem];
    key += "#" + std::to_string(menuItem);
  }
  if (auto it = targets_.find(key); it != targets_.end()) return it->second.get();
  if (!object) {
    const auto it = actions_.find(key);
    object = it != actions_.end() ? static_cast<QObject*>(it->second) : findChild<QWidget*>(Q(key));
  }
  if (!object) return nullptr;
  return (targets_[key] = std::make_unique<TQtPropertyTarget>(object)).get();
}

void TfrmPopupWordEditor::ShowBalloon(const std::string& title, const std::string& text, bool error, int timeoutMs) {
  if (balloonHook_) {
    balloonHook_(title, text, error, timeoutMs);
    return;
  }
  auto* box = new QMessageBox(error ? QMessageBox::Warning : QMessageBox::Information, Q(title), Q(text),
                              QMessageBox::Ok, this);
  box->setObjectName(QStringLiteral("BalloonBox"));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  box->show();
  if (timeoutMs > 0) QTimer::singleShot(timeoutMs, box, &QWidget::close);
}

// ---------------------------------------------------------------------------
// Window

void TfrmPopupWordEditor::closeEvent(QCloseEvent* event) {
  if (closeHides_ && !terminating_) {
    event->ignore();
    hide();
    return;
  }
  QMainWindow::closeEvent(event);
}

void TfrmPopupWordEditor::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  ApplyMargins();
  TextEditorSelectionChange();
}

void TfrmPopupWordEditor::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (textEditor_->isEnabled()) textEditor_->setFocus();
}

void TfrmPopupWordEditor::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && textEditor_->isEnabled())
    textEditor_->setFocus();
}

void TfrmPopupWordEditor::ApplyMargins() {
  QTextFrame* root = textEditor_->document()->rootFrame();
  QTextFrameFormat f = root->frameFormat();
  if (f.leftMargin() == kTextMargin && f.rightMargin() == kTextMargin && f.topMargin() == 0 && f.bottomMargin() == 0)
    return;
  f.setLeftMargin(kTextMargin);
  f.setRightMargin(kTextMargin);
  f.setTopMargin(0);
  f.setBottomMargin(0);
  root->setFrameFormat(f);
}

void TfrmPopupWordEditor::ShowEditor() {
  if (isMinimized()) showNormal();
  else show();
  raise();
  activateWindow();
  textEditor_->setFocus();
}

void TfrmPopupWordEditor::UpdatePasteActions(bool canPaste) {
  actions_.at("Action_PasteFromClipboard")->setEnabled(canPaste);
  actions_.at("Action_PasteAsFromClipboard")->setEnabled(canPaste);
}

// ---------------------------------------------------------------------------
// The controls follow the selection

QTextCursor TfrmPopupWordEditor::ActiveCursor() const {
  QTextCursor c = textEditor_->textCursor();
  if (c.hasSelection()) return c;
  QTextCursor word = c;
  word.select(QTextCursor::WordUnderCursor);
  return word.hasSelection() ? word : c;
}

CharFormat TfrmPopupWordEditor::ActiveAttributes() const {
  const QTextCursor c = ActiveCursor();
  if (!c.hasSelection()) return Document().ReadCharFormat(textEditor_->currentCharFormat());
  CharFormat out;
  std::shared_ptr<ITextRange> range;
  OleCheck(Document().Range(c.selectionStart(), c.selectionEnd(), &range));
  std::shared_ptr<ITextFont> font;
  OleCheck(range->GetFont(&font));
  int32_t v = 0;
  OleCheck(font->GetBold(&v));
  out.bold = v == tomTrue;
  OleCheck(font->GetItalic(&v));
  out.italic = v == tomTrue;
  OleCheck(font->GetStrikeThrough(&v));
  out.strikeout = v == tomTrue;
  OleCheck(font->GetUnderline(&v));
  out.underline = v == tomUndefined ? tomNone : v;
  OleCheck(font->GetSuperscript(&v));
  out.superscript = v == tomTrue;
  OleCheck(font->GetSubscript(&v));
  out.subscript = v == tomTrue;
  OleCheck(font->GetForeColor(&v));
  out.foreColor = v;
  OleCheck(font->GetBackColor(&v));
  out.backColor = v;
  OleCheck(font->GetName(&out.fontName));
  float size = 0;
  OleCheck(font->GetSize(&size));
  out.size = size;
  return out;
}

void TfrmPopupWordEditor::TextEditorSelectionChange() {
  if (!textEditor_ || !cboxFontSize_) return;
  updating_ = true;
  RunGuarded(this, [this] {
    const CharFormat f = ActiveAttributes();
    actions_.at("Action_FontBold")->setChecked(f.bold);
    actions_.at("Action_FontItalic")->setChecked(f.italic);
    actions_.at("Action_FontUnderline")->setChecked(f.underline != tomNone);
    actions_.at("Action_FontStrikeout")->setChecked(f.strikeout);
    tbtnSuperscript_->setChecked(f.superscript);
    tbtnSubscript_->setChecked(f.subscript);
    // A size that differs across the selection reads as tomUndefined.
    cboxFontSize_->setEditText(f.size > 0 ? QString::number(static_cast<int>(f.size)) : QString());
    const QString name = QString::fromStdU16String(f.fontName);
    const int index = name.isEmpty() ? -1 : cmboxFontName_->findText(name, Qt::MatchFixedString);
    if (index >= 0) cmboxFontName_->setCurrentIndex(index);
    cmboxFontName_->setEditText(name);

    const QTextCursor sel = textEditor_->textCursor();
    std::shared_ptr<ITextRange> range;
    OleCheck(Document().Range(sel.selectionStart(), sel.selectionEnd(), &range));
    std::shared_ptr<ITextPara> para;
    OleCheck(range->GetPara(&para));
    int32_t alignment = 0;
    OleCheck(para->GetAlignment(&alignment));
    if (alignment == tomAlignLeft) tbtnAlignLeft_->setChecked(true);
    else if (alignment == tomAlignRight) tbtnAlignRight_->setChecked(true);
    else if (alignment == tomAlignCenter) tbtnAlignCenter_->setChecked(true);
    int32_t list = 0;
    OleCheck(para->GetListType(&list));
    actions_.at("Action_Bullets")->setChecked(list == tomListBullet);

    QTextDocument* doc = textEditor_->document();
    actions_.at("Action_Undo")->setEnabled(doc->isUndoAvailable());
    actions_.at("Action_Redo")->setEnabled(doc->isRedoAvailable());
    actions_.at("Action_CopyToClipboard")->setEnabled(sel.hasSelection());
    actions_.at("Action_CutToClipboard")->setEnabled(sel.hasSelection());
  });
  updating_ = false;
}

// ---------------------------------------------------------------------------
// Formatting

void TfrmPopupWordEditor::ChangeCharFormat(const std::function<void(QTextCharFormat&)>& change) {
  QTextCursor c = ActiveCursor();
  QTextCharFormat delta;
  change(delta);
  if (c.hasSelection()) c.mergeCharFormat(delta);
  else textEditor_->mergeCurrentCharFormat(delta);
}

void TfrmPopupWordEditor::FontStyleChanged() {
  if (updating_) return;
  const bool bold = actions_.at("Action_FontBold")->isChecked();
  const bool italic = actions_.at("Action_FontItalic")->isChecked();
  const bool underline = actions_.at("Action_FontUnderline")->isChecked();
  const bool strikeout = actions_.at("Action_FontStrikeout")->isChecked();
  const CharFormat now = ActiveAttributes();
  ChangeCharFormat([&](QTextCharFormat& f) {
    // Only the style whose button changed: the others may differ across the
    // range and must stay as they are.
    if (bold != now.bold) f.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    if (italic != now.italic) f.setFontItalic(italic);
    if (underline != (now.underline != tomNone))
      f.setUnderlineStyle(underline ? QTextCharFormat::SingleUnderline : QTextCharFormat::NoUnderline);
    if (strikeout != now.strikeout) f.setFontStrikeOut(strikeout);
  });
  TextEditorSelectionChange();
}

void TfrmPopupWordEditor::FontSizeChanged(const QString& text) {
  if (updating_) return;
  bool ok = false;
  const int size = text.trimmed().toInt(&ok);
  if (!ok || size <= 0 || size > kMaxFontSize) return;
  if (ActiveAttributes().size == static_cast<float>(size)) return;
  ChangeCharFormat([size](QTextCharFormat& f) { f.setFontPointSize(size); });
  TextEditorSelectionChange();
}

void TfrmPopupWordEditor::FontNameChanged(const QFont& font) {
  if (updating_) return;
  const QString family = font.family();
  if (family.isEmpty() || QString::fromStdU16String(ActiveAttributes().fontName) == family) return;
  ChangeCharFormat([&family](QTextCharFormat& f) { f.setFontFamilies(QStringList{family}); });
  TextEditorSelectionChange();
}

void TfrmPopupWordEditor::AlignmentClicked(int tag) {
  if (updating_) return;
  QTextBlockFormat f;
  switch (tag) {
    case 1: f.setAlignment(Qt::AlignRight | Qt::AlignAbsolute); break;
    case 2: f.setAlignment(Qt::AlignHCenter); break;
    default: f.setAlignment(Qt::AlignLeft | Qt::AlignAbsolute); break;
  }
  textEditor_->textCursor().mergeBlockFormat(f);
  TextEditorSelectionChange();
}

void TfrmPopupWordEditor::BulletsClicked() {
  if (updating_) return;
  QTextCursor c = textEditor_->textCursor();
  if (actions_.at("Action_Bullets")->isChecked()) {
    QTextList* list = c.currentList();
    if (!list || list->format().style() != QTextListFormat::ListDisc) {
      QTextListFormat lf;
      lf.setStyle(QTextListFormat::ListDisc);
      lf.setIndent(1);
      c.createList(lf);
    }
  } else {
    c.beginEditBlock();
    QTextDocument* doc = textEditor_->document();
    const QTextBlock last = doc->findBlock(c.selectionEnd());
    for (QTextBlock b = doc->findBlock(c.selectionStart()); b.isValid(); b = b.next()) {
      if (QTextList* list = b.textList()) {
        list->remove(b);
        QTextCursor at(b);
        QTextBlockFormat f = b.blockFormat();
        f.setIndent(0);
        at.setBlockFormat(f);
      }
      if (b == last) break;
    }
    c.endEditBlock();
  }
  TextEditorSelectionChange();
}

void TfrmPopupWordEditor::ScriptBtnsClick(QToolButton* clicked) {
  if (updating_) return;
  // The two buttons are a group that may have none down.
  if (clicked->isChecked()) (clicked == tbtnSuperscript_ ? tbtnSubscript_ : tbtnSuperscript_)->setChecked(false);
  const auto align = tbtnSuperscript_->isChecked() ? QTextCharFormat::AlignSuperScript
                     : tbtnSubscript_->isChecked() ? QTextCharFormat::AlignSubScript
                                                   : QTextCharFormat::AlignNormal;
  ChangeCharFormat([align](QTextCharFormat& f) { f.setVerticalAlignment(align); });
  TextEditorSelectionChange();
}

void TfrmPopupWordEditor::ColorizeText() {
  std::shared_ptr<ITextRange> selection;
  OleCheck(Document().GetSelection(&selection));
  int32_t a = 0, c = 0, length = 0;
  OleCheck(selection->GetStart(&a));
  OleCheck(selection->GetEnd(&c));
  OleCheck(selection->GetStoryLength(&length));
  if (c < a) return;
  std::uniform_int_distribution<int32_t> red(150, 249), green(100, 179), blue(150, 249), scale(90, 129);
  QTextCursor block(textEditor_->document());
  block.beginEditBlock();
  struct End {
    QTextCursor& c;
    ~End() { c.endEditBlock(); }
  } end{block};
  // One character beyond the selection too: the one after its end.
  for (int32_t i = a; i <= c && i < length; ++i) {
    std::shared_ptr<ITextRange> range;
    OleCheck(Document().Range(i, i + 1, &range));
    std::shared_ptr<ITextFont> font;
    OleCheck(range->GetFont(&font));
    const int32_t r = red(random_);
    const int32_t g = green(random_);
    const int32_t b = blue(random_);
    OleCheck(font->SetForeColor(r + g * 256 + b * 65536));
    const int32_t t = scale(random_);
    float s = 0;
    OleCheck(font->GetSize(&s));
    // Halves to even, as the default rounding mode does; never below one
    // point nor beyond the largest size.
    float size = std::nearbyint(static_cast<float>(t) * s / 100.0f);
    size = std::clamp(size, 1.0f, static_cast<float>(kMaxFontSize));
    OleCheck(font->SetSize(size));
  }
}

void TfrmPopupWordEditor::ColorChosen(bool background, std::optional<QColor> color, bool automatic) {
  if (updating_) return;
  // "No Color" leaves the text in its automatic colour, like "Automatic".
  const int32_t wanted = automatic || !color ? tomAutoColor
                                             : (color->blue() << 16) | (color->green() << 8) | color->red();
  const CharFormat now = ActiveAttributes();
  if ((background ? now.backColor : now.foreColor) == wanted) return;
  QTextCursor c = ActiveCursor();
  if (!background && wanted == tomAutoColor && c.hasSelection()) {
    // Only the text-object operations take a colour away again.
    std::shared_ptr<ITextRange> range;
    OleCheck(Document().Range(c.selectionStart(), c.selectionEnd(), &range));
    std::shared_ptr<ITextFont> font;
    OleCheck(range->GetFont(&font));
    OleCheck(font->SetForeColor(tomAutoColor));
  } else if (!c.hasSelection() && wanted == tomAutoColor) {
    QTextCharFormat f = textEditor_->currentCharFormat();
    if (background) f.clearBackground();
    else f.clearForeground();
    textEditor_->setCurrentCharFormat(f);
  } else {
    ChangeCharFormat([&](QTextCharFormat& f) {
      // A background without a brush reads and draws as none.
      const QBrush brush = wanted == tomAutoColor ? QBrush() : QBrush(*color);
      if (background) f.setBackground(brush);
      else f.setForeground(brush);
    });
  }
  TextEditorSelectionChange();
}

// ---------------------------------------------------------------------------
// Documents

QString TfrmPopupWordEditor::StoredFolder(const StringSetting& setting) {
  try {
    SettingsStore& store = GetSettingsStore();
    if (!store.ValueExists(setting.name)) return QString();
    return Q(store.Read(setting));
  } catch (const std::exception&) {
    // Without a readable store the dialog starts where Qt starts it.
    return QString();
  }
}

void TfrmPopupWordEditor::StoreFolder(const StringSetting& setting, const QString& file) {
  GetSettingsStore().Write(setting, QFileInfo(file).absolutePath().toStdString());
}

void TfrmPopupWordEditor::NewDoc() {
  QTextDocument* doc = textEditor_->document();
  QTextCursor c(doc);
  c.beginEditBlock();
  c.select(QTextCursor::Document);
  c.removeSelectedText();
  c.setBlockFormat(QTextBlockFormat());
  c.setBlockCharFormat(QTextCharFormat());
  c.endEditBlock();
  textEditor_->setCurrentCharFormat(QTextCharFormat());
  doc->setModified(false);
  docFileName_.clear();
  TextEditorSelectionChange();
}

void TfrmPopupWordEditor::OpenFile() {
  QFileDialog dialog(this, Q(kOpenDialogTitle), StoredFolder(settings::kOpenRtfInitDir), Q(kDocumentFilter));
  dialog.setObjectName(QStringLiteral("OpenDialog"));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  const bool chosen = ModalUi().Exec(dialog) == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
  textEditor_->setFocus();
  if (!chosen) return;
  const QString file = dialog.selectedFiles().front();
  LoadDocumentFile(Document(), file.toStdString());
  // The opened file is not where Save writes: Save asks for a name rather
  // than writing this document over the file of an earlier Save.
  docFileName_.clear();
  TextEditorSelectionChange();
  StoreFolder(settings::kOpenRtfInitDir, file);
}

QString TfrmPopupWordEditor::AskSaveFile(const QString& folder) {
  QFileDialog dialog(this, Q(kSaveDialogTitle), folder, Q(kDocumentFilter));
  dialog.setObjectName(QStringLiteral("SaveDialog"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(QStringLiteral("rtf"));
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  const bool chosen = ModalUi().Exec(dialog) == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
  textEditor_->setFocus();
  if (!chosen) return QString();
  QString file = dialog.selectedFiles().front();
  // A name typed without a suffix gets ".rtf" in the RTF filter.
  if (QFileInfo(file).suffix().isEmpty() && dialog.selectedNameFilter().startsWith(QStringLiteral("RTF")))
    file += QStringLiteral(".rtf");
  return file;
}

bool TfrmPopupWordEditor::SaveTo(const QString& path) {
  return RunGuarded(this, [this, &path] { SaveDocumentFile(Document(), path.toStdString()); });
}

void TfrmPopupWordEditor::Save() {
  if (!docFileName_.isEmpty()) {
    SaveTo(docFileName_);
    return;
  }
  const QString file = AskSaveFile(StoredFolder(settings::kSaveRtfInitDir));
  if (file.isEmpty() || !SaveTo(file)) return;
  docFileName_ = file;
  StoreFolder(settings::kSaveRtfInitDir, file);
}

void TfrmPopupWordEditor::SaveAs() {
  const QString folder =
      docFileName_.isEmpty() ? StoredFolder(settings::kSaveRtfInitDir) : QFileInfo(docFileName_).absolutePath();
  const QString file = AskSaveFile(folder);
  if (file.isEmpty() || !SaveTo(file)) return;
  StoreFolder(settings::kSaveRtfInitDir, file);
}

void TfrmPopupWordEditor::InsertPicture() {
  QFileDialog dialog(this, Q(kPictureDialogTitle), StoredFolder(settings::kOpenPictureInitDir), PictureFilter());
  dialog.setObjectName(QStringLiteral("PictureDialog"));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  const bool chosen = ModalUi().Exec(dialog) == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
  textEditor_->setFocus();
  if (!chosen) return;
  const QStringList files = dialog.selectedFiles();
  // All or nothing, one undo step, the clipboard left as it was; a picture
  // that cannot be read has been reported.
  textEditor_->InsertPictureFiles(files);
  StoreFolder(settings::kOpenPictureInitDir, files.front());
}

void TfrmPopupWordEditor::Exit() {
  if (exitAsks_) {
    QString question = strings_ ? Q(strings_->ExitConfirmMsg) : QString();
    if (question.trimmed().isEmpty()) question = Q(kDefaultExitQuestion);
    if (!ModalUi().Ask(this, Q(kExitQuestionTitle), question, true)) return;
  }
  if (terminateHook_) {
    terminateHook_();
    return;
  }
  terminating_ = true;
  close();
  terminating_ = false;
}

void TfrmPopupWordEditor::VisitSite() { GetShell().OpenDocument(kHomeSiteUrl); }

void TfrmPopupWordEditor::AboutProgram() {
  TAboutBox box(Q(kHomeSiteUrl), this);
  ModalUi().Exec(box);
  textEditor_->setFocus();
}

}  // namespace tagsmith
