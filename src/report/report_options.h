#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/byte_total.h"

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
  // Which directories get pages, beyond having subdirectories: those at
  // most this many levels below the root, and those holding at least this
  // many bytes in all. The index page names the caps given.
  std::optional<uint64_t> page_depth;
  std::optional<byte_total> page_min_size;
};

}  // namespace quern
