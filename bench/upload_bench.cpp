// Fifty images of 200 KB to a local host that answers every request after
// 100 ms. With seven uploads at a time the ideal is ceil(50 / 7) x 100 ms; the
// dispatcher should sleep between the ends of uploads, not poll.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/sync_queue.h"
#include "support/http_server.h"
#include "support/temp_dir.h"
#include "upload/image_uploader.h"

namespace tagsmith {
namespace {

using namespace std::chrono_literals;

constexpr int kImages = 50;
constexpr size_t kImageBytes = 200 * 1024;
constexpr auto kHostDelay = 100ms;

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct ThreadStats {
  double cpuMs = 0;
  long wakeUps = 0;
};

// The CPU time and the voluntary context switches (each a sleep that ended)
// of the live thread with that name.
ThreadStats StatsOfThread(const std::string& name) {
  ThreadStats stats;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::string comm;
    std::ifstream(task.path() / "comm") >> comm;
    if (comm != name) continue;
    long long ns = 0;
    std::ifstream(task.path() / "schedstat") >> ns;
    stats.cpuMs = ns / 1e6;
    std::ifstream status(task.path() / "status");
    std::string line;
    while (std::getline(status, line))
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) stats.wakeUps = std::stol(line.substr(24));
  }
  return stats;
}

void BM_FiftyImagesToAHostThatAnswersAfter100ms(benchmark::State& state) {
  testing::TempDir dir;
  const std::string bytes(kImageBytes, '\x5a');
  TImageUploader uploader;
  for (int i = 0; i < kImages; ++i) {
    const auto path = dir / ("image" + std::to_string(i) + ".png");
    testing::WriteFile(path, bytes);
    uploader.AddImage(i, path.string());
  }
  testing::HttpTestServer server([](const auto&, auto& c) {
    c.Pause(kHostDelay);
    c.Send(testing::HttpReply("<imginfo><links><image_link>i</image_link><thumb_link>t</thumb_link>"
                              "<ad_link>a</ad_link></links></imginfo>"));
  });
  uploader.Hosts = UploadHosts{"load%d.imageshack.example.test", "fastpic.example.test", server.Authority()};

  int uploaded = 0;
  bool finished = false;
  bool noErrors = false;
  ThreadStats dispatcher;
  uploader.OnImageUploaded = [&](int, const std::string&, const std::string&, const std::string&) { ++uploaded; };
  uploader.OnUploadFinished = [&](bool ok, bool) {
    // The dispatcher is still alive: this is its last step.
    dispatcher = StatsOfThread("UploadDispatch");
    noErrors = ok;
    finished = true;
  };

  double cpu = 0;
  double wall = 0;
  double wakeUps = 0;
  double dispatcherCpu = 0;
  for (auto _ : state) {
    uploaded = 0;
    finished = false;
    const double cpuStart = ProcessCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    uploader.StartUpload();
    SyncQueue::Main().ServeUntil([&] { return finished; });
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(elapsed.count());
    wall += elapsed.count();
    cpu += ProcessCpuSeconds() - cpuStart;
    wakeUps += dispatcher.wakeUps;
    dispatcherCpu += dispatcher.cpuMs;
    if (!noErrors || uploaded != kImages) state.SkipWithError("the upload run failed");
  }
  const double ideal = (kImages + 6) / 7 * std::chrono::duration<double, std::milli>(kHostDelay).count();
  const double n = static_cast<double>(state.iterations());
  state.counters["ideal_ms"] = ideal;
  state.counters["time_to_ideal"] = wall * 1000 / n / ideal;
  state.counters["process_cpu_ms"] = cpu * 1000 / n;
  state.counters["dispatcher_cpu_ms"] = dispatcherCpu / n;
  state.counters["dispatcher_wakeups"] = wakeUps / n;
  WaitForUploadThreads();
}
BENCHMARK(BM_FiftyImagesToAHostThatAnswersAfter100ms)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace tagsmith

BENCHMARK_MAIN();
