#pragma once

#include <string_view>

#include "base/status.h"

namespace quern {

// Standard output's and standard error's descriptors, the same numbers on
// every platform.
inline constexpr int kStandardOutput = 1;
inline constexpr int kStandardError = 2;

// Writes all of the bytes, going on after interruptions and partial writes.
// A console is given the UTF-8 text as characters, so that names show as
// they are whatever its code page. Safe in a signal handler: it allocates
// nothing on POSIX and leaves errno as it found it.
status write_fully(int descriptor, std::string_view bytes) noexcept;

}  // namespace quern
