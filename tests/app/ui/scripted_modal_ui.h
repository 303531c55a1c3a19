#pragma once

// A stand-in for the program's modal boxes in widget tests: installed for its
// lifetime, it records every box asked for and answers from queues the test
// fills beforehand. A box with no queued answer fails the test and is
// answered as a cancel (No, no file, Rejected), so a test never blocks.

#include <gtest/gtest.h>

#include <QDialog>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/ui/modal_ui.h"

namespace tagsmith::testing {

class ScriptedModalUi final : public IModalUi {
 public:
  struct Call {
    std::string kind;  // "error", "ask", "open", "save", "exec"
    QString title;     // the dialog's window title for "exec"
    QString text;      // the error or question; the filter of file dialogs
    bool flag = false; // defaultNo of "ask", multiple of "open"
    QString suffix;    // defaultSuffix of "save"
  };

  ScriptedModalUi() { SetModalUi(this); }
  ~ScriptedModalUi() override { SetModalUi(nullptr); }
  ScriptedModalUi(const ScriptedModalUi&) = delete;
  ScriptedModalUi& operator=(const ScriptedModalUi&) = delete;

  // Answers, used first in, first out.
  std::deque<bool> asks;
  std::deque<QStringList> opens;
  std::deque<QString> saves;
  // Each gets the dialog while it is set up but not shown, may work its
  // widgets, and returns the result Exec reports.
  std::deque<std::function<int(QDialog&)>> dialogs;

  std::vector<Call> calls;

  std::vector<QString> Errors() const {
    std::vector<QString> out;
    for (const Call& c : calls)
      if (c.kind == "error") out.push_back(c.text);
    return out;
  }
  size_t Count(const std::string& kind) const {
    size_t n = 0;
    for (const Call& c : calls) n += c.kind == kind;
    return n;
  }

  void ShowError(QWidget*, const QString& text) override { calls.push_back({"error", {}, text, false, {}}); }

  bool Ask(QWidget*, const QString& title, const QString& text, bool defaultNo) override {
    calls.push_back({"ask", title, text, defaultNo, {}});
    if (asks.empty()) {
      ADD_FAILURE() << "unexpected question: " << text.toStdString();
      return false;
    }
    const bool answer = asks.front();
    asks.pop_front();
    return answer;
  }

  QStringList OpenFileNames(QWidget*, const QString& title, const QString& filter, bool multiple) override {
    calls.push_back({"open", title, filter, multiple, {}});
    if (opens.empty()) {
      ADD_FAILURE() << "unexpected open dialog: " << title.toStdString();
      return {};
    }
    QStringList answer = opens.front();
    opens.pop_front();
    return answer;
  }

  QString SaveFileName(QWidget*, const QString& title, const QString& filter, const QString& suffix) override {
    calls.push_back({"save", title, filter, false, suffix});
    if (saves.empty()) {
      ADD_FAILURE() << "unexpected save dialog: " << title.toStdString();
      return {};
    }
    QString answer = saves.front();
    saves.pop_front();
    return answer;
  }

  int Exec(QDialog& dialog) override {
    calls.push_back({"exec", dialog.windowTitle(), {}, false, {}});
    if (dialogs.empty()) {
      ADD_FAILURE() << "unexpected dialog: " << dialog.windowTitle().toStdString();
      return QDialog::Rejected;
    }
    auto answer = std::move(dialogs.front());
    dialogs.pop_front();
    return answer(dialog);
  }
};

}  // namespace tagsmith::testing
