#include "app/translated_strings.h"

#include "platform/strings.h"

namespace tagsmith {

namespace {

struct Member {
  const char* name;
  std::string TTranslatedStrings::*member;
};

#define TAGSMITH_MEMBER(name) Member{#name, &TTranslatedStrings::name}
constexpr Member kMembers[] = {
    TAGSMITH_MEMBER(NewUpdatesHintTitle),   TAGSMITH_MEMBER(NewUpdatesHintMsg),
    TAGSMITH_MEMBER(CantUploadImages),      TAGSMITH_MEMBER(UploadError),
    TAGSMITH_MEMBER(AutomaticalUpdateError), TAGSMITH_MEMBER(AutoUpdateErrorMsg),
    TAGSMITH_MEMBER(ExitConfirmMsg),        TAGSMITH_MEMBER(ImagesProgressMsg),
    TAGSMITH_MEMBER(ImagesUploadMsg),       TAGSMITH_MEMBER(ProcessingSteps),
    TAGSMITH_MEMBER(ImagesSection),         TAGSMITH_MEMBER(Progress),
    TAGSMITH_MEMBER(Step1),                 TAGSMITH_MEMBER(Step2),
    TAGSMITH_MEMBER(LabelOR),               TAGSMITH_MEMBER(CopyCodeToClipboard),
    TAGSMITH_MEMBER(UploadImages),          TAGSMITH_MEMBER(Preview),
    TAGSMITH_MEMBER(SaveCodeToFile),        TAGSMITH_MEMBER(ConvertDlg_Caption),
    TAGSMITH_MEMBER(ConvertDlg_Exit),       TAGSMITH_MEMBER(AbortUploading),
    TAGSMITH_MEMBER(PasteAndExit),          TAGSMITH_MEMBER(ImageHosting),
    TAGSMITH_MEMBER(Tags),                  TAGSMITH_MEMBER(ImageFormat),
    TAGSMITH_MEMBER(UpscaleImages_Caption), TAGSMITH_MEMBER(UpscaleImages_Hint),
    TAGSMITH_MEMBER(AutoUpdate),            TAGSMITH_MEMBER(StartWithWindows),
    TAGSMITH_MEMBER(Lang),                  TAGSMITH_MEMBER(ButtonOK),
    TAGSMITH_MEMBER(ButtonCancel),          TAGSMITH_MEMBER(SettingsDlg_Caption),
    TAGSMITH_MEMBER(UsageItem),             TAGSMITH_MEMBER(ProcessingItem),
    TAGSMITH_MEMBER(AntiHotlinking_Caption), TAGSMITH_MEMBER(AntiHotlinking_Hint),
};
#undef TAGSMITH_MEMBER

}  // namespace

std::string* TTranslatedStrings::Find(std::string_view name) {
  for (const Member& m : kMembers)
    if (EqualsIgnoreCase(m.name, name)) return &(this->*m.member);
  return nullptr;
}

}  // namespace tagsmith
