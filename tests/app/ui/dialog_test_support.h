#pragma once

// The setting of the dialog tests: a temporary home with the settings store
// opened in it, the shipped language files beside the program, a data module
// made as the program makes it, and an editor window that holds the
// convert-type selector and answers the translator for one of its actions.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QThreadPool>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include "app/data_module.h"
#include "app/global_share.h"
#include "localization/simple_translator.h"
#include "platform/sync_queue.h"
#include "support/program_home.h"
#include "support/temp_dir.h"

namespace tagsmith::testing {

using namespace std::chrono_literals;

// Serves the workers' main-thread steps and Qt's events until `done` or the
// limit; returns done().
inline bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 30s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done() && std::chrono::steady_clock::now() < end) {
    SyncQueue::Main().CheckSynchronize(5ms);
    QCoreApplication::processEvents();
  }
  return done();
}
inline void PumpFor(std::chrono::milliseconds duration) {
  PumpUntil([] { return false; }, duration);
}

// The threads of this process (a first thread started and ended beforehand,
// so a runtime's own helper threads are counted from the start).
inline size_t ThreadCount() {
  static const bool warm = [] {
    std::thread([] {}).join();
    std::this_thread::sleep_for(50ms);
    return true;
  }();
  (void)warm;
  size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++n;
  return n;
}
inline bool ThreadsBackTo(size_t count) {
  const auto end = std::chrono::steady_clock::now() + 10s;
  // Qt converts and scales big images on its global thread pool, whose idle
  // threads would linger for half a minute; they are Qt's, not ours.
  QThreadPool::globalInstance()->waitForDone(10000);
  while (ThreadCount() > count && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(10ms);
  if (ThreadCount() <= count) return true;
  // Name the threads left, so a failure says whose they are.
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(entry.path() / "comm");
    std::string name;
    std::getline(comm, name);
    std::fprintf(stderr, "thread %s: %s\n", entry.path().filename().c_str(), name.c_str());
  }
  return false;
}

// A property of the editor window the translator writes.
class RecordingTarget : public IPropertyTarget {
 public:
  bool SetStringProperty(const std::string& name, const std::string& value) override {
    ++sets;
    values[name] = value;
    return true;
  }
  int sets = 0;
  std::map<std::string, std::string> values;
};

// The editor window as the dialogs see it: their parent, with the selector
// cbConvertTypes, and the translator's target for Action_ConvertTo.
class EditorStandIn : public IDataModuleHost {
 public:
  EditorStandIn() {
    selector = new QComboBox(&window);
    selector->setObjectName(QStringLiteral("cbConvertTypes"));
    selector->addItems({QStringLiteral("bbCode"), QStringLiteral("HTML")});
    window.resize(800, 600);
  }
  IPropertyTarget* FindPropertyTarget(const char* component, int) override {
    return std::string(component) == "Action_ConvertTo" ? &convertTo : nullptr;
  }
  void ShowBalloon(const std::string&, const std::string&, bool, int) override {}

  QWidget window;
  QComboBox* selector = nullptr;
  RecordingTarget convertTo;
};

// A home with the program in prog/ and its language files in prog/Lang.
class DialogFixture : public ::testing::Test {
 protected:
  DialogFixture() {
    const std::filesystem::path lang = home / "prog/Lang";
    std::filesystem::create_directories(lang);
    for (const char* file : {"en.xml", "ru.xml"})
      std::filesystem::copy_file(std::filesystem::path(TAGSMITH_SOURCE_DIR) / "Lang" / file, lang / file);
    InitGlobalShare(ProgramPath());
    PrepareProgramData(home / "prog");
  }
  ~DialogFixture() override {
    dataModule.reset();
    CutOffAllUpdateChecks();
    DoneGlobalShare();
  }

  std::string ProgramPath() const { return (home / "prog/tagsmith").string(); }

  // The data module of the editor, created as at start, in `language`.
  TDataModuleMain& DataModule(const std::string& language = "en") {
    GetSettingsStore().Write(settings::kUILang, language);
    dataModule = std::make_unique<TDataModuleMain>(dlProgram, &editor);
    dataModule->DataModuleCreate();
    return *dataModule;
  }

  TempHome home;
  EditorStandIn editor;
  std::unique_ptr<TDataModuleMain> dataModule;
};

}  // namespace tagsmith::testing
