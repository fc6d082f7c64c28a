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
#include "tree/owner_figures.h"

namespace quern {

// The header of this run's summary of the given scope.
summary_header summary_of_run(const settings& config, std::time_t begun, std::string_view scope);

// Reads the summary given to compare with, if any, and says how its options
// or root differ from this run's. False, after saying why, when it cannot
// be read: a comparison that cannot be made publishes nothing.
bool read_comparison(const settings& config, file_system& files, diagnostics& diag,
                     std::unique_ptr<old_summary>& earlier);

// The summary of every directory, if one is asked for, with the figures
// per owner where owners are shown; a failure to open it is reported and
// the report is made without it.
std::unique_ptr<summary_writer> open_full_summary(const settings& config, file_system& files, diagnostics& diag,
                                                  std::time_t begun, owner_ledger* owners);

// The summary of every directory is complete once the tree is: it is
// closed then, and a failure to write it said before the pages'.
void close_full_summary(std::unique_ptr<summary_writer>& full, diagnostics& diag);

}  // namespace quern
