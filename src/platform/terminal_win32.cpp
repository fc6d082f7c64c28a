#include <io.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "base/progress.h"
#include "platform/terminal.h"

namespace quern {

namespace {

HANDLE console_of(int descriptor) {
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

// Ctrl-C, Ctrl-Break and closing the window: the line goes first, then the
// default handler ends the process.
BOOL WINAPI erase_then_default(DWORD) {
  erase_progress_line_now();
  return FALSE;
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

void erase_progress_line_on_signals() { SetConsoleCtrlHandler(erase_then_default, TRUE); }

}  // namespace quern
