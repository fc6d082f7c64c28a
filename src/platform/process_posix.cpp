#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "base/progress.h"
#include "base/unfinished_files.h"
#include "platform/process.h"

namespace quern {

namespace {

// On the thread that waits for the signals: it can wait for a file being
// made, which no handler interrupting its maker could.
[[noreturn]] void end_by(int signal_number) {
  remove_unfinished_files();
  erase_progress_line_now();
  ::signal(signal_number, SIG_DFL);
  // Blocked here, the signal raised again waits until it is let through.
  ::raise(signal_number);
  sigset_t only;
  ::sigemptyset(&only);
  ::sigaddset(&only, signal_number);
  ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  ::_exit(128 + signal_number);
}

sigset_t g_watched;

void* wait_for_signals(void*) {
  int signal_number = 0;
  while (::sigwait(&g_watched, &signal_number) != 0) {
  }
  end_by(signal_number);
}

}  // namespace

void prepare_process() {
  // A write to a pipe without a reader then fails with EPIPE, which the
  // diagnostics pass over, instead of ending the process.
  ::signal(SIGPIPE, SIG_IGN);
  // Lowest numbers first: open() takes the lowest free number, which is then
  // the one being filled.
  for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
    if (::fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
    if (::open("/dev/null", O_RDWR) != descriptor) return;
  }
}

void end_cleanly_on_signals() {
  ::sigemptyset(&g_watched);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    if (::sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
      ::sigaddset(&g_watched, signal_number);
  }
  // Blocked in every thread, which inherit it from this one, the signals
  // reach only the thread that waits for them; it needs little stack.
  if (::pthread_sigmask(SIG_BLOCK, &g_watched, nullptr) != 0) return;
  bool started = false;
  pthread_attr_t small;
  if (::pthread_attr_init(&small) == 0) {
    pthread_t watcher;
    started = ::pthread_attr_setstacksize(&small, 256 << 10) == 0 &&
              ::pthread_attr_setdetachstate(&small, PTHREAD_CREATE_DETACHED) == 0 &&
              ::pthread_create(&watcher, &small, wait_for_signals, nullptr) == 0;
    ::pthread_attr_destroy(&small);
  }
  if (!started) ::pthread_sigmask(SIG_UNBLOCK, &g_watched, nullptr);
}

size_t descriptor_limit() {
  rlimit limit;
  // Unknown counts as no room at all, so that nothing relies on it.
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > SIZE_MAX) return SIZE_MAX;
  return static_cast<size_t>(limit.rlim_cur);
}

}  // namespace quern
