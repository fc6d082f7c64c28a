#include <io.h>
#include <windows.h>

#include <algorithm>

#include "base/output_descriptor.h"
#include "base/wide_text.h"

namespace quern {

namespace {

// Characters per console write; old consoles refuse very large writes.
constexpr size_t kConsoleChunk = 8192;

bool write_console(HANDLE console, std::wstring_view text) {
  while (!text.empty()) {
    size_t chunk = std::min(text.size(), kConsoleChunk);
    // A surrogate pair is not split between two writes.
    if (chunk < text.size() && text[chunk - 1] >= 0xD800 && text[chunk - 1] <= 0xDBFF) --chunk;
    DWORD written = 0;
    if (!WriteConsoleW(console, text.data(), static_cast<DWORD>(chunk), &written, nullptr) || written == 0)
      return false;
    text.remove_prefix(written);
  }
  return true;
}

}  // namespace

status write_fully(int descriptor, std::string_view bytes) noexcept {
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
  if (handle == INVALID_HANDLE_VALUE) return status::error(EBADF);
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) return write_console(handle, widen(bytes)) ? status::ok() : status::error(EIO);
  // A file or a pipe gets the bytes as they are: UTF-8, and no carriage
  // return added before a line feed.
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), chunk, &written, nullptr) || written == 0) return status::error(EIO);
    bytes.remove_prefix(written);
  }
  return status::ok();
}

}  // namespace quern
