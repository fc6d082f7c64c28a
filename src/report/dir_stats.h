#pragma once

#include <string>

#include "report/changes.h"
#include "tree/directory_node.h"

namespace quern {

// Appends the statistics table of a directory: with detailed, the columns
// for the directory itself, for everything below it and the total; without,
// the total alone. With a change since an earlier report, a last column
// shows it, empty where it is unknown.
void output_dir_stats(std::string& page, const directory_node& node, bool detailed,
                      const totals_change* change = nullptr);

}  // namespace quern
