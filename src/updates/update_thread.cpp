#include "updates/update_thread.h"

#include <cstdio>
#include <thread>

#include "images/temp_files.h"
#include "platform/http_client.h"
#include "platform/sync_queue.h"

namespace tagsmith {

namespace {

// Thrown when the owner has cut the check off: the check ends quietly.
struct CheckCutOff {};

}  // namespace

TUpdateThread::TUpdateThread(Settings settings, std::shared_ptr<TWebUpdater::Link> link)
    : s_(std::move(settings)), link_(std::move(link)) {}

void TUpdateThread::Sync(const std::function<void()>& step) {
  if (link_->cutOff.load()) throw CheckCutOff();
  SyncQueue::Main().Synchronize([&] {
    // Checked again on the main thread, where the owner is destroyed: a step
    // that waited in the queue meanwhile never reaches it.
    if (link_->cutOff.load()) throw CheckCutOff();
    step();
  });
}

std::string TUpdateThread::NewTempFileName(const char* extension, const char* failure) {
  if (!s_.TempFilesComp) throw Exception(failure);
  std::string name;
  Sync([&] { name = s_.TempFilesComp->CreateTempFileName(extension); });
  return name;
}

void TUpdateThread::Run() {
  HttpOptions options;
  options.connectTimeout = s_.Transfer.ConnectTimeout;
  options.readTimeout = s_.Transfer.ReadTimeout;
  options.idleSlice = s_.Transfer.IdleSlice;
  options.cancel = &link_->cancel;
  options.maxReplyBytes = s_.Transfer.MaxUpdateFileBytes;
  HttpClient http(options);

  // A GET the server answered with an error (a refused status, a body that
  // broke off or grew past its limit) fails the check with the updater's own
  // message; one that never got a reply ends the worker.
  const auto guarded = [](const std::function<void()>& get) {
    try {
      get();
    } catch (const EHttpError& e) {
      if (e.Status() != 0) throw EWebUpdaterException(kCannotConnectToURL);
      throw;
    }
  };

  std::string body;
  guarded([&] { body = http.Get("http://" + s_.HostName + s_.UpdateFileURI); });
  const TUpdateFile file = ParseUpdateFile(body);
  body.clear();
  body.shrink_to_fit();

  if (!s_.OnGetProgVer) throw EWebUpdaterException(kUpdateEventNotAssigned);
  Sync([&] { installed_ = s_.OnGetProgVer(); });

  if (!installed_.IsMissing() && !file.ProgVer.IsMissing() && installed_ < file.ProgVer) {
    const std::string name = NewTempFileName(".exe", kCantGetSetupTempFileName);
    http.Options().maxFileBytes = s_.Transfer.MaxInstallerBytes;
    guarded([&] { http.GetToFile("http://" + file.UpdateServer + file.ProgURI, name); });
    // Only the maker's own installer is kept; anything else is deleted at once.
    if (FileSignatureProblem(name, file.ProgSig, s_.PublicKey).empty()) {
      prog_ = {true, name, file.ProgSig};
    } else {
      std::remove(name.c_str());
    }
  }

  banner_.assign(file.Banners.size(), TCheckRec{});
  http.Options().maxFileBytes = s_.Transfer.MaxStorageBytes;
  for (size_t i = 0; i < file.Banners.size(); ++i) {
    const TBannData& b = file.Banners[i];
    if (!s_.OnBannerCheck) throw EWebUpdaterException(kUpdateEventNotAssigned);
    bool present = false;
    Sync([&] { present = s_.OnBannerCheck(b.Lang, b.Ver); });
    if (!(s_.Lang.empty() || s_.Lang == b.Lang) || b.Ver == -1 || b.Ver <= b.VerOldFrom || present) continue;
    const std::string name = NewTempFileName(".tmp", kCantGetTempFileName);
    guarded([&] { http.GetToFile("http://" + file.UpdateServer + b.URI, name); });
    banner_[i] = {true, name, {}};
  }

  if (s_.OnOldBannProcessEvent)
    for (const TBannLangData& lang : file.Langs) Sync([&] { s_.OnOldBannProcessEvent(lang.VerOldFrom, lang.Lang); });
}

void TUpdateThread::Execute() {
  bool complete = false;
  try {
    Run();
    complete = true;
  } catch (const EWebUpdaterException&) {
    complete = true;
  } catch (...) {
    // Cut off, no reply from the server, a file that cannot be written, or
    // an event handler's own failure: the check ends without its event.
  }
  if (complete && s_.OnCheckComplete) {
    try {
      Sync([&] { s_.OnCheckComplete(prog_, banner_); });
    } catch (...) {
    }
  }
}

void TUpdateThread::Start(Settings settings, std::shared_ptr<TWebUpdater::Link> link) {
  std::unique_ptr<TUpdateThread> thread(new TUpdateThread(std::move(settings), link));
  ++link->running;
  NoteUpdateCheckStarted();
  try {
    std::thread([thread = std::move(thread), link]() mutable {
      thread->Execute();
      thread.reset();
      --link->running;
      NoteUpdateCheckEnded();
    }).detach();
  } catch (...) {
    --link->running;
    NoteUpdateCheckEnded();
    throw;
  }
}

}  // namespace tagsmith
