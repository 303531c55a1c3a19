#pragma once

// The icons of the editor window's buttons and menu items, drawn as vector
// shapes so they stay sharp at every size and screen scale; the disabled
// state is drawn in grey.

#include <QIcon>

namespace tagsmith {

enum class TEditorIcon {
  NewDoc, OpenFile, Save, SaveAs, Settings, Exit,
  Cut, Copy, Paste, PasteAs, Undo, Redo,
  InsertObject, InsertPicture, PaintPicture, Equation, WordDoc, ExcelTable,
  VisitSite, About,
  Bold, Italic, Underline, Strikeout,
  AlignLeft, AlignCenter, AlignRight, Bullets, Superscript, Subscript, Colorize,
  Convert, AppIcon,
};

QIcon EditorIcon(TEditorIcon icon);

}  // namespace tagsmith
