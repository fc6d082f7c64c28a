#pragma once

#include "base/diagnostics.h"
#include "platform/file_system.h"
#include "report/report_options.h"
#include "tree/subtree_details.h"

namespace quern {

class directory_locks;
class old_summary;

// What every part of the report reads: its options, where to say things,
// and where to write.
struct report_context {
  const report_options& options;
  diagnostics& diag;
  // The report's own directory, where every file of it is made.
  output_directory& output;
  // Where owners, ages or the largest files are shown: their figures, and
  // the owners' names.
  detail_ledger* ledger = nullptr;
  // The summary of an earlier report whose figures the pages show the
  // changes against; null for none.
  const old_summary* earlier = nullptr;
  // Where several threads write pages and treemaps; null for one.
  directory_locks* locks = nullptr;
};

}  // namespace quern
