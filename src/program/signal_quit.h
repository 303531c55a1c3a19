#pragma once

// Turns SIGTERM, SIGINT and SIGHUP into a call on the main thread, so that
// the program ends the way Exit ends it (temporary files deleted, settings
// store closed) when the session logs out or someone asks it to stop.

#include <QObject>

#include <functional>
#include <initializer_list>
#include <vector>

#include <signal.h>

class QSocketNotifier;

namespace tagsmith {

// At most one exists at a time. The signal handler only writes the signal's
// number into a pipe; a QSocketNotifier reads it in the event loop and calls
// `onSignal` there. Destruction puts the earlier handlers back. Main thread
// only; throws std::system_error when the pipe cannot be made.
class TSignalQuit : public QObject {
  Q_OBJECT

 public:
  explicit TSignalQuit(std::function<void(int signal)> onSignal,
                       std::initializer_list<int> quitSignals = {SIGTERM, SIGINT, SIGHUP}, QObject* parent = nullptr);
  ~TSignalQuit() override;
  TSignalQuit(const TSignalQuit&) = delete;
  TSignalQuit& operator=(const TSignalQuit&) = delete;

 private:
  void Drain();

  std::function<void(int)> onSignal_;
  std::vector<std::pair<int, struct sigaction>> previous_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tagsmith
