#pragma once

// Runs the workers' main-thread steps (renderer, uploader) from the Qt event
// loop: a step queued by a worker wakes the loop, which then runs every
// pending step. Without it a worker would wait in Synchronize until the main
// thread asked by itself.

namespace tagsmith {

// Installs the wake-up of SyncQueue::Main() for the life of the object: a
// queued step posts one CheckSynchronize to the application object. The
// previous handler (none) comes back afterwards. Main thread, with a
// QCoreApplication alive; the dialogs that start workers install one for as
// long as they live, so the program may as well keep one for good.
class MainThreadPump {
 public:
  MainThreadPump();
  ~MainThreadPump();
  MainThreadPump(const MainThreadPump&) = delete;
  MainThreadPump& operator=(const MainThreadPump&) = delete;
};

}  // namespace tagsmith
