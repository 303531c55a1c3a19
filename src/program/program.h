#pragma once

// The program tagsmith: the editor window as main form, hidden until it is
// opened, the notification-area icon that opens it, the data module with its
// one-second timer, and the start-up routine that makes them.

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/data_module.h"

namespace tagsmith {

class MainThreadPump;
class TfrmPopupWordEditor;
class TTrayIconMain;

struct TProgramOptions {
  // The command-line arguments after the program's name.
  std::vector<std::string> arguments;
  // Whether the desktop has a notification area; by default asked of Qt.
  std::optional<bool> trayAvailable;
  // Errors met before the program existed (the settings store, the update
  // hand-off), shown once like the data module's.
  std::vector<std::string> startupProblems;
};

// One running program. Construction runs start-up steps 4 to 6: the editor
// window is made hidden, the icon is shown, the data module is created (an
// error is shown once, from the event loop, and the program goes on), the
// timer starts, and "/show" opens the editor. Without a notification area the
// window is shown at once and closing it asks the Exit question, since a
// hidden window could never be reached again.
//
// Ending: Exit (after Yes) and Terminate() end the event loop; destruction
// saves the window's placement when it was shown, stops the timer and frees
// the window, the icon and the data module, whose temporary files are deleted
// with it. Main thread only; needs a QApplication.
class TProgram : public QObject {
  Q_OBJECT

 public:
  // `windowMade` (may be empty) sees the window as soon as it exists.
  explicit TProgram(TProgramOptions options, QObject* parent = nullptr,
                    const std::function<void(QWidget&)>& windowMade = {});
  ~TProgram() override;

  TfrmPopupWordEditor& MainForm() { return *mainForm_; }
  TTrayIconMain& TrayIcon() { return *trayIcon_; }
  TDataModuleMain& DataModule() { return *dataModule_; }
  QTimer& TimerMain() { return timerMain_; }
  bool TrayAvailable() const { return trayAvailable_; }

  // The timer's handler (TimerMainTimer of the data module).
  void OnTimerMainTimer();
  // Opens the editor as Open editor does.
  void OpenEditor();
  // Ends the event loop (and every modal loop inside it) once; what Exit
  // does after Yes and what a quit signal does.
  void Terminate();
  bool Terminating() const { return terminating_; }

  // Writes the window's placement to "MainFormData". A failure is shown once
  // for the life of the program; later ones are not repeated.
  void SaveFormPlacement();

 signals:
  void terminated();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ReportProblem(const std::string& text);
  void RestoreFormPlacement();

  bool trayAvailable_ = false;
  bool terminating_ = false;
  bool placementRestored_ = false;
  bool placementErrorShown_ = false;
  // The failures of the timer's work shown so far: the same failure every
  // minute (a banner that cannot be shown) is shown only once.
  std::set<std::string> timerProblems_;
  // Serves the workers' main-thread steps (renderer, uploader, update
  // check) from the event loop for the program's whole life.
  std::unique_ptr<MainThreadPump> pump_;
  std::unique_ptr<TfrmPopupWordEditor> mainForm_;
  std::unique_ptr<TTrayIconMain> trayIcon_;
  std::unique_ptr<TDataModuleMain> dataModule_;
  QTimer timerMain_;
};

// What a measurement of the start-up watches; each is called at most once,
// on the main thread.
struct TStartObserver {
  // The editor window was painted for the first time.
  std::function<void()> windowShown;
  // The notification-area icon is shown (without a notification area: made,
  // with the window shown in its place).
  std::function<void()> trayReady;
};

// The whole start-up routine, from the settings store to the end of the
// message loop: opens the store (a store in memory when the user's cannot be
// used), runs the update hand-off ("Runn", "HasUpdate"), sets up the
// application (title, hints, the hint pause, no quitting when the window
// hides), makes the program, turns SIGTERM, SIGINT and SIGHUP into
// Terminate, runs the loop and closes the store. Returns the exit status.
int ProgramMain(int argc, char** argv, const TStartObserver* observer = nullptr);

}  // namespace tagsmith
