#include "upload/host_protocols.h"

#include <mutex>
#include <random>

namespace tagsmith {

namespace {

struct ServerGenerator {
  std::mutex lock;
  std::mt19937 engine{static_cast<std::mt19937::result_type>(
      std::chrono::system_clock::now().time_since_epoch().count())};
};

ServerGenerator& Generator() {
  static ServerGenerator generator;
  return generator;
}

// Seeded when the program is loaded.
[[maybe_unused]] ServerGenerator& kSeededAtStart = Generator();

}  // namespace

int DrawImageShackServer() {
  ServerGenerator& g = Generator();
  std::lock_guard<std::mutex> lock(g.lock);
  return std::uniform_int_distribution<int>(0, 8)(g.engine);
}

std::string ImageShackHostName(const std::string& pattern, int server) {
  // Never used as a format string: the pattern comes from the settings store.
  const size_t at = pattern.find("%d");
  if (at == std::string::npos) return pattern;
  return pattern.substr(0, at) + std::to_string(server) + pattern.substr(at + 2);
}

HttpOptions UploadHttpOptions(const std::string& host, const std::string& terminator, const UploadHosts& hosts,
                              const UploadTimeouts& timeouts, const std::atomic<bool>* cancel) {
  HttpOptions options;
  options.host = host;
  options.replyTerminator = terminator;
  options.connectTimeout = timeouts.connect;
  options.readTimeout = timeouts.read;
  options.idleSlice = timeouts.idleSlice;
  options.maxReplyBytes = kMaxHostReplyBytes;
  options.connectTo = hosts.connectTo;
  options.cancel = cancel;
  return options;
}

UploadLinks UploadAttempt(TUploadServer server, const std::string& fileName, const UploadHosts& hosts,
                          const UploadTimeouts& timeouts, const std::atomic<bool>* cancel) {
  if (server == TUploadServer::FastPic) return FastPicAttempt(fileName, hosts, timeouts, cancel);
  return ImageShackAttempt(fileName, hosts, timeouts, cancel);
}

}  // namespace tagsmith
