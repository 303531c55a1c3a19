#pragma once

// Unit_DataModule: TDataModuleMain, the one object that ties the non-visual
// parts of an editor together for its whole life: the translator, the two tag
// sets, the temporary files and the one-second tick that drives the update
// checks and the banner rotation, the update checker (WebUpdaterMain) and the
// banner storages (BannStor). The program has one; each instance of the
// embeddable control has its own.

#include <cstdint>
#include <memory>
#include <string>

#include "app/convert_workflow.h"
#include "app/translated_strings.h"
#include "conversion/tag_sets.h"
#include "conversion/tags_array.h"
#include "images/temp_files.h"
#include "localization/simple_translator.h"
#include "localization/translation_keys.h"
#include "updates/banner_storages.h"
#include "updates/web_updater.h"

namespace tagsmith {

// Which deliverable a data module serves. The control's data module differs
// in its creation order, keeps its tick counters per instance and shows no
// balloon.
enum TDeliverable : uint8_t {
  dlProgram,
  dlControl,
};

// What the data module needs of its editor window. Main thread only.
class IDataModuleHost {
 public:
  virtual ~IDataModuleHost() = default;
  // The translator's property target for a key's component (its design name,
  // or a top-level item of MenuBarMain when menuItem >= 0); null when the
  // window lacks it.
  virtual IPropertyTarget* FindPropertyTarget(const char* component, int menuItem) = 0;
  // A balloon of the notification-area icon (a desktop notification).
  virtual void ShowBalloon(const std::string& title, const std::string& text, bool error, int timeoutMs) = 0;
  // The window's banner strip, where BannStor shows its pictures; null when
  // the window has none. It must outlive the data module, or the data module
  // must be told first (DetachBanner).
  virtual IBanner* BannerStrip() { return nullptr; }
};

// What the tick and a language change start in the update checker and the
// banner component. By default the data module's own WebUpdaterMain and
// BannStor do it; tests of the counters put a recorder in their place.
// Main thread only.
class IDataModuleTasks {
 public:
  virtual ~IDataModuleTasks() = default;
  // CheckForUpdates: a periodic update check.
  virtual void StartUpdateCheck() = 0;
  // The next banner of the rotation.
  virtual void ShowNextBanner() = 0;
  // The rotation starts again, so that banners of the new language are shown.
  virtual void RestartBannerRotation() = 0;
};

// The timer's counters and the periodic-update flag. The program keeps one
// set for its whole life (ProgramTickCounters); a control's data module keeps
// its own.
struct TTickCounters {
  int32_t UpdateTicks = 0;
  int32_t BannerTicks = 0;
  bool PeriodicUpdatesEnabled = true;
};

// The program's counters, global to the process.
TTickCounters& ProgramTickCounters();

// The data module of one editor window. Main thread only.
//
// Construction makes the components (translator, temporary files, the
// strings of the variable keys) and nothing else; DataModuleCreate then does
// the creation steps. Destruction runs DataModuleDestroy, and the temporary
// files delete what they handed out.
class TDataModuleMain {
 public:
  // A check starts on the tick after 18000; a banner changes every 61 ticks.
  static constexpr int32_t kUpdateTicksLimit = 18000;
  static constexpr int32_t kBannerTicksLimit = 60;

  // `host` (may be null: no window, nothing of it registered) must outlive the
  // data module. `counters` default to the program's for dlProgram and to
  // counters of this instance for dlControl.
  TDataModuleMain(TDeliverable deliverable, IDataModuleHost* host, TTickCounters* counters = nullptr);
  ~TDataModuleMain();
  TDataModuleMain(const TDataModuleMain&) = delete;
  TDataModuleMain& operator=(const TDataModuleMain&) = delete;

  // The creation steps, over the settings store and folders of GetSettingsStore:
  //   1. in a local install, the temporary files use TempFilesDir;
  //   2. the translator's LangDir is LanguageDir, its CurrLang "UILang";
  //   3. RegisterTranslations, then Translate;
  //   4. both tag sets are made and read from the store ("bbcode", "html"),
  //      and the dialects ("BBCodeDialect", "HTMLDialect");
  //   5. a missing BannerDir is made, with its parents, and filled with the
  //      files of DataDir (the shipped storages);
  //   6. BannStor's storage folder := BannerDir; when that fails, the folder
  //      is filled from DataDir again and set once more;
  //   7. WebUpdaterMain asks "UpdateHost" for kUpdateFileURI;
  //   8. with "NoErr" true an update check starts; otherwise the program
  //      turns the periodic checks off and shows the error balloon (the
  //      control does neither: no check, no balloon, periodic checks on).
  // The program runs them in this order, the control in the order 1, 4, 2,
  // 3, 5, 6, 7, 8.
  // A step that fails does not stop the others: every step is tried, and
  // then the first error is thrown (once), so a broken language file still
  // leaves the stored tag sets in force. The data module stays usable.
  void DataModuleCreate();
  // Frees the tag sets; the writers then use the default sets and Classic.
  void DataModuleDestroy();

  // Registers the whole key table with TranMain in its order: the variable
  // keys with the members of Strings(), the property keys with the host's
  // targets (Caption before Hint), skipping keys of the other deliverable and
  // components the host lacks.
  void RegisterTranslations();

  // After the settings dialog's OK: CurrLang from "UILang" again, Translate,
  // and the banner rotation restarts.
  void ReloadLanguage();

  // The update checker's handlers, run on the main thread while a check
  // of WebUpdaterMain runs:
  // - the installed version (ReadProgVer);
  TVer WebUpdaterMainGetProgVer();
  // - whether BannStor holds a storage of `lang` with version `ver`;
  bool WebUpdaterMainBannerCheck(const std::string& lang, int32_t ver);
  // - BannStor drops the storages of `lang` up to version `oldVer`;
  void WebUpdaterMainOldBannProcessEvent(int32_t oldVer, const std::string& lang);
  // - the check's results: each downloaded storage is added to BannStor in
  //   order and the folder reloaded when the check listed any; a downloaded
  //   installer (program only) is recorded with StoreDownloadedUpdate, kept
  //   past the end of the program (ForgetFile) and announced in a balloon
  //   without time-out. A storage that cannot be added does not keep the
  //   others out nor the installer unrecorded; the first failure is thrown
  //   after everything was tried.
  void WebUpdaterMainCheckComplete(const TCheckRec& prog, const TCheckRecArr& banner);

  // The banner strip goes away before the data module: BannStor shows
  // nothing from now on and hands the strip's click handler back.
  void DetachBanner();

  // The timer's handler, called once a second by the owner's timer:
  //   1. UpdateTicks + 1; above 18000 it is reset and, while
  //      PeriodicUpdatesEnabled, an update check starts;
  //   2. BannerTicks + 1; above 60 it is reset and the next banner is shown.
  void TimerMainTimer();

  // The update checker's and banner component's seam; the data module's own
  // components until replaced (null: the counters run and nothing is
  // started). `tasks` must outlive its use.
  void SetTasks(IDataModuleTasks* tasks) { tasks_ = tasks; }

  // Where the update file lies on the update host.
  static constexpr const char* kUpdateFileURI = "/download/xml/tagsmith_update.xml";

  TDeliverable Deliverable() const { return deliverable_; }
  TSimpleTranslator& TranMain() { return tranMain_; }
  TTempFiles& TempFilesMain() { return tempFilesMain_; }
  // Its key and time-outs may be changed before DataModuleCreate.
  TWebUpdater& WebUpdaterMain() { return webUpdaterMain_; }
  TBannerStorages& BannStor() { return bannStor_; }
  TTranslatedStrings& Strings() { return strings_; }
  // Null before DataModuleCreate and after DataModuleDestroy.
  TBBCODETagSetHolder* BBCodeTagSet() { return bbcode_.get(); }
  THTMLTagSetHolder* HTMLTagSet() { return html_.get(); }
  // The dialect of each output, read at every GetCode: the settings dialog
  // changes it here (and stores it with WriteDialects) when the user
  // confirms.
  TDialectChoice& Dialects() { return dialects_; }
  // Where the writers find the enabled tag kinds (read at every tag) and the
  // dialects.
  TTagSetSource TagSets() const { return {html_.get(), bbcode_.get(), &dialects_}; }
  // What a convert dialog's workflow uses of the data module: its temporary
  // files, its tag sets and its translated texts.
  TConvertEnvironment ConvertEnvironment() { return {&tempFilesMain_, TagSets(), &strings_}; }

  int32_t UpdateTicks() const { return counters_->UpdateTicks; }
  int32_t BannerTicks() const { return counters_->BannerTicks; }
  bool PeriodicUpdatesEnabled() const { return counters_->PeriodicUpdatesEnabled; }
  void SetPeriodicUpdatesEnabled(bool enabled) { counters_->PeriodicUpdatesEnabled = enabled; }

 private:
  void UseLocalTempDir();
  void SetLangDir();
  void SetCurrLang();
  void Translate();
  void ReadTagSets();
  void PrepareBannerDir();
  void SetBannerFolder();
  void SetUpdateHost();
  void StartFirstCheck();
  void StartUpdateCheck();

  // The default tasks: the data module's own components.
  class ComponentTasks : public IDataModuleTasks {
   public:
    explicit ComponentTasks(TDataModuleMain& dm) : dm_(dm) {}
    void StartUpdateCheck() override { dm_.StartUpdateCheck(); }
    // Without a storage folder (before creation, or after it could not be
    // set, which was reported then) there is nothing to rotate.
    void ShowNextBanner() override {
      if (!dm_.bannStor_.StorageDir().empty()) dm_.bannStor_.ShowNextBanner();
    }
    void RestartBannerRotation() override {
      if (!dm_.bannStor_.StorageDir().empty()) dm_.bannStor_.RestartRotation();
    }

   private:
    TDataModuleMain& dm_;
  };

  const TDeliverable deliverable_;
  IDataModuleHost* const host_;
  TTickCounters ownCounters_;
  TTickCounters* const counters_;
  ComponentTasks componentTasks_{*this};
  IDataModuleTasks* tasks_ = &componentTasks_;
  // Declared before the translator: registered variables outlive it.
  TTranslatedStrings strings_;
  TSimpleTranslator tranMain_;
  TTempFiles tempFilesMain_;
  std::unique_ptr<TBBCODETagSetHolder> bbcode_;
  std::unique_ptr<THTMLTagSetHolder> html_;
  TDialectChoice dialects_;
  TBannerStorages bannStor_;
  // Last, so that it goes first: a check still running is cut off before
  // anything it reports to is gone.
  TWebUpdater webUpdaterMain_;
};

}  // namespace tagsmith
