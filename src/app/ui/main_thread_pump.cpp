#include "app/ui/main_thread_pump.h"

#include <QCoreApplication>
#include <QMetaObject>


#include "platform/sync_queue.h"

namespace tagsmith {

namespace {

// Pumps alive; the wake-up is installed while any is.
int gPumps = 0;

void InstallWakeUp() {
  SyncQueue::Main().SetWakeUpHandler([] {
    // Any thread. The application object outlives every worker the dialogs
    // start (they are joined before the dialogs go), and posting is
    // thread-safe.
    if (QCoreApplication* app = QCoreApplication::instance())
      QMetaObject::invokeMethod(app, [] { SyncQueue::Main().CheckSynchronize(); }, Qt::QueuedConnection);
  });
}

}  // namespace

MainThreadPump::MainThreadPump() {
  if (gPumps++ == 0) InstallWakeUp();
}

MainThreadPump::~MainThreadPump() {
  if (--gPumps == 0) SyncQueue::Main().SetWakeUpHandler(nullptr);
}

}  // namespace tagsmith
