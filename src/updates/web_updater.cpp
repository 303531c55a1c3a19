#include "updates/web_updater.h"

#include <algorithm>
#include <mutex>
#include <thread>

#include "localization/simple_translator.h"
#include "platform/http_client.h"
#include "platform/sync_queue.h"
#include "updates/update_thread.h"

namespace tagsmith {

namespace {

// Every updater's link, so that the program's end can cut off and wait for
// the checks still running.
class CheckRegistry {
 public:
  CheckRegistry() {
    // Made first, so that the queue outlives this object.
    SyncQueue::Main();
  }
  ~CheckRegistry() { CutOffAll(); }

  void Add(const std::shared_ptr<TWebUpdater::Link>& link) {
    std::lock_guard<std::mutex> lock(mutex_);
    links_.erase(std::remove_if(links_.begin(), links_.end(), [](const auto& w) { return w.expired(); }),
                 links_.end());
    links_.push_back(link);
  }

  void Started() { ++running_; }
  // The worker's last touch: under the lock, so that CutOffAll cannot return
  // (and the queue be destroyed at program end) while it is still waking it.
  void Ended() {
    std::lock_guard<std::mutex> lock(mutex_);
    --running_;
    SyncQueue::Main().Wake();
  }
  int Running() const { return running_.load(); }

  void CutOffAll() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (const auto& weak : links_)
        if (auto link = weak.lock()) {
          link->cutOff = true;
          link->cancel = true;
        }
    }
    SyncQueue& queue = SyncQueue::Main();
    if (queue.IsMainThread()) {
      queue.ServeUntil([this] { return running_.load() == 0; });
    } else {
      // Nobody serves the queue here; a check blocked in it cannot end.
      for (int i = 0; i < 200 && running_.load() != 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::lock_guard<std::mutex> lock(mutex_);
  }

 private:
  std::mutex mutex_;
  std::vector<std::weak_ptr<TWebUpdater::Link>> links_;
  std::atomic<int> running_{0};
};

CheckRegistry& Registry() {
  static CheckRegistry registry;
  return registry;
}

}  // namespace

void NoteUpdateCheckStarted() { Registry().Started(); }
void NoteUpdateCheckEnded() { Registry().Ended(); }

TWebUpdater::TWebUpdater() : link_(std::make_shared<Link>()) {
  HttpGlobalInit();
  Registry().Add(link_);
}

TWebUpdater::~TWebUpdater() {
  link_->cutOff = true;
  link_->cancel = true;
}

void TWebUpdater::CheckForUpdates() {
  TUpdateThread::Settings s;
  s.HostName = HostName;
  s.UpdateFileURI = UpdateFileURI;
  s.TempFilesComp = TempFilesComp;
  s.Lang = Translator ? Translator->CurrLang() : std::string();
  s.OnGetProgVer = OnGetProgVer;
  s.OnBannerCheck = OnBannerCheck;
  s.OnCheckComplete = OnCheckComplete;
  s.OnOldBannProcessEvent = OnOldBannProcessEvent;
  s.Transfer = Transfer;
  s.PublicKey = PublicKey;
  TUpdateThread::Start(std::move(s), link_);
}

int TWebUpdater::RunningChecks() const { return link_->running.load(); }

void CutOffAllUpdateChecks() { Registry().CutOffAll(); }
int RunningUpdateChecks() { return Registry().Running(); }

}  // namespace tagsmith
