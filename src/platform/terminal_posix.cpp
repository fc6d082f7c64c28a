#include <signal.h>
#include <sys/ioctl.h>
// Solaris declares the window size request here, not in sys/ioctl.h.
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "base/progress.h"
#include "platform/terminal.h"

namespace quern {

namespace {

void end_after_erasing(int signal_number) {
  erase_progress_line_now();
  // The handler was reset to the default on entry: the signal raised again
  // ends the process as soon as it is no longer blocked.
  ::raise(signal_number);
  sigset_t pending;
  ::sigemptyset(&pending);
  ::sigaddset(&pending, signal_number);
  ::pthread_sigmask(SIG_UNBLOCK, &pending, nullptr);
}

}  // namespace

bool can_show_status_line(int descriptor) {
  if (::isatty(descriptor) != 1) return false;
  const char* term = std::getenv("TERM");
  return term == nullptr || std::strcmp(term, "dumb") != 0;
}

int terminal_columns(int descriptor) {
  winsize size{};
  if (::ioctl(descriptor, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

void erase_progress_line_on_signals() {
  for (const int signal_number : {SIGINT, SIGTERM}) {
    struct sigaction current {};
    if (::sigaction(signal_number, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
    struct sigaction erasing {};
    erasing.sa_handler = end_after_erasing;
    ::sigemptyset(&erasing.sa_mask);
    erasing.sa_flags = SA_RESETHAND;
    ::sigaction(signal_number, &erasing, nullptr);
  }
}

}  // namespace quern
