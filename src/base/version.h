#pragma once

namespace quern {

inline constexpr const char* kVersion = "0.0.9";

}  // namespace quern
