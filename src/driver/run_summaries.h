#pragma once

#include <ctime>
#include <memory>
#include <string_view>

#include "base/diagnostics.h"
#include "driver/settings.h"
#include "platform/file_system.h"
#include "report/old_summary.h"
#include "report/summary_format.h"
#include "report/summary_writer.h"
#include "tree/subtree_details.h"

namespace quern {

// The header of this run's summary of the given scope.
summary_header summary_of_run(const settings& config, std::time_t begun, std::string_view scope);

// Reads the summary given to compare with, if any, and says how its options
// or root differ from this run's. False, after saying why, when it cannot
// be read: a comparison that cannot be made publishes nothing.
bool read_comparison(const settings& config, file_system& files, diagnostics& diag,
                     std::unique_ptr<old_summary>& earlier);

// The summary of every directory, where one is asked for. It is written
// under a temporary name that no list of summaries takes for one, made
// before the report's directory, so that a path inside that directory, a
// name taken or a directory missing are refused at the start; it takes its
// name only once it is whole.
struct full_summary {
  std::unique_ptr<output_directory> directory;
  std::unique_ptr<output_file> file;  // until the writer takes it
  std::unique_ptr<summary_writer> writer;
  std::string name;
  // The file's identity: the scan passes over it, under either name.
  uint64_t device = 0;
  uint64_t inode = 0;
};

// What the temporary name adds to the name given.
inline constexpr std::string_view kUnfinishedSuffix = ".partial";

// Makes the file, if one is asked for. False, after saying why, when it
// cannot be made.
bool make_full_summary(const settings& config, file_system& files, diagnostics& diag, full_summary& full);

// Starts writing it, with the owners and ages where they are shown.
void start_full_summary(const settings& config, std::time_t begun, detail_ledger* ledger, full_summary& full);

// The summary of every directory is complete once the tree is: it is
// closed then, and a failure to write it said before the pages'.
void close_full_summary(full_summary& full, diagnostics& diag);

}  // namespace quern
