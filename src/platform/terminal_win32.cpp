#include <io.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "platform/terminal.h"

namespace quern {

namespace {

HANDLE console_of(int descriptor) {
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

}  // namespace

bool can_show_status_line(int descriptor) {
  if (console_of(descriptor) == nullptr) return false;
  const char* term = std::getenv("TERM");
  return term == nullptr || std::strcmp(term, "dumb") != 0;
}

int terminal_columns(int descriptor) {
  const HANDLE console = console_of(descriptor);
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (console == nullptr || !GetConsoleScreenBufferInfo(console, &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace quern
