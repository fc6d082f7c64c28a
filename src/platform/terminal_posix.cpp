#include <sys/ioctl.h>
// Solaris declares the window size request here, not in sys/ioctl.h.
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/terminal.h"

namespace quern {

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

}  // namespace quern
