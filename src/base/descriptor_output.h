#pragma once

#include <string_view>

#include "base/status.h"

namespace quern {

// Writes all bytes to the descriptor, retrying after interruptions and
// partial writes. Uses only async-signal-safe calls and leaves errno as it
// found it, so that signal handlers may use it too.
status write_fully(int descriptor, std::string_view bytes) noexcept;

}  // namespace quern
