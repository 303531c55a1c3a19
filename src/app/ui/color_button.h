#pragma once

// A tool button that chooses a colour: its face applies the current colour,
// its arrow drops down a palette of named colours with "No Color",
// "Automatic" (the colour the text has by default) and "Other Colors..." (a
// colour dialog, through ModalUi().Exec). The icon shows the current colour
// as a swatch under the button's glyph. Main thread only.

#include <QColor>
#include <QToolButton>

#include <optional>

class QMenu;

namespace tagsmith {

class TColorButton : public QToolButton {
  Q_OBJECT

 public:
  // What the glyph above the swatch shows: a letter for the text colour, a
  // marked "ab" for the background colour.
  enum class Kind { kText, kBackground };
  explicit TColorButton(Kind kind, QWidget* parent = nullptr);

  // The current colour; empty for "No Color". While automatic it is the
  // automatic colour.
  std::optional<QColor> Color() const;
  bool IsAutomatic() const;
  // Makes `color` current (empty: No Color) without emitting colorChosen.
  void SetColor(std::optional<QColor> color);
  void SetAutomatic();
  // The colour "Automatic" stands for; an automatic button follows it.
  QColor AutomaticColor() const;
  void SetAutomaticColor(const QColor& color);

  // The palette that the arrow drops down (its cells are "cellColor0"...,
  // with "btnNoColor", "btnAutomatic" and "btnOtherColors").
  QWidget* Palette() const;

  // The names and colours of the palette's cells, row by row.
  struct NamedColor {
    const char* name;
    QRgb rgb;
  };
  static const NamedColor* PaletteColors(int* count);

 signals:
  // The user chose a colour in the palette or clicked the face: `color` is
  // empty for No Color; `automatic` tells that Automatic was chosen (then
  // `color` is the automatic colour).
  void colorChosen(std::optional<QColor> color, bool automatic);

 private:
  void Choose(std::optional<QColor> color, bool automatic);
  void ChooseOther();
  void UpdateIcon();

  Kind kind_;
  std::optional<QColor> color_;
  bool automatic_ = true;
  QColor automaticColor_ = Qt::black;
  QMenu* menu_;
  QWidget* palette_;
};

}  // namespace tagsmith
