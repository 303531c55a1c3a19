#include "app/ui/color_button.h"

#include <QColorDialog>
#include <QGridLayout>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidgetAction>

#include "app/ui/modal_ui.h"

namespace tagsmith {
namespace {

constexpr int kColumns = 8;

const TColorButton::NamedColor kPalette[] = {
    {"Black", 0x000000}, {"Brown", 0x993300},      {"Olive Green", 0x333300}, {"Dark Green", 0x003300},
    {"Dark Teal", 0x003366}, {"Dark Blue", 0x000080}, {"Indigo", 0x333399},  {"Gray-80%", 0x333333},
    {"Dark Red", 0x800000}, {"Orange", 0xFF6600},    {"Dark Yellow", 0x808000}, {"Green", 0x008000},
    {"Teal", 0x008080},     {"Blue", 0x0000FF},      {"Blue-Gray", 0x666699}, {"Gray-50%", 0x808080},
    {"Red", 0xFF0000},      {"Light Orange", 0xFF9900}, {"Lime", 0x99CC00},  {"Sea Green", 0x339966},
    {"Aqua", 0x33CCCC},     {"Light Blue", 0x3366FF}, {"Violet", 0x800080},  {"Gray-40%", 0x969696},
    {"Pink", 0xFF00FF},     {"Gold", 0xFFCC00},      {"Yellow", 0xFFFF00},   {"Bright Green", 0x00FF00},
    {"Turquoise", 0x00FFFF}, {"Sky Blue", 0x00CCFF}, {"Plum", 0x993366},     {"Gray-25%", 0xC0C0C0},
    {"Rose", 0xFF99CC},     {"Tan", 0xFFCC99},       {"Light Yellow", 0xFFFF99}, {"Light Green", 0xCCFFCC},
    {"Light Turquoise", 0xCCFFFF}, {"Pale Blue", 0x99CCFF}, {"Lavender", 0xCC99FF}, {"White", 0xFFFFFF},
};

QIcon Swatch(const QColor& color, int side) {
  QPixmap pixmap(side, side);
  pixmap.fill(color);
  QPainter p(&pixmap);
  p.setPen(QColor(128, 128, 128));
  p.drawRect(0, 0, side - 1, side - 1);
  return QIcon(pixmap);
}

QToolButton* TextButton(QWidget* parent, const QString& text, const char* name) {
  auto* b = new QToolButton(parent);
  b->setObjectName(name);
  b->setText(text);
  b->setAccessibleName(QString(text).remove(QLatin1String("...")));
  b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  b->setAutoRaise(true);
  return b;
}

}  // namespace

const TColorButton::NamedColor* TColorButton::PaletteColors(int* count) {
  *count = static_cast<int>(std::size(kPalette));
  return kPalette;
}

TColorButton::TColorButton(Kind kind, QWidget* parent) : QToolButton(parent), kind_(kind) {
  setPopupMode(QToolButton::MenuButtonPopup);
  setAccessibleName(kind == Kind::kText ? tr("Text color") : tr("Background text color"));
  menu_ = new QMenu(this);
  menu_->setObjectName("mnuColorPalette");
  menu_->setAccessibleName(tr("Colors"));

  palette_ = new QWidget(menu_);
  palette_->setObjectName("wgtColorPalette");
  palette_->setAccessibleName(tr("Colors"));
  auto* layout = new QVBoxLayout(palette_);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(2);

  auto* none = TextButton(palette_, tr("No Color"), "btnNoColor");
  connect(none, &QToolButton::clicked, this, [this] { Choose(std::nullopt, false); });
  auto* automatic = TextButton(palette_, tr("Automatic"), "btnAutomatic");
  connect(automatic, &QToolButton::clicked, this, [this] { Choose(automaticColor_, true); });
  layout->addWidget(none);
  layout->addWidget(automatic);

  auto* grid = new QGridLayout;
  grid->setSpacing(2);
  for (int i = 0; i < static_cast<int>(std::size(kPalette)); ++i) {
    const QColor color = QColor::fromRgb(kPalette[i].rgb);
    const QString name = tr(kPalette[i].name);
    auto* cell = new QToolButton(palette_);
    cell->setObjectName(QStringLiteral("cellColor%1").arg(i));
    cell->setIcon(Swatch(color, 14));
    cell->setIconSize(QSize(14, 14));
    cell->setAutoRaise(true);
    cell->setToolTip(name);
    cell->setAccessibleName(name);
    cell->setProperty("paletteColor", color);
    connect(cell, &QToolButton::clicked, this, [this, color] { Choose(color, false); });
    grid->addWidget(cell, i / kColumns, i % kColumns);
  }
  layout->addLayout(grid);

  auto* other = TextButton(palette_, tr("Other Colors..."), "btnOtherColors");
  connect(other, &QToolButton::clicked, this, [this] { ChooseOther(); });
  layout->addWidget(other);

  auto* action = new QWidgetAction(menu_);
  action->setDefaultWidget(palette_);
  menu_->addAction(action);
  setMenu(menu_);

  connect(this, &QToolButton::clicked, this, [this] { emit colorChosen(Color(), automatic_); });
  UpdateIcon();
}

std::optional<QColor> TColorButton::Color() const { return automatic_ ? std::optional<QColor>(automaticColor_) : color_; }

bool TColorButton::IsAutomatic() const { return automatic_; }

void TColorButton::SetColor(std::optional<QColor> color) {
  automatic_ = false;
  color_ = color;
  UpdateIcon();
}

void TColorButton::SetAutomatic() {
  automatic_ = true;
  UpdateIcon();
}

QColor TColorButton::AutomaticColor() const { return automaticColor_; }

void TColorButton::SetAutomaticColor(const QColor& color) {
  automaticColor_ = color;
  UpdateIcon();
}

QWidget* TColorButton::Palette() const { return palette_; }

void TColorButton::Choose(std::optional<QColor> color, bool automatic) {
  menu_->hide();
  if (automatic) SetAutomatic();
  else SetColor(color);
  emit colorChosen(Color(), automatic_);
}

void TColorButton::ChooseOther() {
  menu_->hide();
  QColorDialog dialog(Color().value_or(automaticColor_), this);
  dialog.setObjectName("dlgOtherColors");
  dialog.setWindowTitle(tr("Other Colors"));
  dialog.setAccessibleName(dialog.windowTitle());
  if (ModalUi().Exec(dialog) != QDialog::Accepted) return;
  const QColor chosen = dialog.currentColor();
  if (!chosen.isValid()) return;
  Choose(chosen, false);
}

void TColorButton::UpdateIcon() {
  const int side = 32;
  QPixmap pixmap(side, side);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QFont font = this->font();
  font.setBold(true);
  font.setPixelSize(kind_ == Kind::kText ? 20 : 14);
  p.setFont(font);
  const QRect glyph(0, 0, side, side - 9);
  if (kind_ == Kind::kBackground) {
    p.fillRect(QRect(3, 6, side - 6, side - 17), QColor(255, 255, 160));
    p.setPen(Qt::black);
    p.drawText(glyph, Qt::AlignCenter, QStringLiteral("ab"));
  } else {
    p.setPen(Qt::black);
    p.drawText(glyph, Qt::AlignCenter, QStringLiteral("A"));
  }
  const QRect bar(2, side - 8, side - 4, 6);
  const std::optional<QColor> color = Color();
  if (color) {
    p.fillRect(bar, *color);
    p.setPen(QColor(128, 128, 128));
    p.drawRect(bar);
  } else {
    // No Color: an empty swatch, struck through.
    p.setPen(QColor(128, 128, 128));
    p.drawRect(bar);
    p.setPen(QColor(200, 0, 0));
    p.drawLine(bar.bottomLeft(), bar.topRight());
  }
  p.end();
  setIcon(QIcon(pixmap));
  const QString state = !color ? tr("No Color") : automatic_ ? tr("Automatic") : color->name(QColor::HexRgb);
  setAccessibleDescription(state);
}

}  // namespace tagsmith
