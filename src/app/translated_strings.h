#pragma once

#include <string>
#include <string_view>

namespace tagsmith {

// The texts of the string-variable translation keys: the captions and
// messages that the dialogs and balloons show. The data module owns one and
// registers every member with its translator under the key of the same name;
// each member is empty until a language file gives its key a text. Main
// thread only.
struct TTranslatedStrings {
  std::string NewUpdatesHintTitle;
  std::string NewUpdatesHintMsg;
  std::string CantUploadImages;
  std::string UploadError;
  std::string AutomaticalUpdateError;
  std::string AutoUpdateErrorMsg;
  std::string ExitConfirmMsg;
  std::string ImagesProgressMsg;
  std::string ImagesUploadMsg;
  std::string ProcessingSteps;
  std::string ImagesSection;
  std::string Progress;
  std::string Step1;
  std::string Step2;
  std::string LabelOR;
  std::string CopyCodeToClipboard;
  std::string UploadImages;
  std::string Preview;
  std::string SaveCodeToFile;
  std::string ConvertDlg_Caption;
  std::string ConvertDlg_Exit;
  std::string AbortUploading;
  std::string PasteAndExit;
  std::string ImageHosting;
  std::string Tags;
  std::string ImageFormat;
  std::string UpscaleImages_Caption;
  std::string UpscaleImages_Hint;
  std::string AutoUpdate;
  std::string StartWithWindows;
  std::string Lang;
  std::string ButtonOK;
  std::string ButtonCancel;
  std::string SettingsDlg_Caption;
  std::string UsageItem;
  std::string ProcessingItem;
  std::string AntiHotlinking_Caption;
  std::string AntiHotlinking_Hint;

  // The member of the key `name` (letters compared without regard to case),
  // or null when no member bears that name.
  std::string* Find(std::string_view name);
};

}  // namespace tagsmith
