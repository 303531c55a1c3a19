#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "updates/update_file.h"
#include "updates/web_updater.h"

namespace tagsmith {

// What an updater shares with the checks it started.
struct TWebUpdater::Link {
  std::atomic<bool> cutOff{false};  // set on the main thread; no step reaches the owner after
  std::atomic<bool> cancel{false};  // ends the transfer in progress
  std::atomic<int> running{0};
};

// The program-wide count of running checks (web_updater.cpp), kept so that
// the program's end can wait for them.
void NoteUpdateCheckStarted();
void NoteUpdateCheckEnded();

// One check in its own thread. It holds copies of everything it needs, taken
// when the check starts, and frees itself when it ends. Its steps are those
// of TWebUpdater's contract; see Run for the order.
class TUpdateThread {
 public:
  struct Settings {
    std::string HostName;
    std::string UpdateFileURI;
    TTempFiles* TempFilesComp = nullptr;  // used on the main thread only
    std::string Lang;                     // the translator's language; empty: every language
    TGetProgVerEvent OnGetProgVer;
    TBannerCheckEvent OnBannerCheck;
    TCheckCompleteEvent OnCheckComplete;
    TOldBannProcessEvent OnOldBannProcessEvent;
    TUpdateTransfer Transfer;
    Ed25519PublicKey PublicKey;
  };

  // Starts the thread, detached; it frees itself when it ends. `link` is
  // the owner's cut-off and cancel flags.
  static void Start(Settings settings, std::shared_ptr<TWebUpdater::Link> link);

 private:
  TUpdateThread(Settings settings, std::shared_ptr<TWebUpdater::Link> link);
  void Execute();
  void Run();
  // Runs `step` on the main thread unless the owner has cut the check off
  // (then the check ends quietly).
  void Sync(const std::function<void()>& step);
  std::string NewTempFileName(const char* extension, const char* failure);

  Settings s_;
  std::shared_ptr<TWebUpdater::Link> link_;
  TVer installed_;
  TCheckRec prog_;
  TCheckRecArr banner_;
};

}  // namespace tagsmith
