#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/shell.h"

namespace tagsmith::testing {

// A shell that records what it is asked to open or start instead of doing it.
// Install it for a test with ScopedShell.
class RecordingShell : public IShell {
 public:
  struct Call {
    enum class Kind { Open, Start };
    Kind kind;
    std::string target;              // the document, address or program
    std::vector<std::string> arguments;  // Start only
  };

  void OpenDocument(const std::string& target) override {
    std::lock_guard lock(mutex_);
    calls_.push_back({Call::Kind::Open, target, {}});
  }
  void StartProgram(const std::string& program, const std::vector<std::string>& arguments) override {
    std::lock_guard lock(mutex_);
    calls_.push_back({Call::Kind::Start, program, arguments});
  }

  std::vector<Call> Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Call> calls_;
};

// Installs a shell for the life of the object, then puts the previous one back.
class ScopedShell {
 public:
  explicit ScopedShell(IShell& shell) : previous_(SetShell(&shell)) {}
  ~ScopedShell() { SetShell(previous_); }
  ScopedShell(const ScopedShell&) = delete;
  ScopedShell& operator=(const ScopedShell&) = delete;

 private:
  IShell* previous_;
};

}  // namespace tagsmith::testing
