#pragma once

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include "support/temp_dir.h"

extern char** environ;

namespace tagsmith::testing {

// Starts `program` with `arguments` and the test's environment, its output
// and error output going to the given files. Returns the process id, or -1.
inline pid_t StartProcess(const std::string& program, const std::vector<std::string>& arguments,
                          const std::filesystem::path& outFile, const std::filesystem::path& errFile) {
  std::vector<std::string> all{program};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

// The exit status of a started process, or -1 when it did not exit normally.
inline int WaitProcess(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct ProcessResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs a program to its end and collects what it wrote.
inline ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& arguments) {
  TempDir scratch;
  ProcessResult result;
  const pid_t pid = StartProcess(program, arguments, scratch / "out", scratch / "err");
  if (pid < 0) return result;
  result.exitCode = WaitProcess(pid);
  result.out = ReadFile(scratch / "out");
  result.err = ReadFile(scratch / "err");
  return result;
}

}  // namespace tagsmith::testing
