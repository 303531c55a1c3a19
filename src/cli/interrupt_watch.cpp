#include "cli/interrupt_watch.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <system_error>

#include "platform/sync_queue.h"

namespace tagsmith {

namespace {

[[noreturn]] void ThrowErrno(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

void WriteAll(int fd, const char* text) {
  size_t left = std::strlen(text);
  while (left > 0) {
    const ssize_t n = ::write(fd, text, left);
    if (n <= 0 && errno != EINTR) return;
    if (n > 0) text += n, left -= size_t(n);
  }
}

}  // namespace

InterruptWatch::InterruptWatch() {
  sigemptyset(&signals_);
  sigaddset(&signals_, SIGINT);
  sigaddset(&signals_, SIGTERM);
  if (const int e = pthread_sigmask(SIG_BLOCK, &signals_, &previous_))
    throw std::system_error(e, std::generic_category(), "pthread_sigmask");
  signalFd_ = signalfd(-1, &signals_, SFD_CLOEXEC);
  stopFd_ = eventfd(0, EFD_CLOEXEC);
  if (signalFd_ < 0 || stopFd_ < 0) {
    const int e = errno;
    if (signalFd_ >= 0) ::close(signalFd_);
    if (stopFd_ >= 0) ::close(stopFd_);
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    errno = e;
    ThrowErrno("signalfd");
  }
  thread_ = std::thread([this] { Watch(); });
}

InterruptWatch::~InterruptWatch() {
  const uint64_t one = 1;
  while (::write(stopFd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
  thread_.join();
  ::close(signalFd_);
  ::close(stopFd_);
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void InterruptWatch::Watch() {
  pthread_setname_np(pthread_self(), "InterruptWatch");
  for (;;) {
    pollfd fds[2] = {{signalFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    if (!(fds[0].revents & POLLIN)) continue;
    signalfd_siginfo info;
    if (::read(signalFd_, &info, sizeof info) != sizeof info) continue;
    const int number = int(info.ssi_signo);
    int none = 0;
    if (!signal_.compare_exchange_strong(none, number)) {
      WriteAll(STDERR_FILENO, "\ntagsmith-convert: interrupted again, stopping at once\n");
      ::_exit(128 + number);
    }
    SyncQueue::Main().Wake();
  }
}

}  // namespace tagsmith
