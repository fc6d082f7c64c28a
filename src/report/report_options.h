#pragma once

#include <string>

namespace quern {

// What the report needs to know of a run's options; the driver fills it
// from the command line.
struct report_options {
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
  std::string outputdirectory;
};

}  // namespace quern
