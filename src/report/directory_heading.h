#pragma once

#include <string>
#include <vector>

#include "report/changes.h"
#include "report/report_context.h"
#include "tree/directory_node.h"

namespace quern {

// Appends what heads a directory's pages, and the entry page for the root:
// the statistics table (on the entry page with the totals alone) and below
// it, where they are shown, the tables of owners, of ages and of the
// largest files. Compared with an earlier report, the tables show the
// changes, and the entry page names when that report was made. Links to
// other directories' pages lead to those sorted by name; `link_keys` gets
// where their keys stand, to be turned to another order. Returns where the
// directory stands in the earlier report.
earlier_entry append_directory_heading(std::string& page, const report_context& context, const directory_node& node,
                                       bool entry_page, std::vector<size_t>& link_keys);

}  // namespace quern
