#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace tagsmith::testing {

// A scriptable HTTP server on 127.0.0.1 for tests. Every connection is read
// up to the end of one request (headers and a Content-Length body) and handed
// to the test's script, which answers with exact bytes: whole or in pieces,
// with pauses, a wrong status, a stall, or nothing at all. The connection is
// closed when the script returns. Destroying the server ends every pause and
// hold at once and waits for all connections.
class HttpTestServer {
 public:
  struct Request {
    std::string method;
    std::string target;
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers;  // in order, as sent
    std::string body;

    // The first header of that name (any letter case), or "" when absent.
    std::string Header(std::string_view name) const {
      for (const auto& [n, v] : headers)
        if (SameText(n, name)) return v;
      return {};
    }
  };

  class Connection {
   public:
    Connection(int fd, int stopFd) : fd_(fd), stopFd_(stopFd) {}
    // Sends the bytes at once; false when the peer has gone.
    bool Send(std::string_view bytes) {
      while (!bytes.empty()) {
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
      }
      return true;
    }
    // Waits; false when the server stopped meanwhile.
    bool Pause(std::chrono::milliseconds duration) {
      pollfd p{stopFd_, POLLIN, 0};
      return ::poll(&p, 1, static_cast<int>(duration.count())) == 0;
    }
    // Holds the connection open without sending until the peer closes it, the
    // server stops or `limit` passes; true when the peer closed it.
    bool HoldUntilPeerCloses(std::chrono::milliseconds limit) {
      const auto end = std::chrono::steady_clock::now() + limit;
      for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(p, 2, static_cast<int>(left.count())) <= 0) continue;
        if (p[1].revents) return false;
        char buf[512];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) return true;
      }
    }

   private:
    int fd_;
    int stopFd_;
  };

  using Script = std::function<void(const Request&, Connection&)>;

  explicit HttpTestServer(Script script) : script_(std::move(script)) {
    if (::pipe(stopPipe_) != 0) std::abort();
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_ < 0) std::abort();
    const int yes = 1;
    ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) std::abort();
    if (::listen(listen_, 64) != 0) std::abort();
    socklen_t len = sizeof addr;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    acceptor_ = std::thread([this] { Accept(); });
  }

  ~HttpTestServer() {
    const char stop = 1;
    if (::write(stopPipe_[1], &stop, 1) != 1) std::abort();
    acceptor_.join();
    std::vector<std::thread> connections;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      connections.swap(connections_);
    }
    for (std::thread& t : connections) t.join();
    ::close(listen_);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
  }

  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  int Port() const { return port_; }
  // "127.0.0.1:PORT"
  std::string Authority() const { return "127.0.0.1:" + std::to_string(port_); }

  // The requests read completely, in the order they were read.
  std::vector<Request> Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  size_t RequestCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.size();
  }
  // Blocks until `count` requests were read or `limit` passed; true when they were.
  bool WaitForRequests(size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, limit, [&] { return requests_.size() >= count; });
  }
  // The most connections open at the same time so far.
  int MaxConcurrentConnections() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return maxOpen_;
  }

  static bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
  }

 private:
  void Accept() {
    for (;;) {
      pollfd p[2] = {{listen_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
      if (::poll(p, 2, -1) < 0) continue;
      if (p[1].revents) return;
      const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      const int yes = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
      std::lock_guard<std::mutex> lock(mutex_);
      maxOpen_ = std::max(maxOpen_, ++open_);
      connections_.emplace_back([this, fd] { Serve(fd); });
    }
  }

  // Appends what arrives next; false when the peer closed or the server
  // stopped first.
  bool ReadMore(int fd, std::string& buffer) {
    pollfd p[2] = {{fd, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
    if (::poll(p, 2, -1) <= 0 || p[1].revents) return false;
    char buf[16384];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return false;
    buffer.append(buf, static_cast<size_t>(n));
    return true;
  }

  bool ReadRequest(int fd, Request& request) {
    std::string data;
    size_t end;
    while ((end = data.find("\r\n\r\n")) == std::string::npos) {
      if (data.size() > (1u << 16) || !ReadMore(fd, data)) return false;
    }
    const std::string head = data.substr(0, end);
    std::string body = data.substr(end + 4);
    size_t lineEnd = head.find("\r\n");
    const std::string first = head.substr(0, lineEnd);
    const size_t s1 = first.find(' ');
    const size_t s2 = first.find(' ', s1 + 1);
    if (s1 == std::string::npos || s2 == std::string::npos) return false;
    request.method = first.substr(0, s1);
    request.target = first.substr(s1 + 1, s2 - s1 - 1);
    request.version = first.substr(s2 + 1);
    while (lineEnd != std::string::npos) {
      const size_t start = lineEnd + 2;
      lineEnd = head.find("\r\n", start);
      const std::string line = head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
      const size_t colon = line.find(':');
      if (colon == std::string::npos) continue;
      std::string value = line.substr(colon + 1);
      value.erase(0, value.find_first_not_of(' '));
      request.headers.emplace_back(line.substr(0, colon), value);
    }
    const std::string length = request.Header("Content-Length");
    const size_t want = length.empty() ? 0 : std::stoul(length);
    while (body.size() < want)
      if (!ReadMore(fd, body)) return false;
    body.resize(want);
    request.body = std::move(body);
    return true;
  }

  void Serve(int fd) {
    Request request;
    if (ReadRequest(fd, request)) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
      }
      cv_.notify_all();
      Connection connection(fd, stopPipe_[0]);
      script_(request, connection);
    }
    ::close(fd);
    std::lock_guard<std::mutex> lock(mutex_);
    --open_;
  }

  Script script_;
  int stopPipe_[2] = {-1, -1};
  int listen_ = -1;
  int port_ = 0;
  std::thread acceptor_;
  mutable std::mutex mutex_;
  mutable std::condition_variable cv_;
  std::vector<std::thread> connections_;
  std::vector<Request> requests_;
  int open_ = 0;
  int maxOpen_ = 0;
};

// A complete reply with Content-Length and "Connection: close".
inline std::string HttpReply(std::string_view body, std::string_view status = "200 OK",
                             std::string_view extraHeaders = "") {
  std::string out = "HTTP/1.1 ";
  out += status;
  out += "\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
  out += extraHeaders;
  out += "Connection: close\r\n\r\n";
  out += body;
  return out;
}

// A port on 127.0.0.1 where nothing listens (connections are refused).
inline int UnusedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

}  // namespace tagsmith::testing
