#pragma once

#include <string>

#include "tree/directory_node.h"

namespace quern {

// Appends the statistics table of a directory: with detailed, the columns
// for the directory itself, for everything below it and the total; without,
// the total alone.
void output_dir_stats(std::string& page, const directory_node& node, bool detailed);

}  // namespace quern
