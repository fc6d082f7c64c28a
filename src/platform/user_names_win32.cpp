#include "platform/user_names.h"

namespace quern {

// Windows' owners are security identifiers, not user numbers, and its
// directory listings do not carry them; only a listing can name owners.
std::optional<std::string> user_name(uint32_t) { return std::nullopt; }

bool platform_knows_owners() { return false; }

}  // namespace quern
