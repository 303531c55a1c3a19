// The small widgets of the editor window: the colour button's palette, the
// Paste As dialog and the About box.

#include <gtest/gtest.h>

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/ui/about_box.h"
#include "app/ui/color_button.h"
#include "app/ui/paste_special_dialog.h"
#include "scripted_modal_ui.h"
#include "support/recording_shell.h"

namespace tagsmith::testing {
namespace {

struct Chosen {
  std::optional<QColor> color;
  bool automatic;
};

TEST(ColorButton, ThePalettesSpecialEntriesChooseNoColorAutomaticOrAnyColor) {
  ScriptedModalUi ui;
  TColorButton button(TColorButton::Kind::kText);
  button.SetAutomaticColor(QColor(10, 20, 30));
  std::vector<Chosen> chosen;
  QObject::connect(&button, &TColorButton::colorChosen,
                   [&](std::optional<QColor> c, bool automatic) { chosen.push_back({c, automatic}); });
  QWidget* palette = button.Palette();
  auto click = [&](const char* name) {
    auto* b = palette->findChild<QToolButton*>(name);
    ASSERT_TRUE(b) << name;
    b->click();
  };

  click("btnNoColor");
  ASSERT_EQ(chosen.size(), 1u);
  EXPECT_FALSE(chosen.back().color.has_value());
  EXPECT_FALSE(chosen.back().automatic);
  EXPECT_FALSE(button.Color().has_value());
  EXPECT_EQ(button.accessibleDescription(), "No Color");

  click("btnAutomatic");
  ASSERT_EQ(chosen.size(), 2u);
  EXPECT_EQ(chosen.back().color, QColor(10, 20, 30));
  EXPECT_TRUE(chosen.back().automatic);
  EXPECT_TRUE(button.IsAutomatic());
  // An automatic button follows the automatic colour.
  button.SetAutomaticColor(QColor(1, 2, 3));
  EXPECT_EQ(button.Color(), QColor(1, 2, 3));

  ui.dialogs.push_back([](QDialog& d) {
    EXPECT_EQ(d.windowTitle(), "Other Colors");
    EXPECT_EQ(static_cast<QColorDialog&>(d).currentColor(), QColor(1, 2, 3));  // starts at the current one
    static_cast<QColorDialog&>(d).setCurrentColor(QColor(200, 100, 50));
    return int(QDialog::Accepted);
  });
  click("btnOtherColors");
  ASSERT_EQ(chosen.size(), 3u);
  EXPECT_EQ(chosen.back().color, QColor(200, 100, 50));
  EXPECT_FALSE(chosen.back().automatic);
  EXPECT_EQ(button.accessibleDescription(), "#c86432");

  // A cancelled colour dialog chooses nothing.
  ui.dialogs.push_back([](QDialog& d) {
    static_cast<QColorDialog&>(d).setCurrentColor(Qt::green);
    return int(QDialog::Rejected);
  });
  click("btnOtherColors");
  EXPECT_EQ(chosen.size(), 3u);
  EXPECT_EQ(button.Color(), QColor(200, 100, 50));

  // The face applies the current colour again.
  button.click();
  ASSERT_EQ(chosen.size(), 4u);
  EXPECT_EQ(chosen.back().color, QColor(200, 100, 50));
  // Setting the colour from the selection emits nothing.
  button.SetColor(QColor(Qt::red));
  EXPECT_EQ(chosen.size(), 4u);
  EXPECT_EQ(button.Color(), QColor(Qt::red));
}

TEST(ColorButton, EveryCellIsANamedColourThatItChooses) {
  TColorButton button(TColorButton::Kind::kBackground);
  std::vector<Chosen> chosen;
  QObject::connect(&button, &TColorButton::colorChosen,
                   [&](std::optional<QColor> c, bool automatic) { chosen.push_back({c, automatic}); });
  int count = 0;
  const TColorButton::NamedColor* colors = TColorButton::PaletteColors(&count);
  ASSERT_EQ(count, 40);
  std::set<std::string> names;
  for (int i = 0; i < count; ++i) {
    auto* cell = button.Palette()->findChild<QToolButton*>(QStringLiteral("cellColor%1").arg(i));
    ASSERT_TRUE(cell) << i;
    EXPECT_EQ(cell->accessibleName(), colors[i].name) << i;
    EXPECT_EQ(cell->toolTip(), colors[i].name) << i;
    names.insert(colors[i].name);
    cell->click();
    ASSERT_EQ(chosen.size(), size_t(i + 1));
    EXPECT_EQ(chosen.back().color, QColor::fromRgb(colors[i].rgb)) << colors[i].name;
  }
  EXPECT_EQ(names.size(), size_t(count));  // no two cells share a name
  for (const char* name : {"btnNoColor", "btnAutomatic", "btnOtherColors"}) {
    auto* b = button.Palette()->findChild<QToolButton*>(name);
    ASSERT_TRUE(b) << name;
    EXPECT_FALSE(b->accessibleName().isEmpty()) << name;
  }
  EXPECT_EQ(button.Palette()->findChild<QToolButton*>("btnOtherColors")->text(), "Other Colors...");
  EXPECT_FALSE(button.accessibleName().isEmpty());
  EXPECT_FALSE(button.icon().isNull());
}

TEST(PasteSpecialDialog, ListsTheFormatsInOrderWithTheFirstChosen) {
  const std::vector<PasteFormat> formats = {PasteFormat::RichText, PasteFormat::RichTextWithoutObjects,
                                            PasteFormat::Html, PasteFormat::Picture, PasteFormat::UnformattedText};
  TPasteSpecialDialog dialog(formats);
  EXPECT_EQ(dialog.windowTitle(), "Paste Special");
  auto* list = dialog.findChild<QListWidget*>("lstFormats");
  ASSERT_TRUE(list);
  QStringList names;
  for (int i = 0; i < list->count(); ++i) {
    names << list->item(i)->text();
    EXPECT_FALSE(list->item(i)->data(Qt::AccessibleDescriptionRole).toString().isEmpty());
  }
  EXPECT_EQ(names, QStringList({"Rich text", "Rich text without objects", "HTML", "Picture", "Unformatted text"}));
  EXPECT_FALSE(list->accessibleName().isEmpty());
  EXPECT_EQ(dialog.ChosenFormat(), PasteFormat::RichText);
  auto* result = dialog.findChild<QLabel*>("lblResult");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->text(), TPasteSpecialDialog::FormatDescription(PasteFormat::RichText));
  list->setCurrentRow(3);
  EXPECT_EQ(dialog.ChosenFormat(), PasteFormat::Picture);
  EXPECT_EQ(result->text(), TPasteSpecialDialog::FormatDescription(PasteFormat::Picture));
  EXPECT_FALSE(dialog.SelectFormat(static_cast<PasteFormat>(99)));

  TPasteSpecialDialog empty({});
  EXPECT_FALSE(empty.ChosenFormat().has_value());
  auto* ok = empty.findChild<QPushButton*>("btnOk");
  ASSERT_TRUE(ok);
  EXPECT_FALSE(ok->isEnabled());
}

TEST(AboutBox, ShowsVersionSiteYearAndCreditsWithWorkingLinks) {
  RecordingShell shell;
  ScopedShell scoped(shell);
  ScriptedModalUi ui;
  TAboutBox box("https://www.quorindo.com/");
  auto text = [&](const char* name) {
    auto* label = box.findChild<QLabel*>(name);
    EXPECT_TRUE(label) << name;
    return label ? label->text() : QString();
  };
  EXPECT_EQ(text("lblProductName"), "Tagsmith");
  EXPECT_EQ(text("lblVersion"), "Version: 1.1.0.0");
  EXPECT_TRUE(text("lblSite").contains("href=\"https://www.quorindo.com/\""));
  EXPECT_TRUE(text("lblYear").contains(QString::number(TAboutBox::Year())));

  auto* credits = box.findChild<QTextBrowser*>("memCredits");
  ASSERT_TRUE(credits);
  EXPECT_TRUE(credits->isReadOnly());
  const QString html = credits->toHtml();
  int count = 0;
  const TAboutBox::Library* libraries = TAboutBox::Libraries(&count);
  std::set<std::string> named;
  for (int i = 0; i < count; ++i) {
    named.insert(libraries[i].name);
    EXPECT_TRUE(credits->toPlainText().contains(libraries[i].name)) << libraries[i].name;
    EXPECT_TRUE(html.contains(QString("href=\"%1\"").arg(libraries[i].url))) << libraries[i].name;
  }
  for (const char* needed : {"Qt", "libxml2", "SQLite", "libcurl", "libpng", "libjpeg-turbo", "zlib", "GIFLIB",
                             "libwmf", "libvips", "OpenSSL", "GoogleTest"})
    EXPECT_TRUE(named.count(needed)) << needed;

  // Links open in the browser; a link that is no web address opens nothing.
  emit box.findChild<QLabel*>("lblSite")->linkActivated("https://www.quorindo.com/");
  emit credits->anchorClicked(QUrl(libraries[0].url));
  emit credits->anchorClicked(QUrl("file:///etc/passwd"));
  const auto calls = shell.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].target, "https://www.quorindo.com/");
  EXPECT_EQ(calls[1].target, libraries[0].url);
  EXPECT_TRUE(ui.Errors().empty());

  for (QWidget* w : box.findChildren<QWidget*>())
    if (qobject_cast<QLabel*>(w) || qobject_cast<QTextBrowser*>(w) || qobject_cast<QPushButton*>(w))
      EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
}

TEST(AboutBox, ABrowserThatCannotStartIsAnErrorBox) {
  struct FailingShell : IShell {
    void OpenDocument(const std::string& target) override { throw EShellError("Cannot open " + target); }
    void StartProgram(const std::string&, const std::vector<std::string>&) override {}
  } shell;
  ScopedShell scoped(shell);
  ScriptedModalUi ui;
  TAboutBox box("https://www.quorindo.com/");
  emit box.findChild<QLabel*>("lblSite")->linkActivated("https://www.quorindo.com/");
  ASSERT_EQ(ui.Errors().size(), 1u);
  EXPECT_EQ(ui.Errors()[0], "Cannot open https://www.quorindo.com/");
}

}  // namespace
}  // namespace tagsmith::testing
