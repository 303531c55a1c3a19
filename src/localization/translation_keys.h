#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tagsmith {

// What a translation key writes into: string variables (kind 0) or string
// properties of components (kind 1). The value is the `Kind` byte of a
// TTranslationEntry.
enum TTargetKind : uint8_t {
  tkVariable = 0,
  tkProperty = 1,
};

// Which deliverable registers a key: both, only the program (the tray icon's
// hint), only the control (its Paste and Exit button).
enum TKeyScope : uint8_t {
  ksAll,
  ksProgramOnly,
  ksControlOnly,
};

// The properties a property key sets on its component.
inline constexpr uint8_t kPropCaption = 1;
inline constexpr uint8_t kPropHint = 2;

// One key of the system's vocabulary of translatable texts.
struct TTranslationKey {
  const char* Name;
  TTargetKind Kind;
  TKeyScope Scope;
  // Property keys: the component's design name (its objectName in the UI),
  // and for the top-level items of MenuBarMain, which item (0 File, 1 Edit,
  // 2 Help); -1 otherwise. Null for variable keys.
  const char* Component;
  int MenuItem;
  uint8_t Props;  // kPropCaption | kPropHint
};

namespace translation_keys_detail {
constexpr TTranslationKey Var(const char* name, TKeyScope scope = ksAll) {
  return {name, tkVariable, scope, nullptr, -1, 0};
}
constexpr TTranslationKey Prop(const char* name, const char* component, uint8_t props,
                               TKeyScope scope = ksAll) {
  return {name, tkProperty, scope, component, -1, props};
}
constexpr TTranslationKey Menu(const char* name, int item) {
  return {name, tkProperty, ksAll, "MenuBarMain", item, kPropCaption};
}
}  // namespace translation_keys_detail

// Every key the system registers, in registration order. The data module
// registers from this table; the shipped language files carry every key.
inline constexpr auto kTranslationKeys = [] {
  using namespace translation_keys_detail;
  constexpr uint8_t both = kPropCaption | kPropHint;
  return std::array{
      Var("NewUpdatesHintTitle"),
      Var("NewUpdatesHintMsg"),
      Var("CantUploadImages"),
      Var("UploadError"),
      Var("AutomaticalUpdateError"),
      Var("AutoUpdateErrorMsg"),
      Var("ExitConfirmMsg"),
      Prop("FontBold", "Action_FontBold", both),
      Prop("FontItalic", "Action_FontItalic", both),
      Prop("FontUnderline", "Action_FontUnderline", both),
      Prop("FontStrikeout", "Action_FontStrikeout", both),
      Prop("FontColor", "jvbtnFontColor", kPropHint),
      Prop("FontBkColor", "jvbtnFontBkColor", kPropHint),
      Prop("AlignLeft_Hint", "tbtnAlignLeft", kPropHint),
      Prop("AlignCenter_Hint", "tbtnAlignCenter", kPropHint),
      Prop("AlignRight_Hint", "tbtnAlignRight", kPropHint),
      Prop("Superscript_Hint", "tbtnSuperscript", kPropHint),
      Prop("Subscript_Hint", "tbtnSubscript", kPropHint),
      Prop("FontName_Hint", "cmboxFontName", kPropHint),
      Prop("FontSize_Hint", "cboxFontSize", kPropHint),
      Prop("ConvertTypes_Hint", "cbConvertTypes", kPropHint),
      Prop("TextColorize", "Action_TextColorize", both),
      Prop("NewDoc_Caption", "Action_NewDoc", kPropCaption),
      Prop("NewDoc_Hint", "Action_NewDoc", kPropHint),
      Prop("OpenFile_Caption", "Action_OpenFile", kPropCaption),
      Prop("OpenFile_Hint", "Action_OpenFile", kPropHint),
      Prop("SaveFile_Caption", "Action_Save", kPropCaption),
      Prop("SaveFile_Hint", "Action_Save", kPropHint),
      Prop("SaveAsFile_Caption", "Action_SaveAs", kPropCaption),
      Prop("SaveAsFile_Hint", "Action_SaveAs", kPropHint),
      Prop("Bullets", "Action_Bullets", both),
      Prop("ShowEditor", "Action_OpenEditor", both),
      Prop("ConvertTo", "Action_ConvertTo", both),
      Prop("Exit_Caption", "Action_Exit", kPropCaption),
      Prop("Exit_Hint", "Action_Exit", kPropHint),
      Prop("CutToClipboard", "Action_CutToClipboard", both),
      Prop("CopyToClipboard", "Action_CopyToClipboard", both),
      Prop("PasteFromClipboard", "Action_PasteFromClipboard", both),
      Prop("PasteAs_Caption", "Action_PasteAsFromClipboard", kPropCaption),
      Prop("PasteAs_Hint", "Action_PasteAsFromClipboard", kPropHint),
      Prop("ShowSettingsDlg_Caption", "Action_ShowSettingsDlg", kPropCaption),
      Prop("ShowSettingsDlg_Hint", "Action_ShowSettingsDlg", kPropHint),
      Prop("TrayIcon_Hint", "TrayIconMain", kPropHint, ksProgramOnly),
      Prop("InsertObj", "Action_InsertObj", both),
      Prop("InsertPictureFromFile", "Action_InsertPictureFromFile", both),
      Prop("InsertPaintPicture", "Action_InsertPaintPicture", both),
      Prop("InsertEquation", "Action_InsertEquation", both),
      Prop("InsertWordDoc", "Action_InsertWordDoc", both),
      Prop("InsertExcelDoc", "Action_InsertExcelDoc", both),
      Menu("FileMenu_Caption", 0),
      Menu("EditMenu_Caption", 1),
      Menu("HelpMenu_Caption", 2),
      Prop("AboutProgramMenu", "Action_AboutProgram", both),
      Prop("VisitSite", "Action_VisitSite", kPropCaption),
      Var("ImagesProgressMsg"),
      Var("ImagesUploadMsg"),
      Var("ProcessingSteps"),
      Var("ImagesSection"),
      Var("Progress"),
      Var("Step1"),
      Var("Step2"),
      Var("LabelOR"),
      Var("CopyCodeToClipboard"),
      Var("UploadImages"),
      Var("Preview"),
      Var("SaveCodeToFile"),
      Var("ConvertDlg_Caption"),
      Var("ConvertDlg_Exit"),
      Var("AbortUploading"),
      Var("PasteAndExit", ksControlOnly),
      Var("ImageHosting"),
      Var("Tags"),
      Var("ImageFormat"),
      Var("UpscaleImages_Caption"),
      Var("UpscaleImages_Hint"),
      Var("AutoUpdate"),
      Var("StartWithWindows"),
      Var("Lang"),
      Var("ButtonOK"),
      Var("ButtonCancel"),
      Var("SettingsDlg_Caption"),
      Var("UsageItem"),
      Var("ProcessingItem"),
      Var("AntiHotlinking_Caption"),
      Var("AntiHotlinking_Hint"),
  };
}();

// The keys whose texts are printf-style formats taking two integers, the
// count done and the total ("Rendering images: %d of %d").
inline constexpr std::array<std::string_view, 2> kCountFormatKeys = {"ImagesProgressMsg",
                                                                      "ImagesUploadMsg"};

}  // namespace tagsmith
