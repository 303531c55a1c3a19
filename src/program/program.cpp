#include "program/program.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QSystemTrayIcon>

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "app/global_share.h"
#include "app/ui/convert_data_dialog.h"
#include "app/ui/editor_window.h"
#include "app/ui/main_thread_pump.h"
#include "app/ui/modal_ui.h"
#include "app/ui/settings_dialog.h"
#include "program/form_placement.h"
#include "program/hint_pause.h"
#include "program/signal_quit.h"
#include "program/startup.h"
#include "program/tray_icon.h"

namespace tagsmith {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Calls `shown` at the first paint of the watched window, then removes itself.
class TFirstPaint : public QObject {
 public:
  TFirstPaint(QWidget& window, std::function<void()> shown) : QObject(&window), shown_(std::move(shown)) {
    window.installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && shown_) {
      std::function<void()> shown = std::move(shown_);
      shown_ = nullptr;
      watched->removeEventFilter(this);
      shown();
    }
    return false;
  }

 private:
  std::function<void()> shown_;
};

QAction* Action(QWidget& form, const char* name) {
  QAction* action = form.findChild<QAction*>(QString::fromLatin1(name));
  if (!action) throw EGlobalShare(std::string("The editor window has no action ") + name);
  return action;
}

}  // namespace

TProgram::TProgram(TProgramOptions options, QObject* parent, const std::function<void(QWidget&)>& windowMade)
    : QObject(parent) {
  trayAvailable_ = options.trayAvailable.value_or(QSystemTrayIcon::isSystemTrayAvailable());
  pump_ = std::make_unique<MainThreadPump>();
  for (const std::string& problem : options.startupProblems) ReportProblem(problem);

  mainForm_ = std::make_unique<TfrmPopupWordEditor>();
  TfrmPopupWordEditor& form = *mainForm_;
  // With a notification area closing only hides the window; without one the
  // window would be lost, so closing asks the Exit question (eventFilter).
  form.SetCloseHides(trayAvailable_);
  form.SetTerminateHook([this] { Terminate(); });
  form.installEventFilter(this);
  if (windowMade) windowMade(form);

  trayIcon_ = std::make_unique<TTrayIconMain>(form, Action(form, "Action_OpenEditor"),
                                              Action(form, "Action_VisitSite"), Action(form, "Action_Exit"));
  trayIcon_->SetOpenHandler([this] { OpenEditor(); });
  form.AddPropertyTarget("TrayIconMain", &trayIcon_->Icon());
  form.SetBalloonHook([this](const std::string& title, const std::string& text, bool error, int timeoutMs) {
    trayIcon_->ShowBalloon(Q(title), Q(text), error, timeoutMs);
  });
  if (trayAvailable_) trayIcon_->SetVisible(true);

  dataModule_ = std::make_unique<TDataModuleMain>(dlProgram, &form);
  form.SetStrings(&dataModule_->Strings());
  // Convert and Settings open their dialogs over the window, on the
  // program's data module (its tag sets, texts and temporary files).
  form.SetConvertHook([this] {
    TfrmConvertData dialog(mainForm_.get(), *dataModule_, mainForm_->Document());
    ModalUi().Exec(dialog);
  });
  form.SetSettingsHook([this] {
    TfrmSettings dialog(mainForm_.get(), *dataModule_);
    ModalUi().Exec(dialog);
  });
  try {
    dataModule_->DataModuleCreate();
  } catch (const std::exception& e) {
    ReportProblem(e.what());
  }

  timerMain_.setObjectName("TimerMain");
  timerMain_.setInterval(1000);
  connect(&timerMain_, &QTimer::timeout, this, &TProgram::OnTimerMainTimer);
  timerMain_.start();

  if (!trayAvailable_ || HasShowArgument(options.arguments)) OpenEditor();
}

TProgram::~TProgram() {
  timerMain_.stop();
  if (mainForm_ && mainForm_->isVisible()) SaveFormPlacement();
  if (mainForm_) mainForm_->removeEventFilter(this);
  // The window first: it holds the data module's texts and the icon's hook;
  // its banner strip is taken from the banner component before it goes.
  if (dataModule_) dataModule_->DetachBanner();
  mainForm_.reset();
  trayIcon_.reset();
  // A check still running is cut off here without waiting for its server.
  dataModule_.reset();
  pump_.reset();
}

void TProgram::OnTimerMainTimer() {
  if (!dataModule_) return;
  try {
    dataModule_->TimerMainTimer();
  } catch (const std::exception& e) {
    if (timerProblems_.insert(e.what()).second) ReportProblem(e.what());
  }
}

void TProgram::OpenEditor() {
  if (mainForm_) mainForm_->ShowEditor();
}

void TProgram::Terminate() {
  if (terminating_) return;
  terminating_ = true;
  timerMain_.stop();
  emit terminated();
}

void TProgram::SaveFormPlacement() {
  if (!mainForm_ || !placementRestored_) return;
  try {
    WriteFormPlacement(GetSettingsStore(), CaptureFormPlacement(*mainForm_));
  } catch (const std::exception& e) {
    if (placementErrorShown_) return;
    placementErrorShown_ = true;
    ReportProblem(e.what());
  }
}

void TProgram::RestoreFormPlacement() {
  placementRestored_ = true;
  const std::vector<QRect> screens = AvailableScreenAreas();
  std::optional<TFormPlacement> stored;
  try {
    stored = ReadFormPlacement(GetSettingsStore());
  } catch (const std::exception& e) {
    ReportProblem(e.what());
  }
  if (stored) {
    ApplyFormPlacement(*mainForm_, *stored, screens);
    return;
  }
  // Nothing stored: the window opens centred on the primary screen.
  if (screens.empty()) return;
  QRect centred(QPoint(), mainForm_->size());
  centred.moveCenter(screens.front().center());
  mainForm_->setGeometry(ClampToScreens(centred, screens));
}

bool TProgram::eventFilter(QObject* watched, QEvent* event) {
  if (watched != mainForm_.get()) return false;
  switch (event->type()) {
    case QEvent::Show:
      if (!placementRestored_) RestoreFormPlacement();
      break;
    case QEvent::Hide:
      SaveFormPlacement();
      break;
    case QEvent::Close:
      if (!trayAvailable_ && !terminating_) {
        event->ignore();
        Action(*mainForm_, "Action_Exit")->trigger();
        return true;
      }
      break;
    default:
      break;
  }
  return false;
}

void TProgram::ReportProblem(const std::string& text) {
  // From the event loop, so that start-up finishes first and a quit signal
  // also ends the box.
  QTimer::singleShot(0, this, [this, text] {
    if (terminating_) return;
    QWidget* parent = mainForm_ && mainForm_->isVisible() ? mainForm_.get() : nullptr;
    ModalUi().ShowError(parent, Q(text));
  });
}

int ProgramMain(int argc, char** argv, const TStartObserver* observer) {
  const std::vector<std::string> arguments = ProgramArguments(argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    std::fprintf(stderr,
                 "tagsmith: no desktop to show the editor on (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                 "Start it in a desktop session; tagsmith-convert converts documents without one.\n");
    return 1;
  }

  TProgramOptions options;
  options.arguments = arguments;
  const TStoreOpening store = OpenSettingsStore(CurrentModulePath());
  if (!store.problem.empty()) options.startupProblems.push_back(store.problem);
  try {
    const StartupHandOffResult handOff = RunStartupHandOff();
    if (handOff.next == StartupNext::End) {
      DoneGlobalShare();
      return 0;
    }
    if (!handOff.problem.empty()) options.startupProblems.push_back(handOff.problem);
  } catch (const std::exception& e) {
    options.startupProblems.push_back(e.what());
  }

  int status = 0;
  {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tagsmith");
    QApplication::setOrganizationName("Quorindo");
    QGuiApplication::setDesktopFileName("tagsmith");
    QApplication::setWindowIcon(ProgramIcon());
    // The program lives on in the notification area with its window hidden.
    QApplication::setQuitOnLastWindowClosed(false);
    THintPause hintPause;
    app.installEventFilter(&hintPause);

    // The window may be painted inside the constructor ("/show"), so the
    // watch is made with the window, before anything shows it.
    TProgram program(std::move(options), nullptr, [observer](QWidget& window) {
      if (observer && observer->windowShown) new TFirstPaint(window, observer->windowShown);
    });
    if (observer && observer->trayReady) observer->trayReady();
    QObject::connect(&program, &TProgram::terminated, &app, [] { QCoreApplication::exit(0); });
    TSignalQuit quitSignals([&program](int) { program.Terminate(); });
    status = app.exec();
  }
  DoneGlobalShare();
  return status;
}

}  // namespace tagsmith
