// The program's start: from the moment the process is started to the editor
// window's first paint ("tagsmith /show") and to the notification-area icon
// being ready, the memory of the idle program, and how long it takes to end
// after SIGTERM. A timed executable: each run starts this file again as the
// program (the same ProgramMain as tagsmith) in a fresh temporary home, with
// the Lang/ and Data/ folders of the build. The platform is the one of the
// environment (offscreen when there is no display).
//
//   bench_program_start [RUNS]       default 10 runs

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "app/global_share.h"
#include "platform/registry.h"
#include "program/program.h"
#include "support/temp_dir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The child: the program itself, telling the parent on fd 3 when its window
// was painted and its icon is ready.
int RunChild(int argc, char** argv) {
  tagsmith::TStartObserver observer;
  observer.windowShown = [] { dprintf(3, "shown %lld\n", static_cast<long long>(MonotonicNs())); };
  observer.trayReady = [] { dprintf(3, "tray %lld\n", static_cast<long long>(MonotonicNs())); };
  return tagsmith::ProgramMain(argc, argv, &observer);
}

struct Run {
  double shownMs = -1, trayMs = -1, rssMiB = -1, endMs = -1;
  int status = -1;
};

long ReadRssKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

Run OneRun(const std::string& self) {
  Run run;
  tagsmith::testing::TempHome home;
  // The program folder is the build's bin/, where Lang/ and Data/ lie.
  {
    tagsmith::Registry registry((home / ".config/Quorindo/registry.sqlite3").string());
    registry.WriteString(tagsmith::RegistryHive::CurrentUser, tagsmith::settings::kRoot, "InstallDir",
                         fs::path(self).parent_path().string());
    // The start-up update check goes where nothing listens: the figures are
    // the program's own, not a server's.
    registry.WriteString(tagsmith::RegistryHive::CurrentUser, tagsmith::settings::kRoot, "UpdateHost",
                         "127.0.0.1:9");
  }
  int fds[2];
  if (pipe(fds) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // The read end goes first: it may be fd 3 itself.
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
  std::string a0 = self, a1 = "--child", a2 = "/show";
  char* args[] = {a0.data(), a1.data(), a2.data(), nullptr};
  const int64_t start = MonotonicNs();
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, self.c_str(), &actions, nullptr, args, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    return run;
  }
  // The two reports, each on its line; a child that never reports is given
  // up after ten seconds.
  std::string pending;
  while (run.shownMs < 0 || run.trayMs < 0) {
    pollfd p{fds[0], POLLIN, 0};
    if (poll(&p, 1, 10000) <= 0) break;
    char buffer[256];
    const ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    pending.append(buffer, size_t(n));
    size_t eol;
    while ((eol = pending.find('\n')) != std::string::npos) {
      const std::string line = pending.substr(0, eol);
      pending.erase(0, eol + 1);
      long long at = 0;
      if (std::sscanf(line.c_str(), "shown %lld", &at) == 1) run.shownMs = (at - start) / 1e6;
      if (std::sscanf(line.c_str(), "tray %lld", &at) == 1) run.trayMs = (at - start) / 1e6;
    }
  }
  // Idle: a moment after start, past the first ticks of the timer.
  std::this_thread::sleep_for(1500ms);
  run.rssMiB = ReadRssKiB(pid) / 1024.0;
  const int64_t term = MonotonicNs();
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  run.endMs = (MonotonicNs() - term) / 1e6;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  close(fds[0]);
  return run;
}

void Report(const char* what, std::vector<double> values, const char* unit, double target) {
  std::sort(values.begin(), values.end());
  const double median = values[values.size() / 2];
  std::printf("%-34s median %8.1f %s   min %8.1f   max %8.1f", what, median, unit, values.front(), values.back());
  if (target > 0) std::printf("   (target < %.0f %s: %s)", target, unit, median < target ? "met" : "MISSED");
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--child") == 0) return RunChild(argc - 1, argv + 1);
  const int runs = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 10;
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const std::string self = fs::canonical("/proc/self/exe").string();
  std::vector<double> shown, tray, rss, end;
  for (int i = 0; i < runs; ++i) {
    const Run r = OneRun(self);
    if (r.status != 0 || r.shownMs < 0 || r.trayMs < 0) {
      std::fprintf(stderr, "run %d failed (status %d)\n", i, r.status);
      return 1;
    }
    shown.push_back(r.shownMs);
    tray.push_back(r.trayMs);
    rss.push_back(r.rssMiB);
    end.push_back(r.endMs);
  }
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  std::printf("Program start, %d runs, platform %s\n", runs, platform && *platform ? platform : "from the display");
  Report("process start to window painted", shown, "ms", 500);
  Report("process start to tray icon ready", tray, "ms", 500);
  Report("idle memory (resident)", rss, "MiB", 0);
  Report("SIGTERM to process ended", end, "ms", 1000);
  return 0;
}
