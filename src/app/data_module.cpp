#include "app/data_module.h"

#include <exception>

#include "app/global_share.h"

namespace tagsmith {

TTickCounters& ProgramTickCounters() {
  static TTickCounters counters;
  return counters;
}

TDataModuleMain::TDataModuleMain(TDeliverable deliverable, IDataModuleHost* host, TTickCounters* counters)
    : deliverable_(deliverable),
      host_(host),
      counters_(counters ? counters : deliverable == dlProgram ? &ProgramTickCounters() : &ownCounters_) {}

TDataModuleMain::~TDataModuleMain() { DataModuleDestroy(); }

void TDataModuleMain::DataModuleCreate() {
  using Step = void (TDataModuleMain::*)();
  static constexpr Step kProgramOrder[] = {&TDataModuleMain::UseLocalTempDir, &TDataModuleMain::SetLangDir,
                                           &TDataModuleMain::SetCurrLang,     &TDataModuleMain::RegisterTranslations,
                                           &TDataModuleMain::Translate,       &TDataModuleMain::ReadTagSets};
  static constexpr Step kControlOrder[] = {&TDataModuleMain::UseLocalTempDir, &TDataModuleMain::ReadTagSets,
                                           &TDataModuleMain::SetLangDir,      &TDataModuleMain::SetCurrLang,
                                           &TDataModuleMain::RegisterTranslations, &TDataModuleMain::Translate};
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
