#pragma once

#include <optional>
#include <string>

#include "report/report_options.h"
#include "tree/listing_source.h"

namespace quern {

// The run's settings. Only the command line writes them; everything else
// reads them through a const reference.
struct settings : report_options {
  // The verbosity level: the number of -v options.
  int debug = 0;
  std::string rootdirectory;
  // Threads in all for scanning and writing; 0 until -j chooses.
  int jobs = 0;
  // The status line on a terminal; --no-progress switches it off.
  bool show_progress = true;
  // -x: subdirectories on another file system are shown but not entered.
  bool one_file_system = false;
  // A regular file with several names counts at its first name only.
  bool hard_links_once = false;
  // Where the tree is read from instead of being scanned, and the fields
  // its records declare, however the options were ordered.
  std::optional<listing_source> listing;
  std::optional<std::vector<listing_field>> listing_fields;
  // The caps as given, for the summaries' list of options.
  std::string page_depth_given;
  std::string page_min_size_given;
  // summary.txt beside the pages; --no-summary leaves it out.
  bool report_summary = true;
  // A summary of every directory, whatever the caps, written to this new
  // file.
  std::optional<std::string> full_summary;
  // An earlier report, or its summary, to show the changes against.
  std::optional<std::string> compare;
};

inline constexpr int kMaxJobs = 256;

}  // namespace quern
