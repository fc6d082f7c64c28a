#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

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

size_t descriptor_limit() {
  rlimit limit;
  // Unknown counts as no room at all, so that nothing relies on it.
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > SIZE_MAX) return SIZE_MAX;
  return static_cast<size_t>(limit.rlim_cur);
}

}  // namespace quern
