#pragma once

#include <string_view>

namespace quern {

// Standard error's descriptor, the same number on every platform.
inline constexpr int kStandardError = 2;

// Writes all of the bytes, going on after partial writes. A failure drops
// the rest: there is nowhere left to report it. A console is given the UTF-8
// text as characters, so names show as they are whatever its code page.
void write_fully(int descriptor, std::string_view bytes);

}  // namespace quern
