#include "app/ui/settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/data_module.h"
#include "app/global_share.h"
#include "app/ui/application_errors.h"
#include "platform/strings.h"

namespace tagsmith {

const std::vector<const char*> kBBCodeTagItems = {
    "Image: [img] [/img]",
    "FontName: [font='Name\"] [/font]",
    "FontSize: [size=Size] [/size]",
    "FontColor: [color=Color] [/color]",
    "Bold: [b] [/b]",
    "Italic: [i] [/i]",
    "Underline: [u] [/u]",
    "Strikeout: [s] [/s]",
    "Align: [left] [/left], [right] [/right], [center] [/center]",
    "Bullets [list] [/list]",
};
const std::vector<const char*> kHTMLTagItems = {
    "Image", "FontName", "FontSize", "FontColor", "FontBackColor", "Bold",
    "Italic", "Underline", "Strikeout", "Align", "Bullets",
};
const std::vector<const char*> kImageFormatItems = {"Auto", "PNG", "JPEG"};

namespace {

static_assert(TBBCODETagSet::kCount == 10 && THTMLTagSet::kCount == 11);

QString Q(const std::string& text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

// The translated text, or the design-time one while a language gives none.
QString Text(const std::string& translated, const char* designText) {
  return translated.empty() ? QString::fromUtf8(designText) : Q(translated);
}

// Hints are shown as tooltips; the translator joins lines with CR LF.
QString Hint(const std::string& translated, const char* designText) {
  QString s = Text(translated, designText);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return s;
}

QString Spoken(const QString& caption) {
  QString s = caption;
  s.remove(QLatin1Char('&'));
  s = s.trimmed();
  if (s.endsWith(QLatin1Char(':'))) s.chop(1);
  return s;
}

std::string CodeOf(const std::string& line) { return line.substr(0, line.find('=')); }
std::string NameOf(const std::string& line) {
  const size_t eq = line.find('=');
  return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

// The item of `combo` whose whole text equals `value` without regard to
// letter case, or -1.
int FindItemIgnoreCase(const QComboBox* combo, const std::string& value) {
  for (int i = 0; i < combo->count(); ++i)
    if (EqualsIgnoreCase(combo->itemText(i).toStdString(), value)) return i;
  return -1;
}

QListWidget* CheckList(const char* name, const std::vector<const char*>& items, QWidget* parent) {
  auto* list = new QListWidget(parent);
  list->setObjectName(QString::fromUtf8(name));
  for (const char* text : items) {
    auto* item = new QListWidgetItem(QString::fromUtf8(text), list);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    item->setCheckState(Qt::Checked);
  }
  return list;
}

template <typename Set>
void CheckFrom(QListWidget* list, Set set) {
  for (int i = 0; i < list->count() && i < Set::kCount; ++i)
    list->item(i)->setCheckState(((set.Bits() >> i) & 1u) ? Qt::Checked : Qt::Unchecked);
}

template <typename Set>
Set SetFrom(const QListWidget* list) {
  uint16_t bits = 0;
  for (int i = 0; i < list->count() && i < Set::kCount; ++i)
    if (list->item(i)->checkState() == Qt::Checked) bits = uint16_t(bits | (1u << i));
  return Set(bits);
}

}  // namespace

TfrmSettings::TfrmSettings(QWidget* parent, TDataModuleMain& dataModule)
    : QDialog(parent), dataModule_(dataModule) {
  Build();
  // FormCreate
  ApplyCaptions();

  dataModule_.TranMain().GetLanguages(languageList_);
  cboxLang_->clear();
  for (const std::string& line : languageList_) cboxLang_->addItem(Q(NameOf(line)));
  cboxLang_->setCurrentIndex(-1);
  const std::string current = dataModule_.TranMain().CurrLang();
  for (size_t i = 0; i < languageList_.size(); ++i)
    if (!current.empty() && EqualsIgnoreCase(CodeOf(languageList_[i]), current)) {
      cboxLang_->setCurrentIndex(int(i));
      break;
    }

  SettingsStore& store = GetSettingsStore();
  if (const int i = FindItemIgnoreCase(cboxImageFormat_, store.Read(settings::kImageFormat)); i >= 0)
    cboxImageFormat_->setCurrentIndex(i);
  if (const int i = FindItemIgnoreCase(cboxImageHosting_, store.Read(settings::kImageHosting)); i >= 0)
    cboxImageHosting_->setCurrentIndex(i);

  PlainRegistry& run = GetPlainRegistry();
  if (run.OpenKey(settings::kRunKey, true)) {
    cboxStartWithWindows_->setChecked(run.ValueExists(settings::kRunValue));
    run.CloseKey();
  }

  cboxAutoUpdate_->setChecked(store.ReadFlag(settings::kAutoUpdate.name, true));
  cboxUpscaleImages_->setChecked(store.ReadFlag(settings::kUpscaleImages.name, true));
  cboxEnableAntiHotlinking_->setChecked(store.ReadFlag(settings::kEnableAntiHotlinking.name, true));

  // The holders are read again, so what the dialog shows, and what Cancel
  // leaves, is what the store holds.
  TBBCODETagSetHolder& bbcode = dataModule_.BBCodeTagSet() ? *dataModule_.BBCodeTagSet() : ownBBCode_;
  THTMLTagSetHolder& html = dataModule_.HTMLTagSet() ? *dataModule_.HTMLTagSet() : ownHTML_;
  store.ReadPersistent(settings::kBBCodeTagSet, bbcode);
  store.ReadPersistent(settings::kHTMLTagSet, html);
  LoadTagChecks();
}

TfrmSettings::~TfrmSettings() = default;

void TfrmSettings::Build() {
  setObjectName(QStringLiteral("frmSettings"));
  setWindowTitle(QStringLiteral("Settings"));
  setModal(true);

  tree_ = new QTreeWidget(this);
  tree_->setObjectName(QStringLiteral("JvSettingsTreeViewMain"));
  tree_->setHeaderHidden(true);
  tree_->setRootIsDecorated(false);
  tree_->setColumnCount(1);
  tree_->addTopLevelItem(new QTreeWidgetItem(QStringList{QStringLiteral("Usage")}));
  tree_->addTopLevelItem(new QTreeWidgetItem(QStringList{QStringLiteral("Processing")}));
  tree_->setFixedWidth(120);

  pages_ = new QStackedWidget(this);
  pages_->setObjectName(QStringLiteral("JvPageListMain"));

  // Usage
  auto* usage = new QWidget(pages_);
  usage->setObjectName(QStringLiteral("PageUsage"));
  lbLang_ = new QLabel(QStringLiteral("Language:"), usage);
  lbLang_->setObjectName(QStringLiteral("lbLang"));
  cboxLang_ = new QComboBox(usage);
  cboxLang_->setObjectName(QStringLiteral("cboxLang"));
  cboxLang_->addItems({QStringLiteral("English"), QStringLiteral("Russian")});
  lbLang_->setBuddy(cboxLang_);
  cboxStartWithWindows_ = new QCheckBox(QStringLiteral("Start Tagsmith when I log in"), usage);
  cboxStartWithWindows_->setObjectName(QStringLiteral("cboxStartWithWindows"));
  cboxAutoUpdate_ = new QCheckBox(QStringLiteral("Automatical update"), usage);
  cboxAutoUpdate_->setObjectName(QStringLiteral("cboxAutoUpdate"));
  auto* usageLayout = new QVBoxLayout(usage);
  auto* langRow = new QHBoxLayout();
  langRow->addWidget(lbLang_);
  langRow->addWidget(cboxLang_, 1);
  usageLayout->addLayout(langRow);
  usageLayout->addWidget(cboxStartWithWindows_);
  usageLayout->addWidget(cboxAutoUpdate_);
  usageLayout->addStretch(1);

  // Processing
  auto* processing = new QWidget(pages_);
  processing->setObjectName(QStringLiteral("PageProcessing"));
  cboxUpscaleImages_ = new QCheckBox(QStringLiteral("Upscale images rendered from embedded objects"), processing);
  cboxUpscaleImages_->setObjectName(QStringLiteral("cboxUpscaleImages"));
  cboxEnableAntiHotlinking_ = new QCheckBox(QStringLiteral("Enable anti-hotlinking"), processing);
  cboxEnableAntiHotlinking_->setObjectName(QStringLiteral("cboxEnableAntiHotlinking"));
  lbImageFormat_ = new QLabel(QStringLiteral("Image format:"), processing);
  lbImageFormat_->setObjectName(QStringLiteral("lbImageFormat"));
  cboxImageFormat_ = new QComboBox(processing);
  cboxImageFormat_->setObjectName(QStringLiteral("cboxImageFormat"));
  for (const char* item : kImageFormatItems) cboxImageFormat_->addItem(QString::fromUtf8(item));
  cboxImageFormat_->setCurrentIndex(0);
  lbImageFormat_->setBuddy(cboxImageFormat_);
  lbImageHosting_ = new QLabel(QStringLiteral("Imagehosting:"), processing);
  lbImageHosting_->setObjectName(QStringLiteral("lbImageHosting"));
  cboxImageHosting_ = new QComboBox(processing);
  cboxImageHosting_->setObjectName(QStringLiteral("cboxImageHosting"));
  for (const char* label : settings::kImageHostLabels) cboxImageHosting_->addItem(QString::fromUtf8(label));
  cboxImageHosting_->setCurrentIndex(0);
  lbImageHosting_->setBuddy(cboxImageHosting_);
  label4_ = new QLabel(QStringLiteral("Used tags:"), processing);
  label4_->setObjectName(QStringLiteral("Label4"));
  tagPages_ = new QTabWidget(processing);
  tagPages_->setObjectName(QStringLiteral("PageControlTags"));
  listBBCode_ = CheckList("JvxCheckListBoxBBCODE", kBBCodeTagItems, tagPages_);
  listHTML_ = CheckList("JvxCheckListBoxHTML", kHTMLTagItems, tagPages_);
  tagPages_->addTab(listBBCode_, QStringLiteral("BBCODE"));
  tagPages_->addTab(listHTML_, QStringLiteral("HTML"));
  label4_->setBuddy(tagPages_);

  auto* processingLayout = new QVBoxLayout(processing);
  processingLayout->addWidget(cboxUpscaleImages_);
  processingLayout->addWidget(cboxEnableAntiHotlinking_);
  auto* choices = new QFormLayout();
  choices->addRow(lbImageFormat_, cboxImageFormat_);
  choices->addRow(lbImageHosting_, cboxImageHosting_);
  processingLayout->addLayout(choices);
  processingLayout->addWidget(label4_);
  processingLayout->addWidget(tagPages_, 1);

  pages_->addWidget(usage);
  pages_->addWidget(processing);
  connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (item) pages_->setCurrentIndex(tree_->indexOfTopLevelItem(item));
  });
  tree_->setCurrentItem(tree_->topLevelItem(0));

  btnOK_ = new QPushButton(QStringLiteral("OK"), this);
  btnOK_->setObjectName(QStringLiteral("btnOK"));
  btnOK_->setDefault(true);
  btnCancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  btnCancel_->setObjectName(QStringLiteral("btnCancel"));
  connect(btnOK_, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel_, &QPushButton::clicked, this, &QDialog::reject);

  auto* top = new QHBoxLayout();
  top->addWidget(tree_);
  top->addWidget(pages_, 1);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(btnOK_);
  buttons->addWidget(btnCancel_);
  auto* main = new QVBoxLayout(this);
  main->addLayout(top, 1);
  main->addLayout(buttons);

  setFixedSize(kClientWidth, kClientHeight);
  if (parentWidget()) {
    const QRect p = parentWidget()->window()->frameGeometry();
    move(p.center() - rect().center());
  }
}

void TfrmSettings::ApplyCaptions() {
  const TTranslatedStrings& s = dataModule_.Strings();
  lbImageHosting_->setText(Text(s.ImageHosting, "Imagehosting:"));
  label4_->setText(Text(s.Tags, "Used tags:"));
  lbImageFormat_->setText(Text(s.ImageFormat, "Image format:"));
  cboxUpscaleImages_->setText(Text(s.UpscaleImages_Caption, "Upscale images rendered from embedded objects"));
  cboxUpscaleImages_->setToolTip(
      Hint(s.UpscaleImages_Hint, "Upscale images rendered from embedded objects (it reguies a lot of memory)"));
  cboxAutoUpdate_->setText(Text(s.AutoUpdate, "Automatical update"));
  cboxStartWithWindows_->setText(Text(s.StartWithWindows, "Start Tagsmith when I log in"));
  cboxEnableAntiHotlinking_->setText(Text(s.AntiHotlinking_Caption, "Enable anti-hotlinking"));
  cboxEnableAntiHotlinking_->setToolTip(
      Hint(s.AntiHotlinking_Hint,
           "This option prevents firing of anti-hotlinking system of imagehostings.\n"
           "Instead of inserting direct link to big image (more then 35KB) used preview with hyperlink to big image."));
  lbLang_->setText(Text(s.Lang, "Language:"));
  btnOK_->setText(Text(s.ButtonOK, "OK"));
  btnCancel_->setText(Text(s.ButtonCancel, "Cancel"));
  setWindowTitle(Text(s.SettingsDlg_Caption, "Settings"));
  tree_->topLevelItem(0)->setText(0, Text(s.UsageItem, "Usage"));
  tree_->topLevelItem(1)->setText(0, Text(s.ProcessingItem, "Processing"));

  // What a screen reader says for each control.
  tree_->setAccessibleName(Spoken(windowTitle()));
  cboxLang_->setAccessibleName(Spoken(lbLang_->text()));
  cboxImageFormat_->setAccessibleName(Spoken(lbImageFormat_->text()));
  cboxImageHosting_->setAccessibleName(Spoken(lbImageHosting_->text()));
  tagPages_->setAccessibleName(Spoken(label4_->text()));
  listBBCode_->setAccessibleName(Spoken(label4_->text()) + QStringLiteral(": BBCODE"));
  listHTML_->setAccessibleName(Spoken(label4_->text()) + QStringLiteral(": HTML"));
  for (QCheckBox* box : {cboxStartWithWindows_, cboxAutoUpdate_, cboxUpscaleImages_, cboxEnableAntiHotlinking_}) {
    box->setAccessibleName(Spoken(box->text()));
    box->setAccessibleDescription(box->toolTip());
  }
  btnOK_->setAccessibleName(Spoken(btnOK_->text()));
  btnCancel_->setAccessibleName(Spoken(btnCancel_->text()));
}

void TfrmSettings::LoadTagChecks() {
  const TBBCODETagSetHolder& bbcode = dataModule_.BBCodeTagSet() ? *dataModule_.BBCodeTagSet() : ownBBCode_;
  const THTMLTagSetHolder& html = dataModule_.HTMLTagSet() ? *dataModule_.HTMLTagSet() : ownHTML_;
  CheckFrom(listBBCode_, bbcode.Data);
  CheckFrom(listHTML_, html.Data);
}

void TfrmSettings::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormActivate();
}

void TfrmSettings::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TfrmSettings::FormActivate() { tree_->setFocus(Qt::ActiveWindowFocusReason); }

void TfrmSettings::done(int result) {
  if (result == QDialog::Accepted) {
    // A store that cannot be written keeps the dialog open with the choices.
    if (!RunGuarded(this, [this] { StoreSettings(); })) return;
  }
  QDialog::done(result);
}

void TfrmSettings::StoreSettings() {
  SettingsStore& store = GetSettingsStore();
  // StoreTagChecks into copies: the data module's holders take the new sets
  // only once the store holds everything.
  TBBCODETagSetHolder bbcode;
  bbcode.Data = SetFrom<TBBCODETagSet>(listBBCode_);
  THTMLTagSetHolder html;
  html.Data = SetFrom<THTMLTagSet>(listHTML_);

  store.Write(settings::kImageFormat, cboxImageFormat_->currentText().toStdString());
  store.Write(settings::kImageHosting, cboxImageHosting_->currentText().toStdString());

  PlainRegistry& run = GetPlainRegistry();
  if (run.OpenKey(settings::kRunKey, true)) {
    struct Close {
      PlainRegistry& r;
      ~Close() { r.CloseKey(); }
    } close{run};
    if (cboxStartWithWindows_->isChecked()) run.WriteString(settings::kRunValue, "\"" + ProgramExePath() + "\"");
    else run.DeleteValue(settings::kRunValue);
  }

  store.Write(settings::kAutoUpdate, cboxAutoUpdate_->isChecked());
  store.Write(settings::kUpscaleImages, cboxUpscaleImages_->isChecked());
  store.Write(settings::kEnableAntiHotlinking, cboxEnableAntiHotlinking_->isChecked());

  store.WritePersistent(settings::kBBCodeTagSet, bbcode);
  store.WritePersistent(settings::kHTMLTagSet, html);
  (dataModule_.BBCodeTagSet() ? *dataModule_.BBCodeTagSet() : ownBBCode_).Data = bbcode.Data;
  (dataModule_.HTMLTagSet() ? *dataModule_.HTMLTagSet() : ownHTML_).Data = html.Data;

  const int selected = cboxLang_->currentIndex();
  const bool haveSelection = selected >= 0 && size_t(selected) < languageList_.size();
  store.Write(settings::kUILang, haveSelection ? CodeOf(languageList_[size_t(selected)]) : std::string());

  int currentIndex = -1;
  const std::string current = dataModule_.TranMain().CurrLang();
  for (size_t i = 0; i < languageList_.size(); ++i)
    if (!current.empty() && EqualsIgnoreCase(CodeOf(languageList_[i]), current)) {
      currentIndex = int(i);
      break;
    }
  if (currentIndex != (haveSelection ? selected : -1)) {
    // Everything is stored: a language file that fails to load is shown, and
    // the dialog still closes.
    RunGuarded(parentWidget() ? parentWidget() : this, [this] { dataModule_.ReloadLanguage(); });
  }
}

}  // namespace tagsmith
