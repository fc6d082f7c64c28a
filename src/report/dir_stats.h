#pragma once

#include <string>

#include "report/changes.h"
#include "tree/directory_node.h"

namespace quern {

// Appends the statistics table of a directory: with detailed, the columns
// for the directory itself, for everything below it and the total; without,
// the total alone. With a change since an earlier report, a last column
// shows it, empty where it is unknown.
// With marks, the gaps in the directory's figures are named in the table's
// first cell.
void output_dir_stats(std::string& page, const directory_node& node, bool detailed,
                      const totals_change* change = nullptr, bool marks = false);

// Appends a short mark for each gap, so that a reader knows the figures are
// a lower bound: "nicht lesbar", "nicht betreten", "darunter
// unvollst&auml;ndig"; each after a blank.
void append_gap_marks(std::string& out, uint8_t gaps);

}  // namespace quern
