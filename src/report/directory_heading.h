#pragma once

#include <string>

#include "report/changes.h"
#include "report/report_context.h"
#include "tree/directory_node.h"

namespace quern {

// Appends what heads a directory's pages, and the entry page for the root:
// the statistics table (on the entry page with the totals alone) and, where
// owners are shown, the table of owners below it. Compared with an earlier
// report, both show the changes, and the entry page names when that report
// was made. Returns where the directory stands in the earlier report.
earlier_entry append_directory_heading(std::string& page, const report_context& context, const directory_node& node,
                                       bool entry_page);

}  // namespace quern
