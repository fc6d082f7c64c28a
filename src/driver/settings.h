#pragma once

#include <string>

namespace quern {

// The run's settings. Only the command line writes them; everything else
// reads them through a const reference.
struct settings {
  // Whether a column is shown in the overview tables.
  int display_row_size = 1;
  int display_row_subdirs = 1;
  int display_row_files = 1;
  int display_row_symlinks = 1;
  int display_row_devices = 1;
  // Whether pages sorted by that column are offered.
  int sort_row_size = 1;
  int sort_row_subdirs = 1;
  int sort_row_files = 1;
  int sort_row_symlinks = 1;
  int sort_row_devices = 1;
  // The verbosity level: the number of -v options.
  int debug = 0;
  std::string outputdirectory;
  std::string rootdirectory;
};

}  // namespace quern
