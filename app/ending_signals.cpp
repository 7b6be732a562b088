#include "app/ending_signals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

const int TEndingSignals::kSignals[3] = {SIGTERM, SIGINT, SIGHUP};

namespace {

// Made once for the process and never closed: a handler may still be
// running on another thread when the object that watched the pipe is gone.
std::atomic<int> gWriteEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the pipe's end must be usable in a signal handler");
int gReadEnd = -1;

bool MakePipe() {
  static std::once_flag once;
  std::call_once(once, [] {
    int p[2];
    if (::pipe2(p, O_CLOEXEC | O_NONBLOCK) != 0) return;
    gReadEnd = p[0];
    gWriteEnd = p[1];
  });
  return gReadEnd >= 0;
}

extern "C" void OnEndingSignal(int signal) {
  const int saved = errno;
  const int fd = gWriteEnd.load();
  const auto byte = static_cast<unsigned char>(signal);
  // A full pipe already holds signals enough to end with.
  if (fd >= 0) (void)!::write(fd, &byte, 1);
  errno = saved;
}

}  // namespace

TEndingSignals::TEndingSignals(std::function<void(int)> onSignal, QObject *parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {
  if (!MakePipe()) {
    // Without the pipe the signals keep their default action: the program
    // still ends, only without its close.
    std::fprintf(stderr, "talvex: no se pueden atender las señales de fin: %s\n", std::strerror(errno));
    return;
  }
  notifier_ = new QSocketNotifier(gReadEnd, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { Arrived(); });
  struct sigaction action {};
  action.sa_handler = OnEndingSignal;
  sigemptyset(&action.sa_mask);
  // A system call the signal interrupts goes on: the loop is told by the
  // pipe, nothing else needs to see the interruption.
  action.sa_flags = SA_RESTART;
  // No "second signal kills at once": a session that ends sends SIGHUP and
  // SIGTERM together, and the second must not cut short the close of the
  // first. A program stuck for good still has SIGKILL.
  for (const int s : kSignals) ::sigaction(s, &action, nullptr);
}

TEndingSignals::~TEndingSignals() {
  if (!notifier_) return;
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (const int s : kSignals) ::sigaction(s, &action, nullptr);
}

void TEndingSignals::Arrived() {
  unsigned char bytes[16];
  ssize_t n = 0;
  while ((n = ::read(gReadEnd, bytes, sizeof bytes)) > 0)
    for (ssize_t i = 0; i < n; ++i)
      if (onSignal_) onSignal_(bytes[i]);
}
