#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quern {

// The name the user database gives the user number; nothing where it gives
// none or cannot be asked. A directory service behind it may take long.
std::optional<std::string> user_name(uint32_t user);

// False where a scan does not learn who owns an entry.
bool platform_knows_owners();

}  // namespace quern
