#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "platform/process.h"

namespace quern {

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

}  // namespace quern
