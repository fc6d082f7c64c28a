#pragma once

#include "base/status.h"
#include "platform/file_system.h"

namespace quern {

// Appends every name of the open directory, in the order the system
// delivers them. On failure the names read before it stay. The descriptor
// stays open and usable for calls relative to it.
status list_directory(int descriptor, name_list& names);

}  // namespace quern
