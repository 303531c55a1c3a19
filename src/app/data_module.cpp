#include "app/data_module.h"

#include <cstring>
#include <exception>
#include <filesystem>

#include "app/global_share.h"

namespace tagsmith {

TTickCounters& ProgramTickCounters() {
  static TTickCounters counters;
  return counters;
}

TDataModuleMain::TDataModuleMain(TDeliverable deliverable, IDataModuleHost* host, TTickCounters* counters)
    : deliverable_(deliverable),
      host_(host),
      counters_(counters ? counters : deliverable == dlProgram ? &ProgramTickCounters() : &ownCounters_) {
  bannStor_.SetTranslator(&tranMain_);
  if (host_) bannStor_.SetBanner(host_->BannerStrip());
  webUpdaterMain_.TempFilesComp = &tempFilesMain_;
  webUpdaterMain_.Translator = &tranMain_;
  webUpdaterMain_.OnGetProgVer = [this] { return WebUpdaterMainGetProgVer(); };
  webUpdaterMain_.OnBannerCheck = [this](const std::string& lang, int32_t ver) {
    return WebUpdaterMainBannerCheck(lang, ver);
  };
  webUpdaterMain_.OnOldBannProcessEvent = [this](int32_t oldVer, const std::string& lang) {
    WebUpdaterMainOldBannProcessEvent(oldVer, lang);
  };
  webUpdaterMain_.OnCheckComplete = [this](const TCheckRec& prog, const TCheckRecArr& banner) {
    WebUpdaterMainCheckComplete(prog, banner);
  };
}

TDataModuleMain::~TDataModuleMain() { DataModuleDestroy(); }

void TDataModuleMain::DataModuleCreate() {
  using Step = void (TDataModuleMain::*)();
  static constexpr Step kProgramOrder[] = {
      &TDataModuleMain::UseLocalTempDir, &TDataModuleMain::SetLangDir,       &TDataModuleMain::SetCurrLang,
      &TDataModuleMain::RegisterTranslations, &TDataModuleMain::Translate,   &TDataModuleMain::ReadTagSets,
      &TDataModuleMain::PrepareBannerDir, &TDataModuleMain::SetBannerFolder, &TDataModuleMain::SetUpdateHost,
      &TDataModuleMain::StartFirstCheck};
  static constexpr Step kControlOrder[] = {
      &TDataModuleMain::UseLocalTempDir,  &TDataModuleMain::ReadTagSets,     &TDataModuleMain::SetLangDir,
      &TDataModuleMain::SetCurrLang,      &TDataModuleMain::RegisterTranslations, &TDataModuleMain::Translate,
      &TDataModuleMain::PrepareBannerDir, &TDataModuleMain::SetBannerFolder, &TDataModuleMain::SetUpdateHost,
      &TDataModuleMain::StartFirstCheck};
  // Each step stands on its own: a language folder that cannot be read must
  // not leave the user's tag sets unread (the settings dialog would store the
  // defaults over them) nor the keys unregistered.
  std::exception_ptr first;
  for (Step step : deliverable_ == dlProgram ? kProgramOrder : kControlOrder) {
    try {
      (this->*step)();
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  if (first) std::rethrow_exception(first);
}

void TDataModuleMain::UseLocalTempDir() {
  if (IsLocalInstall()) tempFilesMain_.SetTempDir(TempFilesDir());
}

void TDataModuleMain::SetLangDir() { tranMain_.SetLangDir(LanguageDir()); }

void TDataModuleMain::SetCurrLang() { tranMain_.SetCurrLang(GetSettingsStore().Read(settings::kUILang)); }

void TDataModuleMain::Translate() { tranMain_.Translate(); }

void TDataModuleMain::ReadTagSets() {
  bbcode_ = std::make_unique<TBBCODETagSetHolder>();
  html_ = std::make_unique<THTMLTagSetHolder>();
  SettingsStore& store = GetSettingsStore();
  store.ReadPersistent(settings::kBBCodeTagSet, *bbcode_);
  store.ReadPersistent(settings::kHTMLTagSet, *html_);
  dialects_ = ReadDialects(store);
}

namespace {

// Makes the storage folder with its parents and copies the shipped storages
// into it.
void FillBannerDir() {
  const std::string folder = BannerDir();
  if (const int error = CreatePrivateFolders(folder))
    throw EGlobalShare("Cannot create the banner folder \"" + folder + "\": " + std::strerror(error));
  CopyFolderFiles(DataDir(), folder);
}

}  // namespace

void TDataModuleMain::PrepareBannerDir() {
  std::error_code ec;
  if (!std::filesystem::exists(BannerDir(), ec)) FillBannerDir();
}

void TDataModuleMain::SetBannerFolder() {
  try {
    bannStor_.SetStorageDir(BannerDir());
  } catch (...) {
    // The folder is there but unusable (its storages deleted or damaged):
    // the shipped storages are copied in again, whether or not it exists.
    FillBannerDir();
    bannStor_.SetStorageDir(BannerDir());
  }
}

void TDataModuleMain::SetUpdateHost() {
  webUpdaterMain_.UpdateFileURI = kUpdateFileURI;
  webUpdaterMain_.HostName = ReadUpdateHost();
}

void TDataModuleMain::StartFirstCheck() {
  if (ReadNoErr()) {
    StartUpdateCheck();
    return;
  }
  if (deliverable_ != dlProgram) return;
  counters_->PeriodicUpdatesEnabled = false;
  if (host_) host_->ShowBalloon(strings_.AutomaticalUpdateError, strings_.AutoUpdateErrorMsg, true, 3000);
}

void TDataModuleMain::StartUpdateCheck() {
  // A host that could not be read leaves nothing to ask.
  if (!webUpdaterMain_.HostName.empty()) webUpdaterMain_.CheckForUpdates();
}

TVer TDataModuleMain::WebUpdaterMainGetProgVer() { return ReadProgVer(); }

bool TDataModuleMain::WebUpdaterMainBannerCheck(const std::string& lang, int32_t ver) {
  return bannStor_.HasStorage(lang.substr(0, 255), ver);
}

void TDataModuleMain::WebUpdaterMainOldBannProcessEvent(int32_t oldVer, const std::string& lang) {
  bannStor_.RemoveOldStorages(oldVer, lang);
}

void TDataModuleMain::WebUpdaterMainCheckComplete(const TCheckRec& prog, const TCheckRecArr& banner) {
  std::exception_ptr first;
  const auto attempt = [&first](const auto& step) {
    try {
      step();
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  };
  for (const TCheckRec& rec : banner)
    if (rec.Downloaded) attempt([&] { bannStor_.AddStorage(rec.FileName); });
  if (!banner.empty()) attempt([&] { bannStor_.ReloadStorages(); });
  if (prog.Downloaded && deliverable_ == dlProgram) {
    attempt([&] {
      // Recorded first: the user is told of an update only when the next
      // start will really install it, and the file is kept only then.
      StoreDownloadedUpdate(prog.FileName, prog.Signature);
      tempFilesMain_.ForgetFile(prog.FileName);
      if (host_) host_->ShowBalloon(strings_.NewUpdatesHintTitle, strings_.NewUpdatesHintMsg, false, -1);
    });
  }
  if (first) std::rethrow_exception(first);
}

void TDataModuleMain::DetachBanner() { bannStor_.SetBanner(nullptr); }

void TDataModuleMain::DataModuleDestroy() {
  bbcode_.reset();
  html_.reset();
  dialects_ = TDialectChoice();
}

void TDataModuleMain::RegisterTranslations() {
  const TKeyScope otherDeliverable = deliverable_ == dlProgram ? ksControlOnly : ksProgramOnly;
  for (const TTranslationKey& key : kTranslationKeys) {
    if (key.Scope == otherDeliverable) continue;
    if (key.Kind == tkVariable) {
      std::string* variable = strings_.Find(key.Name);
      if (!variable) throw ESimpleTranslator(std::string("No text for the translation key \"") + key.Name + "\"");
      tranMain_.AddStringTarget(key.Name, variable);
      continue;
    }
    IPropertyTarget* target = host_ ? host_->FindPropertyTarget(key.Component, key.MenuItem) : nullptr;
    if (!target) continue;
    if (key.Props & kPropCaption) tranMain_.AddPropertyTarget(target, key.Name, "Caption");
    if (key.Props & kPropHint) tranMain_.AddPropertyTarget(target, key.Name, "Hint");
  }
}

void TDataModuleMain::ReloadLanguage() {
  SetCurrLang();
  Translate();
  if (tasks_) tasks_->RestartBannerRotation();
}

void TDataModuleMain::TimerMainTimer() {
  TTickCounters& c = *counters_;
  if (++c.UpdateTicks > kUpdateTicksLimit) {
    c.UpdateTicks = 0;
    if (c.PeriodicUpdatesEnabled && tasks_) tasks_->StartUpdateCheck();
  }
  if (++c.BannerTicks > kBannerTicksLimit) {
    c.BannerTicks = 0;
    if (tasks_) tasks_->ShowNextBanner();
  }
}

}  // namespace tagsmith
