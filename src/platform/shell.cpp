#include "platform/shell.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include <spawn.h>
#include <sys/wait.h>

#include "platform/strings.h"

extern char** environ;

namespace tagsmith {

namespace {

SystemShell& TheSystemShell() {
  static SystemShell shell;
  return shell;
}

std::atomic<IShell*>& CurrentShell() {
  static std::atomic<IShell*> current{&TheSystemShell()};
  return current;
}

// Starts the program without waiting; a detached thread collects its exit
// status so the process table keeps no zombie. Returns 0 or an errno value.
int Spawn(const std::string& file, const std::vector<std::string>& arguments, bool searchPath) {
  std::vector<std::string> argv0;
  argv0.reserve(arguments.size() + 1);
  argv0.push_back(file);
  argv0.insert(argv0.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : argv0) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  const int rc = searchPath ? posix_spawnp(&pid, file.c_str(), nullptr, nullptr, argv.data(), environ)
                            : posix_spawn(&pid, file.c_str(), nullptr, nullptr, argv.data(), environ);
  if (rc != 0) return rc;
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return 0;
}

}  // namespace

void SystemShell::OpenDocument(const std::string& target) {
  if (const int rc = Spawn("xdg-open", {target}, true); rc != 0)
    throw EShellError(FormatString("Cannot open %s: xdg-open: %s", target.c_str(), std::strerror(rc)));
}

void SystemShell::StartProgram(const std::string& program, const std::vector<std::string>& arguments) {
  if (const int rc = Spawn(program, arguments, false); rc != 0)
    throw EShellError(FormatString("Cannot start %s: %s", program.c_str(), std::strerror(rc)));
}

IShell& GetShell() { return *CurrentShell().load(); }

IShell* SetShell(IShell* shell) { return CurrentShell().exchange(shell != nullptr ? shell : &TheSystemShell()); }

}  // namespace tagsmith
