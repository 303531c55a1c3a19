#pragma once

// The update check: asks the maker's web host for the update file, downloads
// a newer installer and the banner storages that are missing into temporary
// files, and reports them through events. It installs nothing itself.
//
// Contract for the owner (the data module):
// - Every event and every temporary-file request runs on the main thread
//   through the synchronize mechanism (SyncQueue::Main()); the worker waits
//   until each has run. The main thread must serve that queue (the event loop
//   does) for a check to make progress.
// - A check still running when its TWebUpdater is destroyed is cut off: none
//   of its later steps reaches the owner, its transfer is cancelled within
//   one idle slice, and it ends on its own. Destroying the updater never
//   waits for the server, so the program's exit does not either.
// - A downloaded installer is kept only when its bytes carry the Ed25519
//   signature of PublicKey given in the update file ("Sig" of "ProgramData");
//   otherwise the file is deleted and reported as not downloaded.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/version.h"
#include "updates/signature.h"
#include "updates/update_file.h"

namespace tagsmith {

class TTempFiles;
class TSimpleTranslator;

// The updater's fixed messages.
inline constexpr const char* kCannotConnectToURL = "Cannot connect to URL!";
inline constexpr const char* kUpdateEventNotAssigned = "Update event is not assigned!";
inline constexpr const char* kCantGetSetupTempFileName = "Cant get setup temp filename!";
inline constexpr const char* kCantGetTempFileName = "Cant get temp filename!";

// One download of a check: whether it finished and where it lies. For the
// installer, Signature is its verified base64 signature, to be recorded with
// it (StoreDownloadedUpdate) so that it is checked again before it runs.
struct TCheckRec {
  bool Downloaded = false;
  std::string FileName;
  std::string Signature;
  bool operator==(const TCheckRec&) const = default;
};
using TCheckRecArr = std::vector<TCheckRec>;

using TGetProgVerEvent = std::function<TVer()>;
// True when a storage for Lang with exactly version Ver is already present.
using TBannerCheckEvent = std::function<bool(const std::string& Lang, int32_t Ver)>;
using TCheckCompleteEvent = std::function<void(const TCheckRec& Prog, const TCheckRecArr& Banner)>;
// The storages of Lang whose version is OldVer or lower have become obsolete.
using TOldBannProcessEvent = std::function<void(int32_t OldVer, const std::string& Lang)>;

// How a check talks to the servers. The defaults are the program's; tests
// shorten the time-outs to milliseconds.
struct TUpdateTransfer {
  std::chrono::milliseconds ConnectTimeout{180000};
  std::chrono::milliseconds ReadTimeout{3600000};
  // Granularity of the idle time-out and of the reaction to a cut-off.
  std::chrono::milliseconds IdleSlice{250};
  // A reply that grows past its limit ends that GET as failed.
  size_t MaxUpdateFileBytes = size_t(16) << 20;
  uint64_t MaxInstallerBytes = uint64_t(512) << 20;
  uint64_t MaxStorageBytes = uint64_t(16) << 20;
};

class TWebUpdater {
 public:
  TWebUpdater();
  // Cuts off every check it started (see above); does not wait.
  ~TWebUpdater();
  TWebUpdater(const TWebUpdater&) = delete;
  TWebUpdater& operator=(const TWebUpdater&) = delete;

  // Host of the update file, and its path there: the file is fetched from
  // "http://" + HostName + UpdateFileURI.
  std::string HostName;
  std::string UpdateFileURI;
  // Gives the names of the download files; unset after creation.
  TTempFiles* TempFilesComp = nullptr;
  // Its current language selects the storages downloaded; unset: every one.
  TSimpleTranslator* Translator = nullptr;
  TGetProgVerEvent OnGetProgVer;
  TBannerCheckEvent OnBannerCheck;
  TCheckCompleteEvent OnCheckComplete;
  TOldBannProcessEvent OnOldBannProcessEvent;
  TUpdateTransfer Transfer;
  // The key installers must be signed with.
  Ed25519PublicKey PublicKey = MakerPublicKey();

  // Main thread. Starts an independent check in its own thread, with copies
  // of the properties, events and current language taken now, and returns at
  // once. Later changes to the properties do not affect it.
  void CheckForUpdates();

  // The checks of this updater that have not ended yet. Any thread.
  int RunningChecks() const;

  struct Link;

 private:
  std::shared_ptr<Link> link_;
};

// Main thread, at the end of the program or of a test: cuts off and cancels
// every check still running, of any updater, and serves the main queue until
// they have ended (each ends within about one idle slice). Also done when
// the program ends.
void CutOffAllUpdateChecks();
// Checks of any updater that have not ended yet.
int RunningUpdateChecks();

}  // namespace tagsmith
