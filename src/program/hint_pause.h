#pragma once

// The application's hint pause: a hint, once shown, stays for a fixed time
// instead of Qt's length-dependent one.

#include <QObject>

namespace tagsmith {

// Installed on the application, it shows the hint of any widget that has
// one for `pauseMs`. Widgets without a hint of their own (menus, views that
// hint per item) keep Qt's handling. Main thread only.
class THintPause : public QObject {
  Q_OBJECT

 public:
  static constexpr int kHintPauseMs = 10000;

  explicit THintPause(int pauseMs = kHintPauseMs, QObject* parent = nullptr);
  int PauseMs() const { return pauseMs_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  int pauseMs_;
};

}  // namespace tagsmith
