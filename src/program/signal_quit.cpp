#include "program/signal_quit.h"

#include <QSocketNotifier>

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace tagsmith {

namespace {

// The pipe the handler writes into; -1 while no TSignalQuit exists.
volatile sig_atomic_t gWriteFd = -1;
int gReadFd = -1;

extern "C" void OnQuitSignal(int signal) {
  const int savedErrno = errno;
  const int fd = gWriteFd;
  if (fd >= 0) {
    const unsigned char byte = static_cast<unsigned char>(signal);
    // A full pipe already holds a wake-up; nothing is lost by dropping this.
    [[maybe_unused]] ssize_t n = write(fd, &byte, 1);
  }
  errno = savedErrno;
}

}  // namespace

TSignalQuit::TSignalQuit(std::function<void(int)> onSignal, std::initializer_list<int> quitSignals, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {
  if (gReadFd >= 0) throw std::system_error(EBUSY, std::generic_category(), "A signal watch exists already");
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
    throw std::system_error(errno, std::generic_category(), "Cannot make the signal pipe");
  gReadFd = fds[0];
  gWriteFd = fds[1];
  notifier_ = new QSocketNotifier(gReadFd, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TSignalQuit::Drain);
  for (int s : quitSignals) {
    struct sigaction action {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    struct sigaction old {};
    if (sigaction(s, &action, &old) == 0) previous_.emplace_back(s, old);
  }
}

TSignalQuit::~TSignalQuit() {
  for (auto it = previous_.rbegin(); it != previous_.rend(); ++it) sigaction(it->first, &it->second, nullptr);
  const int writeFd = gWriteFd;
  gWriteFd = -1;
  delete notifier_;
  close(writeFd);
  close(gReadFd);
  gReadFd = -1;
}

void TSignalQuit::Drain() {
  unsigned char bytes[64];
  for (;;) {
    const ssize_t n = read(gReadFd, bytes, sizeof bytes);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      break;
    }
    for (ssize_t i = 0; i < n; ++i)
      if (onSignal_) onSignal_(bytes[i]);
  }
}

}  // namespace tagsmith
