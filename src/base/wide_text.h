#pragma once

#include <string>
#include <string_view>

namespace quern {

// Quern carries text as UTF-8; the Windows API speaks UTF-16. These convert
// at that boundary. wchar_t holds one UTF-16 code unit here.
//
// A Windows name may hold a surrogate without its partner. Such a unit is
// written as the three bytes UTF-8 would give its value (the generalised
// form known as WTF-8), so every name survives the round trip and can be
// opened again.
std::string narrow(std::wstring_view units);

// Bytes that are not UTF-8 (or a lone surrogate in the form above) become
// U+FFFD, one per byte that starts no valid sequence.
std::wstring widen(std::string_view text);

}  // namespace quern
