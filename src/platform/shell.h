#pragma once

#include <string>
#include <vector>

#include "platform/errors.h"

namespace tagsmith {

// A document, address or program that could not be started. The message
// names what was to be started and why it failed.
class EShellError : public Exception {
 public:
  using Exception::Exception;
};

// The desktop shell: what the system asks to open or start. Neither call
// waits for the started program. Any thread may call; throws EShellError when
// the program cannot be started at all.
class IShell {
 public:
  virtual ~IShell() = default;

  // Opens a file or an address with the user's default program (xdg-open).
  virtual void OpenDocument(const std::string& target) = 0;

  // Starts `program` (a path) directly, with `arguments` handed over one by
  // one, unchanged and unquoted.
  virtual void StartProgram(const std::string& program, const std::vector<std::string>& arguments) = 0;
};

// The real shell: posix_spawn of xdg-open (found on PATH) or of the program.
// A started program is reaped in the background, so none is left a zombie.
class SystemShell : public IShell {
 public:
  void OpenDocument(const std::string& target) override;
  void StartProgram(const std::string& program, const std::vector<std::string>& arguments) override;
};

// The process's shell: the SystemShell unless SetShell installed another.
IShell& GetShell();

// Installs `shell` (nullptr: the SystemShell again) and returns the shell
// that was in force. The caller keeps `shell` alive while it is installed.
IShell* SetShell(IShell* shell);

}  // namespace tagsmith
