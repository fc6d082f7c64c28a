#include <fcntl.h>
#include <io.h>

#include <windows.h>

#include <cstdint>

#include "base/progress.h"
#include "base/unfinished_files.h"
#include "platform/process.h"

namespace quern {

namespace {

// Ctrl-C, Ctrl-Break and closing the window, on a thread of their own: the
// files and the line go first, then the default handler ends the process.
BOOL WINAPI end_after_removing(DWORD) {
  remove_unfinished_files();
  erase_progress_line_now();
  return FALSE;
}

}  // namespace

void prepare_process() {
  // Without a console or redirection the standard descriptors may not be
  // open at all; the null device takes their place. A vanished reader of a
  // pipe raises no signal here: the write just fails.
  for (int descriptor = 0; descriptor <= 2; ++descriptor) {
    if (_get_osfhandle(descriptor) != -1) continue;
    const int null = _open("NUL", _O_RDWR | _O_BINARY);
    if (null < 0) return;
    if (null != descriptor) {
      _dup2(null, descriptor);
      _close(null);
    }
  }
}

void end_cleanly_on_signals() { SetConsoleCtrlHandler(end_after_removing, TRUE); }

// Files and directories are opened as handles, which have no such limit.
size_t descriptor_limit() { return SIZE_MAX; }

}  // namespace quern
