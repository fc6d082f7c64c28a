#pragma once

#include <string>

#include "report/report_context.h"
#include "tree/directory_node.h"

namespace quern {

// Writes the pages of one directory, one per offered order, and leaves its
// children in the order of the last page written (by name when all were).
// A page that cannot be created or written completely is reported and ends
// the directory's pages.
void output_html_directory(const report_context& context, directory_node* node);

// Appends one row of the overview table. The cells are in column order:
// name, subdirectories, bytes, files, symbolic links, other entries.
void output_overview_row(std::string& page, const settings& config, const std::string cells[6], bool heading);

}  // namespace quern
